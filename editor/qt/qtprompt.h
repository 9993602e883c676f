#pragma once

#include "editor/prompt.h"

class QWidget;

// The session's questions as Qt's own file dialogs and message boxes,
// parented to the editor window.
class QtPrompt : public IPrompt {
public:
    explicit QtPrompt(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    std::optional<std::string> openFileName(const FileDialog& dialog) override;
    std::optional<std::string> saveFileName(const FileDialog& dialog) override;
    std::optional<std::string> folderName(const FileDialog& dialog) override;
    Answer message(Icon icon, const std::string& caption, const std::string& text, Buttons buttons) override;
    std::optional<std::size_t> choose(Icon icon, const std::string& caption, const std::string& text,
                                      const std::vector<std::string>& buttons) override;

private:
    QWidget* m_parent;
};
