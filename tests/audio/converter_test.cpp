#include "audio/converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

const audio::converter kSlot(33000.0, 1, 8, true);

audio::sample make(double rate, std::uint16_t channels, std::uint16_t bits, bool unsigned8,
                   std::vector<std::uint8_t> bytes)
{
    audio::sample s;
    s.bytes() = std::move(bytes);
    s.setSamplerate(rate).setChannels(channels).setBitrate(bits).setUnsigned8Bit(unsigned8);
    return s;
}

std::vector<std::uint8_t> le16(std::initializer_list<int> values)
{
    std::vector<std::uint8_t> out;
    for (int v : values) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    return out;
}

std::vector<std::uint8_t> toSlot(const audio::sample& source)
{
    audio::sample result;
    kSlot.convert(result, source);
    EXPECT_EQ(result.samplerate(), 33000.0);
    EXPECT_EQ(result.channels(), 1);
    EXPECT_TRUE(result.unsigned8Bit());
    return result.bytes();
}

TEST(Converter, TargetFormatAndLevels)
{
    EXPECT_EQ(audio::converter(48000.0, 2, 16, true).targetBitrate(), 8);
    EXPECT_EQ(toSlot(make(33000, 1, 16, false, le16({0x1234, -4660, 32767, -32768, 0}))),
              (std::vector<std::uint8_t>{0x92, 0x6E, 0xFF, 0x00, 0x80}));
    // Stereo is averaged, truncating toward zero: (100 - 101) / 2 is 0.
    EXPECT_EQ(toSlot(make(33000, 2, 16, false, le16({100 * 256, -101 * 256, 100, -101}))),
              (std::vector<std::uint8_t>{0x80, 0x80}));
    // 8-bit unsigned at the target rate passes unchanged.
    const std::vector<std::uint8_t> bytes{0x00, 0x10, 0x80, 0xFF};
    EXPECT_EQ(toSlot(make(33000, 1, 8, true, bytes)), bytes);
    // Six channels mix to their average.
    EXPECT_EQ(toSlot(make(33000, 6, 8, true, {0x80, 0x80, 0x80, 0x80, 0xE0, 0xE0})), (std::vector<std::uint8_t>{0xA0}));
}

TEST(Converter, NarrowSamplesScaleByTheirContainer)
{
    // Left-justified in 16 bits: a full-scale 12-bit value is 0x7FF0.
    EXPECT_EQ(toSlot(make(33000, 1, 12, false, le16({0x7FF0, -0x8000, 0x1230}))),
              (std::vector<std::uint8_t>{0xFF, 0x00, 0x92}));
    // 20 bits in a 24-bit container.
    EXPECT_EQ(toSlot(make(33000, 1, 20, false, {0xF0, 0xFF, 0x7F, 0x00, 0x00, 0x80})),
              (std::vector<std::uint8_t>{0xFF, 0x00}));
    // 4-bit AIFF values sit in the top of their signed byte.
    EXPECT_EQ(toSlot(make(33000, 1, 4, false, {0x70, 0x80, 0x10})), (std::vector<std::uint8_t>{0xF0, 0x00, 0x90}));
    // Widening to 16 bits scales up; offset binary does not exist there.
    audio::sample wide;
    audio::converter(33000.0, 1, 16, false).convert(wide, make(33000, 1, 8, true, {0xFF, 0x00}));
    EXPECT_FALSE(wide.unsigned8Bit());
    EXPECT_EQ(wide.bitrate(), 16);
    ASSERT_EQ(wide.frames(), 2u);
    EXPECT_EQ(wide.value(0, 0), 127 * 256);
    EXPECT_EQ(wide.value(1, 0), -128 * 256);
}

TEST(Converter, ResamplesByLinearInterpolation)
{
    // 44100 Hz: ratio 1.3636..., output frame 3 lies at 4.00909 between frames 4 and 5.
    std::vector<std::uint8_t> bytes(1000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(0x80 + (i % 2 ? 100 : -100));
    const auto out = toSlot(make(44100, 1, 8, true, bytes));
    EXPECT_EQ(out.size(), static_cast<std::size_t>(1000 / (44100.0 / 33000.0)));
    const double pos = 3 * (44100.0 / 33000.0);
    EXPECT_EQ(out[3], 0x80 + static_cast<int>(-100 + 200 * (pos - 4)));

    // 22050 Hz upsampled: past the last input frame the source counts as silence.
    const std::vector<std::uint8_t> up{0x80 + 60, 0x80 + 60, 0x80 + 60};
    const auto upOut = toSlot(make(22050, 1, 8, true, up));
    EXPECT_EQ(upOut.size(), static_cast<std::size_t>(3 / (22050.0 / 33000.0)));
    EXPECT_EQ(upOut.front(), 0x80 + 60);
    EXPECT_LT(upOut.back(), 0x80 + 60);
    EXPECT_GT(upOut.back(), 0x80);
}

TEST(Converter, FrameLimitKeepsTheSamePrefix)
{
    std::vector<std::uint8_t> bytes(4000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 13);
    const auto source = make(48000, 2, 16, false, bytes);
    audio::sample whole;
    audio::sample limited;
    kSlot.convert(whole, source);
    kSlot.convert(limited, source, 100);
    ASSERT_EQ(limited.size(), 100u);
    EXPECT_TRUE(std::equal(limited.bytes().begin(), limited.bytes().end(), whole.bytes().begin()));
}

TEST(Converter, UnwalkableInputGivesNothing)
{
    const std::vector<std::uint8_t> bytes(64, 0x40);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(toSlot(make(33000, 0, 16, false, bytes)).empty());
    EXPECT_TRUE(toSlot(make(33000, 1, 0, false, bytes)).empty());
    EXPECT_TRUE(toSlot(make(33000, 1, 40, false, bytes)).empty());
    for (double rate : {0.0, -44100.0, nan, inf}) EXPECT_TRUE(toSlot(make(rate, 1, 16, false, bytes)).empty()) << rate;
    EXPECT_TRUE(toSlot(make(33000, 1, 16, false, {})).empty());
    EXPECT_TRUE(toSlot(make(33000, 2, 16, false, {1, 2, 3})).empty());

    // A rate so low that the output would pass 32 bits is refused, not wrapped;
    // with a frame limit it still delivers the start.
    const std::vector<std::uint8_t> big(1 << 20, 0x90);
    EXPECT_TRUE(toSlot(make(0.001, 1, 8, true, big)).empty());
    audio::sample limited;
    kSlot.convert(limited, make(0.001, 1, 8, true, big), 0x8000);
    EXPECT_EQ(limited.size(), 0x8000u);
    EXPECT_EQ(limited.bytes().front(), 0x90);
}

} // namespace
