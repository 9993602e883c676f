#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Bank and slot names are Latin-1 bytes, as bank files store them; command
// lines, file names and JSON speak UTF-8. These conversions are the only
// place where the two meet.

// One character decoded from UTF-8: its code point and length in bytes.
struct Utf8Char {
    char32_t code;
    std::size_t length;
};
// The well-formed UTF-8 sequence at text[at] (no overlong forms, no
// surrogates, nothing past U+10FFFF), or nullopt.
std::optional<Utf8Char> decodeUtf8(std::string_view text, std::size_t at);

// Nullopt when the text is not UTF-8 or holds a character beyond U+00FF.
std::optional<std::string> latin1FromUtf8(std::string_view utf8);
// The same, with '?' for every such character or stray byte.
std::string latin1FromUtf8Lossy(std::string_view utf8);
std::string utf8FromLatin1(std::string_view latin1);

// The name a content takes from a file: the file's name without its folder
// (either separator), in Latin-1.
std::string nameFromPath(std::string_view path);
