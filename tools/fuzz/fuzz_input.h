// The fuzzer's bytes read one choice at a time; zero once they run out, so every
// input, however short, drives a whole run.
#pragma once
#include <cstddef>
#include <cstdint>

struct FuzzInput {
    const uint8_t*  data;
    size_t          size;
    size_t          at = 0;

    uint8_t Byte() { return at < size ? data[at++] : 0; }
};
