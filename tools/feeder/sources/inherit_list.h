// The handles a started program may inherit, and no others: CreateProcess with
// bInheritHandles passes every inheritable handle of the process otherwise,
// sockets and other channels' pipes included.
#pragma once
#include <windows.h>

#include <initializer_list>
#include <vector>

class InheritList {
public:
    InheritList() = default;
    ~InheritList();
    InheritList(const InheritList&) = delete;
    InheritList& operator=(const InheritList&) = delete;

    // Once per list. The handles must be inheritable; a handle named twice is
    // listed once. False with GetLastError set.
    bool Set(std::initializer_list<HANDLE> handles);
    // For STARTUPINFOEXW::lpAttributeList, with EXTENDED_STARTUPINFO_PRESENT.
    LPPROC_THREAD_ATTRIBUTE_LIST Attributes() const { return m_pList; }

private:
    std::vector<HANDLE>             m_handles;      // read by CreateProcess: must outlive it
    std::vector<BYTE>               m_storage;
    LPPROC_THREAD_ATTRIBUTE_LIST    m_pList = NULL; // in m_storage once initialised
};
