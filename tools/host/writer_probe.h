// Whether a writer holds a channel's pipe, seen from outside without taking it:
// a pipe whose one instance is connected has none left to wait for.
#pragma once
#include <cstdint>

bool WriterHoldsPipe(uint32_t channel);
