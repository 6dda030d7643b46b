// Winsock for the network sources: started once per process, and its error
// numbers in the system's words.
#pragma once
#include <winsock2.h>

#include <string>

// WSAStartup on first use (kept for the process's life); false with *why set.
bool StartWinsock(std::string* why);

// A socket that no program the feeder starts inherits: a program holding a copy
// would keep a closed channel's port bound and its connection open.
SOCKET OpenPrivateSocket(int family, int type, int protocol);

// "error 10061: No connection could be made ..." for the calling thread's last socket error.
std::string LastSocketErrorText();

// Closes a socket and leaves INVALID_SOCKET behind; safe to call twice.
void CloseAndClear(SOCKET& s);

// select's wait for a number of milliseconds.
timeval SocketWait(DWORD ms);
