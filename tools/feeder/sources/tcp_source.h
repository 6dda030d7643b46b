// tcp://HOST:PORT[?timeout=S]: connects and reads; the host name is looked up
// on a thread of its own.
#pragma once
#include "host_resolver.h"
#include "source.h"

// Like ParseTcpSource, with another name service (tests use a slow one).
std::unique_ptr<SourceConfig> ParseTcpSourceWith(const std::string& text, ResolveFunction resolve, std::string* why);
