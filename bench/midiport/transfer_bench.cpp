// The error of a transfer's planned time against the time it really takes:
// on the recording backend's virtual clock, and with the ALSA backend's
// pacing code on the real clock (into a sink that drops the pieces, since a
// sequencer device is not needed to time the pacing).
//
//   bench_midiport_transfer                       recording backend, 1 and 31 banks, and
//                                                 changes only: one slot, three banks
//   bench_midiport_transfer --real-banks=N [--load=T]
//       adds the real-clock case for N banks (about 104 s each), with T threads
//       spinning meanwhile to load the machine.
#include "midiport/alsa/sysexpacer.h"
#include "midiport/banktransfer.h"
#include "midiport/recording/recordingmidisystem.h"
#include "midiport/systemclock.h"
#include "model/sound.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

std::vector<std::unique_ptr<IBank>> soundBanks(int count)
{
    std::vector<std::unique_ptr<IBank>> banks;
    for (int i = 0; i < count; ++i) banks.push_back(std::make_unique<CSound>(static_cast<std::uint16_t>(i)));
    return banks;
}

// The ALSA output's pacing on the real clock, into nowhere.
class PacedNullOutput : public IMidiOutput, private ISysexSink {
public:
    PacedNullOutput(IClock& clock, IMidiOutputListener& listener) : m_clock(clock), m_listener(listener) {}
    bool sendShort(std::uint8_t, std::uint8_t, std::uint8_t) override { return true; }
    bool startLong(std::span<const std::uint8_t> message) override
    {
        m_pending = sendPacedSysex(message, *this, m_clock, true);
        if (m_pending) m_listener.portNotification(PortNotification::done, 0);
        return m_pending;
    }
    LongRelease releaseLong() override
    {
        const bool pending = std::exchange(m_pending, false);
        return pending ? LongRelease::released : LongRelease::failed;
    }

private:
    bool writeChunk(std::span<const std::uint8_t> chunk) override
    {
        benchmark::DoNotOptimize(chunk.data());
        return true;
    }
    bool drain() override { return true; }

    IClock& m_clock;
    IMidiOutputListener& m_listener;
    bool m_pending = false;
};

class PacedNullSystem : public IMidiSystem {
public:
    std::vector<std::string> outputPortNames() override { return {"paced null"}; }
    std::vector<std::string> inputPortNames() override { return {}; }
    IClock& clock() override { return m_clock; }
    PortPacing outputPacing() const override { return kPacedSysexPacing; }
    std::unique_ptr<IMidiOutput> openOutput(std::size_t, IMidiOutputListener& listener, std::string&) override
    {
        return std::make_unique<PacedNullOutput>(m_clock, listener);
    }
    std::unique_ptr<IMidiInput> openInput(std::size_t, std::string& error) override
    {
        error = "none";
        return nullptr;
    }
    std::ostream& trace() override { return m_trace; }

private:
    SystemClock m_clock;
    std::ostringstream m_trace;
};

// Times each bank on the system's own clock.
class BankTimes : public ITransferObserver {
public:
    explicit BankTimes(IClock& clock) : m_clock(clock) {}
    void bankStarting(std::size_t) override { m_started = m_clock.monotonicMs(); }
    void bankSent(std::size_t) override { ms.push_back(m_clock.monotonicMs() - m_started); }
    std::vector<std::int64_t> ms;

private:
    IClock& m_clock;
    std::int64_t m_started = 0;
};

// Runs the transfer and reports planned and measured seconds, the error in
// percent, and the worst deviation of one bank from its plan in milliseconds.
void measure(benchmark::State& state, const std::shared_ptr<IMidiSystem>& system, int banks, int load,
             std::vector<BlockMask> blocks = {})
{
    for (auto _ : state) {
        BankTransfer transfer(system, 0, 0, soundBanks(banks), nullptr, blocks);
        const auto bankPlan = static_cast<std::int64_t>(
            WrapperKtMidiInterface::bankMs(system->outputPacing(), CSound(0).buildEvents(0)));
        BankTimes times(system->clock());
        std::atomic<bool> spinning{true};
        std::vector<std::thread> loaders;
        for (int t = 0; t < load; ++t)
            loaders.emplace_back([&] {
                std::uint64_t n = 0;
                while (spinning.load(std::memory_order_relaxed)) benchmark::DoNotOptimize(++n);
            });
        const std::int64_t start = system->clock().monotonicMs();
        const TransferResult result = transfer.run(&times);
        const std::int64_t measured = system->clock().monotonicMs() - start;
        spinning = false;
        for (auto& loader : loaders) loader.join();
        if (result.outcome != TransferOutcome::completed) state.SkipWithError(result.message.c_str());

        std::int64_t worst = 0;
        if (blocks.empty())
            for (const std::int64_t ms : times.ms) worst = std::max(worst, std::abs(ms - bankPlan));
        const auto planned = static_cast<double>(transfer.plannedMs());
        state.SetIterationTime(static_cast<double>(measured) / 1000.0);
        state.counters["planned_s"] = planned / 1000.0;
        state.counters["measured_s"] = static_cast<double>(measured) / 1000.0;
        state.counters["error_pct"] = (static_cast<double>(measured) - planned) * 100.0 / planned;
        state.counters["worst_bank_ms"] = static_cast<double>(worst);
    }
}

int optionValue(int& argc, char** argv, const std::string& name)
{
    int value = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind(name + "=", 0) != 0) continue;
        value = std::atoi(arg.c_str() + name.size() + 1);
        std::copy(argv + i + 1, argv + argc, argv + i);
        --argc;
        break;
    }
    return value;
}

} // namespace

int main(int argc, char** argv)
{
    const int realBanks = optionValue(argc, argv, "--real-banks");
    const int load = optionValue(argc, argv, "--load");
    for (const int banks : {1, 31})
        benchmark::RegisterBenchmark(("RecordingBackend/banks:" + std::to_string(banks)).c_str(),
                                     [banks](benchmark::State& state) {
                                         measure(state, std::make_shared<RecordingMidiSystem>(), banks, 0);
                                     })
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
    // Changes only against the full send above: one changed CRASH (its one
    // block), and three changed banks.
    benchmark::RegisterBenchmark("RecordingBackend/changes:one-slot", [](benchmark::State& state) {
        measure(state, std::make_shared<RecordingMidiSystem>(), 1, 0, {kSecondBlock});
    })->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
    benchmark::RegisterBenchmark("RecordingBackend/changes:three-banks", [](benchmark::State& state) {
        measure(state, std::make_shared<RecordingMidiSystem>(), 3, 0);
    })->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
    if (realBanks > 0)
        benchmark::RegisterBenchmark(
            ("AlsaPacingRealClock/banks:" + std::to_string(realBanks) + "/load:" + std::to_string(load)).c_str(),
            [realBanks, load](benchmark::State& state) {
                measure(state, std::make_shared<PacedNullSystem>(), realBanks, load);
            })
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
