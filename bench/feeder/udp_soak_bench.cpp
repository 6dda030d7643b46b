// UDP relayed at 40 Mbit/s for half a minute to a host that drains: packets lost,
// by the gaps in the sender's numbering, and the drops the feeder counted.
#include "feeder_bench.h"

#include <cstdio>
#include <cstdlib>

#include "net_peers.h"

namespace {

const uint32_t SOAK_CHANNEL = 0;
const uint16_t UDP_PID = 0x110;
const uint64_t SOAK_RATE = 40000000;
const size_t PACKET = 188;
const double FIRST_BLOCK_LIMIT_SECONDS = 5.0;
const double TAIL_SECONDS = 2.0;        // the host takes what is still on its way
const DWORD EXIT_DEADLINE_MS = 20000;

// Packets missing between consecutive sequence numbers, over blocks in any size.
class GapCounter {
public:
    void Take(const uint8_t* data, DWORD size)
    {
        m_partial.insert(m_partial.end(), data, data + size);
        size_t at = 0;
        for (; at + PACKET <= m_partial.size(); at += PACKET) {
            if (m_partial[at] != 0x47) {
                ++m_stray;
                at -= PACKET - 1;
                continue;
            }
            const uint32_t sequence = SequenceOf(&m_partial[at]);
            if (m_packets == 0)
                m_first = sequence;
            else if (sequence > m_last + 1)
                m_lost += sequence - m_last - 1;
            m_last = sequence;
            ++m_packets;
        }
        m_partial.erase(m_partial.begin(), m_partial.begin() + static_cast<ptrdiff_t>(at));
    }
    uint64_t packets() const { return m_packets; }
    uint64_t lost() const { return m_lost; }
    uint64_t stray() const { return m_stray; }
    uint32_t first() const { return m_first; }

private:
    std::vector<uint8_t>    m_partial;
    uint64_t                m_packets = 0;
    uint64_t                m_lost = 0;
    uint64_t                m_stray = 0;
    uint32_t                m_last = 0;
    uint32_t                m_first = 0;    // what was sent before is lost before the channel opened
};

unsigned long long FeederDrops(const std::string& output)
{
    const size_t line = output.find("channel 0: visits ");
    const size_t drops = line == std::string::npos ? line : output.find("drops ", line);
    return drops == std::string::npos ? 0 : std::strtoull(output.c_str() + drops + 6, nullptr, 10);
}

} // namespace

void RunUdpSoakBench(const FeederBenchOptions& options)
{
    std::printf("UDP at %.0f Mbit/s for %.0f s to a draining host:\n", SOAK_RATE / 1e6, options.soakSeconds);
    const uint16_t port = FreeLoopbackPort(SOCK_DGRAM);
    UdpStreamer udp(port, UDP_PID, SOAK_RATE);
    FeederProcess feeder;
    BenchHost host;
    const int runSeconds = static_cast<int>(options.soakSeconds + FIRST_BLOCK_LIMIT_SECONDS + TAIL_SECONDS) + 2;
    if (!udp.Start() || !host.Load()
        || !feeder.Start({"--seconds", std::to_string(runSeconds),
                          std::to_string(SOAK_CHANNEL) + "=udp://127.0.0.1:" + std::to_string(port)})) {
        std::printf("  cannot start the feeder, the sender or the host\n");
        return;
    }
    GapCounter gaps;
    host.SelectAndTimeFirstBlock(SOAK_CHANNEL, FIRST_BLOCK_LIMIT_SECONDS);
    const UnixCpu unixCpu({"zelmoor_feeder.exe", "127.0.0.1:" + std::to_string(port)});
    const double cpuBefore = unixCpu.FeederSeconds();
    const double start = SecondsNow();
    host.Drain(options.soakSeconds, [&](const uint8_t* data, DWORD size) { gaps.Take(data, size); });
    const double cpu = (unixCpu.FeederSeconds() - cpuBefore) / (SecondsNow() - start);
    udp.Stop();
    host.Drain(TAIL_SECONDS, [&](const uint8_t* data, DWORD size) { gaps.Take(data, size); });
    host.Leave();
    feeder.Wait(EXIT_DEADLINE_MS);
    std::printf("  sent %llu packets (%u before the host selected the channel), the host got %llu:"
                " %llu lost in between, %llu stray bytes; the feeder counted %llu drops; feeder CPU %.1f %% of a core\n",
                static_cast<unsigned long long>(udp.PacketsSent()), gaps.first(),
                static_cast<unsigned long long>(gaps.packets()),
                static_cast<unsigned long long>(gaps.lost()), static_cast<unsigned long long>(gaps.stray()),
                FeederDrops(feeder.Output()), cpu * 100.0);
}
