#pragma once

#include "midifile/safefilewriter.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

// Every question the editor asks the user goes through this interface, so
// tests can answer file dialogs and message boxes without a display.
class IPrompt {
public:
    enum class Icon { Information, Warning, Question };
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, ResetCancel, SaveDiscardCancel };
    enum class Answer { Ok, Cancel, Yes, No, Reset, Save, Discard };

    // What a file dialog shows and where it starts.
    struct FileDialog {
        QString title;
        QStringList filters;   // "Bank files (*.mid)"; none lists every file
        QString directory;     // empty: wherever the system starts
        QString defaultSuffix; // saving: appended to a name typed without one
    };

    virtual ~IPrompt() = default;

    // A path, or nothing when the user cancelled.
    virtual std::optional<QString> openFileName(const FileDialog& dialog) = 0;
    // The save dialog asks itself before replacing an existing file.
    virtual std::optional<QString> saveFileName(const FileDialog& dialog) = 0;
    virtual Answer message(Icon icon, const QString& caption, const QString& text, Buttons buttons) = 0;
};

// The real dialogs and message boxes, parented to the editor window.
class QtPrompt : public IPrompt {
public:
    explicit QtPrompt(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    std::optional<QString> openFileName(const FileDialog& dialog) override;
    std::optional<QString> saveFileName(const FileDialog& dialog) override;
    Answer message(Icon icon, const QString& caption, const QString& text, Buttons buttons) override;

private:
    QWidget* m_parent;
};

// One attempt to write a file the user chose: whether it was written, how
// writing failed, and the sentence why.
struct WriteAttempt {
    bool written = false;
    SafeWriteError kind = SafeWriteError::None;
    QString reason;
};

// Writes the chosen file through `write`. A read-only file is replaced only
// when the user agrees; a failure is told. True when the file was written.
bool writeChosenFile(IPrompt& prompt, const QString& caption, const QString& chosen,
                     const std::function<WriteAttempt(const SafeWriteOptions&)>& write);
