#include "console.h"

#include <windows.h>

#include <cstdio>

namespace {

const double PROGRESS_INTERVAL_SECONDS = 0.25;

bool IsTerminal(DWORD stdHandle)
{
    HANDLE h = GetStdHandle(stdHandle);
    DWORD mode = 0;
    return h != NULL && h != INVALID_HANDLE_VALUE
        && (GetConsoleMode(h, &mode) || GetFileType(h) == FILE_TYPE_CHAR);
}

} // namespace

ProgressLine::ProgressLine()
    : m_enabled(IsTerminal(STD_OUTPUT_HANDLE) || IsTerminal(STD_ERROR_HANDLE))
{
}

void ProgressLine::Show(double nowSeconds, const std::string& text, bool force)
{
    if (!m_enabled || (!force && m_shown && nowSeconds - m_lastSeconds < PROGRESS_INTERVAL_SECONDS))
        return;
    // Padding wipes what a longer previous line left behind.
    std::fprintf(stderr, "\r%-78s", text.c_str());
    std::fflush(stderr);
    m_shown = true;
    m_lastSeconds = nowSeconds;
}

void ProgressLine::Finish()
{
    if (m_shown)
        std::fputc('\n', stderr);
    m_shown = false;
}
