#include "tcp_settings.h"

#include "net_address.h"
#include "source_prefix.h"
#include "source_query.h"
#include "settings_reader.h"
#include "url_password.h"

namespace {

const char TCP_PREFIX[] = "tcp://";

bool ReadTcpSettings(const std::string& text, TcpSettings* settings, std::string* why)
{
    if (!CheckSourcePrefix(text, TCP_PREFIX, why))
        return false;
    const SourceQuery query = SplitSourceQuery(text.substr(sizeof TCP_PREFIX - 1));
    for (const QueryOption& option : query.options) {
        if (option.name != SILENCE_OPTION) {
            *why = "unknown option \"" + option.name + "\" (tcp:// takes timeout=S)";
            return false;
        }
        if (!ParseSilenceLimit(option.value, &settings->silenceLimitMs, why))
            return false;
    }
    return ParseHostPort(query.base, &settings->host, &settings->port, why);
}

} // namespace

bool ParseTcpSettings(const std::string& text, TcpSettings* out, std::string* why)
{
    return ReadHidingPasswords(ReadTcpSettings, text, out, why);
}
