// The status board's screen on a Windows console: the console's own calls, which
// every console understands (escape sequences are not), and UTF-16 text.
#pragma once
#include <windows.h>

#include "board_redraw.h"

class ConsoleScreen : public BoardScreen {
public:
    explicit ConsoleScreen(HANDLE hConsole) : m_hConsole(hConsole) {}
    // Standard output when it is a console, else null.
    static HANDLE StandardConsole();

    size_t Columns() override;
    void EraseRowsAbove(size_t rows) override;
    void Write(const std::string& text) override;

private:
    HANDLE  m_hConsole;     // not owned: standard output
};
