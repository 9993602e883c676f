// The shaping options of an import: trimming, level, fades, reverse and the
// clean conversion, whose figures are measured on tones made here.
#include "model/content.h"
#include "model/kitmatch.h"
#include "model/slotimport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <span>

#include "audio_test_util.h"
#include "tone_measure.h"

namespace {

using namespace audiotest;
using Quality = ImportOptions::Quality;

constexpr std::size_t kRide = 0x8000;
constexpr double kRate = 33000.0;

// One second of a 16-bit mono 44.1 kHz tone at `level` of full scale.
Bytes tone(double hz, double level)
{
    Bytes data;
    for (int i = 0; i < 44100; ++i)
        putLe(data, static_cast<std::uint16_t>(static_cast<std::int16_t>(
                        std::lround(32767.0 * level * std::sin(2.0 * std::numbers::pi * hz * i / 44100.0)))),
              2);
    return wav(1, 44100, 16, data);
}

Bytes imported(const Bytes& file, const ImportOptions& options, std::size_t size = kRide)
{
    CSample slot(Bytes(size, 0x80));
    EXPECT_EQ(slot.import(std::span(file), options).kind, ImportResult::Kind::Converted);
    return slot.getData();
}

TEST(CleanConversion, RemovesWhatWouldFoldBelowTheMachinesNyquist)
{
    // 20 kHz lies above 16.5 kHz: linear interpolation folds it to 13 kHz
    // only a few dB down; the band-limited filter must take it out.
    for (const Quality quality : {Quality::Classic, Quality::Clean}) {
        const double high = rms(imported(tone(20000, 1.0), {.quality = quality}));
        const double low = rms(imported(tone(1000, 1.0), {.quality = quality}));
        const double below = 20.0 * std::log10(low / std::max(high, 1e-9));
        if (quality == Quality::Clean)
            EXPECT_GE(below, 45.0);
        else
            EXPECT_LT(below, 20.0);
    }
}

TEST(CleanConversion, ReachesTheEightBitLimitAtFullScale)
{
    // Rounding a full-scale tone to 8 bits leaves 6.02 x 8 + 1.76 = 49.9 dB;
    // truncation, the classic way, costs about 3 dB of it. 301 Hz, not 300:
    // at 300 Hz the output repeats every 110 samples, so its rounding error
    // is one fixed pattern, not noise, and lands anywhere from 49.4 to 50.4
    // dB with the tone's phase.
    const double clean = sinad(imported(tone(301, 1.0), {.quality = Quality::Clean}), 301.0 / kRate);
    EXPECT_NEAR(clean, 49.9, 0.5);
    EXPECT_LT(sinad(imported(tone(300, 1.0), {}), 300.0 / kRate), clean - 1.0);
}

TEST(CleanConversion, SameBytesEverywhere)
{
    // The taps, gains and dither use no C runtime function whose last bit
    // may differ, so this hash holds for every platform's build.
    const Bytes bytes = imported(tone(1234.5, 0.3), {.normalizePeakDb = -1.0, .quality = Quality::Clean, .dither = true});
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const std::uint8_t b : bytes) hash = (hash ^ b) * 0x100000001B3ull;
    EXPECT_EQ(hash, 3098315914140049856ull);
}

TEST(Shaping, NormalizeReachesThePeakAskedFor)
{
    for (const Quality quality : {Quality::Classic, Quality::Clean})
        for (const auto& [peakDb, steps] : {std::pair{0.0, 127}, std::pair{-6.0, 64}}) {
            const Bytes bytes =
                imported(tone(440, std::pow(10.0, -12.0 / 20.0)), {.normalizePeakDb = peakDb, .quality = quality});
            int peak = 0;
            for (const std::uint8_t b : bytes) peak = std::max(peak, std::abs(b - 128));
            EXPECT_NEAR(peak, steps, 1) << peakDb;
        }
}

// A 33 kHz 8-bit source is taken sample for sample, so these bytes follow by
// hand from the options.
TEST(Shaping, TrimReverseAndFadesGiveTheBytesComputedByHand)
{
    Bytes data;
    for (int i = 0; i < 20; ++i) data.push_back(static_cast<std::uint8_t>(0x80 + 4 * (i + 1)));
    // Frames 2 to 11 backwards, steps 48 down to 12; a fade-in over four
    // gives 0, 11, 20, 27; the end's own seven-byte fade follows.
    const Bytes shaped = imported(wav(1, 33000, 8, data),
                                  {.startSeconds = 2.5 / kRate, .endSeconds = 11.5 / kRate, .reverse = true,
                                   .fadeInSeconds = 4 / kRate},
                                  0x2000);
    const Bytes expected{128, 139, 148, 141, 136, 131, 129, 128, 128, 128};
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), shaped.begin()));
    EXPECT_TRUE(std::all_of(shaped.begin() + 10, shaped.end(), [](std::uint8_t b) { return b == 0x80; }));

    // A fade-out over 20 of 40 samples of step 64: sample p keeps (39 - p) / 20.
    const Bytes out = imported(wav(1, 33000, 8, Bytes(40, 0xC0)), {.fadeOutSeconds = 20 / kRate}, 0x2000);
    EXPECT_EQ(out[19], 0xC0);
    EXPECT_EQ(out[20], 128 + 60);
    EXPECT_EQ(out[25], 128 + 44);
    EXPECT_EQ(out[30], 128 + 28);
}

TEST(Shaping, DcRemovalCentresAnOffsetTone)
{
    Bytes data;
    for (int i = 0; i < 8000; ++i)
        data.push_back(static_cast<std::uint8_t>(0x80 + 40 + std::lround(30 * std::sin(i * 0.05))));
    const Bytes bytes = imported(wav(1, 33000, 8, data), {.removeDc = true}, 0x2000);
    double mean = 0;
    for (std::size_t i = 100; i < 7900; ++i) mean += bytes[i] - 128.0;
    EXPECT_LT(std::fabs(mean / 7800), 1.0);
}

TEST(Shaping, ContradictoryOptionsLeaveTheSlotAlone)
{
    CSample slot(Bytes(0x2000, 0x5A));
    const Bytes file = tone(440, 0.5);
    for (const ImportOptions& bad :
         {ImportOptions{.startSeconds = 0.5, .endSeconds = 0.2}, ImportOptions{.normalizePeakDb = 3.0},
          ImportOptions{.fadeInSeconds = -1}, ImportOptions{.dither = true}}) {
        const ImportResult result = slot.import(std::span(file), bad);
        EXPECT_EQ(result.kind, ImportResult::Kind::BadOptions);
        EXPECT_FALSE(result.reason.empty());
    }
    EXPECT_EQ(slot.getData(), Bytes(0x2000, 0x5A));
}

TEST(Shaping, TheStatusLineSaysWhatWasDone)
{
    CSample slot(Bytes(0x2000, 0x80));
    const Bytes file = tone(440, 1.0);
    const ImportResult result =
        slot.import(std::span(file), {.startSeconds = 0.1, .endSeconds = 0.2, .gainDb = 6.0,
                                                .reverse = true, .quality = Quality::Clean});
    EXPECT_EQ(describeImport("hat.wav", result),
              "hat.wav: 0.10 s of 1.00 s used, from 0.10 s to 0.20 s (the slot holds 0.25 s; clean conversion, "
              "gain +6.0 dB, reversed, " +
                  std::to_string(result.clipped) + " samples clipped)");
    EXPECT_GT(result.clipped, 0u);
}

} // namespace

TEST(Kit, MatchesByNameThenByOrder)
{
    // Slots: open, closed, clap, rim, crash, ride.
    const std::vector<std::string> files{"01 kick.wav", "Ride_Bell.wav", "OH-long.aif", "hh.wav",
                                         "snare.wav",   "clapping.wav",  "ohio.wav"};
    const auto match = matchKit(files);
    const std::array<std::optional<std::size_t>, 6> expected{2, 3, 5, 0, 4, 1};
    EXPECT_EQ(match, expected);
    EXPECT_EQ(matchKit(std::vector<std::string>{"open hh.wav"})[0], 0u);
    EXPECT_FALSE(matchKit(std::vector<std::string>{"a.wav"})[1]);
}
