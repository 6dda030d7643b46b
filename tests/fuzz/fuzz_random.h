// The fuzz's random choices: xorshift, small and the same on every build, so a
// seed names one run's choices.
#pragma once
#include <cstdint>

inline uint64_t NextRandom(uint64_t& state)
{
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

// A number below `bound`, which must not be 0.
inline uint64_t Below(uint64_t& state, uint64_t bound)
{
    return NextRandom(state) % bound;
}
