#include "map_reads.h"

#include <atomic>
#include <cwchar>

#include "wait_until.h"

namespace {

typedef HANDLE(WINAPI* CreateFileWCall)(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
typedef BOOL(WINAPI* CloseHandleCall)(HANDLE);

// The patched calls are plain functions: what they share lives here, for the one MapReads.
std::wstring        g_path;
CreateFileWCall     g_createFileW = nullptr;
CloseHandleCall     g_closeHandle = nullptr;
std::atomic<long>   g_attempts{0};
std::atomic<HANDLE> g_openHandle{INVALID_HANDLE_VALUE};
std::atomic<long>   g_openAttempt{0};
std::atomic<long>   g_lastRead{0};          // the attempt whose read last closed the file
std::atomic<long>   g_lastRefused{0};
std::atomic<long>   g_holdAttempt{0};
HANDLE              g_held = NULL;          // set when the held open is waiting
HANDLE              g_release = NULL;

// A test that fails while holding a read must not hang the reader for good.
const DWORD HOLD_LIMIT_MS = 10000;

HANDLE WINAPI CountingCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                  DWORD disposition, DWORD flags, HANDLE model)
{
    const bool map = name != nullptr && _wcsicmp(name, g_path.c_str()) == 0;
    const long attempt = map ? ++g_attempts : 0;
    if (map && attempt == g_holdAttempt) {
        SetEvent(g_held);
        WaitForSingleObject(g_release, HOLD_LIMIT_MS);
    }
    const HANDLE h = g_createFileW(name, access, share, security, disposition, flags, model);
    const DWORD error = GetLastError();
    if (map && h == INVALID_HANDLE_VALUE)
        g_lastRefused = attempt;
    else if (map) {
        g_openAttempt = attempt;
        g_openHandle = h;
    }
    SetLastError(error);    // the caller reads the reason of a refusal
    return h;
}

BOOL WINAPI CountingCloseHandle(HANDLE h)
{
    HANDLE open = h;
    if (h != INVALID_HANDLE_VALUE && g_openHandle.compare_exchange_strong(open, INVALID_HANDLE_VALUE))
        g_lastRead = g_openAttempt.load();
    return g_closeHandle(h);
}

} // namespace

MapReads::MapReads(const std::string& path)
{
    g_path.assign(path.begin(), path.end());
    g_attempts = g_openAttempt = g_lastRead = g_lastRefused = g_holdAttempt = 0;
    g_held = CreateEventW(NULL, FALSE, FALSE, NULL);
    g_release = CreateEventW(NULL, FALSE, FALSE, NULL);
    // The real calls are known before any thread can come through the patched slots.
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    g_createFileW = reinterpret_cast<CreateFileWCall>(reinterpret_cast<void*>(GetProcAddress(kernel32, "CreateFileW")));
    g_closeHandle = reinterpret_cast<CloseHandleCall>(reinterpret_cast<void*>(GetProcAddress(kernel32, "CloseHandle")));
    const HMODULE self = GetModuleHandleW(NULL);
    m_create.reset(new IatPatch(self, "kernel32.dll", "CreateFileW", reinterpret_cast<void*>(CountingCreateFileW)));
    m_close.reset(new IatPatch(self, "kernel32.dll", "CloseHandle", reinterpret_cast<void*>(CountingCloseHandle)));
}

MapReads::~MapReads()
{
    g_holdAttempt = 0;
    SetEvent(g_release);
    m_create.reset();
    m_close.reset();
    CloseHandle(g_held);
    CloseHandle(g_release);
}

bool MapReads::Applied() const
{
    return m_create->Applied() && m_close->Applied();
}

long MapReads::Mark() const
{
    return g_attempts;
}

bool MapReads::ReadSince(long mark, DWORD timeoutMs) const
{
    return WaitUntil([mark] { return g_lastRead > mark; }, timeoutMs);
}

bool MapReads::RefusedSince(long mark, DWORD timeoutMs) const
{
    return WaitUntil([mark] { return g_lastRefused > mark; }, timeoutMs);
}

void MapReads::HoldOpen(long attempt)
{
    g_holdAttempt = attempt;
}

bool MapReads::Held(DWORD timeoutMs) const
{
    return WaitForSingleObject(g_held, timeoutMs) == WAIT_OBJECT_0;
}

void MapReads::Release()
{
    SetEvent(g_release);
}
