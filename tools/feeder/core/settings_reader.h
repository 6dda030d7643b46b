// What every kind's settings parser does around its own reading: a refusal that
// quotes the text never shows a URL's password, and nothing is set on a refusal.
#pragma once
#include <string>

#include "url_password.h"

template <typename Settings>
bool ReadHidingPasswords(bool (*read)(const std::string&, Settings*, std::string*), const std::string& text,
                         Settings* out, std::string* why)
{
    Settings settings;
    if (!read(text, &settings, why)) {
        *why = HideUrlPasswords(*why, text);
        return false;
    }
    *out = settings;
    return true;
}
