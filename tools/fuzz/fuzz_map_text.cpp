// Map text as a user or a broken editor may write it: every line that holds a
// mapping is trimmed and numbered in order; a mapping that splits, written back,
// splits the same; the address of a network source is either refused or a port
// from 1 to 65535 with an IPv4 address that reads back as written; and a URL's
// password never survives its masking.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "map_text.h"
#include "net_address.h"
#include "source_query.h"
#include "url_password.h"

namespace {

const uint32_t LAST_CHANNEL = 9;
const char* const NETWORK_PREFIXES[] = {"udp://", "tcp://"};
const char WHITESPACE[] = " \t\r";
const char MASKED[] = "***";

std::string Dotted(uint32_t address)
{
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "."
         + std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

void CheckAddress(const std::string& source)
{
    for (const char* prefix : NETWORK_PREFIXES) {
        const std::string kind = prefix;
        if (source.compare(0, kind.size(), kind) != 0)
            continue;
        const std::string rest = source.substr(kind.size());
        const SourceQuery query = SplitSourceQuery(rest);
        FUZZ_CHECK(rest.compare(0, query.base.size(), query.base) == 0);
        std::string host, why;
        uint16_t port = 0;
        if (!ParseHostPort(query.base, &host, &port, &why)) {
            FUZZ_CHECK(!why.empty());
            continue;
        }
        FUZZ_CHECK(port >= 1);
        uint32_t address = 0;
        if (ParseIPv4(host, &address))
            FUZZ_CHECK(Dotted(address) == host);
    }
}

// The password of the text's first URL, as a URL's authority holds it; false when it has none.
bool FirstUrlPassword(const std::string& text, std::string* password)
{
    const size_t scheme = text.find("://");
    const size_t at = text.find('@', scheme == std::string::npos ? 0 : scheme);
    if (scheme == std::string::npos || at == std::string::npos)
        return false;
    const size_t slash = text.find_first_of("/?#", scheme + 3);
    if (slash != std::string::npos && slash < at)
        return false;
    const std::string userInfo = text.substr(scheme + 3, at - scheme - 3);
    const size_t colon = userInfo.find(':');
    if (colon == std::string::npos || colon + 1 == userInfo.size())
        return false;
    *password = userInfo.substr(colon + 1);
    return true;
}

void CheckMasking(const std::string& source)
{
    std::string password, shown;
    if (!FirstUrlPassword(source, &password))
        return;
    FUZZ_CHECK(FirstUrlPassword(MaskUrlPassword(source), &shown));
    FUZZ_CHECK(shown == MASKED);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t lastNumber = 0;
    for (const MapLine& line : MapLines(text)) {
        FUZZ_CHECK(line.number > lastNumber);
        lastNumber = line.number;
        FUZZ_CHECK(!line.content.empty() && line.content[0] != '#');
        FUZZ_CHECK(std::string(WHITESPACE).find(line.content.front()) == std::string::npos);
        FUZZ_CHECK(std::string(WHITESPACE).find(line.content.back()) == std::string::npos);
        uint32_t channel = 0;
        std::string source, why;
        if (!SplitMapping(line.content, LAST_CHANNEL, &channel, &source, &why)) {
            FUZZ_CHECK(!why.empty());
            continue;
        }
        FUZZ_CHECK(channel <= LAST_CHANNEL);
        uint32_t again = 0;
        std::string sourceAgain;
        FUZZ_CHECK(SplitMapping(std::to_string(channel) + "=" + source, LAST_CHANNEL, &again, &sourceAgain, &why));
        FUZZ_CHECK(again == channel && sourceAgain == source);
        CheckAddress(source);
        CheckMasking(source);
    }
    return 0;
}
