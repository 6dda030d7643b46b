// A host in the test's own process: loads the shipped driver, selects one channel
// after another and keeps what each visit received, with the arrival times.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "driver_module.h"

struct Arrival {
    double      seconds;        // since the channel was selected
    uint32_t    bytes;
};

struct Recording {
    std::vector<uint8_t>    bytes;
    std::vector<Arrival>    arrivals;       // blocks with data
    uint32_t                emptyBlocks = 0;
};

class SwitchingHost {
public:
    bool Load();                            // false with Error() set
    bool Select(uint32_t channel);          // SelectChannel(0, channel)
    void Leave();                           // CloseTuner: the host leaves the channel
    DWORD ReadyCount();                     // blocks the driver holds that the host has not taken
    // Takes blocks until `done` answers true or `seconds` have passed since the
    // channel was selected.
    Recording Drain(double seconds, const std::function<bool(const Recording&)>& done = nullptr);
    const std::string& Error() const { return m_error; }

private:
    DriverModule    m_module;
    IBonDriver2*    m_pTuner = nullptr;
    LARGE_INTEGER   m_selected = {};
    std::string     m_error;
};

double SecondsSince(const LARGE_INTEGER& start);
