#include "map_wait.h"

namespace {

const DWORD MAP_RETRY_MS = 2000;
const DWORD MS_PER_SECOND = 1000;

} // namespace

bool AwaitReadableMap(const std::vector<std::string>& args, HANDLE hStop, const MapWaitNotice& say,
                      FeederOptions* options, ParseOutcome* outcome)
{
    say("waiting for the map: " + outcome->message + "; tried again every "
        + std::to_string(MAP_RETRY_MS / MS_PER_SECOND) + " s, its channels start once it can be read");
    bool unreadable = true;
    while (unreadable) {
        if (WaitForSingleObject(hStop, MAP_RETRY_MS) != WAIT_TIMEOUT)
            return false;
        *options = FeederOptions();
        *outcome = ParseFeederOptions(args, options, &unreadable);
    }
    say("the map can be read now");
    return true;
}
