// Ctrl+C ends the drain with a summary instead of killing the host mid-stream.
#pragma once

void InstallInterruptHandler();
bool WasInterrupted();
