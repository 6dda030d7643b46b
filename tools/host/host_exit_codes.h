// Exit codes of zelmoor_host; --help lists them.
#pragma once

enum HostExitCode {
    HOST_EXIT_OK               = 0,
    HOST_EXIT_USAGE            = 2,
    HOST_EXIT_DLL_NOT_LOADED   = 3,    // not found, or not a loadable 64-bit DLL
    HOST_EXIT_NO_FACTORY       = 4,    // no CreateBonDriver export
    HOST_EXIT_NO_TUNER         = 5,    // CreateBonDriver returned null
    HOST_EXIT_CHANNEL_REFUSED  = 6,    // out of the driver's range, or SelectChannel returned FALSE
    HOST_EXIT_OUTPUT_FAILED    = 7,    // --out could not be created or written
    HOST_EXIT_STREAM_FAILED    = 8,    // WaitStream abandoned or failed, or a take refused
    HOST_EXIT_NO_WRITER        = 9,    // --until-gone: no writer came within --wait-seconds
    HOST_EXIT_NO_DATA          = 10,   // --until-gone: a writer came but sent nothing within it
};
