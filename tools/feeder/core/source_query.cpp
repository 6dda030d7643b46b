#include "source_query.h"

#include <algorithm>

namespace {

const char QUERY_START = '?';
const char OPTION_SEPARATOR = '&';
const char VALUE_SEPARATOR = '=';
const char NOT_IN_TRAILING_VALUE[] = " \t\"'";

QueryOption ParseOption(const std::string& item)
{
    QueryOption option;
    const size_t equals = item.find(VALUE_SEPARATOR);
    option.name = item.substr(0, equals);
    if (equals != std::string::npos) {
        option.value = item.substr(equals + 1);
        option.hasValue = true;
    }
    return option;
}

// The options after the '?' at `start`.
SourceQuery SplitAt(const std::string& text, size_t start)
{
    SourceQuery query;
    query.base = text.substr(0, start);
    if (start == std::string::npos)
        return query;
    size_t from = start + 1;
    for (;;) {
        const size_t end = text.find(OPTION_SEPARATOR, from);
        query.options.push_back(ParseOption(text.substr(from, end == std::string::npos ? end : end - from)));
        if (end == std::string::npos)
            return query;
        from = end + 1;
    }
}

} // namespace

SourceQuery SplitSourceQuery(const std::string& text)
{
    return SplitAt(text, text.find(QUERY_START));
}

SourceQuery SplitAtLastKnownOption(const std::string& text, const std::vector<std::string>& known)
{
    for (size_t start = text.rfind(QUERY_START); start != std::string::npos;
         start = start == 0 ? std::string::npos : text.rfind(QUERY_START, start - 1)) {
        const size_t end = text.find(OPTION_SEPARATOR, start + 1);
        const std::string first = text.substr(start + 1, end == std::string::npos ? end : end - start - 1);
        if (std::find(known.begin(), known.end(), ParseOption(first).name) != known.end())
            return SplitAt(text, start);
    }
    return SplitAt(text, std::string::npos);
}

bool SplitTrailingOption(const std::string& text, const std::string& name, const std::string& starts,
                         std::string* base, std::string* value)
{
    const std::string item = name + VALUE_SEPARATOR;
    const size_t at = text.rfind(item);
    if (at == std::string::npos || at == 0 || starts.find(text[at - 1]) == std::string::npos)
        return false;
    const std::string rest = text.substr(at + item.size());
    if (rest.find_first_of(NOT_IN_TRAILING_VALUE) != std::string::npos)
        return false;
    *base = text.substr(0, at - 1);
    *value = rest;
    return true;
}
