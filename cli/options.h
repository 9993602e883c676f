#pragma once

#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

struct OptionSpec {
    std::string_view name; // without the leading "--"
    bool takesValue;
    bool valueOptional = false; // the value only as "--name=value"; plain "--name" is a flag
};

// A subcommand's arguments: "--name value", "--name=value", flags, and the
// positional words in order. "--" ends the options.
class Options {
public:
    // False with a one-sentence error for unknown, repeated or incomplete options.
    bool parse(std::span<const std::string> args, std::span<const OptionSpec> specs, std::string& error);

    bool has(std::string_view name) const { return m_flags.count(std::string(name)) != 0; }
    std::optional<std::string> value(std::string_view name) const;
    const std::vector<std::string>& positional() const { return m_positional; }

private:
    std::set<std::string> m_flags; // every option seen, with or without value
    std::map<std::string, std::string> m_values;
    std::vector<std::string> m_positional;
};

} // namespace cli
