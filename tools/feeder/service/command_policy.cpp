#include "command_policy.h"

#include "feeder_role.h"
#include "service_paths.h"

namespace {

const char COMMAND_PREFIX[] = "cmd:";

} // namespace

bool CommandsRefused(const std::vector<ChannelMapping>& mappings, std::string* why)
{
    for (const ChannelMapping& mapping : mappings) {
        if (mapping.source->Text().compare(0, sizeof COMMAND_PREFIX - 1, COMMAND_PREFIX) != 0)
            continue;
        *why = mapping.origin + ": channel " + std::to_string(mapping.channel)
             + " runs a program (cmd:), which a service would run with its own rights, so anyone able to edit"
               " the map or that program could gain them; cmd: sources are refused unless the service is"
               " installed with --allow-commands (then make the map and the programs it names writable by"
               " administrators only)";
        return true;
    }
    return false;
}

bool MapRefusedForThisRun(bool allowCommands, const std::vector<ChannelMapping>& mappings, std::string* why)
{
    return CurrentFeederRole() == FeederRole::SERVICE
        && ((!allowCommands && CommandsRefused(mappings, why)) || RelativeFileRefused(mappings, why));
}
