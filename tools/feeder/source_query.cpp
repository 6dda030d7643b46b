#include "source_query.h"

namespace {

const char QUERY_START = '?';
const char OPTION_SEPARATOR = '&';
const char VALUE_SEPARATOR = '=';

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

} // namespace

SourceQuery SplitSourceQuery(const std::string& text)
{
    SourceQuery query;
    const size_t start = text.find(QUERY_START);
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
