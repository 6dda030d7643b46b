// cmd:COMMAND LINE[?timeout=S] — a program whose standard output is the stream.
// Starting it is CmdProgram's; this file reads what it writes.
#include <algorithm>
#include <cstring>
#include <vector>

#include "cmd_program.h"
#include "cmd_settings.h"
#include "silence_limit.h"
#include "silence_watch.h"
#include "source_kinds.h"

namespace {

class CmdSource : public Source {
public:
    CmdSource(const std::string& commandLine, DWORD silenceLimitMs)
        : m_commandLine(commandLine), m_buffer(CMD_OUTPUT_BUFFER_BYTES), m_silence(silenceLimitMs) {}
    ~CmdSource() override { Close(); }

    bool Open() override;
    ReadResult Read(uint8_t* dst, size_t capacity, DWORD waitMs) override;
    void Close() override;

private:
    bool Fail(const std::string& what, DWORD error);
    ReadResult Failed(DWORD error);
    ReadResult Exited();
    ReadResult Deliver(uint8_t* dst, size_t capacity);
    ReadResult Silent();

    std::string             m_commandLine;
    CmdProgram              m_program;
    std::vector<uint8_t>    m_buffer;
    SilenceWatch            m_silence;
    size_t                  m_have = 0;
    size_t                  m_pos = 0;
    HANDLE                  m_hReadEvent = NULL;
    OVERLAPPED              m_overlapped = {};
    bool                    m_bPending = false;     // m_overlapped and m_buffer are the system's
};

bool CmdSource::Fail(const std::string& what, DWORD error)
{
    m_error = CmdTrouble(what, error);
    return false;
}

bool CmdSource::Open()
{
    m_silence.Heard();
    m_hReadEvent = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (m_hReadEvent == NULL)
        return Fail("cannot make an event", GetLastError());
    return m_program.Start(m_commandLine, &m_error);
}

ReadResult CmdSource::Silent()
{
    if (!m_silence.Expired())
        return ReadResult{ReadStatus::NOTHING_YET, 0};
    m_error = "the program wrote nothing for " + SilenceLimitText(m_silence.LimitMs())
            + " s (does it write the stream to its standard output?)";
    return ReadResult{ReadStatus::FAILED, 0};
}

ReadResult CmdSource::Exited()
{
    m_error = m_program.EndText();
    return ReadResult{ReadStatus::FAILED, 0};
}

// A read that failed: the program's end when it closed its output, trouble otherwise.
ReadResult CmdSource::Failed(DWORD error)
{
    if (error == ERROR_BROKEN_PIPE)
        return Exited();
    Fail("cannot read the program's output", error);
    return ReadResult{ReadStatus::FAILED, 0};
}

ReadResult CmdSource::Deliver(uint8_t* dst, size_t capacity)
{
    const size_t n = std::min(capacity, m_have - m_pos);
    std::memcpy(dst, &m_buffer[m_pos], n);
    m_pos += n;
    return ReadResult{ReadStatus::DATA, n};
}

ReadResult CmdSource::Read(uint8_t* dst, size_t capacity, DWORD waitMs)
{
    if (m_pos < m_have)
        return Deliver(dst, capacity);
    if (!m_bPending) {
        m_overlapped = OVERLAPPED{};
        m_overlapped.hEvent = m_hReadEvent;
        ResetEvent(m_hReadEvent);
        if (!ReadFile(m_program.Output(), m_buffer.data(), CMD_OUTPUT_BUFFER_BYTES, NULL, &m_overlapped)) {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING)
                return Failed(error);
        }
        m_bPending = true;     // finished at once or later: the result comes the same way
    }
    if (WaitForSingleObject(m_hReadEvent, waitMs) != WAIT_OBJECT_0)
        return Silent();
    DWORD got = 0;
    const BOOL ok = GetOverlappedResult(m_program.Output(), &m_overlapped, &got, FALSE);
    const DWORD error = GetLastError();
    m_bPending = false;
    if (!ok)
        return Failed(error);
    m_have = got;
    m_pos = 0;
    if (got == 0)
        return Silent();
    m_silence.Heard();
    return Deliver(dst, capacity);
}

void CmdSource::Close()
{
    m_program.Kill();
    if (m_bPending) {
        // The program is gone, so the read ends at once; the record must outlive it.
        CancelIoEx(m_program.Output(), &m_overlapped);
        DWORD ignored = 0;
        GetOverlappedResult(m_program.Output(), &m_overlapped, &ignored, TRUE);
        m_bPending = false;
    }
    m_program.Close();
    if (m_hReadEvent != NULL)
        CloseHandle(m_hReadEvent);
    m_hReadEvent = NULL;
}

class CmdSourceConfig : public SourceConfig {
public:
    CmdSourceConfig(const std::string& text, const std::string& commandLine, DWORD silenceLimitMs)
        : m_text(text), m_commandLine(commandLine), m_silenceLimitMs(silenceLimitMs) {}
    std::unique_ptr<Source> Create() const override
    {
        return std::unique_ptr<Source>(new CmdSource(m_commandLine, m_silenceLimitMs));
    }
    const std::string& Text() const override { return m_text; }

private:
    std::string m_text;
    std::string m_commandLine;
    DWORD       m_silenceLimitMs;
};

} // namespace

std::unique_ptr<SourceConfig> ParseCmdSource(const std::string& text, std::string* why)
{
    CmdSettings settings;
    if (!ParseCmdSettings(text, &settings, why))
        return nullptr;
    return std::unique_ptr<SourceConfig>(new CmdSourceConfig(text, settings.commandLine, settings.silenceLimitMs));
}
