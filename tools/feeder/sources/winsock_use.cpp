#include "winsock_use.h"

#include "system_error.h"

namespace {

const WORD WINSOCK_VERSION_WANTED = MAKEWORD(2, 2);

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
