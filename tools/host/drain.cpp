#include "drain.h"

#include <vector>

#include "clock.h"
#include "console.h"
#include "interrupt.h"

namespace {

// Short enough that time and "gone" limits are checked a few times a second.
const DWORD    WAIT_SLICE_MS = 100;
const uint32_t BLOCK_DATA_SIZE = 48128;

class Drainer {
public:
    Drainer(IBonDriver* tuner, const HostOptions& options, StreamSink* sink,
            StreamDigest* digest, DrainStats* stats)
        : m_pTuner(tuner), m_copy(options.copy), m_pSink(sink), m_pDigest(digest), m_pStats(stats),
          m_rule(StopLimits{options.bytes, options.seconds, options.untilGone, options.waitSeconds}),
          m_copyBuffer(options.copy ? BLOCK_DATA_SIZE : 0)
    {
    }

    DrainResult Run()
    {
        DrainResult result;
        while ((result.reason = m_rule.Check(m_pStats->bytes, m_clock.Seconds(), WasInterrupted()))
               == StopReason::NONE) {
            if (!WaitOnce(&result) || !TakeReady(&result))
                break;
            m_progress.Show(m_clock.Seconds(), FormatHostProgress(*m_pStats, m_clock.Seconds()));
        }
        result.seconds = m_clock.Seconds();
        m_progress.Show(result.seconds, FormatHostProgress(*m_pStats, result.seconds), true);
        m_progress.Finish();
        return result;
    }

private:
    bool Fail(DrainResult* result, HostExitCode code, const std::string& why)
    {
        result->code = code;
        result->error = why;
        return false;
    }

    bool WaitOnce(DrainResult* result)
    {
        const DWORD wait = m_pTuner->WaitStream(WAIT_SLICE_MS);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_TIMEOUT)
            return true;
        return Fail(result, HOST_EXIT_STREAM_FAILED, "WaitStream answered " + std::to_string(wait));
    }

    // One wake-up may stand for several blocks; the ready count tells a real
    // empty block apart from "nothing ready", which TakeStream reports alike.
    bool TakeReady(DrainResult* result)
    {
        DWORD ready = 0;
        while ((ready = m_pTuner->QueryReadyCount()) > 0) {
            m_pStats->readyNow = ready;
            if (ready > m_pStats->readyMax)
                m_pStats->readyMax = ready;
            if (!TakeOne(result))
                return false;
            if (m_rule.Check(m_pStats->bytes, m_clock.Seconds(), false) == StopReason::BYTES)
                return true;
        }
        m_pStats->readyNow = 0;
        return true;
    }

    bool TakeOne(DrainResult* result)
    {
        BYTE* data = m_copyBuffer.data();
        DWORD size = 0;
        DWORD remaining = 0;
        const BOOL ok = m_copy ? m_pTuner->CopyStream(data, &size, &remaining)
                               : m_pTuner->TakeStream(&data, &size, &remaining);
        if (!ok)
            return Fail(result, HOST_EXIT_STREAM_FAILED, m_copy ? "CopyStream refused" : "TakeStream refused");
        const uint32_t keep = m_rule.BytesToKeep(m_pStats->bytes, size);
        if (!m_pSink->Write(data, keep, &result->error))
            return Fail(result, HOST_EXIT_OUTPUT_FAILED, result->error);
        m_pDigest->Update(data, keep);
        m_pStats->bytes += keep;
        const double now = m_clock.Seconds();
        if (size == 0) {
            m_pStats->emptyBlocks += 1;
        } else {
            const bool firstData = m_pStats->blocks == m_pStats->emptyBlocks;
            if (firstData)
                m_pStats->firstDataSeconds = now;
            m_pStats->lastDataSeconds = now;
        }
        m_pStats->blocks += 1;
        m_rule.OnBlock(size, now);
        return true;
    }

    IBonDriver*         m_pTuner;
    bool                m_copy;
    StreamSink*         m_pSink;
    StreamDigest*       m_pDigest;
    DrainStats*         m_pStats;
    StopRule            m_rule;
    std::vector<BYTE>   m_copyBuffer;       // CopyStream's destination, one block
    Stopwatch           m_clock;
    ProgressLine        m_progress;
};

} // namespace

DrainResult Drain(IBonDriver* tuner, const HostOptions& options, StreamSink* sink,
                  StreamDigest* digest, DrainStats* stats)
{
    return Drainer(tuner, options, sink, digest, stats).Run();
}
