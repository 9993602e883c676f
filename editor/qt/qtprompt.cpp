#include "editor/qt/qtprompt.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

QString fromUtf8(const std::string& text)
{
    return QString::fromStdString(text);
}

QMessageBox::Icon boxIcon(IPrompt::Icon icon)
{
    switch (icon) {
    case IPrompt::Icon::Warning:
        return QMessageBox::Warning;
    case IPrompt::Icon::Question:
        return QMessageBox::Question;
    case IPrompt::Icon::Information:
        break;
    }
    return QMessageBox::Information;
}

std::optional<std::string> runFileDialog(QWidget* parent, const IPrompt::FileDialog& request, bool save)
{
    QString start = fromUtf8(request.directory);
    if (save && !request.suggestedName.empty()) start = QDir(start).filePath(fromUtf8(request.suggestedName));
    QFileDialog dialog(parent, fromUtf8(request.title), start);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    QStringList filters;
    for (const std::string& filter : request.filters) filters << fromUtf8(filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (!request.defaultSuffix.empty()) dialog.setDefaultSuffix(fromUtf8(request.defaultSuffix));
    // QFileDialog asks before overwriting unless told otherwise.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst().toStdString();
}

} // namespace

std::optional<std::string> QtPrompt::openFileName(const FileDialog& dialog)
{
    return runFileDialog(m_parent, dialog, false);
}

std::optional<std::string> QtPrompt::saveFileName(const FileDialog& dialog)
{
    return runFileDialog(m_parent, dialog, true);
}

std::optional<std::string> QtPrompt::folderName(const FileDialog& dialog)
{
    const QString chosen = QFileDialog::getExistingDirectory(m_parent, fromUtf8(dialog.title), fromUtf8(dialog.directory));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

IPrompt::Answer QtPrompt::message(Icon icon, const std::string& caption, const std::string& text, Buttons buttons)
{
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

    QMessageBox box(boxIcon(icon), fromUtf8(caption), fromUtf8(text), standard, m_parent);
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

std::optional<std::size_t> QtPrompt::choose(Icon icon, const std::string& caption, const std::string& text,
                                            const std::vector<std::string>& buttons)
{
    QMessageBox box(boxIcon(icon), fromUtf8(caption), fromUtf8(text), QMessageBox::NoButton, m_parent);
    std::vector<QPushButton*> choices;
    choices.reserve(buttons.size());
    for (const std::string& label : buttons) choices.push_back(box.addButton(fromUtf8(label), QMessageBox::AcceptRole));
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setEscapeButton(cancel);
    if (!choices.empty()) box.setDefaultButton(choices.front());
    box.exec();
    for (std::size_t i = 0; i < choices.size(); ++i)
        if (box.clickedButton() == choices[i]) return i;
    return std::nullopt;
}
