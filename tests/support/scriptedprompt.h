#pragma once

#include "editor/prompt.h"

#include <deque>
#include <string>
#include <vector>

// Answers the session's questions from a script and remembers every box and
// file dialog.
class ScriptedPrompt : public IPrompt {
public:
    struct Box {
        Icon icon;
        std::string caption;
        std::string text;
        Buttons buttons;
        std::vector<std::string> choices; // choose(): the buttons offered
    };

    std::optional<std::string> openFileName(const FileDialog& dialog) override
    {
        dialogs.push_back(dialog);
        return next(openNames);
    }
    std::optional<std::string> folderName(const FileDialog& dialog) override
    {
        dialogs.push_back(dialog);
        return next(folderNames);
    }
    std::optional<std::string> saveFileName(const FileDialog& dialog) override
    {
        dialogs.push_back(dialog);
        return next(saveNames);
    }
    // Unscripted questions get the answer that changes nothing.
    Answer message(Icon icon, const std::string& caption, const std::string& text, Buttons buttons) override
    {
        boxes.push_back({icon, caption, text, buttons, {}});
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
    // Unscripted choices are cancelled.
    std::optional<std::size_t> choose(Icon icon, const std::string& caption, const std::string& text,
                                      const std::vector<std::string>& buttons) override
    {
        boxes.push_back({icon, caption, text, Buttons::OkCancel, buttons});
        if (choices.empty()) return std::nullopt;
        const auto choice = choices.front();
        choices.pop_front();
        return choice;
    }

    // An empty entry stands for a cancelled dialog.
    std::deque<std::string> openNames;
    std::deque<std::string> saveNames;
    std::deque<std::string> folderNames;
    std::deque<Answer> answers;
    std::deque<std::optional<std::size_t>> choices;
    std::vector<Box> boxes;
    std::vector<FileDialog> dialogs;

private:
    static std::optional<std::string> next(std::deque<std::string>& names)
    {
        if (names.empty()) return std::nullopt;
        std::string name = names.front();
        names.pop_front();
        if (name.empty()) return std::nullopt;
        return name;
    }
};
