#include "pin_argument.h"

namespace {
const char PIN_OPTION_DASH   = '-';
const char PIN_OPTION_LETTER = 'a';
}

bool WantsPinning(int argc, const char* const* argv)
{
    // Only the first argument counts, and only its first two characters: -abc pins too.
    if (argc < 2 || argv[1] == nullptr) {
        return false;
    }
    const char* szFirst = argv[1];
    return szFirst[0] == PIN_OPTION_DASH && szFirst[1] == PIN_OPTION_LETTER;
}
