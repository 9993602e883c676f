// How long the session keeps a window waiting while a send runs: what one
// timer tick and one redraw of the bank view cost with banks on their way to
// the machine. The send runs on the recording backend at real-time speed, so
// its worker is really busy meanwhile. And what the import window waits for
// when an option or a handle moves: the draft shaped again from its file.
#include "editor/editorsession.h"
#include "editor/importdraft.h"
#include "midiport/recording/recordingmidisystem.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>
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
    std::string file; // what every open dialog chooses
    std::optional<std::string> openFileName(const FileDialog&) override
    {
        return file.empty() ? std::nullopt : std::optional(file);
    }
    std::optional<std::string> saveFileName(const FileDialog&) override { return std::nullopt; }
    std::optional<std::string> folderName(const FileDialog&) override { return std::nullopt; }
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

// 10 s of 48 kHz 16-bit stereo into the CRASH slot (the largest), reshaped
// with every option; target: 30 ms at most.
void BM_ImportWindowReshapes(benchmark::State& state)
{
    const std::filesystem::path path = std::filesystem::temp_directory_path() / "varno-bench-source.wav";
    {
        constexpr std::uint32_t rate = 48000, frames = rate * 10;
        std::vector<std::uint8_t> image;
        const auto put = [&](std::uint32_t value, int bytes) {
            for (int i = 0; i < bytes; ++i) image.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        };
        const auto tag = [&](const char* text) { image.insert(image.end(), text, text + 4); };
        tag("RIFF"), put(36 + frames * 4, 4), tag("WAVE"), tag("fmt "), put(16, 4), put(1, 2), put(2, 2);
        put(rate, 4), put(rate * 4, 4), put(4, 2), put(16, 2), tag("data"), put(frames * 4, 4);
        for (std::uint32_t i = 0; i < frames * 2; ++i)
            put(static_cast<std::uint16_t>(static_cast<std::int16_t>(12000 * std::sin(i * 0.03))), 2);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    }
    QuietView view;
    SessionServices services;
    auto prompt = std::make_unique<AnswerAll>();
    prompt->file = path.string();
    services.prompt = std::move(prompt);
    CEditorSession session(std::move(services), view);
    const std::unique_ptr<CImportDraft> draft = session.beginImport(4);
    if (!draft) {
        state.SkipWithError("the source did not open");
        return;
    }
    ImportOptions options{.startSeconds = 1.0, .endSeconds = 9.0, .normalizePeakDb = -1.0, .reverse = true,
                          .fadeInSeconds = 0.01, .fadeOutSeconds = 0.2, .removeDc = true,
                          .quality = ImportOptions::Quality::Clean, .dither = true};
    for (auto _ : state) {
        options.startSeconds = options.startSeconds == 1.0 ? 1.001 : 1.0; // a handle moved
        draft->setOptions(options);
        benchmark::DoNotOptimize(draft->shaped().data());
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_ImportWindowReshapes)->Unit(benchmark::kMillisecond);

} // namespace
