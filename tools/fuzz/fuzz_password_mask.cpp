// A password, whatever bytes it holds, never survives into a line the feeder
// writes: the masked source text, each kind's refusal of it, and a map line's.
// The input gives a place for a URL (the first byte picks it), then its user,
// password and what follows the '@', apart by zero bytes; the user holds no
// character that would end it. A password is looked for only where finding it
// means a leak: three bytes or more, no '*' of the mask, and not to be found in
// the text without it, nor in the lines written for the text with "***" in its
// place, nor in the advice on how to write a password.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cmd_settings.h"
#include "file_settings.h"
#include "fuzz_check.h"
#include "http_settings.h"
#include "map_text.h"
#include "tcp_settings.h"
#include "udp_settings.h"
#include "url_password.h"

namespace {

const size_t MEANINGFUL_BYTES = 3;
const char FIELD_END = '\0';
const char NOT_IN_USER[] = ":@/?#";
const char MASK[] = "***";
const uint32_t LAST_CHANNEL = 9;
const char* const PLACES[] = {
    "http://", "https://", "tcp://", "udp://", "cmd:x.exe --url http://", "file:a.ts?rate=http://",
    "udp://239.1.1.1:1234?interface=http://", "http://host/?timeout=http://", "3=http://", "x://y cmd:z https://",
};
const size_t PLACE_COUNT = sizeof PLACES / sizeof PLACES[0];

struct Parts {
    std::string place, user, password, after;
};

Parts ReadParts(const uint8_t* data, size_t size)
{
    Parts parts;
    parts.place = PLACES[size == 0 ? 0 : data[0] % PLACE_COUNT];
    std::string* fields[] = {&parts.user, &parts.password, &parts.after};
    size_t field = 0;
    for (size_t i = 1; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == FIELD_END && field + 1 < sizeof fields / sizeof fields[0])
            ++field;
        else if (field != 0 || std::string(NOT_IN_USER).find(c) == std::string::npos)
            fields[field]->push_back(c);
    }
    return parts;
}

std::string Text(const Parts& parts, const std::string& password)
{
    return parts.place + parts.user + ":" + password + "@" + parts.after;
}

template <typename Settings>
void AddRefusal(bool (*parse)(const std::string&, Settings*, std::string*), const std::string& text,
                std::vector<std::string>* lines)
{
    Settings settings;
    std::string why;
    if (!parse(text, &settings, &why))
        lines->push_back(why);
}

// Every line the feeder may write about the text, when it is a source or a mapping.
std::vector<std::string> LinesAbout(const std::string& text)
{
    std::vector<std::string> lines = {MaskUrlPassword(text)};
    AddRefusal(ParseHttpSettings, text, &lines);
    AddRefusal(ParseTcpSettings, text, &lines);
    AddRefusal(ParseUdpSettings, text, &lines);
    AddRefusal(ParseFileSettings, text, &lines);
    AddRefusal(ParseCmdSettings, text, &lines);
    uint32_t channel = 0;
    std::string source, why;
    if (!SplitMapping(text, LAST_CHANNEL, &channel, &source, &why))
        lines.push_back(why);
    return lines;
}

bool AnyHolds(const std::vector<std::string>& lines, const std::string& piece)
{
    for (const std::string& line : lines)
        if (line.find(piece) != std::string::npos)
            return true;
    return false;
}

bool WorthLookingFor(const Parts& parts)
{
    const std::string& password = parts.password;
    return password.size() >= MEANINGFUL_BYTES && password.find('*') == std::string::npos
        && Text(parts, "").find(password) == std::string::npos
        && !AnyHolds(LinesAbout(Text(parts, MASK)), password)
        && std::string(UserInfoEscapeAdvice()).find(password) == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Parts parts = ReadParts(data, size);
    const std::vector<std::string> lines = LinesAbout(Text(parts, parts.password));
    // Whatever it holds, the password is masked in the text itself.
    FUZZ_CHECK(lines[0].find(":" + std::string(MASK) + "@") != std::string::npos);
    if (!WorthLookingFor(parts))
        return 0;
    for (const std::string& line : lines) {
        if (line.find(parts.password) != std::string::npos)
            std::fprintf(stderr, "the password shows in: %s\n", line.c_str());
        FUZZ_CHECK(line.find(parts.password) == std::string::npos);
    }
    return 0;
}
