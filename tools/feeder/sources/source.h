// What every kind of feeder source answers. A channel's worker owns its source:
// a fresh one is made and opened when a host selects the channel, read while the
// host stays, and closed as soon as the host leaves. One thread uses a source
// at a time; Read never waits longer than it is asked to, so the worker can
// flush, notice the host leaving and stop without cancelling anything.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "read_result.h"

class Source {
public:
    virtual ~Source() = default;    // closes what Close closes
    // Opens, connects or starts; false with Error() set.
    virtual bool Open() = 0;
    // Copies what is there, at most `capacity` bytes, waiting at most `waitMs` for it.
    virtual ReadResult Read(uint8_t* dst, size_t capacity, DWORD waitMs) = 0;
    // Closes files and sockets and ends programs; safe to call twice.
    virtual void Close() = 0;
    // Whole packets dropped because the host fell behind (sources that cannot wait).
    virtual uint64_t DroppedPackets() const { return 0; }
    // Something the user should hear of once, that is no failure; empty when nothing new.
    virtual std::string TakeNotice() { return std::string(); }
    // Why Open or Read failed, in words for the user.
    const std::string& Error() const { return m_error; }

protected:
    std::string m_error;
};

// A channel's source as the command line or map file gave it, checked before
// anything starts. Each host selection gets a fresh source from Create.
class SourceConfig {
public:
    virtual ~SourceConfig() = default;
    virtual std::unique_ptr<Source> Create() const = 0;
    // What a source learns once, on its channel's thread before it watches for a host
    // (a live file's index); gives up when hStop is set. Returns a line for the user, or nothing.
    virtual std::string Prepare(HANDLE hStop) { (void)hStop; return std::string(); }
    // The source as the user wrote it, for messages: "udp://239.1.1.1:1234".
    virtual const std::string& Text() const = 0;
};

// Parses a whole source text that starts with the kind's prefix; null with
// *why set when it is malformed (bad address, port or option value).
typedef std::unique_ptr<SourceConfig> (*SourceParser)(const std::string& text, std::string* why);

struct SourceKind {
    const char*     prefix;     // "file:", "udp://", "tcp://", "http://", "https://", "cmd:"
    SourceParser    parse;
};
