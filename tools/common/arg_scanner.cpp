#include "arg_scanner.h"

namespace {

const char OPTION_PREFIX[] = "--";
const size_t OPTION_PREFIX_LENGTH = 2;
const char SHORT_HELP[] = "-h";
const char HELP_NAME[] = "help";

const OptionRule* FindRule(const std::vector<OptionRule>& rules, const std::string& name)
{
    for (const OptionRule& rule : rules)
        if (name == rule.name)
            return &rule;
    return nullptr;
}

} // namespace

ScanResult ScanArguments(const std::vector<std::string>& args,
                         const std::vector<OptionRule>& rules)
{
    ScanResult result;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == OPTION_PREFIX) {
            if (i + 1 < args.size())
                result.error = "unexpected argument '" + args[i + 1] + "'";
            return result;
        }
        if (arg == SHORT_HELP && FindRule(rules, HELP_NAME) != nullptr) {
            result.options.push_back(ScannedOption{HELP_NAME, ""});
            continue;
        }
        if (arg.compare(0, OPTION_PREFIX_LENGTH, OPTION_PREFIX) != 0 || arg.size() == OPTION_PREFIX_LENGTH) {
            result.error = "unexpected argument '" + arg + "'";
            return result;
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(OPTION_PREFIX_LENGTH, equals == std::string::npos
                                                ? std::string::npos : equals - OPTION_PREFIX_LENGTH);
        const OptionRule* rule = FindRule(rules, name);
        if (rule == nullptr) {
            result.error = "unknown option '--" + name + "'";
            return result;
        }
        ScannedOption option{name, ""};
        if (!rule->takesValue) {
            if (equals != std::string::npos) {
                result.error = "option '--" + name + "' takes no value";
                return result;
            }
        } else if (equals != std::string::npos) {
            option.value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            option.value = args[++i];
        } else {
            result.error = "option '--" + name + "' needs a value";
            return result;
        }
        result.options.push_back(option);
    }
    return result;
}
