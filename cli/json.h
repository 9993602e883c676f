#pragma once

#include <string>
#include <string_view>

namespace cli {

// A JSON string literal, quotes included. Names are raw bytes from bank
// files (often Latin-1 from older files): valid UTF-8 passes through, any
// other byte is written as the Latin-1 character it stands for, so the
// output is always valid JSON.
std::string jsonString(std::string_view text);

} // namespace cli
