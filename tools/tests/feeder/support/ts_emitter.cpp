// A program for cmd: sources in tests: writes a transport stream file to its
// standard output once, at about 10 Mbit/s, and stays alive until it is ended.
// While it lives, a named event says so, so a test can see it is gone.
//   ts_emitter FILE EVENT_NAME [exit|parent]
// "exit": end after the file instead; "parent": leave the writing to a child
// (EVENT_NAME-child) started with the same output, and wait.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "wide.h"

namespace {

const DWORD  PIECE_BYTES = 64 * 188;
const DWORD  PIECE_PAUSE_MS = 10;
const DWORD  STAY_MS = 60 * 1000;   // a test that forgot it: gone after a minute anyway

// The same program as a child that inherits standard output, so that a test can see
// whether the child is ended with its parent's job.
int RunChild(const wchar_t* file, const wchar_t* eventName)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(NULL, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) + L"\" \"" + file + L"\" " + eventName + L"-child";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child = {};
    if (!CreateProcessW(NULL, &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &child))
        return 5;
    WaitForSingleObject(child.hProcess, STAY_MS);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
    if (argc > 3 && std::wstring(argv[3]) == L"parent") {
        HANDLE alive = CreateEventW(NULL, TRUE, FALSE, argv[2]);
        return alive != NULL ? RunChild(argv[1], argv[2]) : 3;
    }
    HANDLE alive = CreateEventW(NULL, TRUE, FALSE, argv[2]);
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (alive == NULL || file == INVALID_HANDLE_VALUE)
        return 3;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    std::vector<char> piece(PIECE_BYTES);
    DWORD got = 0;
    while (ReadFile(file, piece.data(), PIECE_BYTES, &got, NULL) && got > 0) {
        DWORD written = 0;
        if (!WriteFile(out, piece.data(), got, &written, NULL))
            return 4;
        Sleep(PIECE_PAUSE_MS);
    }
    if (argc > 3)
        return 0;
    Sleep(STAY_MS);
    return 0;
}
