// A watched file as a folder's change records name it: ReadDirectoryChangesW
// reports either its long name or its 8.3 short name.
#pragma once
#include <windows.h>

#include <string>

class WatchedName {
public:
    // `fullPath` is the file's full long path; its short name is looked up again
    // by Refresh, since a save that renames a new file over it may bring another.
    void Set(const std::wstring& fullPath);
    void Refresh();
    // Without case, as names on Windows compare: the editor may have saved "Map.txt".
    bool Matches(const wchar_t* name, int length) const;

private:
    std::wstring    m_path;
    std::wstring    m_long;
    std::wstring    m_short;    // empty when the volume makes none or the file is gone
};
