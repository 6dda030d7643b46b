// The feeder's status page: a small read-only web server on a thread of its own.
// It answers GET and HEAD for the page, status.json and metrics, from snapshots
// of the status board, and nothing else. Every connection is bounded in its
// header size, its time and their number, and waits only on the board's short
// lock, so no client, slow or idle or many, holds up a channel, the board or the log.
// Boost's headers stay in status_server.cpp, the one file that compiles them.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "status_board.h"
#include "status_endpoint.h"

class StatusServer {
public:
    explicit StatusServer(const StatusBoard* board);
    ~StatusServer();    // stops
    StatusServer(const StatusServer&) = delete;
    StatusServer& operator=(const StatusServer&) = delete;

    // Listens and starts answering; false with *why in the system's words (and its
    // number) when the address cannot be had, or the thread cannot start.
    bool Start(const StatusEndpoint& endpoint, std::string* why);
    // Closes every connection and ends the thread, waiting at most timeoutMs; safe twice.
    bool Stop(DWORD timeoutMs);

    struct Impl;

private:
    std::unique_ptr<Impl>   m_impl;
};
