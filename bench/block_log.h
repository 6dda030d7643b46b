// When each block reached the host, and how big it was; room is reserved up front
// so that logging allocates nothing while streaming.
#pragma once
#include <windows.h>
#include <cstdint>
#include <vector>

struct BlockArrival {
    double  at;         // NowSeconds() after TakeStream
    DWORD   bytes;
};

// Blocks that the pop worker collected in one pass, told apart by the gaps between them.
struct Burst {
    double  at;         // when its first block was taken
    size_t  blocks;
};

struct BurstFigures {
    double  blocksPerBurst;     // mean
    double  bytesPerBlock;      // mean
    double  burstIntervalMs;    // median time from one burst to the next
    double  cycleMs;            // mean, first burst to last: blocks per burst x bytes / cycle is the rate
    double  fullBurstShare;     // bursts of the design's full 16 blocks, 0 to 1
};

class BlockLog {
public:
    explicit BlockLog(size_t capacity) { m_arrivals.reserve(capacity); }
    void Add(double at, DWORD bytes)
    {
        if (m_arrivals.size() < m_arrivals.capacity())
            m_arrivals.push_back({at, bytes});
    }
    void Clear() { m_arrivals.clear(); }
    const std::vector<BlockArrival>& Arrivals() const { return m_arrivals; }
    std::vector<Burst> BurstList() const;
    BurstFigures Bursts() const;

private:
    std::vector<BlockArrival> m_arrivals;
};
