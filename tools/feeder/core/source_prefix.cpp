#include "source_prefix.h"

bool CheckSourcePrefix(const std::string& text, const std::string& prefix, std::string* why)
{
    if (text.compare(0, prefix.size(), prefix) == 0)
        return true;
    *why = "'" + text + "' does not start with " + prefix;
    return false;
}
