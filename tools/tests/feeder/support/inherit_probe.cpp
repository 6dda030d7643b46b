// A program for cmd: sources in tests: tells whether it inherited a handle.
//   inherit_probe EVENT_HANDLE
// Sets the event if this process holds it (only an inherited handle can name the
// test's event here), then writes "probed" to its standard output and exits.
#include <windows.h>

#include <cstdlib>
#include <cwchar>

namespace {

const char   PROBED[] = "probed";
const int    NUMBER_BASE = 0;   // 0x... as the test writes it

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    HANDLE event = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(std::wcstoull(argv[1], nullptr, NUMBER_BASE)));
    SetEvent(event);    // fails harmlessly on a handle this process does not hold
    DWORD written = 0;
    return WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), PROBED, sizeof PROBED - 1, &written, NULL) ? 0 : 3;
}
