// The host's loop: wait for ready blocks, take them, keep them, until a stop rule fires.
#pragma once
#include <string>

#include "IBonDriver.h"
#include "digest.h"
#include "host_exit_codes.h"
#include "host_options.h"
#include "host_report.h"
#include "stream_sink.h"

struct DrainResult {
    HostExitCode    code = HOST_EXIT_OK;
    StopReason      reason = StopReason::NONE;
    double          seconds = 0.0;
    std::string     error;
};

DrainResult Drain(IBonDriver* tuner, const HostOptions& options, StreamSink* sink,
                  StreamDigest* digest, DrainStats* stats);
