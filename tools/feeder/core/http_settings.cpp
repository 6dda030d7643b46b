#include "http_settings.h"

#include "net_address.h"
#include "source_prefix.h"
#include "source_query.h"
#include "settings_reader.h"
#include "url_password.h"

namespace {

const char HTTP_PREFIX[] = "http://";
const char HTTPS_PREFIX[] = "https://";
const char TIMEOUT_STARTS[] = "?&";     // the last item of the URL's query
const char AUTHORITY_END[] = "/?#";

// The port after the host, if the URL has one: WinHTTP would quietly take a
// number out of range modulo 65536.
bool CheckPort(const std::string& text, size_t prefixLength, uint16_t* port, std::string* why)
{
    const size_t end = text.find_first_of(AUTHORITY_END, prefixLength);
    const std::string withUser = text.substr(prefixLength, end == std::string::npos ? end : end - prefixLength);
    const size_t at = withUser.rfind('@');
    const std::string authority = at == std::string::npos ? withUser : withUser.substr(at + 1);
    const size_t bracket = authority.rfind(']');
    const size_t colon = authority.rfind(':');
    if (colon == std::string::npos || (bracket != std::string::npos && colon < bracket))
        return true;
    return ParsePort(authority.substr(colon + 1), port, why);
}

bool ReadHttpSettings(const std::string& text, HttpSettings* settings, std::string* why)
{
    settings->secure = text.compare(0, sizeof HTTPS_PREFIX - 1, HTTPS_PREFIX) == 0;
    if (!settings->secure && !CheckSourcePrefix(text, HTTP_PREFIX, why))
        return false;
    const size_t prefixLength = settings->secure ? sizeof HTTPS_PREFIX - 1 : sizeof HTTP_PREFIX - 1;
    settings->url = text;
    std::string value;
    // Only the last item of the query is the feeder's: one the server should
    // see is followed by another.
    if (SplitTrailingOption(text, SILENCE_OPTION, TIMEOUT_STARTS, &settings->url, &value)
        && !ParseSilenceLimit(value, &settings->silenceLimitMs, why))
        return false;
    return CheckUrlUserInfoWritten(settings->url, prefixLength, why)
        && CheckPort(settings->url, prefixLength, &settings->port, why);
}

} // namespace

bool ParseHttpSettings(const std::string& text, HttpSettings* out, std::string* why)
{
    return ReadHidingPasswords(ReadHttpSettings, text, out, why);
}
