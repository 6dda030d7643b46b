// What a pipe's writer can know about delivery. A write returns once its bytes
// are in the pipe's buffer, not once the reader has them; after each write the
// buffer's fill (its outbound quota less the room left) is what may still be
// unread. Where the system does not report the room (Wine answers 0), the whole
// quota counts as unread, so unconfirmed bytes are never counted as delivered.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

class PipeDelivery {
public:
    explicit PipeDelivery(HANDLE pipe) : m_hPipe(pipe) {}

    // After a write of `size` bytes returned successfully.
    void OnWritten(uint64_t size);
    uint64_t Accepted() const { return m_accepted; }
    // Bytes the reader had certainly taken as of the last write.
    uint64_t Confirmed() const { return m_confirmed; }
    uint64_t Unconfirmed() const { return m_accepted - m_confirmed; }

    // Pure part, for the tests: what may be unread given the quota and the room
    // left, or `accepted` whole when the system could not say.
    static uint64_t Unread(uint64_t accepted, bool known, uint32_t quota, uint32_t room);

private:
    HANDLE      m_hPipe;            // not owned
    uint64_t    m_accepted = 0;
    uint64_t    m_confirmed = 0;
};

// "the pipe accepted N bytes; the reader took at least M; the last K may not have
// reached the host"
std::string FormatDeliveryLine(const PipeDelivery& delivery);
