// A host built like MSVC-built hosts: it converts the driver object with
// dynamic_cast, which reads the driver's MSVC RTTI. Exit code 0 means it worked;
// either way it says which step it reached, so that no end of it is silent.
#include "IBonDriver.h"

namespace {

constexpr UINT HOST_OK = 0;
constexpr UINT NO_DRIVER = 10;
constexpr UINT NO_EXPORT = 11;
constexpr UINT NO_OBJECT = 12;
constexpr UINT CAST_FAILED = 13;
constexpr UINT CAST_MOVED = 14;
constexpr UINT CALL_FAILED = 15;
constexpr DWORD PATH_CHARS = 1024;
// The driver of this host's bitness, named by the build.
const WCHAR DRIVER_FILE[] = L"" ZELMOOR_DRIVER_FILE;
const WCHAR EXPECTED_NAME[] = L"UDP/Compat";

HMODULE LoadDriverBesideHost()
{
    WCHAR path[PATH_CHARS];
    DWORD length = GetModuleFileNameW(NULL, path, PATH_CHARS);
    while (length > 0 && path[length - 1] != L'\\')
        --length;
    lstrcpyW(path + length, DRIVER_FILE);
    return LoadLibraryW(path);
}

UINT CheckDriver()
{
    HMODULE module = LoadDriverBesideHost();
    if (module == NULL)
        return NO_DRIVER;
    auto create = reinterpret_cast<CreateBonDriverProc>(GetProcAddress(module, CREATE_BON_DRIVER_EXPORT));
    if (create == NULL)
        return NO_EXPORT;
    IBonDriver* driver = create();
    if (driver == NULL)
        return NO_OBJECT;
    IBonDriver2* driver2 = dynamic_cast<IBonDriver2*>(driver);
    if (driver2 == NULL)
        return CAST_FAILED;
    if (static_cast<IBonDriver*>(driver2) != driver)
        return CAST_MOVED;
    if (lstrcmpW(driver2->QueryTunerName(), EXPECTED_NAME) != 0 || driver2->QueryCurrentChannel() != 0xFFFFFFFF)
        return CALL_FAILED;
    driver->ReleaseDriver();
    FreeLibrary(module);
    return HOST_OK;
}

const char* Outcome(UINT code)
{
    switch (code) {
    case HOST_OK: return "abi_host: the object converted with dynamic_cast and answered\n";
    case NO_DRIVER: return "abi_host: the driver beside the host did not load\n";
    case NO_EXPORT: return "abi_host: the driver has no creation export\n";
    case NO_OBJECT: return "abi_host: the creation export gave no object\n";
    case CAST_FAILED: return "abi_host: dynamic_cast refused the object\n";
    case CAST_MOVED: return "abi_host: dynamic_cast moved the object's address\n";
    default: return "abi_host: the converted object answered wrongly\n";
    }
}

void Say(const char* text)
{
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, lstrlenA(text), &written, NULL);
}

}  // namespace

extern "C" void HostMain()
{
    const UINT code = CheckDriver();
    Say(Outcome(code));
    ExitProcess(code);
}
