#include "map_text.h"

#include <sstream>

#include "numbers.h"

namespace {

const char MAPPING_SEPARATOR = '=';
const char COMMENT_START = '#';
const char PASSWORD_START = ':';
const char WHITESPACE[] = " \t\r";

std::string Trim(const std::string& text)
{
    const size_t first = text.find_first_not_of(WHITESPACE);
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(WHITESPACE) - first + 1);
}

} // namespace

std::vector<MapLine> MapLines(const std::string& text)
{
    std::vector<MapLine> lines;
    std::istringstream stream(text);
    std::string line;
    for (size_t number = 1; std::getline(stream, line); ++number) {
        const std::string content = Trim(line);
        if (!content.empty() && content[0] != COMMENT_START)
            lines.push_back(MapLine{number, content});
    }
    return lines;
}

bool SplitMapping(const std::string& text, uint32_t lastChannel, uint32_t* channel, std::string* source,
                  std::string* why)
{
    const size_t equals = text.find(MAPPING_SEPARATOR);
    if (equals == std::string::npos) {
        *why = "missing '=' (write N=SOURCE, for example 3=file:C:\\rec\\news.ts)";
        return false;
    }
    const std::string number = Trim(text.substr(0, equals));
    uint64_t value = 0;
    if (!ParseUnsigned(number, 0, lastChannel, &value)) {
        // A ':' before the '=' may start a URL's password ("http://u:se=cret@h/" without N=).
        const std::string shown = number.find(PASSWORD_START) == std::string::npos ? "'" + number + "' " : "";
        *why = "channel " + shown + "is out of range (0 to " + std::to_string(lastChannel) + ")";
        return false;
    }
    *channel = static_cast<uint32_t>(value);
    *source = Trim(text.substr(equals + 1));
    return true;
}
