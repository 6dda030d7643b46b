// Which PID's PCRs give a recording its clock. The first PID that carries a PCR
// leads; when it has fallen silent while another PID's PCRs ran on steadily for
// PCR_HANDOVER_SECONDS, that PID leads from then on. So two recordings joined end
// to end, or a broadcast across a programme change, are each timed by their own
// PCRs, while a stream with several PCR PIDs stays on one. The pacer and the live
// index both follow this one rule, so a visit enters where the pacer would be.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

// How long another PID's PCRs must run, by their own clock, without a PCR on the
// leading PID before that PID counts as gone: beyond the longest PCR interval a
// broadcast uses (0.1 s) with room to spare, and well inside the pacer's 1 s limit
// for a step of one clock, so that a clock continued across the change is seen so.
constexpr double PCR_HANDOVER_SECONDS = 0.5;

// A PCR and where its packet starts, in the caller's byte count.
struct PcrSighting {
    uint64_t    position;
    uint64_t    pcr;
};

// What a packet is to the clock: no PCR, a PCR of the leading PID, one of another
// PID while the leading one is silent, or the PCR with which that PID takes the lead.
enum class PcrTurn { NONE, LEADS, CHALLENGES, TAKES_OVER };

class PcrFollower {
public:
    // What `packet` would be, without taking it in.
    PcrTurn Peek(const uint8_t* packet, uint64_t* pcr) const;
    // Takes in the packet starting at `position`; call for every packet, in order.
    PcrTurn Add(const uint8_t* packet, uint64_t position);
    // Before a TAKES_OVER packet is added: its PID's PCRs since the leading PID's last,
    // oldest first, some thinned out, the packet's own not among them.
    const std::vector<PcrSighting>& Run(const uint8_t* packet) const;
    // Before a CHALLENGES or TAKES_OVER packet at `position` is added: the first PCR of
    // its PID's steady run since the leading PID's last, the packet's own when it starts one.
    PcrSighting RunStart(const uint8_t* packet, uint64_t pcr, uint64_t position) const;
    // The leading PID's last PCR; valid once a packet led.
    const PcrSighting& Last() const { return m_last; }

private:
    // Another PID's steady PCRs since the leading PID's last.
    struct Challenger {
        std::vector<PcrSighting>    kept;
        uint64_t                    lastPcr = 0;
    };

    void Watch(uint16_t pid, uint64_t pcr, uint64_t position);

    int                             m_pid = -1;     // the leading PID, none yet
    PcrSighting                     m_last = {0, 0};
    std::map<uint16_t, Challenger>  m_challengers;  // emptied at each PCR of the leading PID
};
