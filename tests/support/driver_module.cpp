#include "driver_module.h"
#include <cwchar>

namespace {
// The driver of this test build's bitness, named by the build.
const wchar_t DRIVER_FILE[] = L"" ZELMOOR_DRIVER_FILE;
const wchar_t MUTEX_NAME[] = L"Zelmoor";
constexpr DWORD PATH_CHARS = 1024;
}

std::wstring ProgramDirectory()
{
    wchar_t path[PATH_CHARS];
    DWORD length = GetModuleFileNameW(NULL, path, PATH_CHARS);
    std::wstring dir(path, length);
    return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

const wchar_t* DriverFileName()
{
    return DRIVER_FILE;
}

bool DriverModule::Load()
{
    m_module = LoadLibraryW((ProgramDirectory() + DRIVER_FILE).c_str());
    if (m_module == NULL)
        return false;
    m_create = reinterpret_cast<CreateBonDriverProc>(
        reinterpret_cast<void*>(GetProcAddress(m_module, CREATE_BON_DRIVER_EXPORT)));
    return m_create != nullptr;
}

IBonDriver2* DriverModule::Create()
{
    // The object is an IBonDriver2 by single inheritance: same address, no cast needed
    // across the two C++ ABIs.
    m_tuner = m_create ? static_cast<IBonDriver2*>(m_create()) : nullptr;
    return m_tuner;
}

void DriverModule::Release()
{
    if (m_tuner != nullptr)
        m_tuner->ReleaseDriver();
    m_tuner = nullptr;
}

void DriverModule::Unload()
{
    Release();
    if (m_module != NULL)
        FreeLibrary(m_module);
    m_module = NULL;
    m_create = nullptr;
}

std::wstring PipeName(DWORD channel)
{
    wchar_t name[64];
    swprintf(name, 64, L"\\\\.\\pipe\\Zelmoor%02lu", static_cast<unsigned long>(channel));
    return name;
}

bool PipeExists(DWORD channel)
{
    // A listening pipe answers at once; a connected one is busy; a missing one is not found.
    if (WaitNamedPipeW(PipeName(channel).c_str(), 1))
        return true;
    DWORD error = GetLastError();
    return error == ERROR_SEM_TIMEOUT || error == ERROR_PIPE_BUSY;
}

bool InUseMutexExists()
{
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, MUTEX_NAME);
    if (mutex == NULL)
        return false;
    CloseHandle(mutex);
    return true;
}
