#pragma once

#include "editor/prompt.h"
#include "editor/win32/win32.h"

namespace win32 {

// The session's questions as Windows asks them: message boxes, task dialogs
// where the buttons are the program's own, and the common file dialogs.
class CWin32Prompt : public IPrompt {
public:
    void setOwner(HWND owner) { m_owner = owner; }

    std::optional<std::string> openFileName(const FileDialog& dialog) override;
    std::optional<std::string> saveFileName(const FileDialog& dialog) override;
    std::optional<std::string> folderName(const FileDialog& dialog) override;
    Answer message(Icon icon, const std::string& caption, const std::string& text, Buttons buttons) override;
    std::optional<std::size_t> choose(Icon icon, const std::string& caption, const std::string& text,
                                      const std::vector<std::string>& buttons) override;

private:
    HWND m_owner = nullptr;
};

} // namespace win32
