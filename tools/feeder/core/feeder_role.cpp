#include "feeder_role.h"

namespace {

FeederRole g_role = FeederRole::CONSOLE;    // written before the channels' threads start

} // namespace

void SetFeederRole(FeederRole role)
{
    g_role = role;
}

FeederRole CurrentFeederRole()
{
    return g_role;
}

const char* PipeDeniedAdvice(FeederRole role)
{
    if (role == FeederRole::SERVICE)
        return "the service's account may not write to it; install the service as LocalSystem (the default) or as"
               " the host's own user (--service-account .\\user), not LocalService, NetworkService or another user";
    return "run the feeder as the same user, or with the same rights, as the host";
}
