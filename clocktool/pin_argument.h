// Whether the command line asks to pin the tool to the first processor.
#pragma once

bool WantsPinning(int argc, const char* const* argv);
