// The end of a run: every channel's worker is joined within one bound all told,
// so a source that will not close cannot keep the feeder from ending.
#pragma once
#include <windows.h>

#include <memory>
#include <vector>

#include "channel_worker.h"
#include "status_board.h"

// Time for all the workers together to close their sources and end.
const DWORD WORKERS_STOP_MS = 3000;

// The stop event must be set. Joins the workers within boundMs; each worker still
// running then is named in an event line and handed back, taken out of *workers:
// its thread still uses it, so it must outlive the process rather than be freed.
std::vector<ChannelWorker*> JoinWorkers(std::vector<std::unique_ptr<ChannelWorker>>* workers, StatusBoard* board,
                                        DWORD boundMs);
