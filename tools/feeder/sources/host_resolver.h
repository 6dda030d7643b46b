// A host name looked up on a thread of its own: a slow name service holds up
// neither the channel's worker nor its stop. The source asks now and then;
// dropping the resolver leaves the thread to end by itself and free what it found.
#pragma once
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>
#include <memory>
#include <string>

// getaddrinfo's shape, so that tests can put a slow name service in its place.
typedef INT (WSAAPI* ResolveFunction)(PCSTR host, PCSTR service, const ADDRINFOA* hints, PADDRINFOA* result);

enum class ResolveState {
    PENDING,    // still looking
    DONE,       // Addresses() holds the answer
    FAILED,     // *why says why
};

class HostResolver {
public:
    explicit HostResolver(ResolveFunction resolve) : m_resolve(resolve) {}
    ~HostResolver() { Abandon(); }
    HostResolver(const HostResolver&) = delete;
    HostResolver& operator=(const HostResolver&) = delete;

    // A numeric address is taken at once; a name is looked up on a new thread.
    // False with *why when the thread cannot be made.
    bool Start(const std::string& host, uint16_t port, std::string* why);
    // Waits at most waitMs for the answer.
    ResolveState Wait(DWORD waitMs, std::string* why);
    // Valid after DONE until Abandon.
    const addrinfo* Addresses() const;
    // Stops waiting for the answer without waiting for the thread; safe to call twice.
    void Abandon();

    struct Lookup;

private:
    const ResolveFunction       m_resolve;
    std::shared_ptr<Lookup>     m_lookup;   // shared with the thread until it ends
};
