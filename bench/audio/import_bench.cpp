// Importing the largest slot from the heaviest source the import accepts:
// 192 kHz 32-bit stereo, of which 24 x 0x8000 bytes are read.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

#include "audio/converter.h"
#include "audio/ktaudiofilereader.h"
#include "model/content.h"

namespace {

void putLe(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// One second of a 440 Hz tone; more than the import reads.
std::string writeSource()
{
    constexpr std::uint32_t rate = 192000;
    constexpr std::uint32_t frames = rate;
    std::vector<std::uint8_t> file;
    const std::uint32_t dataSize = frames * 2 * 4;
    for (char c : std::string("RIFF")) file.push_back(static_cast<std::uint8_t>(c));
    putLe(file, 36 + dataSize, 4);
    for (char c : std::string("WAVEfmt ")) file.push_back(static_cast<std::uint8_t>(c));
    putLe(file, 16, 4);
    putLe(file, 1, 2);
    putLe(file, 2, 2);
    putLe(file, rate, 4);
    putLe(file, rate * 8, 4);
    putLe(file, 8, 2);
    putLe(file, 32, 2);
    for (char c : std::string("data")) file.push_back(static_cast<std::uint8_t>(c));
    putLe(file, dataSize, 4);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int32_t>(std::sin(i * 2 * std::numbers::pi * 440 / rate) * 1.5e9);
        putLe(file, static_cast<std::uint32_t>(v), 4);
        putLe(file, static_cast<std::uint32_t>(-v), 4);
    }
    const auto path = std::filesystem::temp_directory_path() / "varno-bench-192k-32bit-stereo.wav";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return path.string();
}

const std::string& sourcePath()
{
    static const std::string path = writeSource();
    return path;
}

void BM_ImportLargestSlot(benchmark::State& state)
{
    CSample slot(std::vector<std::uint8_t>(0x8000, 0x80));
    for (auto _ : state) {
        const bool ok = slot.load(sourcePath());
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(slot.getData().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 24 * 0x8000);
}
BENCHMARK(BM_ImportLargestSlot)->Unit(benchmark::kMillisecond);

void BM_ConvertOnly(benchmark::State& state)
{
    KtAudioFileReader reader(sourcePath());
    audio::sample source;
    reader.readSample(source, 24 * 0x8000);
    const audio::converter slotFormat(33000.0, 1, 8, true);
    for (auto _ : state) {
        audio::sample result;
        slotFormat.convert(result, source);
        benchmark::DoNotOptimize(result.data());
    }
}
BENCHMARK(BM_ConvertOnly)->Unit(benchmark::kMillisecond);

} // namespace
