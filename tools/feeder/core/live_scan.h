// Reads a recording through once to index it for live visits. On the channel's own
// thread when the feeder starts, so it is asked between chunks whether to give up.
#pragma once
#include <functional>
#include <string>

#include "live_index.h"
#include "play_io.h"

// False with *why set when the file cannot be read, holds no packets or no clock,
// or `stopped` answered true (then *why is empty).
bool ScanLiveIndex(PlayFile* file, const std::string& path, const std::function<bool()>& stopped,
                   LiveIndex* out, std::string* why);
