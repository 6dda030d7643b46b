// What a feeder running as a service may start. A cmd: source runs a program with
// the service's rights, so anyone who can edit the map, or replace a program it
// names, would gain those rights: a service runs none unless its install allowed it.
#pragma once
#include <string>
#include <vector>

#include "feeder_options.h"

// True, with *why naming the first such entry and saying how to allow them, when
// the mappings hold a cmd: source. Used at install, at service start and on reload.
bool CommandsRefused(const std::vector<ChannelMapping>& mappings, std::string* why);

// The rules for this run, as a map is loaded or reloaded: only the service refuses,
// a cmd: source when its install did not say --allow-commands, and a relative file: path.
bool MapRefusedForThisRun(bool allowCommands, const std::vector<ChannelMapping>& mappings, std::string* why);
