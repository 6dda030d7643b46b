// file:PATH[?pace=none|?rate=BITS][&loop][&live] — a recording, paced as a live channel.
// The play itself is FilePlay's; this gives it a Win32 file, the real clock and,
// for live, the recording's index and the feeder's start.
#include <algorithm>
#include <cmath>
#include <vector>

#include "clock.h"
#include "feeder_clock.h"
#include "file_play.h"
#include "file_settings.h"
#include "live_recording.h"
#include "source_kinds.h"
#include "system_error.h"
#include "win32_play_file.h"

namespace {

const double   MS_PER_SECOND = 1000.0;

class WallClock : public PlayClock {
public:
    double Seconds() override { return m_stopwatch.Seconds(); }
    void Wait(double seconds) override { Sleep(static_cast<DWORD>(std::ceil(seconds * MS_PER_SECOND))); }

private:
    Stopwatch   m_stopwatch;
};

class FileSource : public Source {
public:
    // `live` is the channel's index, for live files only; it outlives the source.
    FileSource(const FileSettings& settings, LiveRecording* live)
        : m_settings(settings), m_live(live), m_play(settings, &m_file, &m_clock) {}
    ~FileSource() override { Close(); }

    bool Open() override
    {
        if (!m_file.Open(m_settings.path)) {
            m_error = "cannot open " + m_settings.path + " (" + SystemErrorText(GetLastError()) + ")";
            return false;
        }
        const bool started = m_play.Start() && (m_live == nullptr || EnterLive());
        if (m_error.empty())
            m_error = m_play.Error();
        return started;
    }

    ReadResult Read(uint8_t* dst, size_t capacity, DWORD waitMs) override
    {
        const ReadResult result = m_play.Read(dst, capacity, waitMs);
        if (result.status == ReadStatus::FAILED)
            m_error = m_play.Error();
        return result;
    }

    void Close() override { m_file.Close(); }

private:
    // The clock is read once the index is at hand: indexing a changed file takes a while.
    bool EnterLive()
    {
        const std::shared_ptr<const LiveIndex> index = m_live->IndexFor(&m_file, &m_error);
        return index && m_play.EnterLive(*index, SecondsSinceFeederStart());
    }

    FileSettings    m_settings;
    LiveRecording*  m_live;
    Win32PlayFile   m_file;
    WallClock       m_clock;
    FilePlay        m_play;
};

class FileSourceConfig : public SourceConfig {
public:
    FileSourceConfig(const std::string& text, const FileSettings& settings)
        : m_text(text), m_settings(settings),
          m_live(settings.live ? new LiveRecording(settings.path) : nullptr) {}
    std::unique_ptr<Source> Create() const override
    {
        return std::unique_ptr<Source>(new FileSource(m_settings, m_live.get()));
    }
    const std::string& Text() const override { return m_text; }
    std::string Prepare(HANDLE hStop) override { return m_live ? m_live->Prepare(hStop) : std::string(); }

private:
    std::string                     m_text;
    FileSettings                    m_settings;
    std::unique_ptr<LiveRecording>  m_live;
};

} // namespace

std::unique_ptr<SourceConfig> ParseFileSource(const std::string& text, std::string* why)
{
    FileSettings settings;
    if (!ParseFileSettings(text, &settings, why))
        return nullptr;
    return std::unique_ptr<SourceConfig>(new FileSourceConfig(text, settings));
}
