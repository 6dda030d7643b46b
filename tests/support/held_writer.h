// A writer that sends a seeded pattern in random sizes, then stays connected
// until told to go, so that its departure happens exactly when the test wants.
#pragma once
#include "pipe_writer.h"

class HeldWriter : public StreamWriter {
public:
    HeldWriter(DWORD channel, uint64_t seed, uint64_t totalBytes, DWORD minWrite, DWORD maxWrite,
               DWORD connectTimeoutMs)
        : StreamWriter(channel, seed, totalBytes, minWrite, maxWrite, connectTimeoutMs)
    {
        m_release = CreateEventW(NULL, TRUE, FALSE, NULL);
    }
    // Lets the writer close its end of the pipe, now or once it has written all.
    void Release() { SetEvent(m_release); }
};
