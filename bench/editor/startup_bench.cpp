// Start-up of the editor window: the session with its 32 factory banks is
// built, the window is laid out and shown. Prints the first start-up measured
// from main() once, then lets Google Benchmark time repeated start-ups.
#include "audio/audiooutput.h"
#include "editor/qt/editor.h"
#include "editor/qt/qtprompt.h"
#include "midiport/midisystem.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

void startEditor()
{
    SessionServices services;
    services.midi = createMidiSystem();
    services.prompt = std::make_unique<QtPrompt>();
    services.audio = createPlatformAudioSystem();
    services.homeFolder = QDir::homePath().toStdString();
    CEditor editor(std::move(services));
    editor.show();
    QApplication::processEvents();
    benchmark::DoNotOptimize(editor.isVisible());
}

void BM_EditorStartup(benchmark::State& state)
{
    for (auto _ : state) startEditor();
}
BENCHMARK(BM_EditorStartup)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    if (std::getenv("DISPLAY") == nullptr && std::getenv("QT_QPA_PLATFORM") == nullptr)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    startEditor();
    std::printf("first window shown %lld ms after main()\n", static_cast<long long>(sinceMain.elapsed()));

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
