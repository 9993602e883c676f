#pragma once

#include "editor/prompt.h"

#include <QStringList>

#include <deque>
#include <vector>

// Answers the editor's questions from a script and remembers every box.
class ScriptedPrompt : public IPrompt {
public:
    struct Box {
        Icon icon;
        QString caption;
        QString text;
    };

    std::optional<QString> openFileName(const QString& filter) override
    {
        filters.push_back(filter);
        return next(openNames);
    }
    std::optional<QString> saveFileName(const QString& filter, const QString& defaultSuffix) override
    {
        filters.push_back(filter);
        suffixes.push_back(defaultSuffix);
        return next(saveNames);
    }
    Answer message(Icon icon, const QString& caption, const QString& text, Buttons buttons) override
    {
        boxes.push_back({icon, caption, text});
        if (answers.empty()) return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    // An empty entry stands for a cancelled dialog.
    std::deque<QString> openNames;
    std::deque<QString> saveNames;
    std::deque<Answer> answers;
    std::vector<Box> boxes;
    QStringList filters;
    QStringList suffixes;

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
