// Exit codes of zelmoor_writer; --help lists them.
#pragma once

enum WriterExitCode {
    WRITER_EXIT_OK            = 0,
    WRITER_EXIT_USAGE         = 2,
    WRITER_EXIT_PIPE_MISSING  = 3,    // no such pipe within --wait-seconds
    WRITER_EXIT_PIPE_BUSY     = 4,    // the pipe exists but another writer holds it
    WRITER_EXIT_CONNECT_FAILED = 5,   // opening the pipe failed for another reason
    WRITER_EXIT_CUT_OFF       = 6,    // the driver's end went away while writing
    WRITER_EXIT_INPUT_FAILED  = 7,    // --file could not be opened or read
};
