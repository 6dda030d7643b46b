// Medians and spreads over runs, percentiles over samples.
#pragma once
#include <cstddef>
#include <vector>

struct Spread {
    double  median;
    double  min;
    double  max;
    size_t  count;
};

Spread SpreadOf(std::vector<double> values);
// Nearest-rank percentile, `fraction` in [0, 1]; 0 for no samples.
double Percentile(std::vector<double> values, double fraction);
