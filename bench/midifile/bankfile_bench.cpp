// Saving and opening a file of all 32 banks (about 8.3 MB).
#include "midifile/wrapperktmidifile.h"
#include "model/firmware.h"
#include "model/sound.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <vector>

namespace {

std::vector<std::unique_ptr<IBank>> table()
{
    std::vector<std::unique_ptr<IBank>> banks;
    for (std::uint16_t i = 0; i < kSoundBankCount; ++i) banks.push_back(std::make_unique<CSound>(i));
    banks.push_back(std::make_unique<CFirmware>());
    return banks;
}

std::vector<IBank*> pointers(const std::vector<std::unique_ptr<IBank>>& banks)
{
    std::vector<IBank*> result;
    for (const auto& bank : banks) result.push_back(bank.get());
    return result;
}

std::string benchFile()
{
    return (std::filesystem::temp_directory_path() / "varno-midifile-bench.mid").string();
}

void SaveAllBanks(benchmark::State& state)
{
    auto banks = table();
    const auto list = pointers(banks);
    WrapperKtMidiFile wrapper;
    for (auto _ : state)
        if (!wrapper.saveBanks(list, benchFile())) state.SkipWithError(wrapper.lastError().c_str());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(benchFile())));
    std::filesystem::remove(benchFile());
}

void OpenAllBanks(benchmark::State& state)
{
    auto banks = table();
    WrapperKtMidiFile wrapper;
    if (!wrapper.saveBanks(pointers(banks), benchFile())) state.SkipWithError(wrapper.lastError().c_str());
    for (auto _ : state) {
        state.PauseTiming();
        auto fresh = table();
        state.ResumeTiming();
        if (!wrapper.openBanks(pointers(fresh), kBankCount, benchFile()))
            state.SkipWithError(wrapper.lastError().c_str());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(std::filesystem::file_size(benchFile())));
    std::filesystem::remove(benchFile());
}

} // namespace

BENCHMARK(SaveAllBanks)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenAllBanks)->Unit(benchmark::kMillisecond);
