// A recording played once while another program cuts and rewrites it, and its cut tail.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "source_kinds.h"
#include "synthetic_ts.h"
#include "ts_packet.h"

namespace {

const DWORD  NO_WAIT_MS = 0;
const size_t FILE_PACKETS = 50;
const size_t KEPT_PACKETS = 20;
const size_t CUT_PIECE_BYTES = 60;
const size_t TAIL_PACKETS = 3;
const size_t TAIL_BYTES = 50;
const size_t BUFFER_BYTES = FILE_PACKETS * TS_PACKET_BYTES;
const int    MAX_READS = 100;           // far more than any of these files takes

std::unique_ptr<Source> OpenOnce(const std::string& path)
{
    std::string why;
    std::unique_ptr<SourceConfig> config = ParseFileSource("file:" + path + "?pace=none", &why);
    EXPECT_TRUE(config) << why;
    std::unique_ptr<Source> source = config ? config->Create() : nullptr;
    if (source && !source->Open())
        ADD_FAILURE() << source->Error();
    return source;
}

// Makes the file hold just `bytes`, through a handle of its own, as another program would.
::testing::AssertionResult Rewrite(const std::string& path, const std::vector<uint8_t>& bytes)
{
    HANDLE hFile = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               NULL, OPEN_EXISTING, 0, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return ::testing::AssertionFailure() << "cannot open " << path << ": error " << GetLastError();
    DWORD written = 0;
    const bool done = WriteFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL)
                      && SetEndOfFile(hFile);
    const DWORD error = GetLastError();
    CloseHandle(hFile);
    if (!done)
        return ::testing::AssertionFailure() << "cannot rewrite " << path << ": error " << error;
    return ::testing::AssertionSuccess();
}

// Reads until the source ends or fails; what came is in `got`.
ReadStatus ReadToEnd(Source* source, std::vector<uint8_t>* got)
{
    std::vector<uint8_t> buffer(BUFFER_BYTES);
    ReadStatus status = ReadStatus::NOTHING_YET;
    for (int i = 0; i < MAX_READS && status != ReadStatus::ENDED && status != ReadStatus::FAILED; ++i) {
        const ReadResult result = source->Read(buffer.data(), buffer.size(), NO_WAIT_MS);
        status = result.status;
        got->insert(got->end(), buffer.begin(), buffer.begin() + result.bytes);
    }
    return status;
}

TEST(FileSource, FilePlayedOnceAndCutMidPacketEndsAtTheCutAndStaysEndedWhenWrittenBackWhole)
{
    const std::vector<uint8_t> file = PacketsWithoutPcr(FILE_PACKETS);
    const std::string path = TempFileWith(file);
    std::unique_ptr<Source> source = OpenOnce(path);
    ASSERT_TRUE(source);
    const size_t cut = KEPT_PACKETS * TS_PACKET_BYTES + CUT_PIECE_BYTES;
    ASSERT_TRUE(Rewrite(path, std::vector<uint8_t>(file.begin(), file.begin() + cut)));

    std::vector<uint8_t> got;
    EXPECT_EQ(ReadToEnd(source.get(), &got), ReadStatus::ENDED) << source->Error();
    EXPECT_TRUE(got == std::vector<uint8_t>(file.begin(), file.begin() + cut)) << got.size() << " bytes";
    ASSERT_TRUE(Rewrite(path, file));
    uint8_t buffer[TS_PACKET_BYTES];
    const ReadResult after = source->Read(buffer, sizeof buffer, NO_WAIT_MS);
    EXPECT_EQ(after.status, ReadStatus::ENDED) << after.bytes << " bytes after the end, cut tail and all";
    source.reset();
    DeleteFileA(path.c_str());
}

TEST(FileSource, ACutTailReadWithNoRoomLeftIsNothingYetAndComesWithTheNextRead)
{
    std::vector<uint8_t> file = PacketsWithoutPcr(TAIL_PACKETS);
    file.resize(file.size() + TAIL_BYTES, TS_SYNC_BYTE);
    const std::string path = TempFileWith(file);
    std::unique_ptr<Source> source = OpenOnce(path);
    ASSERT_TRUE(source);
    std::vector<uint8_t> buffer(file.size());
    const ReadResult packets = source->Read(buffer.data(), TAIL_PACKETS * TS_PACKET_BYTES, NO_WAIT_MS);
    EXPECT_EQ(packets.status, ReadStatus::DATA);
    EXPECT_EQ(packets.bytes, TAIL_PACKETS * TS_PACKET_BYTES);
    const ReadResult full = source->Read(buffer.data(), 0, NO_WAIT_MS);
    EXPECT_EQ(full.status, ReadStatus::NOTHING_YET) << full.bytes << " bytes";
    const ReadResult tail = source->Read(buffer.data(), buffer.size(), NO_WAIT_MS);
    EXPECT_EQ(tail.status, ReadStatus::DATA);
    EXPECT_EQ(tail.bytes, TAIL_BYTES);
    EXPECT_EQ(source->Read(buffer.data(), buffer.size(), NO_WAIT_MS).status, ReadStatus::ENDED);
    source.reset();
    DeleteFileA(path.c_str());
}

} // namespace
