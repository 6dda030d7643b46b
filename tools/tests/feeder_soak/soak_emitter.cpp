// The soak's cmd: program: writes a clip to standard output in a loop at the
// clips' rate, as a capture program would, and exits when the soak signals
// its event (an auto-reset event, so one signal ends one run).
//   soak_emitter FILE EXIT_EVENT
#include <windows.h>

#include <algorithm>
#include <vector>

#include "soak_layout.h"

namespace {

enum EmitterExit { EMITTER_TOLD = 0, EMITTER_USAGE = 2, EMITTER_NO_INPUT = 3, EMITTER_OUTPUT_GONE = 4 };
const DWORD PIECE_BYTES = 32 * 188;
const double MS_PER_SECOND = 1000.0;
const double BYTES_PER_BIT = 1.0 / 8.0;

std::vector<char> ReadClip(const wchar_t* path)
{
    std::vector<char> clip;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return clip;
    LARGE_INTEGER size;
    DWORD got = 0;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        clip.resize(static_cast<size_t>(size.QuadPart));
        if (!ReadFile(file, clip.data(), static_cast<DWORD>(clip.size()), &got, NULL) || got != clip.size())
            clip.clear();
    }
    CloseHandle(file);
    return clip;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        return EMITTER_USAGE;
    const std::vector<char> clip = ReadClip(argv[1]);
    HANDLE told = CreateEventW(NULL, FALSE, FALSE, argv[2]);
    if (clip.empty() || told == NULL)
        return EMITTER_NO_INPUT;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    const double msPerPiece = PIECE_BYTES / (SOAK_CLIP_BITS_PER_SECOND * BYTES_PER_BIT) * MS_PER_SECOND;
    const ULONGLONG start = GetTickCount64();
    size_t at = 0;
    for (uint64_t piece = 0;; ++piece) {
        const double due = piece * msPerPiece - static_cast<double>(GetTickCount64() - start);
        if (WaitForSingleObject(told, due > 0 ? static_cast<DWORD>(due) : 0) == WAIT_OBJECT_0)
            return EMITTER_TOLD;
        const DWORD size = static_cast<DWORD>(std::min<size_t>(PIECE_BYTES, clip.size() - at));
        DWORD written = 0;
        if (!WriteFile(out, clip.data() + at, size, &written, NULL))
            return EMITTER_OUTPUT_GONE;
        at = (at + size) % clip.size();
    }
}
