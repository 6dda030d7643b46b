// A status board screen for tests: it keeps what the board writes, for any thread.
#pragma once
#include <windows.h>

#include <string>

#include "board_redraw.h"

class TextScreen : public BoardScreen {
public:
    explicit TextScreen(size_t columns) : m_columns(columns) { InitializeCriticalSection(&m_csText); }
    ~TextScreen() override { DeleteCriticalSection(&m_csText); }
    size_t Columns() override { return m_columns; }
    void EraseRowsAbove(size_t) override {}
    void Write(const std::string& text) override
    {
        EnterCriticalSection(&m_csText);
        m_text += text;
        LeaveCriticalSection(&m_csText);
    }
    std::string Text()
    {
        EnterCriticalSection(&m_csText);
        const std::string text = m_text;
        LeaveCriticalSection(&m_csText);
        return text;
    }

private:
    const size_t        m_columns;
    CRITICAL_SECTION    m_csText;
    std::string         m_text;
};
