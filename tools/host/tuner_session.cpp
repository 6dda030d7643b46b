#include "tuner_session.h"

#include "system_error.h"
#include "wide.h"

namespace {

// The driver of this program's bitness, named by the build.
const wchar_t DEFAULT_DRIVER_NAME[] = L"" ZELMOOR_DRIVER_FILE;
const DWORD   MODULE_PATH_CAPACITY = 32768;
const DWORD   TUNING_SPACE = 0;
const DWORD   CHANNEL_COUNT_LIMIT = 100000;    // a driver that names every number still ends

std::string LastErrorText(const char* what, const std::wstring& path)
{
    const DWORD code = GetLastError();
    return std::string(what) + " '" + Narrow(path) + "' (" + SystemErrorText(code) + ")";
}

// The channels a driver offers are the ones it names, from 0 up.
DWORD CountChannels(IBonDriver2* tuner)
{
    DWORD count = 0;
    while (count < CHANNEL_COUNT_LIMIT && tuner->EnumChannel(TUNING_SPACE, count) != nullptr)
        ++count;
    return count;
}

std::string RefusalText(IBonDriver2* tuner, uint32_t channel)
{
    const DWORD count = CountChannels(tuner);
    const std::string which = "channel " + std::to_string(channel);
    if (count == 0)
        return "the driver refused " + which + " and names no channels";
    const std::string range = "0 to " + std::to_string(count - 1);
    if (channel >= count)
        return which + " is out of range: the driver offers channels " + range;
    return "the driver refused " + which + ", one of its channels " + range
         + " (is another host using it?)";
}

} // namespace

std::wstring DefaultDriverPath()
{
    std::wstring path(MODULE_PATH_CAPACITY, L'\0');
    const DWORD length = GetModuleFileNameW(NULL, &path[0], MODULE_PATH_CAPACITY);
    path.resize(length);
    const size_t slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return path + DEFAULT_DRIVER_NAME;
}

HostExitCode TunerSession::Open(const std::wstring& dllPath, uint32_t channel, std::string* error)
{
    Close();
    m_hModule = LoadLibraryW(dllPath.c_str());
    if (m_hModule == NULL) {
        *error = LastErrorText("cannot load the tuner DLL", dllPath);
        return HOST_EXIT_DLL_NOT_LOADED;
    }
    const CreateBonDriverProc create = reinterpret_cast<CreateBonDriverProc>(
        reinterpret_cast<void*>(GetProcAddress(m_hModule, CREATE_BON_DRIVER_EXPORT)));
    if (create == nullptr) {
        *error = "no " + std::string(CREATE_BON_DRIVER_EXPORT) + " export in '" + Narrow(dllPath) + "'";
        return HOST_EXIT_NO_FACTORY;
    }
    // The driver's object implements IBonDriver2 by single inheritance, so the
    // IBonDriver pointer it hands out is the IBonDriver2 pointer as well.
    m_pTuner = static_cast<IBonDriver2*>(create());
    if (m_pTuner == nullptr) {
        *error = std::string(CREATE_BON_DRIVER_EXPORT) + " returned no tuner";
        return HOST_EXIT_NO_TUNER;
    }
    if (!m_pTuner->SelectChannel(TUNING_SPACE, channel)) {
        *error = RefusalText(m_pTuner, channel);
        return HOST_EXIT_CHANNEL_REFUSED;
    }
    return HOST_EXIT_OK;
}

void TunerSession::Close()
{
    if (m_pTuner != nullptr) {
        m_pTuner->CloseTuner();
        m_pTuner->ReleaseDriver();
        m_pTuner = nullptr;
    }
    if (m_hModule != NULL) {
        FreeLibrary(m_hModule);
        m_hModule = NULL;
    }
}
