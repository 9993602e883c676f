#include "audio/sample.h"
#include "audio/slotaudio.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

audio::sample withBytes(std::vector<std::uint8_t> bytes, std::uint16_t channels, std::uint16_t bits)
{
    audio::sample s;
    s.bytes() = std::move(bytes);
    s.setChannels(channels).setBitrate(bits);
    return s;
}

std::string dumpBody(const audio::sample& s)
{
    const std::string text = s.dump();
    return text.substr(text.find('\n') + 1);
}

TEST(Sample, NewSampleAndDump)
{
    audio::sample s;
    EXPECT_TRUE(s.empty());
    EXPECT_EQ(s.frames(), 0u);
    EXPECT_EQ(s.dump().rfind("audio::sample   < ", 0), 0u);
    EXPECT_EQ(dumpBody(s), "m_samplerate: 44100\nm_channels: 2\nm_bitrate: 16\nm_byterate: 2\n"
                           "m_shiftoffset: 16\nm_unsigned8Bit: 0 ");

    s.setSamplerate(33000.0).setChannels(1).setUnsigned8Bit(true);
    EXPECT_EQ(dumpBody(s), "m_samplerate: 33000\nm_channels: 1\nm_bitrate: 8\nm_byterate: 1\n"
                           "m_shiftoffset: 24\nm_unsigned8Bit: 1 ");
}

TEST(Sample, BitrateSetsWidthAndShift)
{
    struct Row {
        std::uint16_t bits, bytes, shift;
    };
    for (const Row row : {Row{0, 0, 32}, Row{1, 1, 24}, Row{8, 1, 24}, Row{12, 2, 16}, Row{24, 3, 8}, Row{32, 4, 0},
                          Row{33, 5, 65528}, Row{64, 8, 65504}}) {
        audio::sample s;
        s.setBitrate(row.bits);
        EXPECT_EQ(s.byterate(), row.bytes) << row.bits;
        EXPECT_EQ(s.shiftoffset(), row.shift) << row.bits;
    }
    // Wider than 4 bytes cannot be read as a 32-bit value.
    const auto wide = withBytes(std::vector<std::uint8_t>(16, 0x7F), 1, 64);
    EXPECT_EQ(wide.frames(), 2u);
    EXPECT_EQ(wide.value(0, 0), 0);
}

TEST(Sample, UnsignedFlagFollowsDepth)
{
    audio::sample s;
    s.setUnsigned8Bit(true);
    EXPECT_EQ(s.bitrate(), 8);
    EXPECT_EQ(s.byterate(), 1);
    EXPECT_EQ(s.shiftoffset(), 24);
    s.setBitrate(8);
    EXPECT_TRUE(s.unsigned8Bit());
    s.setBitrate(16);
    EXPECT_FALSE(s.unsigned8Bit());
}

TEST(Sample, FramesCountOnlyWholeFrames)
{
    EXPECT_EQ(withBytes(std::vector<std::uint8_t>(7), 2, 16).frames(), 1u);
    EXPECT_EQ(withBytes(std::vector<std::uint8_t>(7), 0, 16).frames(), 0u);
    EXPECT_EQ(withBytes(std::vector<std::uint8_t>(7), 1, 0).frames(), 0u);
}

TEST(Sample, ValueSignExtendsEachWidth)
{
    const auto s16 = withBytes({0x00, 0x80, 0xFF, 0x7F}, 1, 16);
    EXPECT_EQ(s16.value(0, 0), -32768);
    EXPECT_EQ(s16.value(1, 0), 32767);
    const auto s24 = withBytes({0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F}, 1, 24);
    EXPECT_EQ(s24.value(0, 0), -8388608);
    EXPECT_EQ(s24.value(1, 0), 8388607);
    const auto s32 = withBytes({0x00, 0x00, 0x00, 0x80}, 1, 32);
    EXPECT_EQ(s32.value(0, 0), INT32_MIN);
    EXPECT_EQ(withBytes({0xFF}, 1, 8).value(0, 0), -1);

    auto u8 = withBytes({0x00, 0x80, 0xFF}, 1, 8);
    u8.setUnsigned8Bit(true);
    EXPECT_EQ(u8.value(0, 0), -128);
    EXPECT_EQ(u8.value(1, 0), 0);
    EXPECT_EQ(u8.value(2, 0), 127);
}

TEST(Sample, ValueClampsChannelAndStaysInsideBytes)
{
    const auto stereo = withBytes({0x01, 0x00, 0x02, 0x00, 0x03, 0x00}, 2, 16);
    EXPECT_EQ(stereo.value(0, 5), 2);
    // The half frame at the end and anything beyond read as silence, not past the bytes.
    EXPECT_EQ(stereo.value(1, 1), 0);
    EXPECT_EQ(stereo.value(0xFFFFFFFF, 0), 0);
    EXPECT_EQ(withBytes({0x01}, 0, 8).value(0, 0), 0);
}

// What the window draws and writes for a slot.
TEST(SlotAudio, PeaksAndSecondsOfTheSound)
{
    const std::vector<std::uint8_t> bytes{0x80, 0x10, 0xF0, 0x70, 0x90, 0x80, 0x80, 0x80};
    using audio::Peak;
    EXPECT_EQ(audio::slotPeaks(bytes, 4), (std::vector<Peak>{{0x10, 0x80}, {0x70, 0xF0}, {0x80, 0x90}, {0x80, 0x80}}));
    EXPECT_EQ(audio::slotPeaks(bytes, 1), (std::vector<Peak>{{0x10, 0xF0}}));
    // More columns than bytes: each column still shows a byte.
    EXPECT_EQ(audio::slotPeaks(std::vector<std::uint8_t>{0x10, 0xF0}, 4),
              (std::vector<Peak>{{0x10, 0x10}, {0x10, 0x10}, {0xF0, 0xF0}, {0xF0, 0xF0}}));
    EXPECT_TRUE(audio::slotPeaks({}, 4).empty());

    EXPECT_EQ(audio::usedLength(bytes), 5u);
    EXPECT_EQ(audio::usedLength(std::vector<std::uint8_t>(10, 0x80)), 0u);
    std::vector<std::uint8_t> clap(0x6000, 0x80);
    clap[20459] = 0x81; // 20460 bytes sound: 0.62 s
    EXPECT_EQ(audio::capacityText(clap), "0.62 s of 0.74 s");
}

} // namespace
