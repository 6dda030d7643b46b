// What the writer sends: generated packets, a file, or standard input.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "packet_stream.h"

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Fills up to `size` bytes; fewer only at the end; 0 once it has ended or failed.
    virtual size_t Read(uint8_t* dst, size_t size) = 0;
    // Empty unless reading failed.
    const std::string& Error() const { return m_error; }

protected:
    std::string m_error;
};

class GeneratedSource : public ByteSource {
public:
    GeneratedSource(uint64_t bytes, uint64_t seed, uint32_t pid) : m_left(bytes), m_packets(seed, pid) {}
    size_t Read(uint8_t* dst, size_t size) override;

private:
    uint64_t        m_left;
    PacketStream    m_packets;
};

class HandleSource : public ByteSource {
public:
    HandleSource(HANDLE handle, bool owned) : m_hInput(handle), m_owned(owned) {}
    ~HandleSource() override;
    size_t Read(uint8_t* dst, size_t size) override;

private:
    HANDLE  m_hInput;
    bool    m_owned;        // a file we opened, not the inherited standard input
    bool    m_ended = false;
};

// Opens --file; null with `error` set on failure.
std::unique_ptr<ByteSource> OpenFileSource(const std::string& path, std::string* error);
std::unique_ptr<ByteSource> OpenStdinSource();
