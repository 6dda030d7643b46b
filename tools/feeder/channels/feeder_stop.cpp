#include "feeder_stop.h"

#include <cstdio>

namespace {

const double MS_PER_SECOND = 1000.0;

DWORD MsLeft(ULONGLONG deadline)
{
    const ULONGLONG now = GetTickCount64();
    return now < deadline ? static_cast<DWORD>(deadline - now) : 0;
}

} // namespace

std::vector<ChannelWorker*> JoinWorkers(std::vector<std::unique_ptr<ChannelWorker>>* workers, StatusBoard* board,
                                        DWORD boundMs)
{
    const ULONGLONG deadline = GetTickCount64() + boundMs;
    std::vector<ChannelWorker*> held;
    for (std::unique_ptr<ChannelWorker>& worker : *workers) {
        if (worker->Join(MsLeft(deadline)))
            continue;
        char line[128];
        std::snprintf(line, sizeof line, "still stopping after %.1f s (its source does not close); ending without it",
                      boundMs / MS_PER_SECOND);
        board->Event(worker->Channel(), line);
        held.push_back(worker.release());
    }
    workers->clear();
    return held;
}
