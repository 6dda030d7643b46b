// The writer's loop: read a piece of the source, wait for the rate, write it whole.
#pragma once
#include <windows.h>

#include <string>

#include "byte_source.h"
#include "digest.h"
#include "pacer.h"
#include "pipe_delivery.h"
#include "write_sizes.h"
#include "writer_exit_codes.h"
#include "writer_report.h"

struct SendResult {
    WriterExitCode  code = WRITER_EXIT_OK;
    double          seconds = 0.0;
    std::string     error;
};

// `delivery` counts each write the pipe accepted, for the summary of a cut-off run.
SendResult SendAll(HANDLE pipe, ByteSource* source, WriteSizes sizes, const Pacer& pacer,
                   StreamDigest* digest, SendStats* stats, PipeDelivery* delivery);
