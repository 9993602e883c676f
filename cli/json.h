#pragma once

#include <string>
#include <string_view>

namespace cli {

// A JSON string literal of UTF-8 text, quotes included. A byte that is not
// part of UTF-8 (a path may hold any) is written as the Latin-1 character it
// stands for, so the output is always valid JSON.
std::string jsonString(std::string_view text);
// A JSON number for a finite value, to six significant digits.
std::string jsonNumber(double value);

} // namespace cli
