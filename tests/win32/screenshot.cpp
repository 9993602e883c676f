// Not a test: shows the Windows window with bank S05 renamed and its CLAP
// filled, for README's screenshot, until the given seconds have passed. Under
// Xvfb with wine (see README), the screen is then taken with ImageMagick:
//   win32_screenshot.exe SECONDS [import]   (import: the import window over it, for CLAP)
#include "audio/recording/recordingaudiosystem.h"
#include "audio/wavwriter.h"
#include "editor/importdraft.h"
#include "editor/win32/editorwindow.h"
#include "editor/win32/importwindow.h"
#include "midiport/recording/recordingmidisystem.h"
#include "midiport/recording/recordingsleepinhibitor.h"
#include "tests/support/scriptedprompt.h"
#include "tests/support/temp_dir.h"

#include <ole2.h>

#include <cstdlib>
#include <string>
#include <fstream>

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                  ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    TempDir files{"varno-shot"};
    std::vector<std::uint8_t> samples;
    for (int i = 0; i < 16000; ++i) samples.push_back(static_cast<std::uint8_t>(128 + (i % 60 < 30 ? 1 : -1) * (100 - i / 170)));
    const auto image = audio::wavImage(samples);
    const std::string clap = files.file("clap.wav");
    std::ofstream(pathFromUtf8(clap), std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));

    RecordingMidiSystem::Options midi;
    midi.inputPorts = 1;
    SessionServices services;
    services.midi = std::make_shared<RecordingMidiSystem>(midi);
    auto prompt = std::make_unique<ScriptedPrompt>();
    ScriptedPrompt& answers = *prompt;
    services.prompt = std::move(prompt);
    services.audio = std::make_shared<RecordingAudioSystem>();
    services.inhibitor = std::make_unique<RecordingSleepInhibitor>();
    win32::CEditorWindow window(std::move(services));
    window.quitOnClose = true;
    window.session().renameBank("My Kit");
    answers.openNames = {clap};
    window.session().openSlotFile(2);
    ShowWindow(window.hwnd(), SW_SHOW);
    if (argc > 2 && std::string(argv[2]) == "import") {
        answers.openNames = {clap};
        const auto draft = window.session().beginImport(2);
        if (!draft) return 1;
        win32::CImportWindow shaping(window.session(), *draft, window.hwnd(), window.dpi());
        static HWND shown = shaping.hwnd();
        SetTimer(nullptr, 0, static_cast<UINT>(seconds) * 1000U,
                 [](HWND, UINT, UINT_PTR, DWORD) { PostMessageW(shown, WM_CLOSE, 0, 0); });
        shaping.run();
        OleUninitialize();
        return 0;
    }
    SetTimer(nullptr, 0, static_cast<UINT>(seconds) * 1000U, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr) break;
        if (window.preTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    OleUninitialize();
    return 0;
}
