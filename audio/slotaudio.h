#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "audio/wavwriter.h"

// What a slot's bytes look like and how long they sound, for the window's
// waveform and capacity text and for the tool. A slot holds the machine's
// format: kDeviceSampleRate unsigned 8-bit mono samples, kZeroLevel silent.
namespace audio {

inline constexpr std::uint8_t kZeroLevel = 0x80;

// The lowest and highest byte of one column of a waveform.
struct Peak {
    std::uint8_t low = kZeroLevel;
    std::uint8_t high = kZeroLevel;
    bool operator==(const Peak&) const = default;
};

// Splits the bytes into `columns` runs as equal as can be (each at least one
// byte, so with more columns than bytes runs repeat) and gives each run's
// lowest and highest byte. One pass over the bytes; the result depends on
// nothing else, so a window keeps it until the slot or its width changes.
std::vector<Peak> slotPeaks(std::span<const std::uint8_t> bytes, std::size_t columns);

// Bytes up to and including the last one that is not the zero level: what
// sounds. The rest of the slot is silence the import left.
std::size_t usedLength(std::span<const std::uint8_t> bytes);
// Seconds that a number of slot bytes plays.
double slotSeconds(std::size_t byteCount);
// "0.62 s": seconds to two decimals, as every text here shows them.
std::string secondsText(double seconds);
// "0.62 s of 0.74 s": the seconds that sound against what the slot holds.
std::string capacityText(std::span<const std::uint8_t> bytes);

} // namespace audio
