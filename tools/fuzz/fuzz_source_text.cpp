// A source's text as a user may write it, to the settings parser of every kind:
// a refusal always says why and never repeats a URL's password before its '@';
// what is accepted has its numbers in their documented ranges; and the same
// text always gets the same answer. The first byte picks the kind whose prefix
// goes before the rest, or gives the rest as it is to every kind.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cmd_settings.h"
#include "file_settings.h"
#include "fuzz_check.h"
#include "http_settings.h"
#include "silence_limit.h"
#include "tcp_settings.h"
#include "udp_settings.h"

namespace {

const uint32_t SILENCE_MIN_MS = 100;
const uint32_t SILENCE_MAX_MS = 3600 * 1000;
const uint32_t MULTICAST_FIRST = 0xE0000000;    // 224.0.0.0
const uint32_t MULTICAST_LAST = 0xEFFFFFFF;     // 239.255.255.255
const char SCHEME_END[] = "://";
const char AUTHORITY_END[] = "/?#";
const char MASK_CHAR = '*';
const char BLANKS[] = " \t";

enum Kind { FILE_KIND, UDP_KIND, TCP_KIND, HTTP_KIND, HTTPS_KIND, CMD_KIND, KIND_COUNT };
const char* const PREFIXES[KIND_COUNT] = {"file:", "udp://", "tcp://", "http://", "https://", "cmd:"};

// The passwords of the text's URLs, read as a URL's authority holds them: after
// the first ':' of the user information, up to its last '@'.
std::vector<std::string> Passwords(const std::string& text)
{
    std::vector<std::string> passwords;
    size_t from = 0;
    for (size_t scheme = text.find(SCHEME_END); scheme != std::string::npos; scheme = text.find(SCHEME_END, from)) {
        const size_t start = scheme + sizeof SCHEME_END - 1;
        const size_t end = text.find_first_of(AUTHORITY_END, start);
        const std::string authority = text.substr(start, end == std::string::npos ? end : end - start);
        const size_t at = authority.rfind('@');
        const size_t colon = authority.find(':');
        from = start;
        if (at == std::string::npos || colon == std::string::npos || colon > at)
            continue;
        passwords.push_back(authority.substr(colon + 1, at - colon - 1));
        from = start + at;
    }
    return passwords;
}

void CheckRefusal(const std::string& text, const std::string& why)
{
    FUZZ_CHECK(!why.empty());
    // A password with the mask's '*' in it, or that starts with the '@' that
    // ends a mask, may read the same as a masked one.
    for (const std::string& password : Passwords(text))
        if (!password.empty() && password.find(MASK_CHAR) == std::string::npos && password[0] != '@')
            FUZZ_CHECK(why.find(password + "@") == std::string::npos);
}

bool SilenceInRange(uint32_t ms)
{
    return ms >= SILENCE_MIN_MS && ms <= SILENCE_MAX_MS;
}

void CheckFile(const std::string& text)
{
    FileSettings settings, again;
    std::string why, whyAgain;
    const bool ok = ParseFileSettings(text, &settings, &why);
    FUZZ_CHECK(ok == ParseFileSettings(text, &again, &whyAgain) && why == whyAgain);
    if (!ok)
        return CheckRefusal(text, why);
    FUZZ_CHECK(!settings.path.empty() && settings.path == again.path);
    FUZZ_CHECK(settings.pace == again.pace && settings.rate == again.rate && settings.loop == again.loop);
    if (settings.pace == PaceMode::RATE)
        FUZZ_CHECK(settings.rate >= FILE_RATE_MIN && settings.rate <= FILE_RATE_MAX);
    FUZZ_CHECK(text.compare(std::string(PREFIXES[FILE_KIND]).size(), settings.path.size(), settings.path) == 0);
}

void CheckUdp(const std::string& text)
{
    UdpSettings settings, again;
    std::string why, whyAgain;
    const bool ok = ParseUdpSettings(text, &settings, &why);
    FUZZ_CHECK(ok == ParseUdpSettings(text, &again, &whyAgain) && why == whyAgain);
    if (!ok)
        return CheckRefusal(text, why);
    FUZZ_CHECK(settings.address == again.address && settings.port == again.port);
    FUZZ_CHECK(settings.interfaceAddress == again.interfaceAddress && settings.silenceLimitMs == again.silenceLimitMs);
    FUZZ_CHECK(settings.port >= 1);
    FUZZ_CHECK(settings.multicast == (settings.address >= MULTICAST_FIRST && settings.address <= MULTICAST_LAST));
    FUZZ_CHECK(settings.multicast || settings.interfaceAddress == 0);
    FUZZ_CHECK(!settings.silenceGiven || SilenceInRange(settings.silenceLimitMs));
}

void CheckTcp(const std::string& text)
{
    TcpSettings settings, again;
    std::string why, whyAgain;
    const bool ok = ParseTcpSettings(text, &settings, &why);
    FUZZ_CHECK(ok == ParseTcpSettings(text, &again, &whyAgain) && why == whyAgain);
    if (!ok)
        return CheckRefusal(text, why);
    FUZZ_CHECK(settings.host == again.host && settings.port == again.port && settings.silenceLimitMs == again.silenceLimitMs);
    FUZZ_CHECK(!settings.host.empty() && settings.port >= 1);
    FUZZ_CHECK(SilenceInRange(settings.silenceLimitMs));
}

void CheckHttp(const std::string& text)
{
    HttpSettings settings, again;
    std::string why, whyAgain;
    const bool ok = ParseHttpSettings(text, &settings, &why);
    FUZZ_CHECK(ok == ParseHttpSettings(text, &again, &whyAgain) && why == whyAgain);
    if (!ok)
        return CheckRefusal(text, why);
    FUZZ_CHECK(settings.url == again.url && settings.port == again.port && settings.silenceLimitMs == again.silenceLimitMs);
    FUZZ_CHECK(settings.secure == (text.compare(0, std::string(PREFIXES[HTTPS_KIND]).size(), PREFIXES[HTTPS_KIND]) == 0));
    FUZZ_CHECK(text.compare(0, settings.url.size(), settings.url) == 0);
    FUZZ_CHECK(SilenceInRange(settings.silenceLimitMs));
}

void CheckCmd(const std::string& text)
{
    CmdSettings settings, again;
    std::string why, whyAgain;
    const bool ok = ParseCmdSettings(text, &settings, &why);
    FUZZ_CHECK(ok == ParseCmdSettings(text, &again, &whyAgain) && why == whyAgain);
    if (!ok)
        return CheckRefusal(text, why);
    FUZZ_CHECK(settings.commandLine == again.commandLine && settings.silenceLimitMs == again.silenceLimitMs);
    FUZZ_CHECK(settings.commandLine.find_first_not_of(BLANKS) != std::string::npos);
    FUZZ_CHECK(text.compare(std::string(PREFIXES[CMD_KIND]).size(), settings.commandLine.size(), settings.commandLine) == 0);
    FUZZ_CHECK(SilenceInRange(settings.silenceLimitMs));
}

void CheckKind(int kind, const std::string& text)
{
    switch (kind) {
    case FILE_KIND:  return CheckFile(text);
    case UDP_KIND:   return CheckUdp(text);
    case TCP_KIND:   return CheckTcp(text);
    case CMD_KIND:   return CheckCmd(text);
    default:         return CheckHttp(text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int choice = data[0] % (KIND_COUNT + 1);
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    if (choice < KIND_COUNT)
        CheckKind(choice, PREFIXES[choice] + rest);
    else
        for (int kind = 0; kind < KIND_COUNT; ++kind)
            CheckKind(kind, rest);
    return 0;
}
