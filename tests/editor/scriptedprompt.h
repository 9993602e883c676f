#pragma once

#include "editor/qt/prompt.h"

#include <QStringList>

#include <deque>
#include <vector>

// Answers the editor's questions from a script and remembers every box and
// file dialog.
class ScriptedPrompt : public IPrompt {
public:
    struct Box {
        Icon icon;
        QString caption;
        QString text;
        Buttons buttons;
    };

    std::optional<QString> openFileName(const FileDialog& dialog) override
    {
        dialogs.push_back(dialog);
        return next(openNames);
    }
    std::optional<QString> saveFileName(const FileDialog& dialog) override
    {
        dialogs.push_back(dialog);
        return next(saveNames);
    }
    // Unscripted questions get the answer that changes nothing.
    Answer message(Icon icon, const QString& caption, const QString& text, Buttons buttons) override
    {
        boxes.push_back({icon, caption, text, buttons});
        if (answers.empty()) {
            switch (buttons) {
            case Buttons::YesNo:
                return Answer::No;
            case Buttons::YesNoCancel:
            case Buttons::ResetCancel:
            case Buttons::SaveDiscardCancel:
                return Answer::Cancel;
            default:
                return Answer::Ok;
            }
        }
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    // An empty entry stands for a cancelled dialog.
    std::deque<QString> openNames;
    std::deque<QString> saveNames;
    std::deque<Answer> answers;
    std::vector<Box> boxes;
    std::vector<FileDialog> dialogs;

private:
    static std::optional<QString> next(std::deque<QString>& names)
    {
        if (names.empty()) return std::nullopt;
        QString name = names.front();
        names.pop_front();
        if (name.isEmpty()) return std::nullopt;
        return name;
    }
};
