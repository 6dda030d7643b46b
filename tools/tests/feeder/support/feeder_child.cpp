#include "feeder_child.h"

#include "wait_until.h"
#include "wide.h"

::testing::AssertionResult FeederChild::WaitForOutput(const std::string& text, DWORD timeoutMs)
{
    if (WaitUntil([&] { return Output().find(text) != std::string::npos; }, timeoutMs))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no '" << text << "' from the feeder within " << timeoutMs
                                         << " ms; it wrote:\n" << Output();
}

std::string EmitterSource(const std::string& streamPath, const std::string& eventName)
{
    return "cmd:\"" + std::string(ZELMOOR_EMITTER_EXE) + "\" \"" + streamPath + "\" " + eventName;
}

bool EmitterAlive(const std::string& eventName)
{
    HANDLE h = OpenEventW(SYNCHRONIZE, FALSE, Widen(eventName).c_str());
    if (h == NULL)
        return false;
    CloseHandle(h);
    return true;
}

std::string UniqueName(const char* purpose)
{
    return std::string("zelmoor-test-") + purpose + "-" + std::to_string(GetCurrentProcessId()) + "-"
         + std::to_string(GetTickCount64());
}
