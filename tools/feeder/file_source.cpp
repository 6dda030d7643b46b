// file:PATH[?pace=none|?rate=BITS][&loop] — a recording, paced as a live channel.
// The play itself is FilePlay's; this gives it a Win32 file and the real clock.
#include <algorithm>
#include <cmath>
#include <vector>

#include "clock.h"
#include "file_play.h"
#include "file_settings.h"
#include "source_kinds.h"
#include "system_error.h"
#include "wide.h"

namespace {

const double   MS_PER_SECOND = 1000.0;

// A file opened for reading, shared so that other programs may rewrite it meanwhile.
class Win32PlayFile : public PlayFile {
public:
    ~Win32PlayFile() override { Close(); }

    bool Open(const std::string& path)
    {
        m_hFile = CreateFileW(Widen(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, NULL);
        return m_hFile != INVALID_HANDLE_VALUE;
    }

    void Close()
    {
        if (m_hFile != INVALID_HANDLE_VALUE) {
            CloseHandle(m_hFile);
            m_hFile = INVALID_HANDLE_VALUE;
        }
    }

    bool Size(uint64_t* size, std::string* why) override
    {
        LARGE_INTEGER value;
        if (!GetFileSizeEx(m_hFile, &value))
            return Failed(why);
        *size = static_cast<uint64_t>(value.QuadPart);
        return true;
    }

    bool Read(uint8_t* dst, size_t want, size_t* got, std::string* why) override
    {
        DWORD done = 0;
        if (!ReadFile(m_hFile, dst, static_cast<DWORD>(want), &done, NULL))
            return Failed(why);
        *got = done;
        return true;
    }

    bool Seek(uint64_t offset, std::string* why) override
    {
        LARGE_INTEGER at = {};
        at.QuadPart = static_cast<LONGLONG>(offset);
        return SetFilePointerEx(m_hFile, at, NULL, FILE_BEGIN) || Failed(why);
    }

private:
    static bool Failed(std::string* why)
    {
        *why = SystemErrorText(GetLastError());
        return false;
    }

    HANDLE  m_hFile = INVALID_HANDLE_VALUE;
};

class WallClock : public PlayClock {
public:
    double Seconds() override { return m_stopwatch.Seconds(); }
    void Wait(double seconds) override { Sleep(static_cast<DWORD>(std::ceil(seconds * MS_PER_SECOND))); }

private:
    Stopwatch   m_stopwatch;
};

class FileSource : public Source {
public:
    explicit FileSource(const FileSettings& settings) : m_settings(settings), m_play(settings, &m_file, &m_clock) {}
    ~FileSource() override { Close(); }

    bool Open() override
    {
        if (!m_file.Open(m_settings.path)) {
            m_error = "cannot open " + m_settings.path + " (" + SystemErrorText(GetLastError()) + ")";
            return false;
        }
        const bool started = m_play.Start();
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
    FileSettings    m_settings;
    Win32PlayFile   m_file;
    WallClock       m_clock;
    FilePlay        m_play;
};

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
