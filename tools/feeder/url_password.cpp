#include "url_password.h"

namespace {

const char SCHEME_END[] = "://";
const char AUTHORITY_END[] = "/?#";
const char USER_INFO_END = '@';
const char PASSWORD_START = ':';
const char MASK[] = "***";

} // namespace

std::string MaskUrlPassword(const std::string& text)
{
    const size_t scheme = text.find(SCHEME_END);
    if (scheme == std::string::npos)
        return text;
    const size_t start = scheme + sizeof SCHEME_END - 1;
    const size_t end = text.find_first_of(AUTHORITY_END, start);
    const size_t at = text.rfind(USER_INFO_END, end == std::string::npos ? std::string::npos : end);
    if (at == std::string::npos || at < start)
        return text;
    const size_t colon = text.find(PASSWORD_START, start);
    if (colon == std::string::npos || colon > at)
        return text;
    return text.substr(0, colon + 1) + MASK + text.substr(at);
}
