#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace cli {

inline constexpr std::uint32_t kDeviceSampleRate = 33000;

// A mono unsigned 8-bit PCM WAV image of the machine's sample bytes, which
// are already in that format (0x80 the zero level).
std::vector<std::uint8_t> wavImage(std::span<const std::uint8_t> samples, std::uint32_t sampleRate = kDeviceSampleRate);

// Writes bytes to a temporary file beside path and renames it over path, so
// an existing file is either replaced whole or left as it was. False with a
// one-sentence error.
bool writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes, std::string& error);

} // namespace cli
