#include "cli/options.h"

namespace cli {

bool Options::parse(std::span<const std::string> args, std::span<const OptionSpec> specs, std::string& error)
{
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            m_positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name;
        std::optional<std::string> inlineValue;
        if (arg == "-h") {
            name = "help";
        } else if (arg.rfind("--", 0) == 0) {
            name = arg.substr(2);
            if (const auto eq = name.find('='); eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name.resize(eq);
            }
        } else {
            error = "unknown option " + arg + ".";
            return false;
        }

        const OptionSpec* spec = nullptr;
        for (const auto& s : specs)
            if (s.name == name) spec = &s;
        if (!spec) {
            error = "unknown option --" + name + ".";
            return false;
        }
        if (m_flags.count(name)) {
            error = "option --" + name + " is given twice.";
            return false;
        }
        m_flags.insert(name);
        if (!spec->takesValue || (spec->valueOptional && !inlineValue)) {
            if (inlineValue && !spec->valueOptional) {
                error = "option --" + name + " takes no value.";
                return false;
            }
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                error = "option --" + name + " needs a value.";
                return false;
            }
            inlineValue = args[++i];
        }
        m_values[name] = *inlineValue;
    }
    return true;
}

std::optional<std::string> Options::value(std::string_view name) const
{
    const auto it = m_values.find(std::string(name));
    if (it == m_values.end()) return std::nullopt;
    return it->second;
}

} // namespace cli
