// What the soak counts from outside: another process's handles, threads and
// private bytes, and what may be left behind (cmd: programs, sockets to the
// peers, the channels' pipes). Sockets are read from Linux's /proc through
// Wine's Z: drive, where every process's sockets show.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "soak_verdict.h"

CensusFigures TakeCensus(HANDLE process);
std::string CensusText(const CensusFigures& figures);

int CountProcessesNamed(const wchar_t* exeName);
// Established connections whose far end is 127.0.0.1:port; -1 when /proc cannot be read.
int CountConnectionsTo(uint16_t port);
// Sockets bound to the local UDP port; -1 when /proc cannot be read.
int CountUdpBound(uint16_t port);
// The channels whose pipe exists (a host has the channel selected).
std::vector<uint32_t> ChannelsWithPipes();
