#include "console_screen.h"

#include "wide.h"

namespace {
const DWORD WRITE_CHUNK = 4096;     // characters: a console takes large writes in parts
}

HANDLE ConsoleScreen::StandardConsole()
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (out == NULL || out == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(out, &info))
        return NULL;
    return out;
}

size_t ConsoleScreen::Columns()
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    // Lines wrap at the buffer's width, which a resize of the window changes too.
    if (!GetConsoleScreenBufferInfo(m_hConsole, &info) || info.dwSize.X <= 0)
        return 0;
    return static_cast<size_t>(info.dwSize.X);
}

void ConsoleScreen::EraseRowsAbove(size_t rows)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(m_hConsole, &info))
        return;
    const SHORT cursorRow = info.dwCursorPosition.Y;
    const SHORT firstRow = rows > static_cast<size_t>(cursorRow) ? 0 : static_cast<SHORT>(cursorRow - rows);
    const COORD start = {0, firstRow};
    const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(cursorRow - firstRow + 1);
    DWORD written = 0;
    FillConsoleOutputCharacterW(m_hConsole, L' ', cells, start, &written);
    SetConsoleCursorPosition(m_hConsole, start);
}

void ConsoleScreen::Write(const std::string& text)
{
    const std::wstring wide = Widen(text);
    for (size_t done = 0; done < wide.size();) {
        const DWORD size = static_cast<DWORD>(wide.size() - done < WRITE_CHUNK ? wide.size() - done : WRITE_CHUNK);
        DWORD written = 0;
        if (!WriteConsoleW(m_hConsole, wide.data() + done, size, &written, NULL) || written == 0)
            return;
        done += written;
    }
}
