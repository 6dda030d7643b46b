// The progress line: rewritten in place on standard error, only on a terminal.
#pragma once
#include <string>

class ProgressLine {
public:
    ProgressLine();
    // Prints when the interval has passed since the last line (or force is set).
    void Show(double nowSeconds, const std::string& text, bool force = false);
    // Ends the in-place line so that the summary starts on a line of its own.
    void Finish();

private:
    bool    m_enabled;
    bool    m_shown = false;
    double  m_lastSeconds = 0.0;
};
