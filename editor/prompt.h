#pragma once

#include <QString>

#include <optional>

class QWidget;

// Every question the editor asks the user goes through this interface, so
// tests can answer file dialogs and message boxes without a display.
class IPrompt {
public:
    enum class Icon { Information, Warning, Question };
    enum class Buttons { Ok, OkCancel, YesNo };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~IPrompt() = default;

    // A path, or nothing when the user cancelled. An empty filter lists every file.
    virtual std::optional<QString> openFileName(const QString& filter) = 0;
    // The save dialog asks itself before replacing an existing file.
    virtual std::optional<QString> saveFileName(const QString& filter, const QString& defaultSuffix) = 0;
    virtual Answer message(Icon icon, const QString& caption, const QString& text, Buttons buttons) = 0;
};

// The real dialogs and message boxes, parented to the editor window.
class QtPrompt : public IPrompt {
public:
    explicit QtPrompt(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    std::optional<QString> openFileName(const QString& filter) override;
    std::optional<QString> saveFileName(const QString& filter, const QString& defaultSuffix) override;
    Answer message(Icon icon, const QString& caption, const QString& text, Buttons buttons) override;

private:
    QWidget* m_parent;
};
