// Monotonic time from the performance counter.
#pragma once

class Stopwatch {
public:
    Stopwatch();
    double Seconds() const;     // since construction
    double Milliseconds() const { return Seconds() * 1000.0; }

private:
    long long   m_start;
    long long   m_frequency;
};
