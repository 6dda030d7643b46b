// file:PATH[?pace=none|?rate=BITS][&loop] — a recording, paced as a live channel.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "clock.h"
#include "continuity_carry.h"
#include "file_settings.h"
#include "packet_pacer.h"
#include "pcr_probe.h"
#include "ts_aligner.h"
#include "source_kinds.h"
#include "system_error.h"
#include "wide.h"

namespace {

const size_t   CHUNK_BYTES = 1024 * TS_PACKET_BYTES;
const uint64_t PCR_SCAN_BYTES = 8ull << 20;
const char     PCR_SCAN_TEXT[] = "8 MiB";
const double   MS_PER_SECOND = 1000.0;

// What the chunk holds after NextChunk.
enum class ChunkStep { READY, AT_END, FAILED };

class FileSource : public Source {
public:
    explicit FileSource(const FileSettings& settings)
        : m_settings(settings), m_pacer(settings.pace, settings.rate), m_chunk(CHUNK_BYTES) {}
    ~FileSource() override { Close(); }

    bool Open() override;
    ReadResult Read(uint8_t* dst, size_t capacity, DWORD waitMs) override;
    void Close() override;

private:
    bool Fail(const std::string& what, DWORD error);
    bool PcrsGiveRate();
    ChunkStep NextChunk(bool holding);
    bool Refill(bool* atEnd);
    bool StartPass();
    bool FailShrunk();
    bool Rewind();
    bool FindFirstPacket();
    size_t CopyTail(uint8_t* dst, size_t room);

    FileSettings            m_settings;
    PacketPacer             m_pacer;
    ContinuityCarry         m_carry;
    Stopwatch               m_clock;
    HANDLE                  m_hFile = INVALID_HANDLE_VALUE;
    uint64_t                m_start = 0;        // where the first packet starts: stray bytes before it are skipped
    uint64_t                m_usable = 0;       // bytes played per pass: whole packets when looping
    uint64_t                m_offset = 0;       // file position of the chunk's end
    std::vector<uint8_t>    m_chunk;
    size_t                  m_used = 0;
    size_t                  m_pos = 0;
    bool                    m_passSent = false; // a packet went out since the last rewind
};

bool FileSource::Fail(const std::string& what, DWORD error)
{
    m_error = what + " " + m_settings.path + " (" + SystemErrorText(error) + ")";
    return false;
}

bool FileSource::Open()
{
    m_hFile = CreateFileW(Widen(m_settings.path).c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (m_hFile == INVALID_HANDLE_VALUE)
        return Fail("cannot open", GetLastError());
    LARGE_INTEGER size;
    if (!GetFileSizeEx(m_hFile, &size))
        return Fail("cannot read the size of", GetLastError());
    if (!FindFirstPacket())
        return false;
    m_usable = static_cast<uint64_t>(size.QuadPart) - std::min<uint64_t>(m_start, size.QuadPart);
    if (m_settings.loop)
        m_usable -= m_usable % TS_PACKET_BYTES;     // a cut packet would misalign every later pass
    if (m_settings.loop && m_usable == 0) {
        m_error = m_settings.path + " holds no whole 188-byte packet to loop";
        return false;
    }
    return m_settings.pace != PaceMode::PCR || PcrsGiveRate();
}

// False with m_error set when the scanned span has no PCR, or PCRs that give no rate.
bool FileSource::PcrsGiveRate()
{
    PcrProbe probe;
    bool atEnd = false;
    while (!probe.GivesRate() && m_offset < PCR_SCAN_BYTES && Refill(&atEnd) && !atEnd) {
        for (size_t at = 0; at + TS_PACKET_BYTES <= m_used; at += TS_PACKET_BYTES)
            probe.Add(&m_chunk[at]);
        m_pos = m_used;
    }
    if (!m_error.empty() || !Rewind())
        return false;
    if (probe.GivesRate())
        return true;
    const std::string span = " in the first " + std::string(PCR_SCAN_TEXT) + " of " + m_settings.path;
    m_error = (probe.SawPcr() ? "a single PCR value" + span + " gives no rate" : "no PCR" + span)
            + " to pace by: add ?pace=none to send as fast as the host takes it,"
              " or ?rate=BITS (for example ?rate=8M) for a constant rate";
    return false;
}

bool FileSource::Refill(bool* atEnd)
{
    m_pos = 0;
    m_used = 0;
    const uint64_t left = m_usable - std::min(m_offset, m_usable);
    const DWORD want = static_cast<DWORD>(std::min<uint64_t>(CHUNK_BYTES, left));
    DWORD got = 0;
    if (want > 0 && !ReadFile(m_hFile, m_chunk.data(), want, &got, NULL))
        return Fail("cannot read", GetLastError());
    m_used = got;
    m_offset += got;
    if (m_settings.loop && got % TS_PACKET_BYTES != 0) {
        // Cut mid-packet under us: the pass ends at the last whole packet, so the next stays aligned.
        m_used -= got % TS_PACKET_BYTES;
        m_offset = m_usable;
    }
    *atEnd = m_used == 0;
    return true;
}

// Refills the spent chunk; at the end of a looped pass starts the next one, unless
// bytes are already waiting to go (they go first).
ChunkStep FileSource::NextChunk(bool holding)
{
    bool atEnd = false;
    if (!Refill(&atEnd))
        return ChunkStep::FAILED;
    if (!atEnd)
        return ChunkStep::READY;
    if (holding || !m_settings.loop)
        return ChunkStep::AT_END;
    return StartPass() ? ChunkStep::READY : ChunkStep::FAILED;
}

// A pass that sent nothing means the file shrank under us (a program rewriting it):
// going round again would spin, or send the same fragment for ever.
bool FileSource::StartPass()
{
    if (!m_passSent)
        return FailShrunk();
    m_passSent = false;
    m_carry.Restart();
    m_pacer.Restart();
    return Rewind();
}

bool FileSource::FailShrunk()
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(m_hFile, &size))
        return Fail("cannot read the size of", GetLastError());
    const std::string now = size.QuadPart == 0
        ? "became empty"
        : "shrank to " + std::to_string(size.QuadPart) + " bytes, less than one 188-byte packet,";
    m_error = m_settings.path + " " + now + " while looping (is a program rewriting it?)";
    return false;
}

// Stray bytes before the first packet (a recording cut by a careless tool) would
// misalign every packet after them: the file is played from its first packet on.
bool FileSource::FindFirstPacket()
{
    DWORD got = 0;
    if (!ReadFile(m_hFile, m_chunk.data(), static_cast<DWORD>(m_chunk.size()), &got, NULL))
        return Fail("cannot read", GetLastError());
    m_start = TsAlignmentOffset(m_chunk.data(), got);
    if (got > 0 && m_start == got) {
        m_error = m_settings.path + " holds no transport stream: no 188-byte packets in its first "
                + std::to_string(got) + " bytes";
        return false;
    }
    return Rewind();
}

bool FileSource::Rewind()
{
    LARGE_INTEGER start = {};
    start.QuadPart = static_cast<LONGLONG>(m_start);
    if (!SetFilePointerEx(m_hFile, start, NULL, FILE_BEGIN))
        return Fail("cannot go back to the start of", GetLastError());
    m_offset = 0;
    m_used = 0;
    m_pos = 0;
    return true;
}

size_t FileSource::CopyTail(uint8_t* dst, size_t room)
{
    const size_t n = std::min(room, m_used - m_pos);
    std::memcpy(dst, &m_chunk[m_pos], n);
    m_pos += n;
    return n;
}

ReadResult FileSource::Read(uint8_t* dst, size_t capacity, DWORD waitMs)
{
    const double deadline = m_clock.Seconds() + waitMs / MS_PER_SECOND;
    ReadResult result;
    size_t& copied = result.bytes;
    for (;;) {
        result.status = copied > 0 ? ReadStatus::DATA : ReadStatus::NOTHING_YET;
        if (m_pos == m_used) {
            const ChunkStep step = NextChunk(copied > 0);
            if (step == ChunkStep::FAILED)
                return ReadResult{ReadStatus::FAILED, 0};
            if (step == ChunkStep::AT_END)
                return copied > 0 ? result : ReadResult{ReadStatus::ENDED, 0};
            continue;
        }
        if (m_used - m_pos < TS_PACKET_BYTES) {     // the cut tail of a file played once
            copied += CopyTail(dst + copied, capacity - copied);
            if (copied == capacity)
                return ReadResult{ReadStatus::DATA, copied};
            continue;
        }
        if (capacity - copied < TS_PACKET_BYTES)
            return result;
        uint8_t* packet = &m_chunk[m_pos];
        const double now = m_clock.Seconds();
        const double due = m_pacer.DueSeconds(packet, now);
        if (due <= now) {
            if (m_settings.loop)
                m_carry.Apply(packet, 1);
            m_pacer.Commit(packet);
            std::memcpy(dst + copied, packet, TS_PACKET_BYTES);
            copied += TS_PACKET_BYTES;
            m_pos += TS_PACKET_BYTES;
            m_passSent = true;
            continue;
        }
        const double left = deadline - now;
        if (copied > 0 || left <= 0.0)
            return result;
        Sleep(static_cast<DWORD>(std::ceil(std::min(due - now, left) * MS_PER_SECOND)));
    }
}

void FileSource::Close()
{
    if (m_hFile != INVALID_HANDLE_VALUE) {
        CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }
}

class FileSourceConfig : public SourceConfig {
public:
    FileSourceConfig(const std::string& text, const FileSettings& settings)
        : m_text(text), m_settings(settings) {}
    std::unique_ptr<Source> Create() const override { return std::unique_ptr<Source>(new FileSource(m_settings)); }
    const std::string& Text() const override { return m_text; }

private:
    std::string     m_text;
    FileSettings    m_settings;
};

} // namespace

std::unique_ptr<SourceConfig> ParseFileSource(const std::string& text, std::string* why)
{
    FileSettings settings;
    if (!ParseFileSettings(text, &settings, why))
        return nullptr;
    return std::unique_ptr<SourceConfig>(new FileSourceConfig(text, settings));
}
