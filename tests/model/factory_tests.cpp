#include "model/factory_data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace {

std::uint64_t fnv1a(std::span<const std::uint8_t> bytes)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (std::uint8_t b : bytes) hash = (hash ^ b) * 0x100000001b3ull;
    return hash;
}

constexpr std::array<std::size_t, 6> kSizes{0x6000, 0x2000, 0x6000, 0x2000, 0x8000, 0x8000};

// Any change to the synthesised sounds must be deliberate: update the hash with it.
TEST(FactorySamples, GeneratorOutputIsFixed)
{
    EXPECT_EQ(fnv1a(kFactorySamples), 0xe4a0d4a0ef01302cull) << std::hex << fnv1a(kFactorySamples);
}

TEST(FactorySamples, EverySlotStartsAndEndsSilentAndUsesTheRange)
{
    std::size_t offset = 0;
    for (int bank = 0; bank < 31; ++bank) {
        for (std::size_t size : kSizes) {
            const auto slot = kFactorySamples.subspan(offset, size);
            EXPECT_EQ(slot.front(), 0x80) << "bank " << bank << " offset " << offset;
            EXPECT_EQ(slot.back(), 0x80) << "bank " << bank << " offset " << offset;
            const auto [lo, hi] = std::minmax_element(slot.begin(), slot.end());
            EXPECT_GE(*hi - *lo, 200) << "bank " << bank << " offset " << offset;
            offset += size;
        }
    }
    EXPECT_EQ(offset, kFactorySamples.size());
}

TEST(FactorySamples, BanksDifferFromEachOther)
{
    for (int a = 0; a < 31; ++a)
        for (int b = a + 1; b < 31; ++b)
            EXPECT_FALSE(std::equal(kFactorySamples.begin() + a * 0x20000, kFactorySamples.begin() + (a + 1) * 0x20000,
                                    kFactorySamples.begin() + b * 0x20000))
                << a << " and " << b;
}

// A ride sounds bright and metallic, not like a bell: most of its energy lies
// above 4 kHz. Measured with a windowed DFT over frames spread across the slot.
TEST(FactorySamples, EveryRideHasMostOfItsEnergyAbove4kHz)
{
    constexpr std::size_t kRideOffset = 0x18000;
    constexpr std::size_t kFrame = 128;
    std::array<double, kFrame> cosine{};
    std::array<double, kFrame> sine{};
    for (std::size_t m = 0; m < kFrame; ++m) {
        cosine[m] = std::cos(2.0 * std::numbers::pi * static_cast<double>(m) / kFrame);
        sine[m] = std::sin(2.0 * std::numbers::pi * static_cast<double>(m) / kFrame);
    }
    for (int bank = 0; bank < 31; ++bank) {
        const auto ride = kFactorySamples.subspan(bank * 0x20000 + kRideOffset, 0x8000);
        double above = 0;
        double below = 0;
        for (std::size_t start = 0; start < ride.size(); start += 0x1000) {
            std::array<double, kFrame> x{};
            for (std::size_t i = 0; i < kFrame; ++i) x[i] = (ride[start + i] - 128.0) * (0.5 - 0.5 * cosine[i]);
            for (std::size_t k = 1; k < kFrame / 2; ++k) {
                double re = 0;
                double im = 0;
                for (std::size_t i = 0; i < kFrame; ++i) {
                    re += x[i] * cosine[k * i % kFrame];
                    im += x[i] * sine[k * i % kFrame];
                }
                (k * 33000.0 / kFrame >= 4000.0 ? above : below) += re * re + im * im;
            }
        }
        EXPECT_GT(above, below) << "bank " << bank;
    }
}

TEST(FactoryFirmware, TwoPiecesOfMessageThenZeroFill)
{
    const auto piece0 = kFactoryFirmware.subspan(0, 0x20006);
    const auto piece1 = kFactoryFirmware.subspan(0x20006, 0x20006);
    const auto f7 = [](std::span<const std::uint8_t> p) {
        return static_cast<std::size_t>(std::find(p.begin(), p.end(), 0xF7) - p.begin());
    };
    EXPECT_EQ(f7(piece0), 0x1FF85u);
    EXPECT_EQ(f7(piece1), 0x1BE05u);
    EXPECT_TRUE(std::all_of(piece0.begin() + 0x1FF86, piece0.end(), [](auto b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(piece1.begin() + 0x1BE06, piece1.end(), [](auto b) { return b == 0; }));
    // Manufacturer 7D: a non-commercial placeholder, never the machine's own 31.
    EXPECT_EQ(piece0[1], 0x7D);
    EXPECT_EQ(piece1[1], 0x7D);
    EXPECT_TRUE(std::all_of(piece0.begin() + 1, piece0.begin() + 0x1FF85, [](auto b) { return b < 0x80; }));
}

} // namespace
