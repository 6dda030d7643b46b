// Records the debugger-output lines the driver writes, on Wine and Windows alike.
#pragma once
#include <string>
#include <vector>

class DebugCapture {
public:
    DebugCapture();     // starts recording
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> Lines() const;     // the driver's lines only ("Zelmoor: ...")
    std::string Joined() const;
    void Clear();
};
