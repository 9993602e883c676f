#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class BankDocument;
class IBank;

// How banks and slots are named on the command line and in output.
namespace cli {

// Accepts "S05", "s5", "5" (sound banks 1 to 31) and "FIRMWARE" in any case.
std::optional<std::uint16_t> parseBank(std::string_view text);

// Accepts a content's label in any case, with blanks, '-' or '_' between the
// words ("open hi hat", "CLOSED-HI-HAT"), or its number counted from 1.
std::optional<std::uint16_t> parseSlot(const IBank& bank, std::string_view text);

// The bank of a document that a --bank value names, or its only bank when
// none is given; null with a one-sentence error.
IBank* selectBank(BankDocument& doc, const std::string& path, const std::optional<std::string>& bankArg,
                  std::string& error);

// Plain decimal digits only (no sign, no blanks), at most maxDigits of them.
std::optional<unsigned> parseDecimal(std::string_view digits, std::size_t maxDigits);

// A decimal number of seconds: digits with an optional fraction ("1.25",
// "0.5", "2", ".5"); no sign, exponent or blanks.
std::optional<double> parseSeconds(std::string_view text);
// "-3", "+4.5", "0": a signed decimal number of decibels.
std::optional<double> parseDecibels(std::string_view text);

// A bank or slot name (Latin-1 bytes) as UTF-8 for a terminal: control
// characters (00-1F, 7F and 80-9F) as \xHH and a backslash as \\, so that
// every name reads back exactly and none can drive the terminal.
std::string printableName(std::string_view latin1);

// A label made safe for a file name: "OPEN HI HAT" -> "OPEN_HI_HAT".
std::string fileSafe(std::string_view text);

} // namespace cli
