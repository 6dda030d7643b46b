#include "command_program.h"

namespace {

const char BLANKS[] = " \t";
const char QUOTE = '"';
const char SEPARATORS[] = "\\/";
const char EXE_EXTENSION[] = ".exe";

std::string WithExtension(const std::string& name)
{
    const size_t slash = name.find_last_of(SEPARATORS);
    const size_t dot = name.find('.', slash == std::string::npos ? 0 : slash + 1);
    return dot == std::string::npos ? name + EXE_EXTENSION : name;
}

} // namespace

std::vector<std::string> ProgramCandidates(const std::string& commandLine)
{
    std::vector<std::string> candidates;
    const size_t start = commandLine.find_first_not_of(BLANKS);
    if (start == std::string::npos)
        return candidates;
    if (commandLine[start] == QUOTE) {
        const size_t end = commandLine.find(QUOTE, start + 1);
        const std::string name = commandLine.substr(start + 1, end == std::string::npos ? end : end - start - 1);
        if (!name.empty())
            candidates.push_back(WithExtension(name));
        return candidates;
    }
    for (size_t blank = commandLine.find_first_of(BLANKS, start);; blank = commandLine.find_first_of(BLANKS, blank + 1)) {
        const std::string name = commandLine.substr(start, blank == std::string::npos ? blank : blank - start);
        if (name.find_last_not_of(BLANKS) + 1 == name.size())
            candidates.push_back(WithExtension(name));
        if (blank == std::string::npos)
            return candidates;
    }
}
