#include "switching_host.h"

namespace {

const DWORD WAIT_STREAM_MS = 10;

} // namespace

double SecondsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool SwitchingHost::Load()
{
    if (!m_module.Load()) {
        m_error = "cannot load the driver beside the test (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    m_pTuner = m_module.Create();
    if (m_pTuner == nullptr || !m_pTuner->OpenTuner()) {
        m_error = "the driver gave no tuner";
        return false;
    }
    return true;
}

bool SwitchingHost::Select(uint32_t channel)
{
    QueryPerformanceCounter(&m_selected);
    if (m_pTuner->SelectChannel(0, channel))
        return true;
    m_error = "SelectChannel(0, " + std::to_string(channel) + ") refused";
    return false;
}

void SwitchingHost::Leave()
{
    m_pTuner->CloseTuner();
}

DWORD SwitchingHost::ReadyCount()
{
    return m_pTuner->QueryReadyCount();
}

Recording SwitchingHost::Drain(double seconds, const std::function<bool(const Recording&)>& done)
{
    Recording recording;
    while (SecondsSince(m_selected) < seconds && !(done && done(recording))) {
        m_pTuner->WaitStream(WAIT_STREAM_MS);
        BYTE* data = nullptr;
        DWORD size = 0;
        DWORD remaining = 0;
        while (m_pTuner->QueryReadyCount() > 0 && m_pTuner->TakeStream(&data, &size, &remaining)) {
            if (size == 0) {
                ++recording.emptyBlocks;
                continue;
            }
            recording.bytes.insert(recording.bytes.end(), data, data + size);
            recording.arrivals.push_back(Arrival{SecondsSince(m_selected), size});
        }
    }
    return recording;
}
