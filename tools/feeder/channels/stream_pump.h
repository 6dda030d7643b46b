// Moves a source's bytes into a channel's pipe in batches: 16 to 48 KiB when the
// source is faster, and nothing held longer than 20 ms. Whatever the source, only
// whole aligned packets go out: stray bytes, junk and packets torn by a reconnect
// are left out and counted. One write is in flight at
// a time; while it is, a pull source is read only until the next batch is full,
// so a host that falls behind holds the source back.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "channel_pipe.h"
#include "channel_states.h"
#include "clock.h"
#include "delivery_ledger.h"
#include "source.h"
#include "ts_aligner.h"

class StreamPump {
public:
    StreamPump(ChannelPipe* pipe, DeliveryLedger* ledger, HANDLE hStop, std::function<void()> onProgress);

    // A new visit: nothing buffered.
    void Reset();
    // Until the source fails or ends, the host leaves, or the feeder stops. *gotData
    // is set once the source has given something.
    ChannelEvent Run(Source* source, std::string* detail, bool* gotData);
    // Without a source: sends what is left and watches the host for waitMs.
    // HOST_LEFT, STOP, or RETRY_DUE when the time is up.
    ChannelEvent Watch(double waitSeconds, std::string* detail);
    // Bytes of every source so far that were not whole aligned packets.
    uint64_t SkippedBytes() const { return m_aligner.SkippedBytes(); }

private:
    // Collects a finished write, starts the next batch when due, checks the host
    // when nothing is being written. False with *detail when the host has gone.
    bool Advance(bool flushAll, std::string* detail);
    bool StartBatch(std::string* detail);
    bool HostGone(DWORD error, std::string* detail);
    DWORD ReadWaitMs() const;
    void WaitForWriteOrStop(DWORD ms);
    void TakeAligned();
    ReadResult ReadAligned(Source* source, size_t room);
    bool Stopping() const { return WaitForSingleObject(m_hStop, 0) == WAIT_OBJECT_0; }

    ChannelPipe*            m_pipe;
    DeliveryLedger*         m_ledger;
    HANDLE                  m_hStop;
    std::function<void()>   m_onProgress;
    Stopwatch               m_clock;
    TsAligner               m_aligner;
    std::vector<uint8_t>    m_raw;              // the source's bytes as read
    std::vector<uint8_t>    m_aligned;          // aligned packets not yet in m_fill
    size_t                  m_alignedDone = 0;
    std::vector<uint8_t>    m_fill;             // being filled from the source
    size_t                  m_fillSize = 0;
    double                  m_fillSince = 0.0;  // when its first byte came
    bool                    m_sentAny = false;  // this visit's first bytes go out at once: zap time
    std::vector<uint8_t>    m_out;              // being written; the system's while a write is pending
    size_t                  m_outSize = 0;
    size_t                  m_outDone = 0;
    double                  m_lastContact = 0.0; // the last write or presence check
};
