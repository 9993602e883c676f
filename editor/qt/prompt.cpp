#include "editor/qt/prompt.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

std::optional<QString> runFileDialog(QWidget* parent, const IPrompt::FileDialog& request, bool save)
{
    QFileDialog dialog(parent, request.title, request.directory);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!request.filters.isEmpty()) dialog.setNameFilters(request.filters);
    if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);
    // QFileDialog asks before overwriting unless told otherwise.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace

std::optional<QString> QtPrompt::openFileName(const FileDialog& dialog)
{
    return runFileDialog(m_parent, dialog, false);
}

std::optional<QString> QtPrompt::saveFileName(const FileDialog& dialog)
{
    return runFileDialog(m_parent, dialog, true);
}

IPrompt::Answer QtPrompt::message(Icon icon, const QString& caption, const QString& text, Buttons buttons)
{
    QMessageBox::Icon boxIcon = QMessageBox::Information;
    if (icon == Icon::Warning)
        boxIcon = QMessageBox::Warning;
    else if (icon == Icon::Question)
        boxIcon = QMessageBox::Question;

    QMessageBox::StandardButtons standard = QMessageBox::Ok;
    switch (buttons) {
    case Buttons::Ok:
        break;
    case Buttons::OkCancel:
        standard = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case Buttons::YesNo:
        standard = QMessageBox::Yes | QMessageBox::No;
        break;
    case Buttons::YesNoCancel:
        standard = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    case Buttons::ResetCancel:
        standard = QMessageBox::Reset | QMessageBox::Cancel;
        break;
    case Buttons::SaveDiscardCancel:
        standard = QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel;
        break;
    }

    QMessageBox box(boxIcon, caption, text, standard, m_parent);
    if (buttons == Buttons::SaveDiscardCancel) {
        // Save opens the save dialog, hence the ellipsis.
        box.button(QMessageBox::Save)->setText(QMessageBox::tr("&Save..."));
        box.button(QMessageBox::Discard)->setText(QMessageBox::tr("&Discard"));
        box.setDefaultButton(QMessageBox::Save);
        box.setEscapeButton(QMessageBox::Cancel);
    }
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return Answer::Cancel;
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Reset:
        return Answer::Reset;
    case QMessageBox::Save:
        return Answer::Save;
    case QMessageBox::Discard:
        return Answer::Discard;
    default:
        return Answer::Ok;
    }
}

bool writeChosenFile(IPrompt& prompt, const QString& caption, const QString& chosen,
                     const std::function<WriteAttempt(const SafeWriteOptions&)>& write)
{
    WriteAttempt attempt = write({});
    if (attempt.kind == SafeWriteError::ReadOnly) {
        if (prompt.message(IPrompt::Icon::Question, caption,
                           QObject::tr("The file \"%1\" is read-only.\nDo you want to replace it anyway?").arg(chosen),
                           IPrompt::Buttons::YesNo) != IPrompt::Answer::Yes)
            return false;
        attempt = write({.overwriteReadOnly = true});
    }
    if (attempt.written) return true;
    prompt.message(IPrompt::Icon::Warning, caption,
                   QObject::tr("The file \"%1\" could not be written.\n%2").arg(chosen, attempt.reason),
                   IPrompt::Buttons::Ok);
    return false;
}
