// How long the session keeps a window waiting while a send runs: what one
// timer tick and one redraw of the bank view cost with banks on their way to
// the machine. The send runs on the recording backend at real-time speed, so
// its worker is really busy meanwhile.
#include "editor/editorsession.h"
#include "midiport/recording/recordingmidisystem.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>

namespace {

struct QuietView : ISessionView {
    void changed(ViewPart) override {}
    void focusBankList() override {}
    void showAbout() override {}
    void closeWindow() override {}
};

struct AnswerAll : IPrompt {
    std::optional<std::string> openFileName(const FileDialog&) override { return std::nullopt; }
    std::optional<std::string> saveFileName(const FileDialog&) override { return std::nullopt; }
    Answer message(Icon, const std::string&, const std::string&, Buttons) override { return Answer::Ok; }
    std::optional<std::size_t> choose(Icon, const std::string&, const std::string&,
                                      const std::vector<std::string>&) override
    {
        return std::nullopt;
    }
};

void BM_SessionAnswersDuringSend(benchmark::State& state)
{
    RecordingMidiSystem::Options options;
    options.realTimeSpeed = 1; // the whole send of all banks outlasts the benchmark
    QuietView view;
    SessionServices services;
    services.midi = std::make_shared<RecordingMidiSystem>(options);
    services.prompt = std::make_unique<AnswerAll>();
    CEditorSession session(std::move(services), view);
    session.setSendsAllBanks(true);
    session.run(Command::send);
    int bank = 0;
    for (auto _ : state) {
        session.tick();
        session.selectBank(bank++ % 31);
        for (int row = 0; row < CEditorSession::kRowCount; ++row) benchmark::DoNotOptimize(session.row(row));
        benchmark::DoNotOptimize(session.transfer());
        benchmark::DoNotOptimize(session.state(Command::stop));
    }
    if (!session.transfer().sending) state.SkipWithError("the send ended before the measurement did");
    session.run(Command::stop);
}
BENCHMARK(BM_SessionAnswersDuringSend)->Unit(benchmark::kMicrosecond);

} // namespace
