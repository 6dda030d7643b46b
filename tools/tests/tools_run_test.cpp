// The two tools run as programs: exit codes of their error paths, and a host and
// a writer moving a stream through the driver with matching digests.
#include <gtest/gtest.h>
#include <windows.h>

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "child_process.h"
#include "digest.h"
#include "host_exit_codes.h"
#include "pipe_name.h"
#include "test_pipe.h"
#include "writer_exit_codes.h"

namespace {

const DWORD RUN_TIMEOUT_MS = 30000;
const DWORD PIPE_TIMEOUT_MS = 10000;
const char  SHORT_WAIT[] = "0.5";
const char  RECORDING[] = "a finished recording that no failed run may touch";
const DWORD PIPE_POLL_MS = 20;
const uint64_t STRANDED_BYTES = 10000;     // well within the test pipe's buffer
const uint64_t CUT_OFF_WRITE_BYTES = 1316;  // one write may be under way when the pipe goes

std::string HostExe() { return ZELMOOR_HOST_EXE; }
std::string WriterExe() { return ZELMOOR_WRITER_EXE; }
std::string DriverDll() { return ZELMOOR_DRIVER_DLL; }
std::string DistDir() { return ZELMOOR_DIST_DIR; }

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Opens a channel's pipe as its writer once the host has made it, within the deadline.
HANDLE ConnectWhenThere(uint32_t channel, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        HANDLE pipe = CreateFileW(PipeNameForChannel(channel).c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        if (pipe != INVALID_HANDLE_VALUE || GetTickCount() - start >= timeoutMs)
            return pipe;
        Sleep(PIPE_POLL_MS);
    }
}

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
    for (const std::string& exe : {HostExe(), WriterExe()}) {
        const ToolRun help = RunTool(exe, {"-h"});
        EXPECT_EQ(0u, help.code) << exe;
        EXPECT_NE(std::string::npos, help.output.find("exit codes")) << help.output;
    }
}

TEST(ToolsRun, WriterWithNoPipeGivesUpAfterItsWait)
{
    const ToolRun run = RunTool(WriterExe(), {"--channel", "9", "--bytes", "1K", "--wait-seconds", SHORT_WAIT});
    EXPECT_EQ(static_cast<DWORD>(WRITER_EXIT_PIPE_MISSING), run.code) << run.output;
    EXPECT_TRUE(Contains(run.output, "writer: waiting up to 0.5 s for \\\\.\\pipe\\Zelmoor09 to appear")) << run.output;
    EXPECT_TRUE(Contains(run.output, "no pipe '\\\\.\\pipe\\Zelmoor09' after 0.5 s")) << run.output;
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

// Bytes in the pipe's buffer when its reader leaves never arrive, so the writer
// may count as taken only what it knows left the buffer.
TEST(ToolsRun, WriterCutOffSeparatesWhatThePipeAcceptedFromWhatItsReaderTook)
{
    TestPipe pipe(7);
    ASSERT_TRUE(pipe.IsOpen());
    ChildProcess writer;
    ASSERT_TRUE(writer.Start(WriterExe(), {"--channel", "7", "--bytes", "1G", "--write-size",
                                           std::to_string(CUT_OFF_WRITE_BYTES)}));
    ASSERT_TRUE(pipe.WaitForWriter(PIPE_TIMEOUT_MS));
    size_t read = 0;
    ASSERT_TRUE(pipe.ReadSome(100000, PIPE_TIMEOUT_MS, &read));
    // Bytes the pipe accepted and nobody will read.
    ASSERT_TRUE(pipe.WaitForBuffered(STRANDED_BYTES, PIPE_TIMEOUT_MS));
    const size_t stranded = pipe.Buffered();
    ASSERT_GE(stranded, STRANDED_BYTES);
    pipe.Close();
    EXPECT_EQ(static_cast<DWORD>(WRITER_EXIT_CUT_OFF), writer.Wait(RUN_TIMEOUT_MS)) << writer.Output();
    const std::string output = writer.Output();
    const size_t at = output.find("the pipe accepted ");
    ASSERT_NE(std::string::npos, at) << output;
    uint64_t accepted = 0, taken = 0, unconfirmed = 0;
    ASSERT_EQ(3, std::sscanf(output.c_str() + at, "the pipe accepted %" SCNu64 " bytes; the reader took at least %"
                             SCNu64 "; the last %" SCNu64 " may not", &accepted, &taken, &unconfirmed)) << output;
    EXPECT_LE(taken, read) << "counted as taken more than the reader read";
    // What the test read and left in the buffer, counted on the pipe's side, is what the
    // pipe accepted, give or take the one write under way when the pipe went.
    EXPECT_LE(accepted, read + stranded + CUT_OFF_WRITE_BYTES) << read << " read, " << stranded << " left unread";
    EXPECT_GE(accepted + CUT_OFF_WRITE_BYTES, read + stranded) << read << " read, " << stranded << " left unread";
    EXPECT_GE(unconfirmed + CUT_OFF_WRITE_BYTES, stranded) << "bytes left in the buffer counted as taken";
    EXPECT_TRUE(Contains(DigestLine(output), "bytes=" + std::to_string(accepted))) << output;
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
    EXPECT_TRUE(Contains(busy.output, "is another host using it?")) << busy.output;
    const ToolRun outOfRange = RunTool(HostExe(), {"--dll", DriverDll(), "--channel", "10", "--seconds", "5"});
    EXPECT_EQ(static_cast<DWORD>(HOST_EXIT_CHANNEL_REFUSED), outOfRange.code) << outOfRange.output;
    EXPECT_TRUE(Contains(outOfRange.output, "channel 10 is out of range: the driver offers channels 0 to 9"))
        << outOfRange.output;
    EXPECT_FALSE(Contains(outOfRange.output, "another host")) << outOfRange.output;
}

TEST(ToolsRun, HostWritesTheStreamToStandardOutputForADash)
{
    ASSERT_TRUE(DriverBuilt()) << "the driver DLL is not built: " << DriverDll();
    const size_t bytes = 100000;
    ChildProcess host, writer;
    ASSERT_TRUE(host.Start(HostExe(), {"--dll", DriverDll(), "--channel", "4", "--bytes", std::to_string(bytes),
                                       "--seconds", "20", "--out", "-"}));
    ASSERT_TRUE(writer.Start(WriterExe(), {"--channel", "4", "--bytes", "1M"}));
    EXPECT_EQ(static_cast<DWORD>(HOST_EXIT_OK), host.Wait(RUN_TIMEOUT_MS)) << host.Output();
    writer.Wait(RUN_TIMEOUT_MS);    // cut off or not, depending on how far it got
    // Standard output and error share one capture: the stream and the host's lines.
    EXPECT_GT(host.Output().size(), bytes);
    EXPECT_TRUE(Contains(DigestLine(host.Output()), "bytes=" + std::to_string(bytes))) << "no summary";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("-")) << "a file named '-' was made";
    DeleteFileA("-");
}

TEST(ToolsRun, HostLeavesAnExistingRecordingAloneWhenItFails)
{
    ASSERT_TRUE(DriverBuilt()) << "the driver DLL is not built: " << DriverDll();
    const std::string out = WriteTempFile(std::vector<uint8_t>(RECORDING, RECORDING + sizeof RECORDING));
    struct Failure {
        std::vector<std::string> args;
        HostExitCode code;
    };
    const std::vector<Failure> failures = {
        {{"--dll", "no-such-dir\\no-such.dll"}, HOST_EXIT_DLL_NOT_LOADED},
        {{"--dll", DriverDll(), "--channel", "10"}, HOST_EXIT_CHANNEL_REFUSED},
        {{"--dll", DriverDll(), "--channel", "2", "--until-gone", "--wait-seconds", SHORT_WAIT}, HOST_EXIT_NO_WRITER},
    };
    for (const Failure& failure : failures) {
        std::vector<std::string> args = failure.args;
        args.insert(args.end(), {"--out", out});
        const ToolRun run = RunTool(HostExe(), args);
        EXPECT_EQ(static_cast<DWORD>(failure.code), run.code) << run.output;
        EXPECT_EQ(std::string(RECORDING, sizeof RECORDING), ReadFileBytes(out)) << run.output;
    }
    DeleteFileA(out.c_str());
}

// The release is a folder with the host beside the driver: from dist/, and from
// a copy of it elsewhere, as a user unpacks the zip, the default finds the DLL.
TEST(ToolsRun, HostFindsTheDriverBesideItselfWithoutDll)
{
    if (sizeof(void*) != 8)
        GTEST_SKIP() << "the release's tools are the 64-bit ones; the 64-bit tree runs this";
    ASSERT_TRUE(DriverBuilt()) << "the driver DLL is not built: " << DriverDll();
    char temp[MAX_PATH + 1];
    GetTempPathA(sizeof temp, temp);
    const std::string unpacked = std::string(temp) + "zelmoor unpacked (" + std::to_string(GetCurrentProcessId()) + ")";
    CreateDirectoryA(unpacked.c_str(), NULL);
    const char* files[] = {"zelmoor_host.exe", "Zelmoor(x64).dll"};
    for (const char* file : files)
        CopyFileA((DistDir() + "/" + file).c_str(), (unpacked + "\\" + file).c_str(), FALSE);
    for (const std::string& folder : {DistDir(), unpacked}) {
        const ToolRun run = RunTool(folder + "/zelmoor_host.exe", {"--channel", "2", "--seconds", "0.2"});
        EXPECT_EQ(static_cast<DWORD>(HOST_EXIT_OK), run.code) << folder << "\n" << run.output;
        EXPECT_TRUE(Contains(run.output, "host: channel 2 selected")) << run.output;
    }
    for (const char* file : files)
        DeleteFileA((unpacked + "\\" + file).c_str());
    RemoveDirectoryA(unpacked.c_str());
}

TEST(ToolsRun, HostUntilGoneGivesUpWhenNoWriterOrNoDataCameWithinItsWait)
{
    ASSERT_TRUE(DriverBuilt()) << "the driver DLL is not built: " << DriverDll();
    const std::vector<std::string> args = {"--dll", DriverDll(), "--channel", "2", "--until-gone",
                                           "--wait-seconds", "1"};
    const ToolRun nobody = RunTool(HostExe(), args);
    EXPECT_EQ(static_cast<DWORD>(HOST_EXIT_NO_WRITER), nobody.code) << nobody.output;
    EXPECT_TRUE(Contains(nobody.output, "no writer came within 1 s")) << nobody.output;

    // Long enough for this process to find the pipe and connect before the host's wait ends.
    std::vector<std::string> patient = args;
    patient.back() = "5";
    ChildProcess host;
    ASSERT_TRUE(host.Start(HostExe(), patient));
    HANDLE silent = ConnectWhenThere(2, PIPE_TIMEOUT_MS);
    EXPECT_NE(INVALID_HANDLE_VALUE, silent) << "the host's pipe never appeared";
    const DWORD code = host.Wait(RUN_TIMEOUT_MS);
    if (silent != INVALID_HANDLE_VALUE)
        CloseHandle(silent);
    EXPECT_EQ(static_cast<DWORD>(HOST_EXIT_NO_DATA), code) << host.Output();
    EXPECT_TRUE(Contains(host.Output(), "a writer is connected but sent no data within 5 s")) << host.Output();
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
