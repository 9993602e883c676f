#include "audio/converter.h"
#include "model/content.h"
#include "model/sound.h"

#include <gtest/gtest.h>

#include <span>
#include <string>

#include "audio_test_util.h"

namespace {

using namespace audiotest;

constexpr std::size_t kSmallSlot = 0x2000;

class Import : public ::testing::Test {
protected:
    std::string write(const Bytes& bytes, const std::string& name = "in.wav")
    {
        const std::string path = m_dir.file(name);
        writeFile(path, bytes);
        return path;
    }
    // A slot filled with a pattern, so an untouched slot is recognisable.
    static CSample slot(std::size_t size = kSmallSlot) { return CSample(Bytes(size, 0x5A)); }

    TempDir m_dir;
};

Bytes pattern(std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(0x20 + i % 0xC0);
    return b;
}

Bytes faded(Bytes expected, std::size_t n)
{
    for (std::size_t k = 1; k <= 7; ++k) {
        std::uint8_t& b = expected[n - 8 + k];
        const int v = b == 0 ? 1 : b;
        b = static_cast<std::uint8_t>(v < 0x80 ? 0x80 - ((0x80 - v) >> k) : 0x80 + ((v - 0x80) >> k));
    }
    expected[0] = 0x80;
    return expected;
}

TEST_F(Import, NativeFormatFillsTheSlotWithFadeAndZeroStart)
{
    const Bytes data = pattern(kSmallSlot + 500);
    CSample s = slot();
    ASSERT_TRUE(s.load(write(wav(1, 33000, 8, data))));
    EXPECT_EQ(s.getSize(), kSmallSlot);
    EXPECT_EQ(s.getData(), faded(Bytes(data.begin(), data.begin() + kSmallSlot), kSmallSlot));
}

TEST_F(Import, FadeExamples)
{
    CSample s = slot(16);
    ASSERT_TRUE(s.load(write(wav(1, 33000, 8, {0x33, 0x00, 0xFF, 0x40, 0xC0, 0x80, 0x01, 0xFF}))));
    EXPECT_EQ(s.getData(),
              (Bytes{0x80, 0x41, 0x9F, 0x78, 0x84, 0x80, 0x7F, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}));

    CSample nine = slot(12);
    ASSERT_TRUE(nine.load(write(wav(1, 33000, 8, Bytes(9, 0x10)))));
    EXPECT_EQ(nine.getData(), (Bytes{0x80, 0x10, 0x48, 0x64, 0x72, 0x79, 0x7D, 0x7F, 0x80, 0x80, 0x80, 0x80}));
}

TEST_F(Import, OtherFilesAreRawBytes)
{
    CSample s = slot(16);
    ASSERT_TRUE(s.load(write({1, 2, 3, 4, 5}, "five.bin")));
    EXPECT_EQ(s.getData(), (Bytes{0x80, 2, 3, 4, 5, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}));

    const Bytes text(kSmallSlot * 2, 'T');
    CSample t = slot();
    ASSERT_TRUE(t.load(write(text, "notes.txt")));
    EXPECT_EQ(t.getData(), faded(Bytes(text.begin(), text.begin() + kSmallSlot), kSmallSlot));
}

TEST_F(Import, NothingReadLeavesTheSlotAndNameAlone)
{
    const Bytes untouched = slot().getData();
    const std::string cases[] = {
        m_dir.file("missing.wav"),
        write({}, "empty.bin"),
        write(riff({chunk("fmt ", fmtBody(1, 1, 33000, 8), false)}), "nodata.wav"),
        write(form({chunk("COMM", commBody(1, 16, extended(44100)), true), chunk("SSND", ssndBody(pattern(64)), true)},
                   "AIFC"),
              "compressed.aifc"),
        write(wav(1, 33000, 16, {0x12}), "halfvalue.wav"),
        write(wav(0, 33000, 16, pattern(64)), "nochannels.wav"),
    };
    for (const auto& path : cases) {
        CSample s = slot();
        EXPECT_FALSE(s.load(path)) << path;
        EXPECT_EQ(s.getData(), untouched) << path;
    }

    CSound bank(0);
    const Bytes before = bank.content(1)->getData();
    EXPECT_FALSE(bank.loadContent(1, cases[2]));
    EXPECT_EQ(bank.getContentName(1), "CLOSED HI HAT");
    EXPECT_EQ(bank.content(1)->getData(), before);
    EXPECT_TRUE(bank.loadContent(1, write(wav(1, 44100, 16, pattern(4000)), "kick.wav")));
    EXPECT_EQ(bank.getContentName(1), "kick.wav");
}

TEST_F(Import, BytesInMemoryImportLikeTheirFile)
{
    const Bytes files[] = {
        wav(2, 48000, 16, pattern(4000)),
        aiff(1, 22050, 24, pattern(3000)),
        Bytes(100, 'T'),
        riff({chunk("fmt ", fmtBody(1, 1, 33000, 8), false)}),
    };
    for (const Bytes& file : files) {
        CSample fromFile = slot();
        CSample fromMemory = slot();
        EXPECT_EQ(fromMemory.load(std::span(file)), fromFile.load(write(file)));
        EXPECT_EQ(fromMemory.getData(), fromFile.getData());
    }
}

TEST_F(Import, ReadsAtMost24BytesPerSlotByte)
{
    // 48 kHz 16-bit stereo with more than 24 x S data bytes.
    Bytes data(kSmallSlot * 30);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31 / 7);
    CSample s = slot();
    ASSERT_TRUE(s.load(write(wav(2, 48000, 16, data))));

    audio::sample source;
    source.bytes().assign(data.begin(), data.begin() + kSmallSlot * 24);
    source.setSamplerate(48000).setChannels(2).setBitrate(16);
    audio::sample converted;
    audio::converter(33000, 1, 8, true).convert(converted, source);
    ASSERT_GE(converted.size(), kSmallSlot);
    EXPECT_EQ(s.getData(), faded(Bytes(converted.bytes().begin(), converted.bytes().begin() + kSmallSlot), kSmallSlot));
}

TEST_F(Import, FastSourceFillsAboutHalfTheSlot)
{
    // 192 kHz 32-bit stereo: 24 x S bytes are 3 x S frames, about 0.52 x S output samples.
    Bytes data(kSmallSlot * 40, 0x00);
    for (std::size_t i = 3; i < data.size(); i += 4) data[i] = 0x40;
    CSample s = slot();
    ASSERT_TRUE(s.load(write(wav(2, 192000, 32, data))));
    const auto n = static_cast<std::size_t>(kSmallSlot * 24 / 8 / (192000.0 / 33000.0));
    ASSERT_LT(n, kSmallSlot);
    EXPECT_EQ(s.getData()[n - 8], 0xC0);
    EXPECT_EQ(s.getData()[n - 1], 0x80);
    EXPECT_EQ(std::count(s.getData().begin() + static_cast<std::ptrdiff_t>(n), s.getData().end(), 0x80),
              static_cast<std::ptrdiff_t>(kSmallSlot - n));
}

} // namespace
