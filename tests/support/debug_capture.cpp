#include "debug_capture.h"
#include <windows.h>
#include <mutex>

namespace {

constexpr DWORD PRINT_ANSI = 0x40010006;    // DBG_PRINTEXCEPTION_C
constexpr DWORD PRINT_WIDE = 0x4001000A;    // DBG_PRINTEXCEPTION_WIDE_C
const char DRIVER_PREFIX[] = "Zelmoor: ";

std::mutex g_lock;
std::vector<std::string> g_lines;
std::string g_lastWide;     // Windows follows a wide line with its ANSI echo
PVOID g_handler = nullptr;

std::string Narrow(const wchar_t* text, size_t count)
{
    std::string out;
    for (size_t i = 0; i < count && text[i] != 0; ++i)
        out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return out;
}

void Record(const std::string& line, bool wide)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (!wide && line == g_lastWide) {
        g_lastWide.clear();
        return;
    }
    g_lastWide = wide ? line : std::string();
    if (line.rfind(DRIVER_PREFIX, 0) == 0)
        g_lines.push_back(line);
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    const size_t count = static_cast<size_t>(record->ExceptionInformation[0]);
    if (record->ExceptionCode == PRINT_ANSI) {
        const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        Record(std::string(text, count > 0 ? count - 1 : 0), false);
    } else if (record->ExceptionCode == PRINT_WIDE) {
        Record(Narrow(reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]), count), true);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

DebugCapture::DebugCapture()
{
    Clear();
    g_handler = AddVectoredExceptionHandler(1, OnException);
}

DebugCapture::~DebugCapture()
{
    RemoveVectoredExceptionHandler(g_handler);
}

std::vector<std::string> DebugCapture::Lines() const
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_lines;
}

std::string DebugCapture::Joined() const
{
    std::string all;
    for (const std::string& line : Lines())
        all += line;
    return all;
}

void DebugCapture::Clear()
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_lines.clear();
    g_lastWide.clear();
}
