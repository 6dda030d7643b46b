// The network sources against real senders and servers that nobody here wrote:
// ffmpeg's UDP, RTP and HTTP output, Python's http.server and a Python TCP
// server. net_peer_test.sh starts them on loopback (multicast inside a network
// namespace of its own) and names them in ZELMOOR_PEER_* variables.
#include <winsock2.h>

#include "source_kinds.h"
#include "ts_check.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const DWORD READ_WAIT_MS = 50;
const ULONGLONG DEADLINE_MS = 20 * 1000;
const size_t LIVE_PACKETS = 1000;       // a few seconds of the clip
const size_t READ_CAPACITY = 64 * 1024;
// ffmpeg's transport stream muxer puts its one program here.
const uint16_t PAT_PID = 0x0000;
const uint16_t PMT_PID = 0x1000;
const uint16_t VIDEO_PID = 0x0100;

std::string Peer(const char* name)
{
    const char* value = getenv(name);
    return value != nullptr ? value : "";
}

#define PEER_OR_SKIP(var, name)                                                                  \
    const std::string var = Peer(name);                                                          \
    if (var.empty())                                                                             \
        GTEST_SKIP() << name << " is not set: net_peer_test.sh starts the senders and sets it";

std::unique_ptr<Source> OpenSource(const std::string& text)
{
    std::string why;
    const SourceParser parse = text.compare(0, 4, "udp:") == 0   ? ParseUdpSource
                               : text.compare(0, 4, "tcp:") == 0 ? ParseTcpSource
                                                                 : ParseHttpSource;
    std::unique_ptr<SourceConfig> config = parse(text, &why);
    EXPECT_TRUE(config) << text << ": " << why;
    if (!config)
        return nullptr;
    std::unique_ptr<Source> source = config->Create();
    EXPECT_TRUE(source->Open()) << text << ": " << source->Error();
    return source;
}

struct Reading {
    std::vector<uint8_t>    bytes;
    std::string             failure;    // the source's message if it failed
};

Reading ReadUpTo(Source* source, size_t bytes)
{
    Reading reading;
    std::vector<uint8_t> buffer(READ_CAPACITY);
    const ULONGLONG deadline = GetTickCount64() + DEADLINE_MS;
    while (reading.bytes.size() < bytes && GetTickCount64() < deadline) {
        const ReadResult r = source->Read(buffer.data(), buffer.size(), READ_WAIT_MS);
        if (r.status == ReadStatus::FAILED) {
            reading.failure = source->Error();
            break;
        }
        reading.bytes.insert(reading.bytes.end(), buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(r.bytes));
    }
    return reading;
}

std::vector<uint8_t> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

::testing::AssertionResult CleanStreamOfTheClip(const std::string& text, Source* source)
{
    const Reading reading = ReadUpTo(source, LIVE_PACKETS * 188);
    const TsReport report = CheckTransportStream(reading.bytes);
    if (report.packets < LIVE_PACKETS)
        return ::testing::AssertionFailure() << text << ": " << report.packets << " packets of " << LIVE_PACKETS
                                             << " came (" << reading.failure << ")";
    if (report.strayBytes != 0 || report.continuityErrors != 0 || source->DroppedPackets() != 0)
        return ::testing::AssertionFailure() << text << ": " << report.strayBytes << " stray bytes, "
                                             << report.continuityErrors << " continuity errors (" << report.firstError << "), "
                                             << source->DroppedPackets() << " dropped";
    for (uint16_t pid : {PAT_PID, PMT_PID, VIDEO_PID})
        if (report.pids.count(pid) == 0)
            return ::testing::AssertionFailure() << text << ": PID " << pid << " never came";
    return ::testing::AssertionSuccess();
}

TEST(NetPeers, UdpFromFfmpegCarriesItsStreamWholeAndInOrder)
{
    PEER_OR_SKIP(text, "ZELMOOR_PEER_UDP");
    std::unique_ptr<Source> source = OpenSource(text);
    ASSERT_TRUE(source);
    EXPECT_TRUE(CleanStreamOfTheClip(text, source.get()));
}

TEST(NetPeers, RtpFromFfmpegIsStrippedToTheStream)
{
    PEER_OR_SKIP(text, "ZELMOOR_PEER_RTP");
    std::unique_ptr<Source> source = OpenSource(text);
    ASSERT_TRUE(source);
    EXPECT_TRUE(CleanStreamOfTheClip(text, source.get()));
}

TEST(NetPeers, MulticastFromFfmpegInsideANamespace)
{
    const std::string skip = Peer("ZELMOOR_PEER_MULTICAST_SKIP");
    if (!skip.empty())
        GTEST_SKIP() << skip;
    PEER_OR_SKIP(text, "ZELMOOR_PEER_MULTICAST");
    std::unique_ptr<Source> source = OpenSource(text);
    ASSERT_TRUE(source);
    EXPECT_TRUE(CleanStreamOfTheClip(text, source.get()));
}

TEST(NetPeers, TcpFromAPythonServerIsByteExactThenItsCloseIsTrouble)
{
    PEER_OR_SKIP(text, "ZELMOOR_PEER_TCP");
    PEER_OR_SKIP(clip, "ZELMOOR_PEER_CLIP");
    const std::vector<uint8_t> expected = FileBytes(clip);
    ASSERT_FALSE(expected.empty()) << clip;
    std::unique_ptr<Source> source = OpenSource(text);
    ASSERT_TRUE(source);
    const Reading reading = ReadUpTo(source.get(), expected.size() + 1);
    EXPECT_TRUE(reading.bytes == expected) << reading.bytes.size() << " bytes of " << expected.size();
    EXPECT_EQ(reading.failure, "the server closed the connection");
}

TEST(NetPeers, HttpFollowsARedirectAndIsByteExactThenTheEndIsTrouble)
{
    PEER_OR_SKIP(base, "ZELMOOR_PEER_HTTP");
    PEER_OR_SKIP(clip, "ZELMOOR_PEER_CLIP");
    const std::vector<uint8_t> expected = FileBytes(clip);
    // http.server answers a folder without its '/' with 301, then serves its index.
    std::unique_ptr<Source> source = OpenSource(base + "/redirected");
    ASSERT_TRUE(source);
    const Reading reading = ReadUpTo(source.get(), expected.size() + 1);
    EXPECT_TRUE(reading.bytes == expected) << reading.bytes.size() << " bytes of " << expected.size();
    EXPECT_EQ(reading.failure, "the server ended the stream");
}

TEST(NetPeers, HttpStatusOtherThan200IsTroubleThatNamesIt)
{
    PEER_OR_SKIP(base, "ZELMOOR_PEER_HTTP");
    std::string why;
    std::unique_ptr<SourceConfig> config = ParseHttpSource(base + "/missing.ts", &why);
    ASSERT_TRUE(config) << why;
    std::unique_ptr<Source> source = config->Create();
    // An answer on the spot fails Open; a slower one fails the first reads.
    const bool opened = source->Open();
    const Reading reading = opened ? ReadUpTo(source.get(), 1) : Reading{{}, source->Error()};
    EXPECT_TRUE(reading.bytes.empty());
    EXPECT_EQ(reading.failure.find("HTTP status 404"), 0u) << reading.failure;
}

TEST(NetPeers, HttpChunkedFromFfmpegCarriesItsStream)
{
    PEER_OR_SKIP(text, "ZELMOOR_PEER_CHUNKED");
    std::unique_ptr<Source> source = OpenSource(text);
    ASSERT_TRUE(source);
    EXPECT_TRUE(CleanStreamOfTheClip(text, source.get()));
}

} // namespace
