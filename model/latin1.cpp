#include "model/latin1.h"

#include <cstdint>

std::optional<Utf8Char> decodeUtf8(std::string_view text, std::size_t at)
{
    if (at >= text.size()) return std::nullopt;
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t lead = byte(at);
    if (lead < 0x80) return Utf8Char{lead, 1};
    std::size_t length = 0;
    char32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return std::nullopt;
    }
    if (at + length > text.size()) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(at + k) & 0xC0u) != 0x80u) return std::nullopt;
        code = (code << 6) | (byte(at + k) & 0x3Fu);
    }
    if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || (code >= 0xD800 && code <= 0xDFFF) ||
        code > 0x10FFFF)
        return std::nullopt;
    return Utf8Char{code, length};
}

namespace {

// Converts, putting replacement in for what Latin-1 cannot hold; nullopt
// instead when there is no replacement.
std::optional<std::string> toLatin1(std::string_view utf8, std::optional<char> replacement)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = decodeUtf8(utf8, i);
        if (c && c->code <= 0xFF) {
            out += static_cast<char>(c->code);
        } else if (replacement) {
            out += *replacement;
        } else {
            return std::nullopt;
        }
        i += c ? c->length : 1;
    }
    return out;
}

} // namespace

std::optional<std::string> latin1FromUtf8(std::string_view utf8)
{
    return toLatin1(utf8, std::nullopt);
}

std::string latin1FromUtf8Lossy(std::string_view utf8)
{
    return *toLatin1(utf8, '?');
}

std::string utf8FromLatin1(std::string_view latin1)
{
    std::string out;
    out.reserve(latin1.size());
    for (const char c : latin1) {
        const auto u = static_cast<std::uint8_t>(c);
        if (u < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

std::string nameFromPath(std::string_view path)
{
    const auto cut = path.find_last_of("\\/");
    return latin1FromUtf8Lossy(cut == std::string_view::npos ? path : path.substr(cut + 1));
}
