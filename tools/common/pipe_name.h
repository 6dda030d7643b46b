// The name of a channel's pipe, shared by everything that meets the driver there.
#pragma once
#include <cstdint>
#include <string>

// "\\.\pipe\Zelmoor" and the channel in two digits.
std::wstring PipeNameForChannel(uint32_t channel);
