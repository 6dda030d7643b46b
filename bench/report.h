// The printed form of every figure: one line, median first, then min and max over the runs.
#pragma once
#include "stats.h"

void PrintSection(const char* title);
void PrintFigure(const char* label, const Spread& spread, const char* unit, int decimals);
// A free-form line under a section, printf-style, indented like the figures.
void PrintNote(const char* format, ...) __attribute__((format(printf, 1, 2)));
