// Compares the reader and the converter with sox's own decoding and
// conversion of files that sox writes.
#include "audio/converter.h"
#include "audio/ktaudiofilereader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "audio_test_util.h"

namespace {

using namespace audiotest;

struct Peer {
    const char* name;
    const char* format; // sox output options
    const char* extension;
    const char* generators; // one per channel
    bool pcm;
    // sox writes AIFF only in whole bytes; for a narrower depth it quantises
    // its values to these bits (left-justified, low bits zero, as AIFF keeps
    // them) and the test writes the depth into "COMM". 0 keeps sox's file.
    int aiffBits = 0;
};

// Keeps test names and failure output readable.
void PrintTo(const Peer& peer, std::ostream* out)
{
    *out << peer.name;
}

const Peer kCorpus[] = {
    {"wav8_mono_8000", "-r 8000 -c 1 -b 8 -e unsigned -t wav", "wav", "sine 440", true},
    {"wav16_stereo_44100", "-r 44100 -c 2 -b 16 -t wav", "wav", "sine 440 sine 1250", true},
    {"wav16_6ch_48000", "-r 48000 -c 6 -b 16 -t wavpcm", "wav",
     "sine 300 sine 500 sine 700 sine 900 sine 1100 sine 1300", true},
    {"wav16_6ch_extensible", "-r 48000 -c 6 -b 16 -t wav", "wav",
     "sine 300 sine 500 sine 700 sine 900 sine 1100 sine 1300", true},
    {"wav24_mono_96000", "-r 96000 -c 1 -b 24 -t wavpcm", "wav", "sine 880", true},
    {"wav24_stereo_extensible", "-r 48000 -c 2 -b 24 -t wav", "wav", "sine 440 sine 660", true},
    {"wav32_stereo_192000", "-r 192000 -c 2 -b 32 -e signed -t wavpcm", "wav", "sine 440 sine 550", true},
    {"wav16_mono_22050", "-r 22050 -c 1 -b 16 -t wav", "wav", "square 220", true},
    {"aiff8_mono_22050", "-r 22050 -c 1 -b 8 -t aiff", "aiff", "sine 440", true},
    {"aiff16_stereo_44100", "-r 44100 -c 2 -b 16 -t aiff", "aiff", "sine 440 sine 990", true},
    {"aiff24_mono_48000", "-r 48000 -c 1 -b 24 -t aiff", "aiff", "sine 700", true},
    {"aiff12_stereo_44100", "-r 44100 -c 2 -b 16 -t aiff", "aiff", "sine 440 sine 990", true, 12},
    {"aiff20_mono_48000", "-r 48000 -c 1 -b 24 -t aiff", "aiff", "sine 700", true, 20},
    {"aifc16_mono", "-r 44100 -c 1 -b 16 -t aifc", "aifc", "sine 440", false},
    {"wav_float32", "-r 44100 -c 1 -b 32 -e floating-point -t wav", "wav", "sine 440", false},
};

std::string makeFile(const TempDir& dir, const Peer& peer)
{
    const std::string path = dir.file(std::string(peer.name) + "." + peer.extension);
    std::string after = std::string("synth 0.2 ") + peer.generators + " vol 0.7";
    if (peer.aiffBits != 0) after += " dither -p " + std::to_string(peer.aiffBits);
    sox(std::string("-V1 -n ") + peer.format, path, after);
    EXPECT_TRUE(std::filesystem::exists(path)) << peer.name;
    if (peer.aiffBits != 0) {
        Bytes file = readFile(path);
        const auto comm = std::search(file.begin(), file.end(), std::begin("COMM"), std::end("COMM") - 1);
        EXPECT_NE(comm, file.end());
        if (comm != file.end()) {
            // The depth sits 14 bytes into the chunk: after size, channels and frame count.
            comm[14] = 0;
            comm[15] = static_cast<std::uint8_t>(peer.aiffBits);
        }
        writeFile(path, file);
    }
    return path;
}

std::vector<std::int32_t> soxDecode(const std::string& path)
{
    const Bytes raw = sox("-V1", path, "-t raw -e signed -b 32 -L -D -");
    std::vector<std::int32_t> values(raw.size() / 4);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] =
            static_cast<std::int32_t>(std::uint32_t{raw[4 * i]} | std::uint32_t{raw[4 * i + 1]} << 8 |
                                      std::uint32_t{raw[4 * i + 2]} << 16 | std::uint32_t{raw[4 * i + 3]} << 24);
    return values;
}

double correlation(const std::vector<std::uint8_t>& a, const Bytes& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    double ma = 0;
    double mb = 0;
    for (std::size_t i = 0; i < n; ++i) {
        ma += a[i];
        mb += b[i];
    }
    ma /= static_cast<double>(n);
    mb /= static_cast<double>(n);
    double sab = 0;
    double saa = 0;
    double sbb = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sab += (a[i] - ma) * (b[i] - mb);
        saa += (a[i] - ma) * (a[i] - ma);
        sbb += (b[i] - mb) * (b[i] - mb);
    }
    return sab / std::sqrt(saa * sbb);
}

void compareWithSox(const std::string& path)
{
    KtAudioFileReader reader(path);
    ASSERT_TRUE(reader.isKnownFormat());
    ASSERT_TRUE(reader.isPcm());
    audio::sample s;
    ASSERT_GT(reader.readSample(s, 0), 0u);

    const auto expected = soxDecode(path);
    ASSERT_EQ(std::size_t{s.frames()} * s.channels(), expected.size());
    const std::int64_t up = std::int64_t{1} << (32 - 8 * s.byterate());
    for (std::uint32_t i = 0; i < s.frames(); ++i)
        for (std::uint16_t j = 0; j < s.channels(); ++j)
            ASSERT_EQ(static_cast<std::int32_t>(s.value(i, j) * up), expected[std::size_t{i} * s.channels() + j])
                << "frame " << i << " channel " << j;

    audio::sample converted;
    audio::converter(33000.0, 1, 8, true).convert(converted, s);
    const Bytes soxConverted = sox("-V1", path, "-t raw -r 33000 -c 1 -b 8 -e unsigned -D -");
    EXPECT_NEAR(static_cast<double>(converted.size()), static_cast<double>(soxConverted.size()), 1.0);
    EXPECT_GT(correlation(converted.bytes(), soxConverted), 0.95);
}

class PeerCorpus : public ::testing::TestWithParam<Peer> {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(haveSox()) << "sox is needed (tools/install-deps.sh test)"; }
    TempDir m_dir;
};

TEST_P(PeerCorpus, AgreesWithSox)
{
    const Peer& peer = GetParam();
    const std::string path = makeFile(m_dir, peer);
    if (!peer.pcm) {
        KtAudioFileReader reader(path);
        EXPECT_TRUE(reader.isKnownFormat());
        EXPECT_FALSE(reader.isPcm());
        return;
    }
    compareWithSox(path);
}

INSTANTIATE_TEST_SUITE_P(Sox, PeerCorpus, ::testing::ValuesIn(kCorpus),
                         [](const auto& row) { return std::string(row.param.name); });

// A sox file rearranged with a LIST chunk before "fmt " and an odd-sized
// chunk, with its pad byte, directly before "data".
TEST(PeerRearranged, ChunksAroundTheData)
{
    ASSERT_TRUE(haveSox());
    TempDir dir;
    const std::string plain = dir.file("plain.wav");
    sox("-V1 -n -r 11025 -c 1 -b 16 -t wavpcm", plain, "synth 0.2 sine 500 vol 0.7");
    const Bytes original = readFile(plain);
    ASSERT_GT(original.size(), 44u);

    Bytes fmt;
    Bytes data;
    for (std::size_t at = 12; at + 8 <= original.size();) {
        const std::string id(original.begin() + static_cast<std::ptrdiff_t>(at),
                             original.begin() + static_cast<std::ptrdiff_t>(at) + 4);
        std::uint32_t size = 0;
        std::memcpy(&size, original.data() + at + 4, 4);
        const Bytes body(original.begin() + static_cast<std::ptrdiff_t>(at) + 8,
                         original.begin() +
                             static_cast<std::ptrdiff_t>(std::min<std::size_t>(at + 8 + size, original.size())));
        if (id == "fmt ") fmt = body;
        if (id == "data") data = body;
        at += 8 + size + (size & 1);
    }
    ASSERT_FALSE(fmt.empty());
    ASSERT_FALSE(data.empty());
    const Bytes list{'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 3, 0, 0, 0, 'a', 'b', 'c'};
    const std::string rearranged = dir.file("rearranged.wav");
    writeFile(rearranged, riff({chunk("LIST", list, false), chunk("fmt ", fmt, false),
                                chunk("junk", Bytes{1, 2, 3}, false), chunk("data", data, false)}));
    compareWithSox(rearranged);
}

} // namespace
