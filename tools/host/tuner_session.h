// The loaded driver module and its tuner object, from LoadLibrary to FreeLibrary.
#pragma once
#include <cstdint>
#include <string>

#include "IBonDriver.h"
#include "host_exit_codes.h"

class TunerSession {
public:
    TunerSession() = default;
    TunerSession(const TunerSession&) = delete;
    TunerSession& operator=(const TunerSession&) = delete;
    ~TunerSession() { Close(); }

    // HOST_EXIT_OK with the channel selected, or the failure's exit code and a message.
    HostExitCode Open(const std::wstring& dllPath, uint32_t channel, std::string* error);
    IBonDriver2* Tuner() const { return m_pTuner; }
    // CloseTuner, ReleaseDriver, FreeLibrary; safe to call twice.
    void Close();

private:
    HMODULE         m_hModule = NULL;
    IBonDriver2*    m_pTuner = nullptr;     // owned by the module; given back by ReleaseDriver
};

// "Zelmoor(x64).dll" (a 32-bit build: "Zelmoor.dll") in the folder of the running program.
std::wstring DefaultDriverPath();
