#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Factory content built into the program (synthesised at build time, never written).
// 31 sound banks of 0x20000 sample bytes, slot after slot.
inline constexpr std::size_t kFactorySamplesSize = 31 * 0x20000;
// Two pieces of 0x20006 bytes, each a stored message filled up with 00 after its F7.
inline constexpr std::size_t kFactoryFirmwareSize = 2 * 0x20006;

extern const std::span<const std::uint8_t, kFactorySamplesSize> kFactorySamples;
extern const std::span<const std::uint8_t, kFactoryFirmwareSize> kFactoryFirmware;
