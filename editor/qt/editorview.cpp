#include "editor/qt/editor.h"

#include "editor/qt/menus.h"
#include "editor/qt/slotrow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

// What the window draws: each part from the session's getters, when the
// session says it changed.

namespace {

QString fromUtf8(const std::string& text)
{
    return QString::fromStdString(text);
}

// The mark of a changed bank in the list: a dot in the program's colour. An
// unchanged bank gets an empty one, so every name starts at the same place.
QIcon changeMark(bool changed, int size, qreal pixelRatio)
{
    QPixmap picture(QSize(size, size) * pixelRatio);
    picture.setDevicePixelRatio(pixelRatio);
    picture.fill(Qt::transparent);
    if (changed) {
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(232, 96, 28));
        painter.drawEllipse(QRectF(size * 0.15, size * 0.15, size * 0.7, size * 0.7));
    }
    return QIcon(picture);
}

void showState(QWidget* control, const CommandState& state)
{
    control->setEnabled(state.enabled);
    control->setToolTip(state.enabled ? QString() : fromUtf8(state.reason));
}

} // namespace

void CEditor::drawName(QLineEdit* field, const QString& text)
{
    const QVariant drawn = field->property(kDrawnName);
    if (drawn.isValid() && drawn.toString() == text) return;
    field->setProperty(kDrawnName, text);
    field->setProperty(kAcceptedName, text);
    field->setText(text);
}

void CEditor::changed(ViewPart parts)
{
    if (!m_session) return; // the session's own construction
    if (has(parts, ViewPart::bankList)) showBankList();
    if (has(parts, ViewPart::bankContent)) showBankContent();
    if (has(parts, ViewPart::title)) showTitle();
    if (has(parts, ViewPart::status)) showStatus();
    if (has(parts, ViewPart::transfer)) showTransfer();
    if (has(parts, ViewPart::commands)) showCommands();
    if (has(parts, ViewPart::ports)) showPorts();
    if (has(parts, ViewPart::playState) || has(parts, ViewPart::bankContent)) showPlayState();
}

// Names and changed marks, in index order: list index and bank index agree.
void CEditor::showBankList()
{
    const QSignalBlocker blocker(m_bankList);
    const int count = m_session->bankCount();
    if (m_bankList->count() != count) {
        m_bankList->clear();
        for (int index = 0; index < count; ++index) m_bankList->addItem(QString());
    }
    const int markSize = m_bankList->iconSize().height();
    const QIcon changedMark = changeMark(true, markSize, devicePixelRatioF());
    const QIcon unchangedMark = changeMark(false, markSize, devicePixelRatioF());
    for (int index = 0; index < count; ++index) {
        QListWidgetItem* item = m_bankList->item(index);
        const bool isChanged = m_session->isBankChanged(index);
        item->setText(fromUtf8(m_session->bankListText(index)));
        item->setIcon(isChanged ? changedMark : unchangedMark);
        QFont itemFont = m_bankList->font();
        itemFont.setBold(isChanged);
        item->setFont(itemFont);
        item->setToolTip(fromUtf8(m_session->bankListToolTip(index)));
    }
    // A selection of several banks stays while its current bank is the session's.
    if (m_bankList->currentRow() != m_session->selectedBank()) m_bankList->setCurrentRow(m_session->selectedBank());
}

void CEditor::showBankContent()
{
    drawName(m_bankName, fromUtf8(m_session->bankName()));
    m_bankName->setEnabled(m_session->bankNameEditable());
    const std::vector<std::string> labels = m_session->rowLabels(m_takenMnemonics);
    for (SlotRow* slotRow : m_rows) {
        const RowView view = m_session->row(slotRow->row());
        if (!view.shown) {
            slotRow->hide();
            continue;
        }
        slotRow->setLabel(fromUtf8(labels[static_cast<std::size_t>(slotRow->row())]));
        drawName(slotRow->name(), fromUtf8(view.name));
        slotRow->name()->setEnabled(view.editable);
        slotRow->openButton()->setEnabled(view.editable);
        slotRow->showContent(view.bytes, view.isSample, fromUtf8(view.capacity));
        slotRow->show();
    }
}

void CEditor::showTitle()
{
    // A "[*]" in the file's own name is doubled so that Qt shows it as it is.
    QString title = fromUtf8(m_session->title());
    title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(title);
}

void CEditor::showStatus()
{
    const QString text = fromUtf8(m_session->status());
    m_statusText->setToolTip(fromUtf8(m_session->statusToolTip()));
    if (text == m_statusText->text()) return;
    m_statusText->setText(text);
    Q_EMIT statusChanged(text);
}

void CEditor::showTransfer()
{
    const TransferView transfer = m_session->transfer();
    QPushButton* shown = transfer.sending ? m_stop : m_send;
    if (m_sendOrStop->currentWidget() != shown) {
        // The keyboard focus moves with the button that takes the other's place.
        const bool focused = m_sendOrStop->currentWidget()->hasFocus();
        m_sendOrStop->setCurrentWidget(shown);
        if (focused) shown->setFocus();
    }
    m_stop->setEnabled(transfer.stop.enabled);
    m_stop->setToolTip(transfer.stop.enabled ? tr("Finish the bank being sent, then stop")
                                             : fromUtf8(transfer.stop.reason));
    for (QProgressBar* bar : {m_bankProgress, m_sendProgress}) bar->setVisible(transfer.sending);
    m_sendProgress->setValue(transfer.percent);
    m_bankProgress->setValue(transfer.bankPercent);
    m_bankProgress->setFormat(fromUtf8(transfer.bankText));
}

void CEditor::showCommands()
{
    m_menus->show(*m_session);
    showState(m_openFromDisk, m_session->state(Command::open));
    showState(m_saveToDisk, m_session->state(Command::save));
    showState(m_reset, m_session->state(Command::reset));
    showState(m_send, m_session->state(Command::send));
    showState(m_receive, m_session->state(Command::receive));
}

void CEditor::showPorts()
{
    const auto fill = [](QComboBox* box, const std::vector<std::string>& names) {
        QStringList items;
        for (const std::string& name : names) items << fromUtf8(name);
        QStringList shown;
        for (int i = 0; i < box->count(); ++i) shown << box->itemText(i);
        if (shown == items) return;
        box->clear();
        box->addItems(items);
    };
    {
        const QSignalBlocker blocker(m_outputPorts);
        fill(m_outputPorts, m_session->outputPorts());
        m_outputPorts->setCurrentIndex(m_session->selectedOutputPort());
    }
    {
        const QSignalBlocker blocker(m_inputPorts);
        fill(m_inputPorts, m_session->inputPorts());
        m_inputPorts->setCurrentIndex(m_session->selectedInputPort());
    }
    {
        const QSignalBlocker blocker(m_channels);
        m_channels->setCurrentIndex(m_session->channel());
    }
    const QSignalBlocker selected(m_selectedBankRadio);
    const QSignalBlocker all(m_allBanksRadio);
    const QSignalBlocker changes(m_changesRadio);
    switch (m_session->sendScope()) {
    case SendScope::selected: m_selectedBankRadio->setChecked(true); break;
    case SendScope::all: m_allBanksRadio->setChecked(true); break;
    case SendScope::changes: m_changesRadio->setChecked(true); break;
    }
    m_changesRadio->setEnabled(m_session->changesUnavailable().empty());
    m_changesRadio->setToolTip(QString::fromStdString(m_session->changesUnavailable()));
    m_versionText->setText(fromUtf8(m_session->versionText()));
}

void CEditor::showPlayState()
{
    for (SlotRow* row : m_rows) row->showPlayState(m_session->row(row->row()).play);
}

