#include "host_resolver.h"

#include "system_error.h"

struct HostResolver::Lookup {
    ~Lookup()
    {
        if (found != nullptr)
            freeaddrinfo(found);
        if (hDone != NULL)
            CloseHandle(hDone);
    }
    ResolveFunction resolve = nullptr;
    std::string     host;
    std::string     port;
    addrinfo        hints{};
    HANDLE          hDone = NULL;       // set by the thread once found and error are written
    addrinfo*       found = nullptr;
    int             error = 0;
};

namespace {

DWORD WINAPI LookupThread(void* param)
{
    std::shared_ptr<HostResolver::Lookup>* held = static_cast<std::shared_ptr<HostResolver::Lookup>*>(param);
    const std::shared_ptr<HostResolver::Lookup> lookup = *held;
    delete held;
    lookup->error = lookup->resolve(lookup->host.c_str(), lookup->port.c_str(), &lookup->hints, &lookup->found);
    if (lookup->error != 0)
        lookup->found = nullptr;
    SetEvent(lookup->hDone);
    return 0;
}

} // namespace

bool HostResolver::Start(const std::string& host, uint16_t port, std::string* why)
{
    Abandon();
    m_lookup = std::make_shared<Lookup>();
    m_lookup->resolve = m_resolve;
    m_lookup->host = host;
    m_lookup->port = std::to_string(port);
    m_lookup->hints.ai_family = AF_UNSPEC;
    m_lookup->hints.ai_socktype = SOCK_STREAM;
    m_lookup->hints.ai_protocol = IPPROTO_TCP;
    m_lookup->hDone = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (m_lookup->hDone == NULL) {
        *why = "cannot make an event: " + SystemErrorText(GetLastError());
        return false;
    }
    // A numeric address asks no name service, so it cannot be slow.
    addrinfo numeric = m_lookup->hints;
    numeric.ai_flags = AI_NUMERICHOST;
    if (getaddrinfo(host.c_str(), m_lookup->port.c_str(), &numeric, &m_lookup->found) == 0) {
        SetEvent(m_lookup->hDone);
        return true;
    }
    m_lookup->found = nullptr;
    std::shared_ptr<Lookup>* held = new std::shared_ptr<Lookup>(m_lookup);
    HANDLE hThread = CreateThread(NULL, 0, LookupThread, held, 0, NULL);
    if (hThread == NULL) {
        delete held;
        *why = "cannot start the name lookup: " + SystemErrorText(GetLastError());
        return false;
    }
    CloseHandle(hThread);   // never waited for: the event says when it is done
    return true;
}

ResolveState HostResolver::Wait(DWORD waitMs, std::string* why)
{
    if (!m_lookup || WaitForSingleObject(m_lookup->hDone, waitMs) != WAIT_OBJECT_0)
        return ResolveState::PENDING;
    if (m_lookup->error != 0 || m_lookup->found == nullptr) {
        *why = SystemErrorText(static_cast<DWORD>(m_lookup->error));
        return ResolveState::FAILED;
    }
    return ResolveState::DONE;
}

const addrinfo* HostResolver::Addresses() const
{
    return m_lookup ? m_lookup->found : nullptr;
}

void HostResolver::Abandon()
{
    m_lookup.reset();
}
