#pragma once

#include "model/messages.h"

#include <cstdint>

// Bytes of the Standard MIDI File layout shared by the reader and the writer.
namespace smf {

inline constexpr std::uint8_t kMeta = 0xFF;
inline constexpr std::uint8_t kEndOfTrack = 0x2F;
inline constexpr std::uint8_t kSysEx = 0xF0;
inline constexpr std::uint8_t kEox = 0xF7;

// Cable byte times per tick at 120 quarter notes a minute; 0 for division 0
// or divisions too fine for a whole byte time.
constexpr std::uint32_t bytesPerTickFor(std::uint16_t division)
{
    return division == 0 ? 0 : kCableBytesPerSecond / (2u * division);
}

} // namespace smf
