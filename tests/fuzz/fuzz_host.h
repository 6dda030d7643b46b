// The fuzzed host: one thread selects, closes, takes, copies, purges and asks
// at random; a second calls WaitStream and QueryReadyCount whenever no select
// or close runs, as hosts may. Every answer is checked against the state the
// host knows, every block against its writer's stream, and a watchdog ends the
// run when a call does not return.
//
// WaitStream(0) is left out: it returns only for a block, and no host may
// close under it; the wake-up tests cover it.
#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>
#include "IBonDriver.h"
#include "block_checker.h"

enum class Call {
    Take, Copy, Purge, Select, SetCode, Close, Refused, Query, Wait, ReadyCount, Count
};

struct FuzzFigures {
    std::atomic<uint64_t> calls[static_cast<int>(Call::Count)] = {};
    std::atomic<uint64_t> waitsSignalled{0};
    std::atomic<uint64_t> waitsTimedOut{0};
    std::atomic<uint64_t> waitsAbandoned{0};
    uint64_t Total() const;
};

class FuzzHost {
public:
    FuzzHost(IBonDriver2* tuner, BlockChecker& checker, const std::vector<DWORD>& channels, uint64_t seed);
    ~FuzzHost();
    FuzzHost(const FuzzHost&) = delete;
    FuzzHost& operator=(const FuzzHost&) = delete;

    // Runs both host threads until `seconds` have passed or a fault; closes at the end.
    bool Run(DWORD seconds);
    const std::string& Fault() const { return m_fault; }
    const FuzzFigures& Figures() const { return m_figures; }

private:
    // When each host thread's current call began, for the watchdog; 0 between calls.
    struct CallClock {
        std::atomic<ULONGLONG> since{0};
        std::atomic<const char*> what{""};
    };
    template <typename F> auto Timed(CallClock& clock, Call call, const char* what, F operation);

    void Step();
    void Take();
    void Copy();
    void Drain();
    void Purge();
    void Select(bool byCode);
    void Close();
    void Refused();
    void Query();
    bool CheckBlock(const BYTE* data, DWORD size, DWORD remaining);

    static DWORD WINAPI WaiterMain(LPVOID self);
    void WaitStep(uint64_t& random);
    static DWORD WINAPI WatchdogMain(LPVOID self);
    void Watch(const CallClock& clock);

    bool Expect(bool condition, const std::string& what);
    bool Faulted() const { return m_faulted.load(); }

    IBonDriver2* m_tuner;
    BlockChecker& m_checker;
    std::vector<DWORD> m_channels;
    uint64_t m_random;
    uint64_t m_seed;
    SRWLOCK m_selectLock = SRWLOCK_INIT;   // shared by waits, exclusive for select and close
    bool m_open = false;                    // written under the exclusive lock
    DWORD m_channel;
    CallClock m_hostClock;
    CallClock m_waiterClock;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_faulted{false};
    CRITICAL_SECTION m_faultLock;
    std::string m_fault;
    FuzzFigures m_figures;
    std::vector<BYTE> m_copy;
};
