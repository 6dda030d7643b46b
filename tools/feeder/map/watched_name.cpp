#include "watched_name.h"

#include <vector>

namespace {

const DWORD PATH_CHARS_MAX = 32768;     // the longest path Windows knows, \\?\ included

std::wstring LastPart(const std::wstring& path)
{
    return path.substr(path.find_last_of(L"\\/") + 1);
}

bool SameName(const wchar_t* name, int length, const std::wstring& other)
{
    return !other.empty()
        && CompareStringOrdinal(name, length, other.c_str(), static_cast<int>(other.size()), TRUE) == CSTR_EQUAL;
}

} // namespace

void WatchedName::Set(const std::wstring& fullPath)
{
    m_path = fullPath;
    m_long = LastPart(fullPath);
    Refresh();
}

void WatchedName::Refresh()
{
    std::vector<wchar_t> shorter(PATH_CHARS_MAX);
    const DWORD length = GetShortPathNameW(m_path.c_str(), shorter.data(), PATH_CHARS_MAX);
    // A missing file keeps the short name it had: its deletion is reported under it.
    if (length > 0 && length < PATH_CHARS_MAX)
        m_short = LastPart(std::wstring(shorter.data(), length));
}

bool WatchedName::Matches(const wchar_t* name, int length) const
{
    return SameName(name, length, m_long) || SameName(name, length, m_short);
}
