#include "editor/qt/varnoapp.h"

#include "audio/audiooutput.h"
#include "editor/importsettings.h"
#include "editor/qt/aboutdlg.h"
#include "editor/qt/dbussleepinhibitor.h"
#include "editor/qt/editor.h"
#include "editor/qt/qtprompt.h"
#include "midiport/midisystem.h"
#include "midiport/sendjournal.h"
#include "varno_version.h"

#include <QDir>

CVARNOApp::CVARNOApp(int& argc, char** argv) : QApplication(argc, argv)
{
    // A settings area is named, but the program stores nothing in it.
    setOrganizationName(QStringLiteral("VARNO414"));
    setOrganizationDomain(QStringLiteral("varno414.local"));
    setApplicationName(QStringLiteral("VARNO414Editor"));
    setApplicationVersion(QString::fromLatin1(kVarnoVersion));
    setWindowIcon(makeApplicationIcon());
}

int CVARNOApp::run()
{
    auto prompt = std::make_unique<QtPrompt>();
    QtPrompt& dialogs = *prompt;
    SessionServices services;
    services.midi = createMidiSystem();
    services.prompt = std::move(prompt);
    services.audio = createPlatformAudioSystem();
    // The desktop is asked over D-Bus to stay awake during a send.
    services.inhibitor = std::make_unique<DBusSleepInhibitor>();
    services.homeFolder = QDir::homePath().toStdString();
    services.journalPath = SendJournal::defaultPath();
    services.settingsPath = importsettings::defaultPath();
    CEditor editor(std::move(services));
    dialogs.setParent(&editor);
    const QStringList args = arguments();
    if (args.size() > 1) editor.openGivenFile(args.at(1));
    editor.exec();
    return 0;
}
