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

std::string ReplaceAll(const std::string& text, const std::string& what, const std::string& with)
{
    std::string out;
    size_t from = 0;
    for (size_t found = text.find(what); found != std::string::npos; found = text.find(what, from)) {
        out.append(text, from, found - from).append(with);
        from = found + what.size();
    }
    return out.append(text, from, std::string::npos);
}

} // namespace

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

std::string HideUrlPasswords(const std::string& reason, const std::string& text)
{
    std::string hidden = reason;
    for (const std::string& password : UrlPasswords(text))
        if (!password.empty())
            hidden = ReplaceAll(hidden, password + USER_INFO_END, std::string(MASK) + USER_INFO_END);
    return hidden;
}
