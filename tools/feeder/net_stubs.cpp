// Stand-ins until the network sources are built: every such source is refused.
#include "source_kinds.h"

namespace {

std::unique_ptr<SourceConfig> NotAvailable(std::string* why)
{
    *why = "not available in this build";
    return nullptr;
}

} // namespace

std::unique_ptr<SourceConfig> ParseUdpSource(const std::string&, std::string* why) { return NotAvailable(why); }
std::unique_ptr<SourceConfig> ParseTcpSource(const std::string&, std::string* why) { return NotAvailable(why); }
std::unique_ptr<SourceConfig> ParseHttpSource(const std::string&, std::string* why) { return NotAvailable(why); }
