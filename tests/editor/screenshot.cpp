// Draws the editor window with one changed bank into a PNG, for README:
//   xvfb-run -s "-screen 0 1280x720x24" editor_screenshot window.png [screen.png]
// (QT_SCALE_FACTOR=1.5 for 150 %). The second file is the whole screen.
#include "audio/recording/recordingaudiosystem.h"
#include "editor/editor.h"
#include "midiport/recording/recordingmidisystem.h"
#include "scriptedprompt.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QScreen>
#include <QTest>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    CEditor editor(std::make_shared<RecordingMidiSystem>(RecordingMidiSystem::Options{}),
                   std::make_unique<ScriptedPrompt>(), std::make_shared<RecordingAudioSystem>());
    editor.show();
    if (!QTest::qWaitForWindowExposed(&editor)) return 1;
    auto* name = editor.findChild<QLineEdit*>("bankName");
    name->setText(QStringLiteral("Dusty Kit"));
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(name, &out);
    QTest::qWait(300);
    bool saved = editor.grab().save(QString::fromLocal8Bit(argv[1]));
    if (argc > 2) saved = saved && editor.screen()->grabWindow(0).save(QString::fromLocal8Bit(argv[2]));
    return saved ? 0 : 1;
}
