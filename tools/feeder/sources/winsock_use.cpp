#include "winsock_use.h"

#include "system_error.h"

namespace {

const WORD WINSOCK_VERSION_WANTED = MAKEWORD(2, 2);
const DWORD MS_PER_SECOND = 1000;
const long US_PER_MS = 1000;

INIT_ONCE g_startOnce = INIT_ONCE_STATIC_INIT;
int g_startResult = 0;

BOOL CALLBACK StartOnce(PINIT_ONCE, PVOID, PVOID*)
{
    WSADATA data;
    g_startResult = WSAStartup(WINSOCK_VERSION_WANTED, &data);
    return TRUE;
}

} // namespace

bool StartWinsock(std::string* why)
{
    InitOnceExecuteOnce(&g_startOnce, StartOnce, NULL, NULL);
    if (g_startResult != 0) {
        *why = "cannot start Windows sockets: " + SystemErrorText(static_cast<DWORD>(g_startResult));
        return false;
    }
    return true;
}

SOCKET OpenPrivateSocket(int family, int type, int protocol)
{
    // WSA_FLAG_OVERLAPPED: otherwise the same socket that socket() makes.
    return WSASocketW(family, type, protocol, NULL, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
}

std::string LastSocketErrorText()
{
    return SystemErrorText(static_cast<DWORD>(WSAGetLastError()));
}

void CloseAndClear(SOCKET& s)
{
    if (s != INVALID_SOCKET)
        closesocket(s);
    s = INVALID_SOCKET;
}

timeval SocketWait(DWORD ms)
{
    timeval tv;
    tv.tv_sec = static_cast<long>(ms / MS_PER_SECOND);
    tv.tv_usec = static_cast<long>(ms % MS_PER_SECOND) * US_PER_MS;
    return tv;
}
