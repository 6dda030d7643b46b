#include "report.h"
#include <cstdarg>
#include <cstdio>

namespace {
constexpr int LABEL_WIDTH = 46;
constexpr int VALUE_WIDTH = 9;
constexpr int UNIT_WIDTH = 8;
}

void PrintSection(const char* title)
{
    printf("\n== %s\n", title);
    fflush(stdout);
}

void PrintFigure(const char* label, const Spread& spread, const char* unit, int decimals)
{
    printf("  %-*s %*.*f %-*s (min %.*f, max %.*f; %u runs)\n", LABEL_WIDTH, label, VALUE_WIDTH, decimals,
           spread.median, UNIT_WIDTH, unit, decimals, spread.min, decimals, spread.max,
           static_cast<unsigned>(spread.count));
    fflush(stdout);
}

void PrintNote(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    printf("  ");
    vprintf(format, args);
    printf("\n");
    va_end(args);
    fflush(stdout);
}
