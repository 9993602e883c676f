#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace audio {

inline constexpr std::uint32_t kDeviceSampleRate = 33000;

// A mono unsigned 8-bit PCM WAV image of the machine's sample bytes, which
// are already in that format (0x80 the zero level). SafeFileWriter::write
// puts it on disk.
std::vector<std::uint8_t> wavImage(std::span<const std::uint8_t> samples, std::uint32_t sampleRate = kDeviceSampleRate);

} // namespace audio
