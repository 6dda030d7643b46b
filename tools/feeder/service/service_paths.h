// Paths in a service's map. The service manager starts the feeder in the system
// folder, so a relative path would name a file there, not one beside the map.
#pragma once
#include <string>
#include <vector>

#include "feeder_options.h"

// True, with *why naming the first such entry and the reason, when a file: source's
// path is not absolute. Used at install, at service start and on reload.
bool RelativeFileRefused(const std::vector<ChannelMapping>& mappings, std::string* why);
