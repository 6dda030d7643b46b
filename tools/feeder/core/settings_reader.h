// What every kind's settings parser does around its own reading: a refusal never
// shows a URL's password, and nothing is set on a refusal.
#pragma once
#include <string>

#include "url_password.h"

// The reason for refusing a text that holds a password comes from reading the
// text with its password masked: a reason may quote any part of the text, and a
// password with an unencoded '#' or '/' is cut where no masking finds the piece.
// When the masked text reads well, the password itself was the trouble.
template <typename Settings>
bool ReadHidingPasswords(bool (*read)(const std::string&, Settings*, std::string*), const std::string& text,
                         Settings* out, std::string* why)
{
    Settings settings;
    if (read(text, &settings, why)) {
        *out = settings;
        return true;
    }
    const std::string masked = MaskUrlPassword(text);
    if (masked != text) {
        Settings ignored;
        std::string maskedWhy;
        *why = read(masked, &ignored, &maskedWhy) ? UserInfoEscapeAdvice() : maskedWhy;
    }
    *why = HideUrlPasswords(*why, text);
    return false;
}
