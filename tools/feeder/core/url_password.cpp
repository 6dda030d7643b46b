#include "url_password.h"

#include <vector>

namespace {

const char SCHEME_END[] = "://";
const char AUTHORITY_END[] = "/?#";
const char USER_INFO_END = '@';
const char PASSWORD_START = ':';
const char MASK[] = "***";

// Where the password of the URL whose scheme ends at `scheme` lies: from *colon
// (exclusive) to *at; false when that URL has none.
bool FindPassword(const std::string& text, size_t scheme, size_t* colon, size_t* at)
{
    const size_t start = scheme + sizeof SCHEME_END - 1;
    const size_t end = text.find_first_of(AUTHORITY_END, start);
    *at = text.rfind(USER_INFO_END, end == std::string::npos ? std::string::npos : end);
    if (*at == std::string::npos || *at < start)
        return false;
    *colon = text.find(PASSWORD_START, start);
    return *colon != std::string::npos && *colon <= *at;
}

// The password of every URL in the text, in order; a URL may carry another one.
std::vector<std::string> UrlPasswords(const std::string& text)
{
    std::vector<std::string> passwords;
    for (size_t scheme = text.find(SCHEME_END); scheme != std::string::npos; scheme = text.find(SCHEME_END, scheme)) {
        size_t colon = 0, at = 0;
        if (!FindPassword(text, scheme, &colon, &at)) {
            scheme += sizeof SCHEME_END - 1;
            continue;
        }
        passwords.push_back(text.substr(colon + 1, at - colon - 1));
        scheme = at;
    }
    return passwords;
}

// The length of the longest of `items` that `text` holds at `at`; 0 for none.
size_t LongestAt(const std::string& text, size_t at, const std::vector<std::string>& items)
{
    size_t longest = 0;
    for (const std::string& item : items)
        if (item.size() > longest && text.compare(at, item.size(), item) == 0)
            longest = item.size();
    return longest;
}

} // namespace

// Every URL in the text, not only the first: a URL may carry another one.
std::string MaskUrlPassword(const std::string& text)
{
    std::string masked = text;
    for (size_t scheme = masked.find(SCHEME_END); scheme != std::string::npos;
         scheme = masked.find(SCHEME_END, scheme)) {
        size_t colon = 0, at = 0;
        if (!FindPassword(masked, scheme, &colon, &at)) {
            scheme += sizeof SCHEME_END - 1;
            continue;
        }
        masked = masked.substr(0, colon + 1) + MASK + masked.substr(at);
        scheme = colon + 1 + sizeof MASK - 1;
    }
    return masked;
}

// In one pass, the longest first: a password may hold a shorter one, or '@'.
std::string HideUrlPasswords(const std::string& reason, const std::string& text)
{
    std::vector<std::string> quoted;
    for (const std::string& password : UrlPasswords(text))
        if (!password.empty())
            quoted.push_back(password + USER_INFO_END);
    std::string hidden;
    for (size_t at = 0; at < reason.size();) {
        const size_t length = LongestAt(reason, at, quoted);
        if (length == 0)
            hidden += reason[at++];
        else
            hidden.append(MASK).append(1, USER_INFO_END);
        at += length;
    }
    return hidden;
}
