// "N=SOURCE" mappings, from the command line or from the lines of a map file:
// the text is split by the portable map parser, the source by its kind's parser.
#include "feeder_options.h"
#include "map_text.h"
#include "source_table.h"
#include "url_password.h"

bool ParseMapping(const std::string& text, ChannelMapping* mapping, std::string* why)
{
    uint32_t channel = 0;
    std::string source;
    if (!SplitMapping(text, FEEDER_CHANNELS - 1, &channel, &source, why))
        return false;
    const SourceKind* kind = FindSourceKind(source);
    if (kind == nullptr) {
        *why = "unknown kind of source '" + MaskUrlPassword(source) + "' (known: " + SourcePrefixList() + ")";
        return false;
    }
    std::string reason;
    std::unique_ptr<SourceConfig> config = kind->parse(source, &reason);
    if (!config) {
        *why = MaskUrlPassword(source) + ": " + reason;
        return false;
    }
    mapping->channel = channel;
    mapping->source = std::move(config);
    mapping->written = source;
    return true;
}

ParseOutcome ParseMapText(const std::string& text, const std::string& origin, std::vector<ChannelMapping>* out)
{
    for (const MapLine& line : MapLines(text)) {
        ChannelMapping mapping;
        std::string why;
        mapping.origin = origin + " line " + std::to_string(line.number);
        if (!ParseMapping(line.content, &mapping, &why))
            return ParseOutcome::Error(mapping.origin + ": " + why);
        out->push_back(mapping);
    }
    return ParseOutcome::Run();
}
