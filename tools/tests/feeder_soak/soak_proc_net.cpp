#include "soak_proc_net.h"

#include <cstdio>

bool ParseSocketLine(const std::string& line, SocketLine* s)
{
    const int FIELDS = 5;
    unsigned slot = 0, localAddress = 0, remoteAddress = 0;
    return std::sscanf(line.c_str(), " %u: %x:%x %x:%x %x", &slot, &localAddress, &s->localPort, &remoteAddress,
                       &s->remotePort, &s->state) == FIELDS + 1;
}
