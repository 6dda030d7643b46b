// The two tools run as programs: exit codes of their error paths, and a host and
// a writer moving a stream through the driver with matching digests.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>

#include "child_process.h"
#include "digest.h"
#include "host_exit_codes.h"
#include "test_pipe.h"
#include "writer_exit_codes.h"

namespace {

const DWORD RUN_TIMEOUT_MS = 30000;
const DWORD PIPE_TIMEOUT_MS = 10000;
const char  SHORT_WAIT[] = "0.5";

std::string HostExe() { return ZELMOOR_HOST_EXE; }
std::string WriterExe() { return ZELMOOR_WRITER_EXE; }
std::string DriverDll() { return ZELMOOR_DRIVER_DLL; }

bool DriverBuilt()
{
    return GetFileAttributesA(DriverDll().c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct ToolRun {
    DWORD       code;
    std::string output;
};

ToolRun RunTool(const std::string& exe, const std::vector<std::string>& args, const std::string& stdinPath = "")
{
    ChildProcess child;
    if (!child.Start(exe, args, stdinPath))
        return ToolRun{ChildProcess::STILL_RUNNING, "could not start " + exe};
    const DWORD code = child.Wait(RUN_TIMEOUT_MS);
    return ToolRun{code, child.Output()};
}

std::string WriteTempFile(const std::vector<uint8_t>& bytes)
{
    char dir[MAX_PATH + 1], path[MAX_PATH + 1];
    GetTempPathA(sizeof dir, dir);
    GetTempFileNameA(dir, "zti", 0, path);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
}

std::string DigestLineOf(const std::vector<uint8_t>& bytes)
{
    StreamDigest digest;
    digest.Update(bytes.data(), bytes.size());
    return FormatDigestLine(digest);
}

TEST(ToolsRun, MalformedCommandLinesExitWithTheUsageCode)
{
    for (const auto& args : std::vector<std::vector<std::string>>{{"--bogus"}, {"--channel"}}) {
        const ToolRun host = RunTool(HostExe(), args);
        EXPECT_EQ(static_cast<DWORD>(HOST_EXIT_USAGE), host.code) << host.output;
        EXPECT_NE(std::string::npos, host.output.find("--help")) << host.output;
    }
    const ToolRun noSource = RunTool(WriterExe(), {"--channel", "1"});
    EXPECT_EQ(static_cast<DWORD>(WRITER_EXIT_USAGE), noSource.code) << noSource.output;
    const ToolRun help = RunTool(WriterExe(), {"--help"});
    EXPECT_EQ(static_cast<DWORD>(WRITER_EXIT_OK), help.code);
    EXPECT_NE(std::string::npos, help.output.find("exit codes")) << help.output;
}

TEST(ToolsRun, WriterWithNoPipeGivesUpAfterItsWait)
{
    const ToolRun run = RunTool(WriterExe(), {"--channel", "9", "--bytes", "1K", "--wait-seconds", SHORT_WAIT});
    EXPECT_EQ(static_cast<DWORD>(WRITER_EXIT_PIPE_MISSING), run.code) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("Zelmoor09")) << run.output;
}

TEST(ToolsRun, WriterFindingThePipeTakenReportsItBusy)
{
    TestPipe pipe(8);
    ASSERT_TRUE(pipe.IsOpen());
    HANDLE other = CreateFileW(L"\\\\.\\pipe\\Zelmoor08", GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, other) << "the first writer could not connect";
    const ToolRun run = RunTool(WriterExe(), {"--channel", "8", "--bytes", "1K", "--wait-seconds", SHORT_WAIT});
    CloseHandle(other);
    EXPECT_EQ(static_cast<DWORD>(WRITER_EXIT_PIPE_BUSY), run.code) << run.output;
}

TEST(ToolsRun, WriterWhoseReaderLeavesReportsBeingCutOff)
{
    TestPipe pipe(7);
    ASSERT_TRUE(pipe.IsOpen());
    ChildProcess writer;
    ASSERT_TRUE(writer.Start(WriterExe(), {"--channel", "7", "--bytes", "1G"}));
    ASSERT_TRUE(pipe.WaitForWriter(PIPE_TIMEOUT_MS));
    ASSERT_TRUE(pipe.ReadSome(100000, PIPE_TIMEOUT_MS));
    pipe.Close();
    EXPECT_EQ(static_cast<DWORD>(WRITER_EXIT_CUT_OFF), writer.Wait(RUN_TIMEOUT_MS)) << writer.Output();
}

TEST(ToolsRun, WriterSendsAFileOrStandardInputByteForByte)
{
    std::vector<uint8_t> content(200001);
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
    const std::string path = WriteTempFile(content);
    for (const bool useStdin : {false, true}) {
        SCOPED_TRACE(useStdin ? "--stdin" : "--file");
        TestPipe pipe(6);
        ASSERT_TRUE(pipe.IsOpen());
        ChildProcess writer;
        const std::vector<std::string> args = useStdin
            ? std::vector<std::string>{"--channel", "6", "--stdin", "--random-min", "1", "--random-max", "5000"}
            : std::vector<std::string>{"--channel", "6", "--file", path};
        ASSERT_TRUE(writer.Start(WriterExe(), args, useStdin ? path : ""));
        ASSERT_TRUE(pipe.WaitForWriter(PIPE_TIMEOUT_MS));
        std::vector<uint8_t> received;
        ASSERT_TRUE(pipe.ReadUntilGone(PIPE_TIMEOUT_MS, &received));
        EXPECT_EQ(static_cast<DWORD>(WRITER_EXIT_OK), writer.Wait(RUN_TIMEOUT_MS)) << writer.Output();
        EXPECT_TRUE(received == content) << "received " << received.size() << " bytes";
        EXPECT_EQ(DigestLineOf(content), DigestLine(writer.Output()));
    }
    DeleteFileA(path.c_str());
}

TEST(ToolsRun, HostThatCannotLoadItsDllSaysSo)
{
    const ToolRun missing = RunTool(HostExe(), {"--dll", "no-such-dir\\no-such.dll"});
    EXPECT_EQ(static_cast<DWORD>(HOST_EXIT_DLL_NOT_LOADED), missing.code) << missing.output;
    EXPECT_NE(std::string::npos, missing.output.find("no-such.dll")) << missing.output;
    const ToolRun noFactory = RunTool(HostExe(), {"--dll", "kernel32.dll"});
    EXPECT_EQ(static_cast<DWORD>(HOST_EXIT_NO_FACTORY), noFactory.code) << noFactory.output;
}

TEST(ToolsRun, HostWhoseChannelIsRefusedSaysSo)
{
    ASSERT_TRUE(DriverBuilt()) << "the driver DLL is not built: " << DriverDll();
    TestPipe taken(5);
    ASSERT_TRUE(taken.IsOpen());
    const ToolRun busy = RunTool(HostExe(), {"--dll", DriverDll(), "--channel", "5", "--seconds", "5"});
    EXPECT_EQ(static_cast<DWORD>(HOST_EXIT_CHANNEL_REFUSED), busy.code) << busy.output;
    const ToolRun outOfRange = RunTool(HostExe(), {"--dll", DriverDll(), "--channel", "10", "--seconds", "5"});
    EXPECT_EQ(static_cast<DWORD>(HOST_EXIT_CHANNEL_REFUSED), outOfRange.code) << outOfRange.output;
}

struct PairCase {
    const char* name;
    std::vector<std::string> hostArgs;
    std::vector<std::string> writerArgs;
};

// Names the case instead of dumping its bytes in test listings.
void PrintTo(const PairCase& pair, std::ostream* os) { *os << pair.name; }

class HostAndWriter : public ::testing::TestWithParam<PairCase> {};

TEST_P(HostAndWriter, AgreeOnEveryByte)
{
    ASSERT_TRUE(DriverBuilt()) << "the driver DLL is not built: " << DriverDll();
    const char* bytes = "4M";
    std::vector<std::string> hostArgs = {"--dll", DriverDll(), "--channel", "3", "--until-gone",
                                         "--seconds", "20"};
    hostArgs.insert(hostArgs.end(), GetParam().hostArgs.begin(), GetParam().hostArgs.end());
    std::vector<std::string> writerArgs = {"--channel", "3", "--bytes", bytes};
    writerArgs.insert(writerArgs.end(), GetParam().writerArgs.begin(), GetParam().writerArgs.end());
    ChildProcess host, writer;
    ASSERT_TRUE(host.Start(HostExe(), hostArgs));
    ASSERT_TRUE(writer.Start(WriterExe(), writerArgs));
    EXPECT_EQ(static_cast<DWORD>(WRITER_EXIT_OK), writer.Wait(RUN_TIMEOUT_MS)) << writer.Output();
    EXPECT_EQ(static_cast<DWORD>(HOST_EXIT_OK), host.Wait(RUN_TIMEOUT_MS)) << host.Output();
    const std::string sent = DigestLine(writer.Output());
    EXPECT_NE(std::string::npos, sent.find("bytes=4194304")) << writer.Output();
    EXPECT_EQ(sent, DigestLine(host.Output())) << host.Output();
    EXPECT_NE(std::string::npos, host.Output().find("stopped: writer gone")) << host.Output();
}

INSTANTIATE_TEST_SUITE_P(ToolsRun, HostAndWriter, ::testing::Values(
    PairCase{"TakeStreamFixedWrites", {}, {}},
    PairCase{"CopyStreamRandomWrites", {"--copy"}, {"--random-min", "1", "--random-max", "100000", "--seed", "9"}},
    PairCase{"PacedWriter", {}, {"--rate", "200000000", "--write-size", "48128"}}),
    [](const ::testing::TestParamInfo<PairCase>& info) { return std::string(info.param.name); });

TEST(ToolsRun, HostRecordsExactlyTheRequestedBytesToItsFile)
{
    ASSERT_TRUE(DriverBuilt()) << "the driver DLL is not built: " << DriverDll();
    char dir[MAX_PATH + 1], out[MAX_PATH + 1];
    GetTempPathA(sizeof dir, dir);
    GetTempFileNameA(dir, "zto", 0, out);
    ChildProcess host, writer;
    ASSERT_TRUE(host.Start(HostExe(), {"--dll", DriverDll(), "--channel", "4", "--bytes", "1000000",
                                       "--seconds", "20", "--out", out}));
    ASSERT_TRUE(writer.Start(WriterExe(), {"--channel", "4", "--bytes", "2M"}));
    EXPECT_EQ(static_cast<DWORD>(HOST_EXIT_OK), host.Wait(RUN_TIMEOUT_MS)) << host.Output();
    writer.Wait(RUN_TIMEOUT_MS);    // cut off or not, depending on how far it got
    std::ifstream file(out, std::ios::binary);
    const std::vector<uint8_t> recorded((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    file.close();
    DeleteFileA(out);
    EXPECT_EQ(1000000u, recorded.size());
    EXPECT_EQ(DigestLineOf(recorded), DigestLine(host.Output()));
    EXPECT_NE(std::string::npos, host.Output().find("stopped: byte count reached")) << host.Output();
}

} // namespace
