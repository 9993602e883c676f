// VARNO414Editor.exe: the editor window on Windows. A path on the command
// line is a bank file to open ("Open with"); --version prints the version.
#include "audio/audiooutput.h"
#include "editor/importsettings.h"
#include "editor/win32/editorwindow.h"
#include "editor/win32/text.h"
#include "editor/win32/win32prompt.h"
#include "midiport/midisystem.h"
#include "midiport/sendjournal.h"
#include "midiport/sleepinhibitor.h"
#include "varno_version.h"

#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace {

// A program of the windows subsystem has no console of its own: the text
// goes to where the caller's output goes, or to the caller's console.
void printLine(const std::string& line)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if ((out == nullptr || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS) != FALSE)
        out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        MessageBoxW(nullptr, win32::widen(line).c_str(), L"VARNO414Editor", MB_OK | MB_ICONINFORMATION);
        return;
    }
    const std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string homeFolder()
{
    PWSTR path = nullptr;
    std::string home;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Profile, 0, nullptr, &path))) home = win32::narrow(path);
    CoTaskMemFree(path);
    return home;
}

} // namespace

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int show)
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> args(arguments, arguments + count);
    LocalFree(arguments);
    if (args.size() > 1 && args[1] == L"--version") {
        printLine(std::string("VARNO414Editor ") + kVarnoVersion);
        return 0;
    }

    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    // OLE: drag and drop from Explorer, and the file dialogs.
    OleInitialize(nullptr);
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES |
                                                                          ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    auto prompt = std::make_unique<win32::CWin32Prompt>();
    win32::CWin32Prompt& dialogs = *prompt;
    SessionServices services;
    services.midi = createMidiSystem();
    services.prompt = std::move(prompt);
    services.audio = createPlatformAudioSystem();
    services.inhibitor = createPlatformSleepInhibitor();
    services.homeFolder = homeFolder();
    services.journalPath = SendJournal::defaultPath();
    services.settingsPath = importsettings::defaultPath();
    int status = 0;
    {
        win32::CEditorWindow window(std::move(services));
        window.quitOnClose = true;
        dialogs.setOwner(window.hwnd());
        ShowWindow(window.hwnd(), show);
        if (args.size() > 1) window.openGivenFile(args[1]);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (window.preTranslate(message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        status = static_cast<int>(message.wParam);
    }
    OleUninitialize();
    return status;
}
