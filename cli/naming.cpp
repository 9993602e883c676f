#include "cli/naming.h"

#include "midifile/bankdocument.h"
#include "model/bank.h"
#include "model/latin1.h"

#include <cctype>
#include <cmath>

namespace cli {
namespace {

std::string normalised(std::string_view text)
{
    // Words separated by any run of blanks, '-' or '_', compared without case.
    std::string out;
    bool gap = false;
    for (char c : text) {
        if (c == ' ' || c == '-' || c == '_' || c == '\t') {
            gap = !out.empty();
            continue;
        }
        if (gap) out += ' ';
        gap = false;
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

} // namespace

std::optional<std::uint16_t> parseBank(std::string_view text)
{
    const std::string word = normalised(text);
    if (word == "FIRMWARE") return static_cast<std::uint16_t>(kBankCount - 1);
    std::string_view digits = word;
    if (!digits.empty() && digits.front() == 'S') digits.remove_prefix(1);
    const auto number = parseDecimal(digits, 3);
    if (!number || *number < 1 || *number > kSoundBankCount) return std::nullopt;
    return static_cast<std::uint16_t>(*number - 1);
}

std::optional<std::uint16_t> parseSlot(const IBank& bank, std::string_view text)
{
    const std::uint16_t count = bank.getContentCount();
    if (const auto number = parseDecimal(text, 3))
        if (*number >= 1 && *number <= count) return static_cast<std::uint16_t>(*number - 1);
    const std::string word = normalised(text);
    if (word.empty()) return std::nullopt;
    for (std::uint16_t i = 0; i < count; ++i)
        if (normalised(bank.getContentLabel(i)) == word) return i;
    return std::nullopt;
}

std::string printableName(std::string_view latin1)
{
    std::string out;
    for (const char c : latin1) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (u < 0x20 || (u >= 0x7F && u < 0xA0)) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 0x0F];
        } else {
            out += utf8FromLatin1(std::string_view(&c, 1));
        }
    }
    return out;
}

std::string fileSafe(std::string_view text)
{
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        out += (std::isalnum(u) || c == '-' || c == '.') ? c : '_';
    }
    return out;
}

std::optional<unsigned> parseDecimal(std::string_view digits, std::size_t maxDigits)
{
    if (digits.empty() || digits.size() > maxDigits) return std::nullopt;
    unsigned value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}

std::optional<double> parseSeconds(std::string_view text)
{
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    const auto digitsOnly = [](std::string_view part) {
        return part.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (whole.size() > 9 || fraction.size() > 9 || whole.size() + fraction.size() == 0 || !digitsOnly(whole) ||
        !digitsOnly(fraction))
        return std::nullopt;
    const auto wholePart = whole.empty() ? 0u : *parseDecimal(whole, 9);
    const auto fractionPart = fraction.empty() ? 0u : *parseDecimal(fraction, 9);
    return wholePart + fractionPart / std::pow(10.0, static_cast<double>(fraction.size()));
}

IBank* selectBank(BankDocument& doc, const std::string& path, const std::optional<std::string>& bankArg,
                  std::string& error)
{
    const auto& banks = doc.banks();
    if (!bankArg) {
        if (banks.size() == 1) return banks.front().get();
        error = "'" + path + "' holds " + std::to_string(banks.size()) +
                " banks: choose one with --bank (S01 to S31 or FIRMWARE).";
        return nullptr;
    }
    const auto index = parseBank(*bankArg);
    if (!index) {
        error = "there is no bank '" + *bankArg + "': banks are S01 to S31 and FIRMWARE.";
        return nullptr;
    }
    for (const auto& bank : banks)
        if (bank->getIndex() == *index) return bank.get();
    error = "'" + path + "' holds no bank " + bankTag(*index);
    if (banks.size() == 1) error += " (it holds " + bankTag(banks.front()->getIndex()) + ")";
    error += ".";
    return nullptr;
}

std::optional<double> parseDecibels(std::string_view text)
{
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
    const auto value = parseSeconds(text);
    if (!value) return std::nullopt;
    return negative ? -*value : *value;
}

} // namespace cli
