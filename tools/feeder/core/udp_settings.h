// udp://ADDRESS:PORT[?interface=ADDRESS][&timeout=S]: what the text asks for, in
// plain C++, so the parsing is fuzzed natively; the UDP source binds and joins.
#pragma once
#include <cstdint>
#include <string>

struct UdpSettings {
    uint32_t    address = 0;            // host byte order: a group, an interface's own address, or 0.0.0.0
    uint16_t    port = 0;               // 1-65535
    bool        multicast = false;      // address in 224.0.0.0/4
    uint32_t    interfaceAddress = 0;   // host byte order: joins the group there; 0.0.0.0 lets the system choose
    bool        silenceGiven = false;   // ?timeout= was written
    uint32_t    silenceLimitMs = 0;     // its value, when given
};

// False with *why set when the text is malformed; *why never repeats a URL's password.
bool ParseUdpSettings(const std::string& text, UdpSettings* out, std::string* why);
