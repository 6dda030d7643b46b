// Every kind of source the feeder knows, by the prefix that names it.
#pragma once
#include <string>

#include "source.h"

// The kind whose prefix starts the text, or null.
const SourceKind* FindSourceKind(const std::string& text);
// "file:, udp://, ..." for messages.
std::string SourcePrefixList();
