#include "url_password.h"

#include <algorithm>
#include <vector>

namespace {

const char SCHEME_END[] = "://";
const size_t SCHEME_END_CHARS = sizeof SCHEME_END - 1;
const char AUTHORITY_END[] = "/?#";
const char USER_INFO_END = '@';
const char PASSWORD_START = ':';
const char IPV6_START = '[';
const char DIGITS[] = "0123456789";
const char ESCAPE = '%';
const size_t ESCAPE_DIGITS = 2;
const int HEX_BASE = 16;
const char MASK[] = "***";
const char WRITE_ESCAPED[] = "the URL's user name or password holds '#', '?', '/' or '@' as typed, so where it ends is"
                             " a guess: write them as %23, %3F, %2F and %40 (and an '@' after the host as %40)";

// The ':' that starts the password of the URL whose scheme ends at `scheme`: the
// first after it, unless it starts another URL's "://" after a text that no user
// name holds (a password may well start with "//").
size_t PasswordColon(const std::string& text, size_t scheme)
{
    const size_t start = scheme + SCHEME_END_CHARS;
    const size_t colon = text.find(PASSWORD_START, start);
    const bool nextUrl = colon != std::string::npos && colon == text.find(SCHEME_END, start);
    return nextUrl && text.find_first_of(AUTHORITY_END, start) < colon ? std::string::npos : colon;
}

// Where the password of the URL whose scheme ends at `scheme` may lie: from
// *colon (exclusive) to *at, the text's last '@', as a password may hold an '@'
// and a '/' both; false when that URL has none.
bool FindPassword(const std::string& text, size_t scheme, size_t* colon, size_t* at)
{
    *colon = PasswordColon(text, scheme);
    *at = text.rfind(USER_INFO_END);
    return *colon != std::string::npos && *at != std::string::npos && *at > *colon;
}

// Every text the URLs may hold as a password: from each URL's colon to each '@'
// after it, so that a reason quoting only the first of them is covered too.
std::vector<std::string> UrlPasswords(const std::string& text)
{
    std::vector<std::string> passwords;
    for (size_t scheme = text.find(SCHEME_END); scheme != std::string::npos;
         scheme = text.find(SCHEME_END, scheme + 1)) {
        const size_t colon = PasswordColon(text, scheme);
        if (colon == std::string::npos)
            continue;
        for (size_t at = text.find(USER_INFO_END, colon); at != std::string::npos;
             at = text.find(USER_INFO_END, at + 1))
            passwords.push_back(text.substr(colon + 1, at - colon - 1));
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

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

// Every URL in the text, not only the first: a URL may carry another one.
std::string MaskUrlPassword(const std::string& text)
{
    std::string masked = text;
    for (size_t scheme = masked.find(SCHEME_END); scheme != std::string::npos;) {
        size_t colon = 0, at = 0;
        size_t from = scheme + SCHEME_END_CHARS;
        if (FindPassword(masked, scheme, &colon, &at)) {
            masked = masked.substr(0, colon + 1) + MASK + masked.substr(at);
            from = colon + 1 + sizeof MASK - 1;
        }
        scheme = masked.find(SCHEME_END, from);
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

namespace {

// An authority without an '@' that reads "name:" with no port after it: a password
// cut short at a '/', '?' or '#' typed in it, when an '@' follows further on.
bool LooksCutShort(const std::string& authority)
{
    const size_t colon = authority.find(PASSWORD_START);
    if (colon == std::string::npos || authority.empty() || authority[0] == IPV6_START)
        return false;
    const std::string port = authority.substr(colon + 1);
    return port.empty() || port.find_first_not_of(DIGITS) != std::string::npos;
}

} // namespace

// Two '@' in the authority tell of an '@' typed in the user information; none,
// where one follows the authority, of a '#', '?' or '/' that ended it early. One
// '@' in the authority reads as written, though the path or query hold more.
bool CheckUrlUserInfoWritten(const std::string& url, size_t authority, std::string* why)
{
    const size_t end = url.find_first_of(AUTHORITY_END, authority);
    const std::string written =
        authority > url.size() ? "" : url.substr(authority, end == std::string::npos ? end : end - authority);
    const auto ats = std::count(written.begin(), written.end(), USER_INFO_END);
    const bool atFurther = end != std::string::npos && url.find(USER_INFO_END, end) != std::string::npos;
    if (ats == 1 || (ats == 0 && !(atFurther && LooksCutShort(written))))
        return true;
    *why = WRITE_ESCAPED;
    return false;
}

const char* UserInfoEscapeAdvice()
{
    return WRITE_ESCAPED;
}

bool DecodeUrlUserInfo(const std::string& written, std::string* decoded)
{
    std::string plain;
    for (size_t i = 0; i < written.size(); ++i) {
        if (written[i] != ESCAPE) {
            plain += written[i];
            continue;
        }
        if (i + ESCAPE_DIGITS >= written.size())
            return false;
        const int high = HexDigit(written[i + 1]), low = HexDigit(written[i + 2]);
        if (high < 0 || low < 0)
            return false;
        plain += static_cast<char>(high * HEX_BASE + low);
        i += ESCAPE_DIGITS;
    }
    *decoded = plain;
    return true;
}
