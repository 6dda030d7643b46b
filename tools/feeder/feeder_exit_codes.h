// Exit codes of zelmoor_feeder; --help lists them.
#pragma once

enum FeederExitCode {
    FEEDER_EXIT_OK          = 0,    // stopped by Ctrl+C or --seconds
    FEEDER_EXIT_USAGE       = 2,    // a bad option, mapping or map line, or a status address not to be had; nothing was started
    FEEDER_EXIT_MAP_FILE    = 3,    // the map file could not be read
    FEEDER_EXIT_START       = 4,    // the system refused a thread or event at start
    FEEDER_EXIT_SERVICE     = 5,    // the service could not be installed, removed or run
    FEEDER_EXIT_INTERRUPTED = 130,  // a second Ctrl+C while stopping: ended at once
};
