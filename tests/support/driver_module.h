// Loads the shipped driver DLL the way a host does and hands out its tuner.
#pragma once
#include <windows.h>
#include <string>
#include "IBonDriver.h"

constexpr DWORD NO_CHANNEL = 0xFFFFFFFF;
constexpr DWORD CHANNELS = 10;
constexpr DWORD BLOCK_BYTES = 48128;

// The directory of the running test program, with a trailing backslash.
std::wstring ProgramDirectory();

class DriverModule {
public:
    DriverModule() = default;
    ~DriverModule() { Unload(); }
    DriverModule(const DriverModule&) = delete;
    DriverModule& operator=(const DriverModule&) = delete;

    bool Load();                // the DLL beside the test program, of the program's bitness
    IBonDriver2* Create();      // CreateBonDriver, as IBonDriver2
    void Release();             // ReleaseDriver of the created tuner, if any
    void Unload();              // Release, then FreeLibrary
    HMODULE Handle() const { return m_module; }
    IBonDriver2* Tuner() const { return m_tuner; }

private:
    HMODULE m_module = NULL;
    CreateBonDriverProc m_create = nullptr;
    IBonDriver2* m_tuner = nullptr;
};

// The driver's file name this build loads: "Zelmoor(x64).dll" or "Zelmoor.dll".
const wchar_t* DriverFileName();

std::wstring PipeName(DWORD channel);
bool PipeExists(DWORD channel);
bool InUseMutexExists();
