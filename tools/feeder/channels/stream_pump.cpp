#include "stream_pump.h"

#include <algorithm>
#include <utility>

#include "system_error.h"
#include "ts_packet.h"

namespace {

const size_t BATCH_MAX_BYTES = 256 * TS_PACKET_BYTES;  // 48,128: one driver block
const size_t BATCH_MIN_BYTES = 16 * 1024;
const double FLUSH_SECONDS = 0.020;
const double PROBE_SECONDS = 0.020;     // how often an idle channel checks that its host is there
const DWORD  PROBE_MS = 20;
const DWORD  WRITE_POLL_MS = 5;         // a pending write is looked at this often while reading
const double MS_PER_SECOND = 1000.0;

} // namespace

StreamPump::StreamPump(ChannelPipe* pipe, DeliveryLedger* ledger, HANDLE hStop, std::function<void()> onProgress)
    : m_pipe(pipe), m_ledger(ledger), m_hStop(hStop), m_onProgress(std::move(onProgress)),
      m_raw(BATCH_MAX_BYTES), m_fill(BATCH_MAX_BYTES), m_out(BATCH_MAX_BYTES)
{
}

void StreamPump::Reset()
{
    m_aligner.Drop();
    m_aligned.clear();
    m_alignedDone = 0;
    m_fillSize = 0;
    m_outSize = 0;
    m_outDone = 0;
    m_sentAny = false;
    m_lastContact = m_clock.Seconds();
}

bool StreamPump::HostGone(DWORD error, std::string* detail)
{
    *detail = SystemErrorText(error);
    return false;
}

bool StreamPump::StartBatch(std::string* detail)
{
    DWORD error = 0;
    if (!m_pipe->StartWrite(&m_out[m_outDone], m_outSize - m_outDone, &error))
        return HostGone(error, detail);
    m_lastContact = m_clock.Seconds();
    return true;
}

bool StreamPump::Advance(bool flushAll, std::string* detail)
{
    DWORD bytes = 0;
    DWORD error = 0;
    switch (m_pipe->Collect(&bytes, &error)) {
    case WriteState::FAILED:
        return HostGone(error, detail);
    case WriteState::DONE:
        m_ledger->Accepted(bytes);
        m_outDone += bytes;
        m_onProgress();
        if (m_outDone < m_outSize)
            return StartBatch(detail);
        m_outSize = 0;
        break;
    default:
        break;
    }
    const double now = m_clock.Seconds();
    if (!m_pipe->Writing() && m_fillSize > 0
        && (flushAll || !m_sentAny || m_fillSize >= BATCH_MIN_BYTES || now - m_fillSince >= FLUSH_SECONDS)) {
        m_sentAny = true;
        std::swap(m_fill, m_out);
        m_outSize = m_fillSize;
        m_outDone = 0;
        m_fillSize = 0;
        return StartBatch(detail);
    }
    if (!m_pipe->Writing() && now - m_lastContact >= PROBE_SECONDS) {
        if (!m_pipe->HostPresent(&error))
            return HostGone(error, detail);
        m_lastContact = now;
    }
    return true;
}

DWORD StreamPump::ReadWaitMs() const
{
    if (m_pipe->Writing())
        return WRITE_POLL_MS;
    if (m_fillSize == 0)
        return PROBE_MS;
    const double left = FLUSH_SECONDS - (m_clock.Seconds() - m_fillSince);
    return left > 0.0 ? static_cast<DWORD>(left * MS_PER_SECOND) + 1 : 0;
}

void StreamPump::WaitForWriteOrStop(DWORD ms)
{
    const HANDLE handles[] = {m_hStop, m_pipe->WriteEvent()};
    WaitForMultipleObjects(m_pipe->Writing() ? 2 : 1, handles, FALSE, ms);
}

// Moves aligned packets into the batch being filled, as many as fit.
void StreamPump::TakeAligned()
{
    const size_t take = std::min(m_aligned.size() - m_alignedDone, BATCH_MAX_BYTES - m_fillSize);
    if (take == 0)
        return;
    if (m_fillSize == 0)
        m_fillSince = m_clock.Seconds();
    std::copy(m_aligned.begin() + m_alignedDone, m_aligned.begin() + m_alignedDone + take, m_fill.begin() + m_fillSize);
    m_fillSize += take;
    m_alignedDone += take;
    if (m_alignedDone == m_aligned.size()) {
        m_aligned.clear();
        m_alignedDone = 0;
    }
}

// Reads what the batch has room for and passes it through the aligner.
ReadResult StreamPump::ReadAligned(Source* source, size_t room)
{
    const ReadResult result = source->Read(m_raw.data(), std::min(room, m_raw.size()), ReadWaitMs());
    if (result.status == ReadStatus::DATA)
        m_aligner.Push(m_raw.data(), result.bytes, &m_aligned);
    else if (result.status == ReadStatus::ENDED)
        m_aligner.Flush(&m_aligned);
    else if (result.status == ReadStatus::NOTHING_YET)
        m_aligner.Release(&m_aligned);
    TakeAligned();
    return result;
}

ChannelEvent StreamPump::Run(Source* source, std::string* detail, bool* gotData)
{
    bool ended = false;
    m_aligner.Reset();  // a new connection never finishes a packet the last one began
    for (;;) {
        if (Stopping())
            return ChannelEvent::STOP;
        if (!Advance(ended, detail))
            return ChannelEvent::HOST_LEFT;
        TakeAligned();
        const bool drained = m_fillSize == 0 && m_aligned.empty();
        if (ended && drained && !m_pipe->Writing())
            return ChannelEvent::SOURCE_ENDED;
        const size_t room = BATCH_MAX_BYTES - m_fillSize;
        if (ended || room < TS_PACKET_BYTES || !m_aligned.empty()) {
            WaitForWriteOrStop(PROBE_MS);   // the host is behind: the source waits
            continue;
        }
        const ReadResult result = ReadAligned(source, room);
        switch (result.status) {
        case ReadStatus::DATA:
            *gotData = *gotData || result.bytes > 0;
            break;
        case ReadStatus::ENDED:
            ended = true;
            break;
        case ReadStatus::FAILED:
            *detail = source->Error();
            return ChannelEvent::SOURCE_FAILED;
        default:
            break;
        }
    }
}

ChannelEvent StreamPump::Watch(double waitSeconds, std::string* detail)
{
    const double deadline = m_clock.Seconds() + waitSeconds;
    for (;;) {
        if (Stopping())
            return ChannelEvent::STOP;
        if (!Advance(true, detail))
            return ChannelEvent::HOST_LEFT;
        const double left = deadline - m_clock.Seconds();
        if (left <= 0.0)
            return ChannelEvent::RETRY_DUE;
        WaitForWriteOrStop(std::min(PROBE_MS, static_cast<DWORD>(left * MS_PER_SECOND) + 1));
    }
}
