// Importing the largest slot from the heaviest source the import accepts:
// 192 kHz 32-bit stereo, of which what fills the slot is read. And the
// memory an import needs, whatever the file's size: a 1 GB WAV.
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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
    // 0x8000 samples of 33 kHz from 192 kHz frames of 8 bytes.
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 0x8000 * 192000 / 33000 * 8);
}
BENCHMARK(BM_ImportLargestSlot)->Unit(benchmark::kMillisecond);

// A 1 GB WAV of 192 kHz 32-bit stereo, a tone at its start and silence
// after (left sparse on disk): the import must read only what fills the
// slot. Reports the process's peak resident memory, which must stay under
// 20 MB in a release build.
std::string writeGigabyteSource()
{
    const std::string small = sourcePath();
    std::vector<std::uint8_t> file;
    {
        std::ifstream in(small, std::ios::binary);
        file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    constexpr std::uint32_t dataSize = 1'000'000'000;
    for (int i = 0; i < 4; ++i) {
        file[40 + i] = static_cast<std::uint8_t>(dataSize >> (8 * i));
        file[4 + i] = static_cast<std::uint8_t>((dataSize + 36) >> (8 * i));
    }
    const auto path = std::filesystem::temp_directory_path() / "varno-bench-1gb.wav";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    std::filesystem::resize_file(path, 44 + std::uintmax_t{dataSize});
    return path.string();
}

void BM_ImportFromGigabyteWav(benchmark::State& state)
{
    static const std::string path = writeGigabyteSource();
    CSample slot(std::vector<std::uint8_t>(0x8000, 0x80));
    for (auto _ : state) {
        const bool ok = slot.load(path);
        benchmark::DoNotOptimize(ok);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_ImportFromGigabyteWav)->Unit(benchmark::kMillisecond);

void BM_ConvertOnly(benchmark::State& state)
{
    KtAudioFileReader reader(sourcePath());
    audio::sample source;
    reader.readFrames(source, 0, static_cast<std::uint32_t>(std::uint64_t{0x8000} * 192000 / 33000 + 8));
    const audio::converter slotFormat(33000.0, 1, 8, true);
    for (auto _ : state) {
        audio::sample result;
        slotFormat.convert(result, source);
        benchmark::DoNotOptimize(result.data());
    }
}
BENCHMARK(BM_ConvertOnly)->Unit(benchmark::kMillisecond);

} // namespace
