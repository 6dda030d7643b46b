#include "url_password.h"

namespace {

const char SCHEME_END[] = "://";
const char AUTHORITY_END[] = "/?#";
const char USER_INFO_END = '@';
const char PASSWORD_START = ':';
const char MASK[] = "***";

// The password of the URL whose scheme ends at `scheme`, masked; `next` is where to look on.
std::string MaskOne(const std::string& text, size_t scheme, size_t* next)
{
    const size_t start = scheme + sizeof SCHEME_END - 1;
    *next = start;
    const size_t end = text.find_first_of(AUTHORITY_END, start);
    const size_t at = text.rfind(USER_INFO_END, end == std::string::npos ? std::string::npos : end);
    if (at == std::string::npos || at < start)
        return text;
    const size_t colon = text.find(PASSWORD_START, start);
    if (colon == std::string::npos || colon > at)
        return text;
    *next = colon + 1 + sizeof MASK - 1;
    return text.substr(0, colon + 1) + MASK + text.substr(at);
}

} // namespace

// Every URL in the text, not only the first: a URL may carry another one.
std::string MaskUrlPassword(const std::string& text)
{
    std::string masked = text;
    for (size_t scheme = masked.find(SCHEME_END); scheme != std::string::npos;
         scheme = masked.find(SCHEME_END, scheme)) {
        size_t next = 0;
        masked = MaskOne(masked, scheme, &next);
        scheme = next;
    }
    return masked;
}
