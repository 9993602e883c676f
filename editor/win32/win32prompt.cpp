#include "editor/win32/win32prompt.h"

#include "editor/win32/text.h"

#include <commdlg.h>
#include <shlobj.h>

#include <vector>

namespace win32 {

namespace {

// "Bank files (*.mid)" becomes the pair the dialogs take: the text, then the
// patterns between the parentheses separated by ';'.
std::wstring filterPairs(const std::vector<std::string>& filters)
{
    std::wstring pairs;
    for (const std::string& filter : filters) {
        const std::wstring text = widen(filter);
        std::wstring patterns = L"*.*";
        const auto open = text.rfind(L'(');
        const auto close = text.rfind(L')');
        if (open != std::wstring::npos && close != std::wstring::npos && close > open) {
            patterns = text.substr(open + 1, close - open - 1);
            for (wchar_t& c : patterns)
                if (c == L' ') c = L';';
        }
        pairs += text + L'\0' + patterns + L'\0';
    }
    if (pairs.empty()) pairs = std::wstring(L"All files") + L'\0' + L"*.*" + L'\0';
    return pairs + L'\0';
}

std::optional<std::string> runFileDialog(HWND owner, const IPrompt::FileDialog& request, bool save)
{
    const std::wstring filters = filterPairs(request.filters);
    const std::wstring title = widen(request.title);
    const std::wstring folder = widen(request.directory);
    const std::wstring suffix = widen(request.defaultSuffix);
    std::vector<wchar_t> name(32768, L'\0');
    const std::wstring suggested = widen(request.suggestedName);
    suggested.copy(name.data(), std::min(suggested.size(), name.size() - 1));
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filters.c_str();
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.lpstrDefExt = suffix.empty() ? nullptr : suffix.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
                   (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST | OFN_HIDEREADONLY);
    const BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (chosen == FALSE) return std::nullopt;
    return narrow(name.data());
}

PCWSTR taskIcon(IPrompt::Icon icon)
{
    switch (icon) {
    case IPrompt::Icon::Warning:
        return TD_WARNING_ICON;
    case IPrompt::Icon::Question:
    case IPrompt::Icon::Information:
        break;
    }
    return TD_INFORMATION_ICON;
}

// A task dialog with the program's own buttons (ids from 100 on) and Cancel;
// the index of the button chosen, nothing for Cancel or Escape.
std::optional<std::size_t> taskDialog(HWND owner, IPrompt::Icon icon, const std::string& caption,
                                      const std::string& text, const std::vector<std::wstring>& labels)
{
    const std::wstring title = widen(caption);
    const std::wstring content = widen(text);
    std::vector<TASKDIALOG_BUTTON> buttons;
    for (std::size_t i = 0; i < labels.size(); ++i)
        buttons.push_back({static_cast<int>(100 + i), labels[i].c_str()});
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof(config);
    config.hwndParent = owner;
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
    config.dwCommonButtons = TDCBF_CANCEL_BUTTON;
    config.pszWindowTitle = title.c_str();
    config.pszMainIcon = taskIcon(icon);
    config.pszContent = content.c_str();
    config.cButtons = static_cast<UINT>(buttons.size());
    config.pButtons = buttons.data();
    config.nDefaultButton = buttons.empty() ? IDCANCEL : 100;
    int pressed = IDCANCEL;
    if (FAILED(TaskDialogIndirect(&config, &pressed, nullptr, nullptr))) return std::nullopt;
    if (pressed < 100 || pressed >= 100 + static_cast<int>(labels.size())) return std::nullopt;
    return static_cast<std::size_t>(pressed - 100);
}

} // namespace

std::optional<std::string> CWin32Prompt::openFileName(const FileDialog& dialog)
{
    return runFileDialog(m_owner, dialog, false);
}

std::optional<std::string> CWin32Prompt::saveFileName(const FileDialog& dialog)
{
    return runFileDialog(m_owner, dialog, true);
}

std::optional<std::string> CWin32Prompt::folderName(const FileDialog& dialog)
{
    const std::wstring title = widen(dialog.title);
    const std::wstring start = widen(dialog.directory);
    BROWSEINFOW browse{};
    browse.hwndOwner = m_owner;
    browse.lpszTitle = title.c_str();
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    // The dialog opens at the folder used last.
    browse.lpfn = [](HWND window, UINT message, LPARAM, LPARAM data) -> int {
        if (message == BFFM_INITIALIZED && data != 0) SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
        return 0;
    };
    browse.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(start.c_str());
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
    if (chosen == nullptr) return std::nullopt;
    std::vector<wchar_t> path(32768, L'\0');
    const bool named = SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT) != FALSE;
    CoTaskMemFree(chosen);
    if (!named) return std::nullopt;
    return narrow(path.data());
}

IPrompt::Answer CWin32Prompt::message(Icon icon, const std::string& caption, const std::string& text,
                                      Buttons buttons)
{
    // Reset and Save... are the program's own words; a task dialog shows them.
    if (buttons == Buttons::ResetCancel) {
        const auto chosen = taskDialog(m_owner, icon, caption, text, {L"&Reset"});
        return chosen ? Answer::Reset : Answer::Cancel;
    }
    if (buttons == Buttons::SaveDiscardCancel) {
        const auto chosen = taskDialog(m_owner, icon, caption, text, {L"&Save...", L"&Discard"});
        if (!chosen) return Answer::Cancel;
        return *chosen == 0 ? Answer::Save : Answer::Discard;
    }
    UINT type = MB_OK;
    switch (buttons) {
    case Buttons::OkCancel: type = MB_OKCANCEL; break;
    case Buttons::YesNo: type = MB_YESNO; break;
    case Buttons::YesNoCancel: type = MB_YESNOCANCEL; break;
    default: break;
    }
    switch (icon) {
    case Icon::Warning: type |= MB_ICONWARNING; break;
    case Icon::Question: type |= MB_ICONQUESTION; break;
    case Icon::Information: type |= MB_ICONINFORMATION; break;
    }
    switch (MessageBoxW(m_owner, widen(text).c_str(), widen(caption).c_str(), type)) {
    case IDCANCEL: return Answer::Cancel;
    case IDYES: return Answer::Yes;
    case IDNO: return Answer::No;
    default: return Answer::Ok;
    }
}

std::optional<std::size_t> CWin32Prompt::choose(Icon icon, const std::string& caption, const std::string& text,
                                                const std::vector<std::string>& buttons)
{
    std::vector<std::wstring> labels;
    labels.reserve(buttons.size());
    for (const std::string& button : buttons) labels.push_back(widen(button));
    return taskDialog(m_owner, icon, caption, text, labels);
}

} // namespace win32
