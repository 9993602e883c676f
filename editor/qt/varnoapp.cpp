#include "editor/qt/varnoapp.h"

#include "audio/audiooutput.h"
#include "editor/qt/aboutdlg.h"
#include "editor/qt/editor.h"
#include "midiport/midisystem.h"
#include "varno_version.h"

#include <QFile>

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
    CEditor editor(createMidiSystem(), std::move(prompt), createPlatformAudioSystem());
    dialogs.setParent(&editor);
    const QStringList args = arguments();
    if (args.size() > 1) editor.openGivenFile(args.at(1));
    editor.exec();
    return 0;
}
