#include "audio/converter.h"
#include "audio/fallbackdecoder.h"
#include "audio/ktaudiofilereader.h"
#include "model/content.h"
#include "model/slotimport.h"
#include "model/sound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

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

// An AIFF-C file whose compression type no decoder here knows.
Bytes unknownAifc()
{
    Bytes comm = commBody(1, 16, extended(44100));
    put(comm, "XYZW");
    put(comm, Bytes{0, 0});
    return form({chunk("COMM", comm, true), chunk("SSND", ssndBody(pattern(64)), true)}, "AIFC");
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
        write(unknownAifc(), "compressed.aifc"),
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

// The import reads what fills the slot. Every file that filled it when the
// import read at most 24 bytes per slot byte, or ended before that, keeps
// the bytes that older reading gave.
TEST_F(Import, FilesThatFilledOrEndedEarlyKeepTheirBytes)
{
    Bytes longData(kSmallSlot * 30);
    for (std::size_t i = 0; i < longData.size(); ++i) longData[i] = static_cast<std::uint8_t>(i * 31 / 7);
    Bytes odd = pattern(2001); // a last, partial 16-bit frame
    const Bytes files[] = {
        wav(2, 48000, 16, longData),
        wav(1, 33000, 8, pattern(kSmallSlot * 3)),
        wav(2, 44100, 24, pattern(6000)),
        wav(1, 22050, 16, odd),
        aiff(2, 96000, 16, pattern(kSmallSlot * 20), 4),
        aiff(1, 11025, 8, pattern(900)),
    };
    for (const Bytes& file : files) {
        KtAudioFileReader reader{std::span(file)};
        audio::sample source;
        reader.readSample(source, kSmallSlot * 24);
        audio::sample converted;
        audio::converter(33000, 1, 8, true).convert(converted, source, kSmallSlot);
        Bytes expected(kSmallSlot, 0x80);
        std::copy(converted.bytes().begin(), converted.bytes().end(), expected.begin());
        expected = faded(expected, converted.size());

        CSample s = slot();
        ASSERT_TRUE(s.load(std::span(file)));
        EXPECT_EQ(s.getData(), expected) << &file - files;
    }
}

TEST_F(Import, FastSourceFillsTheSlot)
{
    // 2 s of 192 kHz 32-bit stereo into the CRASH slot: 24 bytes per slot
    // byte would fill only about half of it.
    constexpr std::size_t crash = 0x8000;
    Bytes data(std::size_t{192000} * 2 * 8, 0x00);
    for (std::size_t i = 3; i < data.size(); i += 4) data[i] = 0x40;
    CSample s = slot(crash);
    const ImportResult result = s.import(write(wav(2, 192000, 32, data)), {});
    ASSERT_EQ(result.kind, ImportResult::Kind::Converted);
    EXPECT_TRUE(result.cut);
    EXPECT_DOUBLE_EQ(result.usedSeconds, result.capacitySeconds);
    EXPECT_EQ(s.getData()[crash - 8], 0xC0);
    EXPECT_EQ(std::count(s.getData().begin() + 1, s.getData().end() - 7, 0xC0), static_cast<std::ptrdiff_t>(crash - 8));
}

// A 32-bit float WAV of 8-bit values: the fallback decodes it to the same
// slot bytes as their 8-bit WAV.
Bytes floatWav(const Bytes& data)
{
    Bytes samples;
    for (std::uint8_t b : data) {
        const float value = static_cast<float>(b - 128) / 128.0f;
        std::uint32_t bits = 0;
        std::memcpy(&bits, &value, 4);
        putLe(samples, bits, 4);
    }
    return riff({chunk("fmt ", fmtBody(3, 1, 33000, 32), false), chunk("data", samples, false)});
}

TEST_F(Import, RoutesAskedBeforeImporting)
{
    const struct {
        std::string path;
        ImportRoute route;
    } cases[] = {
        {write(wav(1, 44100, 16, pattern(100)), "pcm.wav"), ImportRoute::Reader},
        {write(floatWav(pattern(100)), "float.wav"),
         audio::FallbackDecoder::built() ? ImportRoute::Fallback : ImportRoute::Refused},
        // A text that libsndfile would take as headerless mu-law by its name.
        {write(Bytes(3000, 'T'), "notes.au"), ImportRoute::Raw},
        {write(unknownAifc(), "unknown.aifc"), ImportRoute::Refused},
        {write(riff({chunk("fmt ", fmtBody(1, 1, 33000, 8), false)}), "nodata.wav"), ImportRoute::Unreadable},
        // Its LIST chunk claims about 4 GB, which sends libsndfile 1.2 into a
        // loop of minutes: our reader refuses it and the fallback never sees it.
        {write(riff({chunk("fmt ", fmtBody(3, 1, 33000, 32), false), chunk("data", Bytes(8, 0), false),
                     Bytes{0x4c, 0x49, 0x53, 0x54, 0x0d, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
                           0xff, 0xff, 0xff, 0x34, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff,
                           0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xef, 0xff, 0xff, 0xff}}),
               "list-past-end.wav"),
         ImportRoute::Refused},
        // A LIST that fits the file but whose sub-chunk runs past the LIST, and
        // a WAV of no format but such a LIST (found by fuzzing): libsndfile
        // 1.2 spins on both without end, so neither may reach it.
        {write(riff({chunk("fmt ", fmtBody(3, 1, 33000, 32), false), chunk("data", Bytes(8, 0), false),
                     chunk("LIST", Bytes{'I', 'N', 'F', 0xff, 0xf7, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00, 0}, false)}),
               "sub-chunk-past-list.wav"),
         ImportRoute::Refused},
        {write(Bytes{0x52, 0x49, 0x46, 0x46, 0xe6, 0x00, 0x00, 0x00, 0x57, 0x41, 0x56, 0x45, 0x4c,
                     0x49, 0x53, 0x54, 0x0d, 0x00, 0x00, 0x00, 0x49, 0x4e, 0x46, 0xff, 0xf7, 0xff,
                     0xff, 0xff, 0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x46},
               "no-fmt-list.wav"),
         ImportRoute::Refused},
        {m_dir.file("missing.wav"), ImportRoute::Unreadable},
    };
    for (const auto& c : cases) EXPECT_EQ(checkImport(c.path).route, c.route) << c.path;
    EXPECT_EQ(checkImport(cases[3].path).reason, "It is an AIFF-C file (compression type 'XYZW').");

    CSample text = slot();
    EXPECT_EQ(text.import(cases[2].path, {}).kind, ImportResult::Kind::Raw);
    EXPECT_EQ(text.getData()[1], 'T');
}

TEST_F(Import, StartsWhereAskedWithEitherDecoder)
{
    // At 33000 Hz a slot sample is a source frame: starting 0.1 s in moves
    // the slot's bytes by 3300.
    const Bytes data = pattern(kSmallSlot * 2);
    std::vector<Bytes> files{wav(1, 33000, 8, data)};
    if (audio::FallbackDecoder::built()) files.push_back(floatWav(data));
    for (const Bytes& file : files) {
        CSample later = slot();
        const ImportResult result = later.import(std::span(file), {.startSeconds = 0.1});
        ASSERT_EQ(result.kind, ImportResult::Kind::Converted);
        EXPECT_TRUE(result.cut);
        EXPECT_TRUE(std::equal(later.getData().begin() + 1, later.getData().end() - 7, data.begin() + 3301));

        CSample beyond = slot();
        EXPECT_EQ(beyond.import(std::span(file), {.startSeconds = 1.0}).kind, ImportResult::Kind::StartBeyondEnd);
        EXPECT_EQ(beyond.getData(), slot().getData());
    }
}

// Formats and codecs our reader leaves to the fallback decoder, named as
// libsndfile names them; GSM 6.10 cannot seek, so it is read from the start.
TEST_F(Import, FallbackFormatsAreTakenAndNamed)
{
    if (!audio::FallbackDecoder::built() || !haveSox()) GTEST_SKIP() << "needs libsndfile and sox";
    const struct {
        const char* name;
        const char* options;
        const char* decoder;
    } cases[] = {
        {"t.au", "-b 16", "AU (Sun/NeXT)"},
        {"t.voc", "-b 16", "VOC (Creative Labs)"},
        {"t.sph", "-b 16", "WAV (NIST Sphere)"},
        {"t.8svx", "-b 8", "IFF (Amiga IFF/SVX8/SV16)"},
        {"ima.wav", "-e ima-adpcm", "WAV (IMA ADPCM)"},
        {"ms.wav", "-e ms-adpcm", "WAV (Microsoft ADPCM)"},
        {"gsm.wav", "-e gsm-full-rate", "WAV (GSM 6.10)"},
    };
    for (const auto& c : cases) {
        const std::string path = m_dir.file(c.name);
        sox("-n -r 8000 -c 1 " + std::string(c.options), path, "synth 0.2 sine 440");
        for (const double start : {0.0, 0.05}) {
            CSample sample = slot();
            const ImportResult result = sample.import(path, {.startSeconds = start});
            ASSERT_EQ(result.kind, ImportResult::Kind::Converted) << c.name << ": " << result.reason;
            EXPECT_EQ(result.decoder, c.decoder);
            EXPECT_GT(result.usedSeconds, 0.14) << c.name;
        }
    }
}

// A file of one frame is short, not empty, at any rate.
TEST_F(Import, OneFrameImports)
{
    for (const std::uint32_t rate : {33000u, 44100u, 96000u}) {
        CSample sample = slot();
        const ImportResult result = sample.import(write(wav(1, rate, 16, Bytes{0x00, 0x40})), {});
        ASSERT_EQ(result.kind, ImportResult::Kind::Converted) << rate << ": " << result.reason;
        EXPECT_GT(result.usedSeconds, 0.0);
    }
}

TEST(ImportText, SaysWhatTheImportDid)
{
    using Kind = ImportResult::Kind;
    const struct {
        ImportResult result;
        const char* text;
    } cases[] = {
        {{.kind = Kind::Converted, .decoder = "WAV", .sourceSeconds = 2.5, .usedSeconds = 0.7447,
          .capacitySeconds = 0.7447, .cut = true},
         "clap.wav: 0.74 s of 2.50 s used (cut to fit the slot)"},
        {{.kind = Kind::Converted, .decoder = "AIFF", .sourceSeconds = 0.31, .usedSeconds = 0.31,
          .capacitySeconds = 0.7447},
         "clap.wav: all 0.31 s used (the slot holds 0.74 s)"},
        {{.kind = Kind::Converted, .fallback = true, .decoder = "FLAC", .sourceSeconds = 3.2, .startSeconds = 1.0,
          .usedSeconds = 0.993, .capacitySeconds = 0.993, .cut = true},
         "clap.wav: 0.99 s of 3.20 s used, from 1.00 s on (decoded from FLAC; cut to fit the slot)"},
        {{.kind = Kind::Converted, .decoder = "WAV", .sourceSeconds = 1.0, .startSeconds = 0.9, .usedSeconds = 0.1,
          .capacitySeconds = 0.7447},
         "clap.wav: 0.10 s of 1.00 s used, from 0.90 s on (the slot holds 0.74 s)"},
        {{.kind = Kind::Raw, .sourceSeconds = 0.1, .usedSeconds = 0.1, .capacitySeconds = 0.7447},
         "clap.wav: not an audio file, imported as raw 8-bit data"},
        {{.kind = Kind::StartBeyondEnd, .sourceSeconds = 2.5, .startSeconds = 3.0},
         "clap.wav: nothing imported. It is only 2.50 s long, so it cannot start at 3.00 s."},
    };
    for (const auto& c : cases) EXPECT_EQ(describeImport("clap.wav", c.result), c.text);
}

} // namespace
