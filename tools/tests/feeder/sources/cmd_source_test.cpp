// cmd: sources in-process: what the started program is given.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "source_kinds.h"

namespace {

const DWORD     READ_WAIT_MS = 50;
const ULONGLONG DEADLINE_MS = 10 * 1000;
const size_t    READ_BYTES = 4096;
const char      PROBED[] = "probed";

// Reads the program's output until it exits, or the deadline passes.
std::string OutputUntilExit(Source* source)
{
    std::string output;
    std::vector<uint8_t> buffer(READ_BYTES);
    const ULONGLONG deadline = GetTickCount64() + DEADLINE_MS;
    while (GetTickCount64() < deadline) {
        const ReadResult r = source->Read(buffer.data(), buffer.size(), READ_WAIT_MS);
        if (r.status == ReadStatus::FAILED)
            break;
        output.append(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(r.bytes));
    }
    return output;
}

// Any inheritable handle of the feeder, such as another channel's socket, stands
// for all: the program may hold its standard handles and nothing else.
TEST(CmdSource, TheProgramInheritsItsStandardHandlesOnly)
{
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    HANDLE event = CreateEventW(&inheritable, TRUE, FALSE, NULL);
    ASSERT_NE(event, nullptr);
    char value[32];
    std::snprintf(value, sizeof value, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(event)));
    std::string why;
    std::unique_ptr<SourceConfig> config =
        ParseCmdSource("cmd:\"" + std::string(ZELMOOR_INHERIT_PROBE_EXE) + "\" " + value, &why);
    ASSERT_TRUE(config) << why;
    std::unique_ptr<Source> source = config->Create();
    ASSERT_TRUE(source->Open()) << source->Error();
    EXPECT_EQ(OutputUntilExit(source.get()), PROBED) << "the program did not run to its end: " << source->Error();
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "the program inherited a handle not its own";
    source->Close();
    CloseHandle(event);
}

} // namespace
