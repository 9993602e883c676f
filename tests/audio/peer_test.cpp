// Compares the reader and the converter with sox's own decoding and
// conversion of files that sox writes.
#include "audio/converter.h"
#include "audio/fallbackdecoder.h"
#include "audio/ktaudiofilereader.h"
#include "model/content.h"
#include "model/slotimport.h"

#include <gtest/gtest.h>

#ifdef VARNO_HAVE_SNDFILE
#include <sndfile.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "audio_test_util.h"
#include "tone_measure.h"

namespace {

using namespace audiotest;

// Which decoder takes a file.
enum class Decoder { Ours, Fallback };
// How the test turns sox's file into the one it checks.
enum class Make {
    Sox,  // as sox writes it
    Sowt, // sox's AIFF-C "NONE" turned little-endian ("sowt"), which sox reads but does not write
    Mp3,  // sox's WAV encoded by libsndfile's own MP3 writer, as Debian's sox writes no MP3
};

struct Peer {
    const char* name;
    const char* format; // sox output options
    const char* extension;
    const char* generators; // one per channel
    Decoder decoder = Decoder::Ours;
    // sox writes AIFF only in whole bytes; for a narrower depth it quantises
    // its values to these bits (left-justified, low bits zero, as AIFF keeps
    // them) and the test writes the depth into "COMM". 0 keeps sox's file.
    int aiffBits = 0;
    Make make = Make::Sox;
    bool lossy = false;
};

// Keeps test names and failure output readable.
void PrintTo(const Peer& peer, std::ostream* out)
{
    *out << peer.name;
}

const Peer kCorpus[] = {
    {"wav8_mono_8000", "-r 8000 -c 1 -b 8 -e unsigned -t wav", "wav", "sine 440"},
    {"wav16_stereo_44100", "-r 44100 -c 2 -b 16 -t wav", "wav", "sine 440 sine 1250"},
    {"wav16_6ch_48000", "-r 48000 -c 6 -b 16 -t wavpcm", "wav",
     "sine 300 sine 500 sine 700 sine 900 sine 1100 sine 1300"},
    {"wav16_6ch_extensible", "-r 48000 -c 6 -b 16 -t wav", "wav",
     "sine 300 sine 500 sine 700 sine 900 sine 1100 sine 1300"},
    {"wav24_mono_96000", "-r 96000 -c 1 -b 24 -t wavpcm", "wav", "sine 880"},
    {"wav24_stereo_extensible", "-r 48000 -c 2 -b 24 -t wav", "wav", "sine 440 sine 660"},
    {"wav32_stereo_192000", "-r 192000 -c 2 -b 32 -e signed -t wavpcm", "wav", "sine 440 sine 550"},
    {"wav16_mono_22050", "-r 22050 -c 1 -b 16 -t wav", "wav", "square 220"},
    {"aiff8_mono_22050", "-r 22050 -c 1 -b 8 -t aiff", "aiff", "sine 440"},
    {"aiff16_stereo_44100", "-r 44100 -c 2 -b 16 -t aiff", "aiff", "sine 440 sine 990"},
    {"aiff24_mono_48000", "-r 48000 -c 1 -b 24 -t aiff", "aiff", "sine 700"},
    {"aiff12_stereo_44100", "-r 44100 -c 2 -b 16 -t aiff", "aiff", "sine 440 sine 990", Decoder::Ours, 12},
    {"aiff20_mono_48000", "-r 48000 -c 1 -b 24 -t aiff", "aiff", "sine 700", Decoder::Ours, 20},
    // What our reader refuses or does not know, decoded by the fallback.
    {"aifc16_mono", "-r 44100 -c 1 -b 16 -t aifc", "aifc", "sine 440", Decoder::Fallback},
    {"aifc_sowt_stereo", "-r 44100 -c 2 -b 16 -t aifc", "aifc", "sine 440 sine 550", Decoder::Fallback, 0,
     Make::Sowt},
    {"aifc_fl32", "-r 48000 -c 1 -b 32 -e floating-point -t aifc", "aifc", "sine 440", Decoder::Fallback},
    {"wav_float32", "-r 44100 -c 1 -b 32 -e floating-point -t wav", "wav", "sine 440", Decoder::Fallback},
    {"wav_float64_stereo", "-r 96000 -c 2 -b 64 -e floating-point -t wav", "wav", "sine 440 sine 990",
     Decoder::Fallback},
    {"wav_alaw", "-r 8000 -c 1 -e a-law -t wav", "wav", "sine 300", Decoder::Fallback},
    {"flac16_stereo_48000", "-r 48000 -c 2 -b 16 -t flac", "flac", "sine 440 sine 660", Decoder::Fallback},
    {"flac24_mono_96000", "-r 96000 -c 1 -b 24 -t flac", "flac", "sine 880", Decoder::Fallback},
    {"ogg_vorbis_stereo", "-r 44100 -c 2 -t ogg", "ogg", "sine 440 sine 660", Decoder::Fallback, 0, Make::Sox, true},
    {"mp3_stereo_44100", "-r 44100 -c 2 -b 16 -t wav", "wav", "sine 440 sine 660", Decoder::Fallback, 0, Make::Mp3,
     true},
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

// sox's "NONE" AIFF-C made "sowt": the compression type changed and every
// 16-bit value's bytes swapped.
void makeSowt(const std::string& path)
{
    Bytes file = readFile(path);
    const auto none = std::search(file.begin(), file.end(), std::begin("NONE"), std::end("NONE") - 1);
    const auto ssnd = std::search(file.begin(), file.end(), std::begin("SSND"), std::end("SSND") - 1);
    ASSERT_NE(none, file.end());
    ASSERT_NE(ssnd, file.end());
    std::copy_n("sowt", 4, none);
    const auto at = static_cast<std::size_t>(ssnd - file.begin());
    const std::size_t size = std::size_t{file[at + 4]} << 24 | std::size_t{file[at + 5]} << 16 |
                             std::size_t{file[at + 6]} << 8 | file[at + 7];
    const std::size_t offset = std::size_t{file[at + 8]} << 24 | std::size_t{file[at + 9]} << 16 |
                               std::size_t{file[at + 10]} << 8 | file[at + 11];
    for (std::size_t k = at + 16 + offset; k + 1 < std::min(file.size(), at + 8 + size); k += 2)
        std::swap(file[k], file[k + 1]);
    writeFile(path, file);
}

#ifdef VARNO_HAVE_SNDFILE
// The WAV at `path` encoded as MP3 by libsndfile's own writer.
std::string makeMp3(const std::string& path)
{
    const std::string mp3 = path.substr(0, path.size() - 3) + "mp3";
    SF_INFO info{};
    SNDFILE* in = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(in, nullptr);
    SF_INFO outInfo = info;
    outInfo.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    SNDFILE* out = sf_open(mp3.c_str(), SFM_WRITE, &outInfo);
    EXPECT_NE(out, nullptr) << sf_strerror(nullptr);
    // Through floats: libsndfile's MP3 writer mangles what it is given as shorts.
    std::vector<float> block(4096);
    for (sf_count_t got = 0; in && out && (got = sf_readf_float(in, block.data(), 2048)) > 0;)
        sf_writef_float(out, block.data(), got);
    sf_close(in);
    sf_close(out);
    return mp3;
}
#endif

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

// The import into a slot, which reads by frames, against sox's conversion of
// `reference`: the length sox converts it to (unless lossy), and bytes that
// follow sox's closely.
void compareImportWithSox(const std::string& path, const std::string& reference, bool fallback, bool lossy)
{
    CSample slot(Bytes(0x8000, 0x80));
    const ImportResult result = slot.import(path, {});
    ASSERT_EQ(result.kind, ImportResult::Kind::Converted);
    ASSERT_EQ(result.fallback, fallback);
    const auto n = static_cast<std::size_t>(std::lround(result.usedSeconds * 33000));
    const Bytes soxConverted = sox("-V1", reference, "-t raw -r 33000 -c 1 -b 8 -e unsigned -D -");
    if (!lossy) {
        EXPECT_NEAR(static_cast<double>(n), static_cast<double>(soxConverted.size()), 1.0);
    }
    ASSERT_GT(n, 100u);
    const std::vector<std::uint8_t> ours(slot.getData().begin() + 1, slot.getData().begin() + static_cast<std::ptrdiff_t>(n) - 7);
    EXPECT_GT(correlation(ours, Bytes(soxConverted.begin() + 1, soxConverted.end())), 0.95);
}

// The fallback's decoding and our conversion of it against sox: a lossless
// file decodes to sox's values (within the last of 32 bits, sox rounds where
// we truncate) and converts to the length sox converts it to; the slot
// follows sox's conversion of `reference` closely.
void compareFallbackWithSox(const std::string& path, const std::string& reference, bool lossy)
{
    ASSERT_EQ(checkImport(path).route, ImportRoute::Fallback);
    if (!lossy) {
        Ktifstream in(path);
        audio::FallbackDecoder decoder(in);
        audio::sample s;
        ASSERT_TRUE(decoder.read(s, 0, decoder.frames()));
        const auto expected = soxDecode(path);
        ASSERT_EQ(std::size_t{s.frames()} * s.channels(), expected.size());
        for (std::uint32_t i = 0; i < s.frames(); ++i)
            for (std::uint16_t j = 0; j < s.channels(); ++j)
                ASSERT_NEAR(s.value(i, j), expected[std::size_t{i} * s.channels() + j], 1)
                    << "frame " << i << " channel " << j;
    }

    compareImportWithSox(path, reference, true, lossy);
}

class PeerCorpus : public ::testing::TestWithParam<Peer> {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(haveSox()) << "sox is needed (tools/install-deps.sh test)"; }
    TempDir m_dir;
};

TEST_P(PeerCorpus, AgreesWithSox)
{
    const Peer& peer = GetParam();
    std::string path = makeFile(m_dir, peer);
    const std::string reference = path;
    if (peer.make == Make::Sowt) makeSowt(path);
    if (peer.decoder == Decoder::Ours) {
        compareWithSox(path);
        compareImportWithSox(path, path, false, false);
        return;
    }
    if (!audio::FallbackDecoder::built()) GTEST_SKIP() << "built without libsndfile";
#ifdef VARNO_HAVE_SNDFILE
    if (peer.make == Make::Mp3) path = makeMp3(path);
#endif
    compareFallbackWithSox(path, peer.make == Make::Sowt ? path : reference, peer.lossy);
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

// The clean conversion of a quiet tone against sox's best resampler with
// rounding: SINAD (fitted as tone_measure.h explains) within 0.5 dB.
TEST(PeerClean, QuietToneAsCleanAsSoxRateV)
{
    ASSERT_TRUE(haveSox());
    TempDir dir;
    const std::string path = dir.file("quiet.wav");
    sox("-V1 -D -n -r 44100 -c 1 -b 16 -t wav", path, "synth 1 sine 301 vol 0.0501");
    CSample slot(Bytes(0x8000, 0x80));
    ASSERT_EQ(slot.import(path, {.quality = ImportOptions::Quality::Clean}).kind, ImportResult::Kind::Converted);
    Bytes theirs = sox("-V1", path, "-t raw -r 33000 -c 1 -b 8 -e unsigned -D - rate -v");
    theirs.resize(0x8000, 0x80);
    const double ours = sinad(slot.getData(), 301.0 / 33000);
    EXPECT_NEAR(ours, sinad(theirs, 301.0 / 33000), 0.5);
    EXPECT_GT(ours, 20.0);
}

} // namespace
