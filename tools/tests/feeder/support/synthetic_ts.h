// Small transport streams made in the test itself, for cases no recording shows:
// PCRs that never change, several PCR PIDs, files cut while open.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// `count` packets with payload and no PCR, taking the PIDs in turn, counters in order per PID.
std::vector<uint8_t> InterleavedPackets(const std::vector<uint16_t>& pids, size_t count);
inline std::vector<uint8_t> PacketsWithoutPcr(size_t count) { return InterleavedPackets({0x100}, count); }
// `count` packets of PID 0x100 and 0x101 in turn; every `pcrEvery`-th (from the first; even, so on 0x100) a PCR,
// `pcrStep` ticks after the last, starting at `firstPcr`: a recording with a steady clock.
std::vector<uint8_t> PacketsWithSteadyPcrs(size_t count, size_t pcrEvery, uint64_t pcrStep, uint64_t firstPcr);
// One part of a recording whose PCRs may move to another PID: `seconds` of packets at `bitsPerSecond`,
// PIDs `pcrPid` and the one after in turn, a PCR on `pcrPid` at most every 40 ms from `firstPcr`.
// *nextPcr gets the PCR that continues its clock after its last packet.
std::vector<uint8_t> PartAtRate(uint64_t bitsPerSecond, double seconds, uint16_t pcrPid, uint64_t firstPcr,
                                uint64_t* nextPcr);
// Gives the packet an adaptation field carrying `ticks` (27 MHz) as its PCR; payload stays.
void PutPcr(uint8_t* packet, uint64_t ticks);
// A new file in the temporary folder holding `bytes`; the caller deletes it.
std::string TempFileWith(const std::vector<uint8_t>& bytes);
