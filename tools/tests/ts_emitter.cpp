// A program for cmd: sources in tests: writes a transport stream file to its
// standard output once, at about 10 Mbit/s, and stays alive until it is ended.
// While it lives, a named event says so, so a test can see it is gone.
//   ts_emitter FILE EVENT_NAME [exit]     ("exit": end after the file instead)
#include <windows.h>

#include <cstdio>
#include <vector>

#include "wide.h"

namespace {

const DWORD  PIECE_BYTES = 64 * 188;
const DWORD  PIECE_PAUSE_MS = 10;
const DWORD  STAY_MS = 60 * 1000;   // a test that forgot it: gone after a minute anyway

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 2;
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
