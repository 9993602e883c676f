// Draws the editor window with one changed bank into a PNG, for README:
//   xvfb-run -s "-screen 0 1280x720x24" editor_screenshot window.png [screen.png]
// (QT_SCALE_FACTOR=1.5 for 150 %). The second file is the whole screen.
// With --sending first, all banks are being sent when the window is drawn, at
// bank 8; run it so with VARNO414_MIDI_RECORDING=<log> and a clock sped up by
// VARNO414_MIDI_RECORDING_SPEED=<n> (about 100).
#include "audio/recording/recordingaudiosystem.h"
#include "editor/qt/editor.h"
#include "midiport/midisystem.h"
#include "midiport/recording/recordingmidisystem.h"
#include "tests/support/scriptedprompt.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

#include <cstring>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bool sending = argc > 1 && std::strcmp(argv[1], "--sending") == 0;
    if (sending) {
        --argc;
        ++argv;
    }
    if (argc < 2) return 2;
    SessionServices services;
    services.midi =
        sending ? createMidiSystem() : std::make_shared<RecordingMidiSystem>(RecordingMidiSystem::Options{});
    services.prompt = std::make_unique<ScriptedPrompt>();
    services.audio = std::make_shared<RecordingAudioSystem>();
    services.homeFolder = QDir::homePath().toStdString();
    CEditor editor(std::move(services));
    editor.show();
    if (!QTest::qWaitForWindowExposed(&editor)) return 1;
    editor.session().renameBank("Dusty Kit");
    if (sending) {
        editor.findChild<QRadioButton*>("allBanks")->setChecked(true);
        editor.findChild<QPushButton*>("sendToVarno")->click();
        const auto* status = editor.findChild<QLabel*>("statusText");
        const QDeadlineTimer deadline(120000);
        while (!status->text().startsWith(QStringLiteral("Bank 8 ")) && !deadline.hasExpired()) QTest::qWait(20);
    }
    QTest::qWait(300);
    bool saved = editor.grab().save(QString::fromLocal8Bit(argv[1]));
    if (argc > 2) saved = saved && editor.screen()->grabWindow(0).save(QString::fromLocal8Bit(argv[2]));
    return saved ? 0 : 1;
}
