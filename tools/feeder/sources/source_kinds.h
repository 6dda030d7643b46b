// The parser of each kind of source, one file per kind; the feeder's table of
// kinds lists them by prefix.
#pragma once
#include "source.h"

std::unique_ptr<SourceConfig> ParseFileSource(const std::string& text, std::string* why);  // file:PATH[?...]
std::unique_ptr<SourceConfig> ParseUdpSource(const std::string& text, std::string* why);   // udp://ADDR:PORT[?...]
std::unique_ptr<SourceConfig> ParseTcpSource(const std::string& text, std::string* why);   // tcp://HOST:PORT
std::unique_ptr<SourceConfig> ParseHttpSource(const std::string& text, std::string* why);  // http:// and https://
std::unique_ptr<SourceConfig> ParseCmdSource(const std::string& text, std::string* why);   // cmd:COMMAND LINE
