// "N=SOURCE" mappings, from the command line or from the lines of a map file.
#include <sstream>

#include "feeder_options.h"
#include "numbers.h"
#include "source_table.h"
#include "url_password.h"

namespace {

const char MAPPING_SEPARATOR = '=';
const char COMMENT_START = '#';
const char WHITESPACE[] = " \t\r";

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(WHITESPACE);
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(WHITESPACE) - first + 1);
}

} // namespace

bool ParseMapping(const std::string& text, ChannelMapping* mapping, std::string* why)
{
    const size_t equals = text.find(MAPPING_SEPARATOR);
    if (equals == std::string::npos) {
        *why = "missing '=' (write N=SOURCE, for example 3=file:C:\\rec\\news.ts)";
        return false;
    }
    const std::string channel = Trim(text.substr(0, equals));
    const std::string source = Trim(text.substr(equals + 1));
    uint64_t number = 0;
    if (!ParseUnsigned(channel, 0, FEEDER_CHANNELS - 1, &number)) {
        *why = "channel '" + channel + "' is out of range (0 to " + std::to_string(FEEDER_CHANNELS - 1) + ")";
        return false;
    }
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
    mapping->channel = static_cast<uint32_t>(number);
    mapping->source = std::move(config);
    return true;
}

ParseOutcome ParseMapText(const std::string& text, const std::string& origin, std::vector<ChannelMapping>* out)
{
    std::istringstream lines(text);
    std::string line;
    for (size_t number = 1; std::getline(lines, line); ++number) {
        const std::string content = Trim(line);
        if (content.empty() || content[0] == COMMENT_START)
            continue;
        ChannelMapping mapping;
        std::string why;
        mapping.origin = origin + " line " + std::to_string(number);
        if (!ParseMapping(content, &mapping, &why))
            return ParseOutcome::Error(mapping.origin + ": " + why);
        out->push_back(mapping);
    }
    return ParseOutcome::Run();
}
