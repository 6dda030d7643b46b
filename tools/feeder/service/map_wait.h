// A service whose map cannot be read when it starts (on a share not up yet at
// boot) keeps running and waits for it, rather than stopping for good: the wait
// is said where the service's user looks, and the map is tried again every few
// seconds. A share that is down cannot be watched for changes, hence the retries.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "feeder_options.h"

typedef std::function<void(const std::string& line)> MapWaitNotice;

// Reads the command line `args` again until every map file it names can be read;
// *options and *outcome then hold that read. *outcome comes in with the failed
// read's reason. False when hStop was set first.
bool AwaitReadableMap(const std::vector<std::string>& args, HANDLE hStop, const MapWaitNotice& say,
                      FeederOptions* options, ParseOutcome* outcome);
