// A recording played from its first packet, or from a live entry: paced by its PCRs, at a rate or at
// once, looped without a seam. Plain C++ over a PlayFile and a PlayClock, so the
// same play runs in the file source and, natively, under the fuzz.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "continuity_carry.h"
#include "file_settings.h"
#include "live_index.h"
#include "packet_pacer.h"
#include "play_io.h"
#include "read_result.h"

// Bytes read from the file at a time.
constexpr size_t FILE_PLAY_CHUNK_BYTES = 1024 * TS_PACKET_BYTES;

class FilePlay {
public:
    // The file and the clock outlive the play.
    FilePlay(const FileSettings& settings, PlayFile* file, PlayClock* clock);
    // Finds the first packet and checks that the file can be played as asked; false with Error() set.
    bool Start();
    // Copies what is due, at most `capacity` bytes, waiting at most `waitMs` for it.
    ReadResult Read(uint8_t* dst, size_t capacity, uint32_t waitMs);
    // After Start: moves to where a live channel of this recording stands `seconds` after
    // the feeder started. False with Error() set when the file is no longer as indexed.
    bool EnterLive(const LiveIndex& index, double seconds);
    // Bytes after the first packet where the play goes on; the live entry just after EnterLive.
    uint64_t Position() const { return m_offset - (m_used - m_pos); }
    const std::string& Error() const { return m_error; }

private:
    // What the chunk holds after NextChunk.
    enum class ChunkStep { READY, AT_END, FAILED };

    bool Fail(const std::string& what, const std::string& why);
    bool PcrsGiveRate();
    ChunkStep NextChunk(bool holding);
    bool Refill(bool* atEnd);
    bool StartPass();
    bool FailShrunk();
    bool Rewind();
    bool FindFirstPacket();
    size_t CopyTail(uint8_t* dst, size_t room);
    void SendPacket(uint8_t* dst);

    FileSettings            m_settings;
    PlayFile*               m_file;
    PlayClock*              m_clock;
    PacketPacer             m_pacer;
    ContinuityCarry         m_carry;
    std::string             m_error;
    uint64_t                m_start = 0;        // where the first packet starts: stray bytes before it are skipped
    uint64_t                m_usable = 0;       // bytes played per pass: whole packets when looping
    uint64_t                m_offset = 0;       // file position of the chunk's end
    std::vector<uint8_t>    m_chunk;
    size_t                  m_used = 0;
    size_t                  m_pos = 0;
    bool                    m_passSent = false; // a packet went out since the last rewind
};
