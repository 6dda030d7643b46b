// A service manager's handle with one owner, closed once.
#pragma once
#include <windows.h>

class ScHandle {
public:
    explicit ScHandle(SC_HANDLE h) : m_h(h) {}
    ~ScHandle()
    {
        if (m_h != NULL)
            CloseServiceHandle(m_h);
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    SC_HANDLE Get() const { return m_h; }

private:
    SC_HANDLE m_h;
};
