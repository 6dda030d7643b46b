#include "source_table.h"

#include "source_kinds.h"

namespace {

const SourceKind SOURCE_KINDS[] = {
    {"file:",    ParseFileSource},
    {"udp://",   ParseUdpSource},
    {"tcp://",   ParseTcpSource},
    {"http://",  ParseHttpSource},
    {"https://", ParseHttpSource},
    {"cmd:",     ParseCmdSource},
};

} // namespace

const SourceKind* FindSourceKind(const std::string& text)
{
    for (const SourceKind& kind : SOURCE_KINDS)
        if (text.compare(0, std::char_traits<char>::length(kind.prefix), kind.prefix) == 0)
            return &kind;
    return nullptr;
}

std::string SourcePrefixList()
{
    std::string list;
    for (const SourceKind& kind : SOURCE_KINDS)
        list += (list.empty() ? "" : ", ") + std::string(kind.prefix);
    return list;
}
