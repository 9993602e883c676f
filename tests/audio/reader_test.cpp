#include "audio/ktaudiofilereader.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "audio_test_util.h"

namespace {

using namespace audiotest;

Bytes ramp(std::size_t n)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return b;
}

class Reader : public ::testing::Test {
protected:
    std::string write(const Bytes& bytes, const std::string& name = "in.bin")
    {
        const std::string path = m_dir.file(name);
        writeFile(path, bytes);
        return path;
    }
    audio::sample read(const Bytes& bytes, std::uint32_t maxBytes = 0)
    {
        KtAudioFileReader reader(write(bytes));
        audio::sample s;
        const std::uint32_t got = reader.readSample(s, maxBytes);
        EXPECT_EQ(got, s.size());
        return s;
    }

    TempDir m_dir;
};

Bytes extensibleFmt(const Bytes& guid)
{
    Bytes b = fmtBody(0xFFFE, 2, 48000, 24);
    putLe(b, 22, 2); // extension size
    putLe(b, 24, 2); // valid bits
    putLe(b, 3, 4);  // channel mask
    put(b, guid);
    return b;
}

const Bytes kPcmGuid{0x01, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
const Bytes kFloatGuid{0x03, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};

// The reason is kept apart from the classification: a WAV without "fmt " is
// not PCM and says why, an unknown file is no refusal (it is imported raw).
TEST_F(Reader, ClassifiesContainersAndSaysWhy)
{
    struct Row {
        const char* what;
        Bytes file;
        bool known, pcm;
        AudioError error;
    };
    Bytes notRiff = wav(1, 8000, 8, ramp(4));
    notRiff[0] = 'X';
    const Row rows[] = {
        {"pcm wav", wav(1, 8000, 16, ramp(4)), true, true, AudioError::None},
        {"float wav", riff({chunk("fmt ", fmtBody(3, 1, 8000, 32), false), chunk("data", ramp(8), false)}), true, false,
         AudioError::IeeeFloat},
        {"extensible pcm", riff({chunk("fmt ", extensibleFmt(kPcmGuid), false), chunk("data", ramp(12), false)}), true,
         true, AudioError::None},
        {"extensible float", riff({chunk("fmt ", extensibleFmt(kFloatGuid), false), chunk("data", ramp(8), false)}),
         true, false, AudioError::ExtensibleNotPcm},
        {"wav without fmt", riff({chunk("data", ramp(8), false)}), true, false, AudioError::NoFmt},
        {"aiff", aiff(1, 44100, 16, ramp(4)), true, true, AudioError::None},
        {"aifc", form({chunk("COMM", commBody(1, 16, extended(44100)), true)}, "AIFC"), true, false, AudioError::Aifc},
        {"riff of another type", riff({chunk("fmt ", fmtBody(1, 1, 8000, 8), false)}, "AVI "), false, false,
         AudioError::NotWavOrAiff},
        {"WAVE without RIFF", notRiff, false, false, AudioError::NotWavOrAiff},
        {"short FORM", Bytes{'F', 'O', 'R', 'M', 0, 0}, true, false, AudioError::OtherForm},
        {"empty", Bytes{}, false, false, AudioError::NotWavOrAiff},
        {"text", Bytes(100, 'a'), false, false, AudioError::NotWavOrAiff},
    };
    for (const auto& row : rows) {
        KtAudioFileReader reader(write(row.file));
        EXPECT_EQ(reader.isKnownFormat(), row.known) << row.what;
        EXPECT_EQ(reader.isPcm(), row.pcm) << row.what;
        EXPECT_EQ(reader.error(), row.error) << row.what;
        EXPECT_EQ(KtAudioFileReader(row.file).error(), row.error) << row.what << " in memory";
    }
    KtAudioFileReader missing(m_dir.file("no such file"));
    EXPECT_FALSE(missing.isKnownFormat());
    EXPECT_FALSE(missing.isPcm());
    EXPECT_EQ(missing.error(), AudioError::CannotOpen);
}

TEST_F(Reader, ErrorMessagesCarryTheirDetail)
{
    Bytes comm = commBody(1, 8, extended(8000));
    put(comm, "ulaw");
    const std::pair<Bytes, std::string> rows[] = {
        {wav(1, 8000, 16, ramp(4)), ""},
        {wav(1, 8000, 40, ramp(10)), "Its bit depth is not between 1 and 32 (40 bits)."},
        {riff({chunk("fmt ", fmtBody(0x11, 1, 8000, 4), false)}),
         "Its samples are not uncompressed PCM (format tag 0x0011)."},
        {form({chunk("COMM", comm, true)}, "AIFC"), "It is an AIFF-C file (compression type 'ulaw')."},
        {form({}, "8SVX"), "It is an IFF file of another type than AIFF (form type '8SVX')."},
    };
    for (const auto& [file, message] : rows) EXPECT_EQ(KtAudioFileReader(file).errorMessage(), message);
}

TEST_F(Reader, WavDataAndFormat)
{
    const Bytes data = ramp(1000);
    const auto s = read(wav(2, 44100, 16, data));
    EXPECT_EQ(s.bytes(), data);
    EXPECT_EQ(s.channels(), 2);
    EXPECT_EQ(s.samplerate(), 44100.0);
    EXPECT_EQ(s.bitrate(), 16);
    EXPECT_FALSE(s.unsigned8Bit());

    EXPECT_EQ(read(wav(2, 44100, 16, data), 100).size(), 100u);
    EXPECT_EQ(read(wav(2, 44100, 16, data), 1000).size(), 1000u);
    EXPECT_EQ(read(wav(2, 44100, 16, data), 5000).size(), 1000u);

    const auto s24 = read(wav(1, 48000, 24, data));
    EXPECT_EQ(s24.byterate(), 3);
    EXPECT_EQ(s24.bytes(), data);

    for (std::uint16_t bits : {8, 4}) {
        const auto narrow = read(wav(1, 8000, bits, data));
        EXPECT_TRUE(narrow.unsigned8Bit()) << bits;
        EXPECT_EQ(narrow.bitrate(), 8) << bits;
    }
}

TEST_F(Reader, WavChunksBeforeAndPadBytes)
{
    const Bytes data = ramp(64);
    const Bytes list = chunk("LIST", Bytes{'I', 'N', 'F', 'O', 'I', 'S', 'F', 'T', 1, 0, 0, 0, 'x'}, false);
    const Bytes fact = chunk("fact", Bytes{0, 1, 0, 0}, false);
    const auto ordered =
        read(riff({list, chunk("fmt ", fmtBody(1, 1, 22050, 16), false), fact, chunk("data", data, false)}));
    EXPECT_EQ(ordered.bytes(), data);

    // An odd-sized chunk with its pad byte directly before "data".
    const Bytes odd = chunk("junk", Bytes{1, 2, 3}, false);
    ASSERT_EQ(odd.size(), 12u);
    const auto padded = read(riff({chunk("fmt ", fmtBody(1, 1, 22050, 16), false), odd, chunk("data", data, false)}));
    EXPECT_EQ(padded.bytes(), data);

    // Same for AIFF, including an odd-sized "COMM" neighbour.
    const auto aiffPadded =
        read(form({chunk("NAME", Bytes{'a', 'b', 'c'}, true), chunk("COMM", commBody(1, 16, extended(22050)), true),
                   chunk("ANNO", Bytes{'z'}, true), chunk("SSND", ssndBody(data), true)}));
    EXPECT_EQ(aiffPadded.size(), data.size());
    EXPECT_EQ(aiffPadded.samplerate(), 22050.0);
}

TEST_F(Reader, MissingChunksYieldNothing)
{
    EXPECT_TRUE(read(riff({chunk("fmt ", fmtBody(1, 1, 8000, 16), false)})).empty());
    EXPECT_TRUE(read(riff({chunk("data", ramp(8), false)})).empty());
    EXPECT_TRUE(read(form({chunk("SSND", ssndBody(ramp(8)), true)})).empty());
    EXPECT_TRUE(read(form({chunk("COMM", commBody(1, 8, extended(8000)), true)})).empty());
    // AIFC is a known container but not one that readSample takes.
    EXPECT_TRUE(read(form({chunk("COMM", commBody(1, 8, extended(8000)), true), chunk("SSND", ssndBody(ramp(8)), true)},
                          "AIFC"))
                    .empty());
}

TEST_F(Reader, AiffValuesAreSwappedToLittleEndian)
{
    const auto s16 = read(aiff(1, 44100, 16, Bytes{0x12, 0x34, 0xAB}));
    ASSERT_EQ(s16.size(), 2u); // the odd trailing byte is not a whole value
    EXPECT_EQ(s16.value(0, 0), 0x1234);
    EXPECT_FALSE(s16.unsigned8Bit());

    const auto s8 = read(aiff(1, 44100, 8, Bytes{0xFF, 0x01}));
    EXPECT_EQ(s8.value(0, 0), -1);
    EXPECT_EQ(s8.value(1, 0), 1);

    const auto s24 = read(aiff(2, 44100, 24, Bytes{0x80, 0, 0, 0x7F, 0xFF, 0xFF}));
    EXPECT_EQ(s24.value(0, 0), -8388608);
    EXPECT_EQ(s24.value(0, 1), 8388607);
}

TEST_F(Reader, AiffOffsetBytesAreDropped)
{
    const auto aligned = read(aiff(1, 44100, 16, Bytes{9, 9, 9, 9, 0x12, 0x34}, 4));
    ASSERT_EQ(aligned.size(), 2u);
    EXPECT_EQ(aligned.value(0, 0), 0x1234);
    // An offset that is not a whole number of values still leaves the
    // values themselves intact.
    const auto odd = read(aiff(1, 44100, 16, Bytes{9, 0x12, 0x34, 0x56, 0x78}, 1));
    ASSERT_EQ(odd.size(), 4u);
    EXPECT_EQ(odd.value(0, 0), 0x1234);
    EXPECT_EQ(odd.value(1, 0), 0x5678);
    // An offset beyond the data leaves nothing, without reading outside it.
    EXPECT_TRUE(read(aiff(1, 44100, 16, Bytes{1, 2, 3, 4}, 1000)).empty());
}

TEST_F(Reader, ExtendedSampleRates)
{
    struct Row {
        Bytes rate;
        double expected;
    };
    const Row rows[] = {
        {{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}, 44100.0},
        {{0x40, 0x0D, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}, 22050.0},
        {{0x40, 0x0E, 0xBB, 0x80, 0, 0, 0, 0, 0, 0}, 48000.0},
        {{0x40, 0x0E, 0x80, 0xE8, 0, 0, 0, 0, 0, 0}, 33000.0},
        {extended(192000), 192000.0},
    };
    for (const auto& row : rows) {
        KtAudioFileReader reader(
            write(form({chunk("COMM", commBody(1, 16, row.rate), true), chunk("SSND", ssndBody(ramp(4)), true)})));
        double rate = 0;
        std::uint16_t channels = 0;
        std::uint16_t bits = 0;
        ASSERT_TRUE(reader.readAiffCommon(rate, channels, bits));
        EXPECT_EQ(rate, row.expected);
        EXPECT_EQ(channels, 1);
        EXPECT_EQ(bits, 16);
    }
}

TEST_F(Reader, FormatsThatCannotBeConvertedYieldNothing)
{
    const Bytes data = ramp(32);
    EXPECT_TRUE(read(wav(0, 44100, 16, data)).empty());
    EXPECT_TRUE(read(wav(1, 44100, 0, data)).empty());
    EXPECT_TRUE(read(wav(1, 44100, 40, data)).empty());
    EXPECT_TRUE(read(wav(1, 0, 16, data)).empty());
    EXPECT_TRUE(read(aiff(0, 44100, 16, data)).empty());
    EXPECT_TRUE(read(aiff(1, 44100, 0, data)).empty());
    const Bytes zero(10, 0);
    const Bytes negative{0xC0, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0};
    const Bytes infinite{0x7F, 0xFF, 0x80, 0, 0, 0, 0, 0, 0, 0};
    const Bytes nan{0x7F, 0xFF, 0xC0, 0, 0, 0, 0, 0, 0, 0};
    for (const Bytes& rate : {zero, negative, infinite, nan})
        EXPECT_TRUE(
            read(form({chunk("COMM", commBody(1, 16, rate), true), chunk("SSND", ssndBody(data), true)})).empty());
    // A "fmt " chunk too short for its fields.
    EXPECT_TRUE(read(riff({chunk("fmt ", Bytes{1, 0, 1, 0}, false), chunk("data", data, false)})).empty());
}

TEST_F(Reader, StepsPutTheStreamBack)
{
    KtAudioFileReader reader(write(wav(1, 8000, 16, ramp(40))));
    reader.seek(5);
    std::uint16_t tag = 0;
    std::uint16_t channels = 0;
    std::uint16_t bits = 0;
    double rate = 0;
    ASSERT_TRUE(reader.readWavFormat(tag, rate, channels, bits));
    EXPECT_EQ(reader.tell(), 5u);
    audio::sample s;
    ASSERT_TRUE(reader.readWavData(s, 0));
    EXPECT_EQ(reader.tell(), 5u);
    EXPECT_EQ(reader.readSample(s, 0), 40u);
    EXPECT_EQ(reader.readSample(s, 0), 40u); // nothing carried over between reads
}

TEST_F(Reader, LyingSizesReadOnlyWhatIsThere)
{
    // A 4 GiB "data" chunk claimed in a tiny file.
    Bytes huge = riff({chunk("fmt ", fmtBody(1, 1, 8000, 16), false)});
    put(huge, "data");
    putLe(huge, 0xFFFFFFFF, 4);
    put(huge, ramp(20));
    EXPECT_EQ(read(huge).size(), 20u);
    EXPECT_EQ(read(huge, 0xFFFFFFF0).size(), 20u);

    Bytes hugeSsnd = form({chunk("COMM", commBody(1, 16, extended(8000)), true)});
    put(hugeSsnd, "SSND");
    putBe(hugeSsnd, 0xFFFFFFFF, 4);
    put(hugeSsnd, ssndBody(ramp(20)));
    EXPECT_EQ(read(hugeSsnd).size(), 20u);

    // An SSND size below its own 8-byte header must not wrap around.
    Bytes tinySsnd = form({chunk("COMM", commBody(1, 16, extended(8000)), true)});
    put(tinySsnd, "SSND");
    putBe(tinySsnd, 4, 4);
    put(tinySsnd, ssndBody(ramp(20)));
    EXPECT_TRUE(read(tinySsnd).empty());

    // A chunk whose size (plus pad) runs past the file and past 32 bits.
    Bytes overflow = riff({chunk("fmt ", fmtBody(1, 1, 8000, 16), false)});
    put(overflow, "junk");
    putLe(overflow, 0xFFFFFFFF, 4);
    put(overflow, chunk("data", ramp(8), false));
    EXPECT_TRUE(read(overflow).empty());
}

TEST_F(Reader, EveryTruncationIsHandled)
{
    for (const Bytes& whole : {wav(2, 44100, 16, ramp(64)), aiff(2, 44100, 16, ramp(64), 2)}) {
        for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
            const Bytes part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
            const auto s = read(part);
            EXPECT_LE(s.size(), cut);
        }
    }
}

} // namespace
