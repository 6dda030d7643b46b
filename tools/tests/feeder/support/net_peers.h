// Senders and servers on loopback inside the test process, for the feeder's
// network channels: each sends packets of its own PID with a running continuity
// counter and a sequence number, at a set bit rate, from its own thread.
#pragma once
#include <winsock2.h>

#include <atomic>
#include <cstdint>
#include <vector>

const uint8_t LOOPBACK_OCTETS[] = {127, 0, 0, 1};

// Packets of one PID, numbered in their payload.
class NumberedStream {
public:
    explicit NumberedStream(uint16_t pid) : m_pid(pid) {}
    void Next(uint8_t* packet);
    uint64_t Made() const { return m_made; }

private:
    uint16_t    m_pid;
    uint64_t    m_made = 0;
};

uint32_t SequenceOf(const uint8_t* packet);
double NowSeconds();    // the performance counter, in seconds
uint16_t FreeLoopbackPort(int socketType);

// Shared by the peers: a thread that runs until Stop.
class PeerThread {
public:
    virtual ~PeerThread() { Stop(); }
    bool Start();
    void Stop();

protected:
    virtual void Run() = 0;
    bool Stopping() const { return m_stop.load(); }
    // Packets due at `bitsPerSecond` since Start that are not sent yet.
    uint64_t Due(uint64_t bitsPerSecond, uint64_t sent) const;

private:
    static DWORD WINAPI Main(void* self);
    HANDLE              m_hThread = NULL;
    std::atomic<bool>   m_stop{false};
    double              m_started = 0.0;
};

// Datagrams of seven packets to 127.0.0.1:port.
class UdpStreamer : public PeerThread {
public:
    UdpStreamer(uint16_t port, uint16_t pid, uint64_t bitsPerSecond);
    ~UdpStreamer() override;
    uint64_t PacketsSent() const { return m_sent.load(); }
    void Pause(bool paused) { m_paused = paused; }

private:
    void Run() override;
    SOCKET                  m_socket;
    sockaddr_in             m_to{};
    NumberedStream          m_stream;
    const uint64_t          m_rate;
    std::atomic<uint64_t>   m_sent{0};
    std::atomic<bool>       m_paused{false};
};

// A TCP or HTTP server on 127.0.0.1 that streams to one client at a time until
// the client goes, and notes when it went.
class StreamServer : public PeerThread {
public:
    enum Kind { TCP, HTTP };
    StreamServer(Kind kind, uint16_t pid, uint64_t bitsPerSecond);
    ~StreamServer() override;
    uint16_t Port() const { return m_port; }
    // Before Start: each client first gets `stray` bytes that are no packet, and
    // `junk` bytes after every `every` packets.
    void AddJunk(size_t stray, size_t every, size_t junk) { m_stray = stray; m_junkEvery = every; m_junk = junk; }
    double ClientGoneAt() const { return m_goneAt.load(); }     // 0 while none went
    int Clients() const { return m_clients.load(); }

private:
    void Run() override;
    bool AnswerRequest(SOCKET client);
    void Serve(SOCKET client);
    void MakePackets(NumberedStream* stream, uint64_t count, std::vector<uint8_t>* out) const;
    bool ClientWent(SOCKET client);

    const Kind              m_kind;
    SOCKET                  m_listener;
    uint16_t                m_port = 0;
    const uint16_t          m_pid;
    const uint64_t          m_rate;
    size_t                  m_stray = 0;
    size_t                  m_junkEvery = 0;
    size_t                  m_junk = 0;
    std::atomic<double>     m_goneAt{0.0};
    std::atomic<int>        m_clients{0};
};
