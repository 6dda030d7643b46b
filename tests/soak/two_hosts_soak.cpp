// Two host processes, each with the driver loaded and a channel of its own open,
// fed at the same time by writers in this process; each host checks its stream.
#include <gtest/gtest.h>
#include <string>
#include "held_writer.h"
#include "driver_module.h"
#include "soak_common.h"
#include "wait_until.h"

namespace {

constexpr int HOSTS = 2;
constexpr DWORD HOST_CHANNELS[HOSTS] = {3, 8};
constexpr uint64_t HOST_SEEDS[HOSTS] = {0x2B0571, 0x2B0572};
constexpr uint64_t BYTES_PER_HOST = 512 * MiB;
constexpr DWORD HOST_START_TIMEOUT_MS = 30000;
constexpr DWORD HOST_RUN_TIMEOUT_MS = 240000;
constexpr DWORD CONNECT_MS = 5000;
constexpr DWORD KILLED_EXIT_CODE = 0xDEAD;
const wchar_t HOST_PROGRAM[] = L"soak_host.exe";
const char SOAK[] = "two hosts";

// One host process; ended by force if it outlives the test.
class HostProcess {
public:
    ~HostProcess()
    {
        if (m_process == NULL)
            return;
        TerminateProcess(m_process, KILLED_EXIT_CODE);
        CloseHandle(m_process);
    }
    bool Start(DWORD channel, uint64_t seed, uint64_t bytes)
    {
        const std::wstring program = ProgramDirectory() + HOST_PROGRAM;
        std::wstring line = L"\"" + program + L"\" " + std::to_wstring(channel) + L" " + std::to_wstring(seed) +
                            L" " + std::to_wstring(bytes);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (!CreateProcessW(program.c_str(), &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info))
            return false;
        CloseHandle(info.hThread);
        m_process = info.hProcess;
        return true;
    }
    // The exit code, or KILLED_EXIT_CODE when the host did not end in time.
    DWORD Finish(DWORD timeoutMs)
    {
        DWORD code = KILLED_EXIT_CODE;
        if (WaitForSingleObject(m_process, timeoutMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(m_process, &code);
        else
            TerminateProcess(m_process, KILLED_EXIT_CODE);
        CloseHandle(m_process);
        m_process = NULL;
        return code;
    }

private:
    HANDLE m_process = NULL;
};

TEST(TwoHostsSoak, TwoHostProcessesOnTwoChannelsEachReceiveTheirOwnStreamWholeAtTheSameTime)
{
    ASSERT_FALSE(PipeExists(HOST_CHANNELS[0]) || PipeExists(HOST_CHANNELS[1])) << "a channel is taken already";
    const Figures start = Figures::Take();
    PrintFigures(SOAK, "start", start);
    ASSERT_TRUE(Counted(start));
    const Stopwatch clock;
    HostProcess hosts[HOSTS];
    for (int i = 0; i < HOSTS; ++i)
        ASSERT_TRUE(hosts[i].Start(HOST_CHANNELS[i], HOST_SEEDS[i], BYTES_PER_HOST)) << "host " << i;
    ASSERT_TRUE(WaitUntil([] { return PipeExists(HOST_CHANNELS[0]) && PipeExists(HOST_CHANNELS[1]); },
                          HOST_START_TIMEOUT_MS))
        << "both hosts must have their channel open";
    // Held connected until the hosts are done, so neither sees a departure.
    HeldWriter first(HOST_CHANNELS[0], HOST_SEEDS[0], BYTES_PER_HOST, 1, MAX_WRITE, CONNECT_MS);
    HeldWriter second(HOST_CHANNELS[1], HOST_SEEDS[1], BYTES_PER_HOST, 1, MAX_WRITE, CONNECT_MS);
    first.Start();
    second.Start();
    const DWORD codes[HOSTS] = {hosts[0].Finish(HOST_RUN_TIMEOUT_MS), hosts[1].Finish(HOST_RUN_TIMEOUT_MS)};
    first.Release();
    second.Release();
    first.Join();
    second.Join();
    PrintVolume(SOAK, first.BytesWritten() + second.BytesWritten(), clock.Seconds());
    const Figures end = Figures::Take();
    PrintFigures(SOAK, "end", end);

    for (int i = 0; i < HOSTS; ++i)
        EXPECT_EQ(codes[i], 0u) << "host on channel " << HOST_CHANNELS[i];
    EXPECT_TRUE(first.Succeeded()) << first.BytesWritten() << " bytes written";
    EXPECT_TRUE(second.Succeeded()) << second.BytesWritten() << " bytes written";
    EXPECT_EQ(end.threads, start.threads);
}

}  // namespace
