// The shaped import of the largest slot from 10 s of 48 kHz 16-bit stereo,
// in memory: what a preview recomputes each time an option or handle moves
// (target: 30 ms at most), and the clean conversion against the classic one
// (target: at most 3 times its cost).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <span>
#include <vector>

#include "model/content.h"
#include "model/slotimport.h"

namespace {

void putLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

const std::vector<std::uint8_t>& source()
{
    static const std::vector<std::uint8_t> file = [] {
        constexpr std::uint32_t rate = 48000;
        constexpr std::uint32_t frames = rate * 10;
        std::vector<std::uint8_t> out;
        for (char c : std::string("RIFF")) out.push_back(static_cast<std::uint8_t>(c));
        putLe(out, 36 + frames * 4, 4);
        for (char c : std::string("WAVEfmt ")) out.push_back(static_cast<std::uint8_t>(c));
        for (const auto& [value, bytes] : {std::pair{16u, 4}, {1u, 2}, {2u, 2}, {rate, 4}, {rate * 4, 4}, {4u, 2}, {16u, 2}})
            putLe(out, value, bytes);
        for (char c : std::string("data")) out.push_back(static_cast<std::uint8_t>(c));
        putLe(out, frames * 4, 4);
        for (std::uint32_t i = 0; i < frames; ++i) {
            const double t = i * 2 * std::numbers::pi / rate;
            putLe(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(12000 * std::sin(t * 440))), 2);
            putLe(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(12000 * std::sin(t * 7000))), 2);
        }
        return out;
    }();
    return file;
}

void importWith(benchmark::State& state, const ImportOptions& options)
{
    CSample slot(std::vector<std::uint8_t>(0x8000, 0x80));
    for (auto _ : state) {
        const ImportResult result = slot.import(std::span(source()), options);
        benchmark::DoNotOptimize(result.kind);
        benchmark::DoNotOptimize(slot.getData().data());
    }
}

void BM_ClassicLargestSlot(benchmark::State& state)
{
    importWith(state, {.startSeconds = 4.0});
}
BENCHMARK(BM_ClassicLargestSlot)->Unit(benchmark::kMillisecond);

void BM_CleanLargestSlot(benchmark::State& state)
{
    importWith(state, {.startSeconds = 4.0, .quality = ImportOptions::Quality::Clean});
}
BENCHMARK(BM_CleanLargestSlot)->Unit(benchmark::kMillisecond);

// Every option at once, the reverse reading from the end of the chosen part.
void BM_PreviewEveryOption(benchmark::State& state)
{
    importWith(state, {.startSeconds = 1.0, .endSeconds = 9.0, .normalizePeakDb = -1.0, .reverse = true,
                       .fadeInSeconds = 0.01, .fadeOutSeconds = 0.2, .removeDc = true,
                       .quality = ImportOptions::Quality::Clean, .dither = true});
}
BENCHMARK(BM_PreviewEveryOption)->Unit(benchmark::kMillisecond);

} // namespace
