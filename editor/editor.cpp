#include "editor/editor.h"

#include "model/slotimport.h"
#include "editor/aboutdlg.h"
#include "midiport/midisystem.h"
#include "midiport/wrapperktmidiinterface.h"
#include "model/firmware.h"
#include "varno_version.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>

namespace {

const QString kAppName = QStringLiteral("VARNO414Editor");
const QString kVersionText = QStringLiteral("Version ") + QString::fromLatin1(kVarnoVersion);
const QString kMidiFilter = QStringLiteral("MIDI Files (*.mid)");
constexpr int kInitialBank = 4;
constexpr int kTimerPeriodMs = 40;

std::string localPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

// Bank and slot names are Latin-1 bytes.
QString fromName(const std::string& latin1)
{
    return QString::fromLatin1(latin1.data(), static_cast<qsizetype>(latin1.size()));
}

std::string toName(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// Lets into a name field only what a bank file can hold: Latin-1 characters.
class Latin1Validator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& /*pos*/) const override
    {
        for (const QChar c : input)
            if (c.unicode() > 0xFF) return Invalid;
        return Acceptable;
    }
};

// Buttons of a dialog press themselves on Enter unless told otherwise.
QPushButton* makeButton(const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

void keepSpaceWhenHidden(QWidget* widget)
{
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

} // namespace

CEditor::CEditor(std::shared_ptr<IMidiSystem> system, std::unique_ptr<IPrompt> prompt, QWidget* parent)
    : QDialog(parent), m_system(std::move(system)), m_prompt(std::move(prompt))
{
    m_icon = makeApplicationIcon();
    buildWindow();
    initWindow();
}

CEditor::~CEditor()
{
    // The worker only reads its own copies and the session, both of which
    // must outlive it.
    if (m_worker.joinable()) m_worker.join();
}

void CEditor::buildWindow()
{
    setWindowTitle(kAppName);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);

    m_versionText = new QLabel(this);
    m_versionText->setObjectName("versionText");
    m_versionText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_interfaceTestBox = new QCheckBox(tr("MIDI Interface Test"), this);
    m_interfaceTestBox->setObjectName("interfaceTest");
    m_interfaceTestBox->hide();

    m_bankList = new QListWidget(this);
    m_bankList->setObjectName("bankList");
    m_bankList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_bankList->setSortingEnabled(false);
    m_bankList->setMinimumWidth(m_bankList->fontMetrics().horizontalAdvance(QStringLiteral("FIRMWARE - factory -")) +
                                40);
    m_openFromDisk = makeButton(tr("Open from Disk"), this);
    m_openFromDisk->setObjectName("openFromDisk");
    m_saveToDisk = makeButton(tr("Save to Disk"), this);
    m_saveToDisk->setObjectName("saveToDisk");

    auto* content = new QGroupBox(tr("Bank Content"), this);
    auto* contentGrid = new QGridLayout(content);
    contentGrid->addWidget(new QLabel(tr("Bankname"), content), 0, 0);
    m_bankName = new QLineEdit(content);
    m_bankName->setObjectName("bankName");
    m_bankName->setValidator(new Latin1Validator(m_bankName));
    m_bankName->installEventFilter(this);
    contentGrid->addWidget(m_bankName, 0, 1, 1, 3);
    static const char* const templateLabels[kRowCount] = {"CLOSED HI HAT", "OPEN HI HAT", "CLAP",
                                                          "RIM",           "CRASH",       "RIDE"};
    const int labelWidth = fontMetrics().horizontalAdvance(QStringLiteral("CLOSED HI HAT")) + 12;
    for (int row = 0; row < kRowCount; ++row) {
        m_rowLabels[row] = new QLabel(QString::fromLatin1(templateLabels[row]), content);
        m_rowLabels[row]->setMinimumWidth(labelWidth);
        m_rowNames[row] = new QLineEdit(content);
        m_rowNames[row]->setObjectName(QStringLiteral("rowName%1").arg(row));
        m_rowNames[row]->setValidator(new Latin1Validator(m_rowNames[row]));
        m_rowNames[row]->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('x')) * 28);
        m_rowNames[row]->installEventFilter(this);
        m_rowOpen[row] = makeButton(tr("Open"), content);
        m_rowOpen[row]->setObjectName(QStringLiteral("rowOpen%1").arg(row));
        m_rowPlay[row] = makeButton(tr("Play"), content);
        m_rowPlay[row]->setObjectName(QStringLiteral("rowPlay%1").arg(row));
        m_rowPlay[row]->setEnabled(false);
        m_rowPlay[row]->hide();
        for (QWidget* widget : {static_cast<QWidget*>(m_rowLabels[row]), static_cast<QWidget*>(m_rowNames[row]),
                                static_cast<QWidget*>(m_rowOpen[row])})
            keepSpaceWhenHidden(widget);
        contentGrid->addWidget(m_rowLabels[row], row + 1, 0);
        contentGrid->addWidget(m_rowNames[row], row + 1, 1);
        contentGrid->addWidget(m_rowOpen[row], row + 1, 2);
        contentGrid->addWidget(m_rowPlay[row], row + 1, 3);
        connect(m_rowOpen[row], &QPushButton::clicked, this, [this, row] { openSlotFile(row); });
        connect(m_rowPlay[row], &QPushButton::clicked, this, &CEditor::playSlot);
    }
    m_reset = makeButton(tr("Reset to Default"), content);
    m_reset->setObjectName("resetToDefault");
    contentGrid->addWidget(m_reset, kRowCount + 1, 2, 1, 2);
    contentGrid->setRowStretch(kRowCount + 2, 1);

    auto* portColumn = new QVBoxLayout;
    portColumn->addWidget(new QLabel(tr("MIDI IN Port"), this));
    m_inputPorts = new QComboBox(this);
    m_inputPorts->setObjectName("inputPorts");
    portColumn->addWidget(m_inputPorts);
    auto* receiveRow = new QHBoxLayout;
    m_receiveProgress = new QProgressBar(this);
    m_receiveProgress->setObjectName("receiveProgress");
    m_receiveProgress->setRange(0, 100);
    m_receiveProgress->setTextVisible(false);
    m_receiveProgress->setMaximumWidth(60);
    keepSpaceWhenHidden(m_receiveProgress);
    m_receive = makeButton(tr("Receive from VARNO"), this);
    m_receive->setObjectName("receiveFromVarno");
    receiveRow->addWidget(m_receiveProgress);
    receiveRow->addWidget(m_receive);
    portColumn->addLayout(receiveRow);

    auto* options = new QGroupBox(tr("Save/Send Options"), this);
    auto* optionsLayout = new QVBoxLayout(options);
    m_selectedBankRadio = new QRadioButton(tr("selected bank"), options);
    m_selectedBankRadio->setObjectName("selectedBank");
    m_allBanksRadio = new QRadioButton(tr("all banks"), options);
    m_allBanksRadio->setObjectName("allBanks");
    auto* scopeGroup = new QButtonGroup(this);
    scopeGroup->addButton(m_selectedBankRadio, 0);
    scopeGroup->addButton(m_allBanksRadio, 1);
    optionsLayout->addWidget(m_selectedBankRadio);
    optionsLayout->addWidget(m_allBanksRadio);
    portColumn->addSpacing(8);
    portColumn->addWidget(options);

    portColumn->addWidget(new QLabel(tr("VARNO Receive Channel"), this));
    m_channels = new QComboBox(this);
    m_channels->setObjectName("channels");
    for (int channel = 1; channel <= 16; ++channel) m_channels->addItem(QString::number(channel));
    portColumn->addWidget(m_channels);
    portColumn->addWidget(new QLabel(tr("MIDI OUT Port"), this));
    m_outputPorts = new QComboBox(this);
    m_outputPorts->setObjectName("outputPorts");
    m_outputPorts->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("no output ports detected")) + 40);
    portColumn->addWidget(m_outputPorts);
    m_send = makeButton(tr("Send to VARNO"), this);
    m_send->setObjectName("sendToVarno");
    portColumn->addWidget(m_send);
    portColumn->addStretch(1);

    auto* listColumn = new QVBoxLayout;
    listColumn->addWidget(m_bankList, 1);
    listColumn->addWidget(m_openFromDisk);
    listColumn->addWidget(m_saveToDisk);

    m_statusText = new QLabel(this);
    m_statusText->setObjectName("statusText");
    m_statusText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_sendProgress = new QProgressBar(this);
    m_sendProgress->setObjectName("sendProgress");
    m_sendProgress->setRange(0, 100);
    keepSpaceWhenHidden(m_sendProgress);

    auto* top = new QHBoxLayout;
    top->addWidget(m_interfaceTestBox);
    top->addStretch(1);
    top->addWidget(m_versionText);
    auto* middle = new QHBoxLayout;
    middle->addLayout(listColumn);
    middle->addWidget(content, 1);
    middle->addLayout(portColumn);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_statusText, 1);
    bottom->addWidget(m_sendProgress, 1);

    auto* root = new QVBoxLayout(this);
    root->addLayout(top);
    root->addLayout(middle, 1);
    root->addLayout(bottom);
    // Fixed size, as large as the contents need, so no caption is clipped.
    root->setSizeConstraint(QLayout::SetFixedSize);

    m_timer = new QTimer(this);
    m_timer->setInterval(kTimerPeriodMs);
    connect(m_timer, &QTimer::timeout, this, &CEditor::progressTick);

    connect(m_bankList, &QListWidget::currentRowChanged, this, &CEditor::refreshBankView);
    connect(m_openFromDisk, &QPushButton::clicked, this, &CEditor::openFromDisk);
    connect(m_saveToDisk, &QPushButton::clicked, this, &CEditor::saveToDisk);
    connect(m_reset, &QPushButton::clicked, this, &CEditor::resetToDefault);
    connect(m_receive, &QPushButton::clicked, this, &CEditor::receiveFromDevice);
    connect(m_send, &QPushButton::clicked, this, &CEditor::sendToDevice);
    connect(m_interfaceTestBox, &QCheckBox::clicked, this, &CEditor::interfaceTest);
    connect(this, &CEditor::workerStatus, this, &CEditor::setStatus, Qt::QueuedConnection);
    connect(this, &CEditor::workerFinished, this, &CEditor::finishSend, Qt::QueuedConnection);

    // The about box lives in the context menu and on F1.
    auto* about = new QAction(tr("&About VARNO414Editor..."), this);
    about->setShortcut(QKeySequence::HelpContents);
    connect(about, &QAction::triggered, this, &CEditor::showAbout);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void CEditor::initWindow()
{
    m_selectedBankRadio->setChecked(m_sendScope == 0);
    m_allBanksRadio->setChecked(m_sendScope == 1);
    m_interfaceTestBox->setChecked(m_interfaceTest != 0);
    setWindowIcon(m_icon);
    m_versionText->setText(kVersionText);
    setStatus(QString());
    m_sendProgress->hide();
    m_receiveProgress->hide();
    fillPortLists();
    m_send->setEnabled(m_outputPortCount != 0);
    m_inputPorts->setCurrentIndex(0);
    m_channels->setCurrentIndex(0);
    m_outputPorts->setCurrentIndex(0);
    m_inputPorts->setEnabled(false);
    for (QPushButton* play : m_rowPlay) play->setEnabled(false);
    fillBankList();
    reselect(kInitialBank);
}

void CEditor::fillBankList()
{
    const QSignalBlocker blocker(m_bankList);
    m_bankList->clear();
    for (int index = 0; index < m_bankCount; ++index) m_bankList->addItem(fromName(bank(index).getName()));
}

void CEditor::fillPortLists()
{
    const std::vector<std::string> inputs = m_system ? m_system->inputPortNames() : std::vector<std::string>{};
    const std::vector<std::string> outputs = m_system ? m_system->outputPortNames() : std::vector<std::string>{};
    m_inputPorts->clear();
    for (const std::string& name : inputs) m_inputPorts->addItem(fromStd(name));
    if (inputs.empty()) m_inputPorts->addItem(tr("no input ports detected"));
    m_outputPorts->clear();
    for (const std::string& name : outputs) m_outputPorts->addItem(fromStd(name));
    if (outputs.empty()) m_outputPorts->addItem(tr("no output ports detected"));
    m_outputPortCount = static_cast<int>(outputs.size());
}

void CEditor::reselect(int sel)
{
    {
        const QSignalBlocker blocker(m_bankList);
        m_bankList->setCurrentRow(sel);
    }
    m_bankList->setFocus();
    refreshBankView();
}

int CEditor::selectedBank() const
{
    const int row = m_bankList->currentRow();
    return row >= 0 && row < m_bankCount ? row : kInitialBank;
}

int CEditor::slotOfControl(const QWidget* control) const
{
    for (int row = 0; row < kRowCount; ++row) {
        if (control == m_rowLabels[row] || control == m_rowNames[row] || control == m_rowOpen[row] ||
            control == m_rowPlay[row])
            return contentOfRow(row);
    }
    return -1;
}

void CEditor::refreshBankView()
{
    const int sel = selectedBank();
    const IBank& current = bank(sel);
    const int count = current.getContentCount();
    const bool editable = sel >= m_firstEditableBank;

    m_bankName->setText(fromName(current.getName()));
    m_bankName->setEnabled(editable);
    for (int row = 0; row < kRowCount; ++row) {
        const auto content = static_cast<std::uint16_t>(contentOfRow(row));
        if (row < count) {
            m_rowLabels[row]->setText(fromStd(current.getContentLabel(content)));
            m_rowNames[row]->setText(fromName(current.getContentName(content)));
            m_rowNames[row]->setEnabled(editable);
            m_rowOpen[row]->setEnabled(editable);
            m_rowLabels[row]->show();
            m_rowNames[row]->show();
            m_rowOpen[row]->show();
        } else {
            m_rowLabels[row]->hide();
            m_rowNames[row]->hide();
            m_rowOpen[row]->hide();
            m_rowPlay[row]->hide();
        }
    }
    m_receive->setEnabled(false);
    m_reset->setEnabled(editable);
    m_saveToDisk->setEnabled(editable);
    m_openFromDisk->setEnabled(editable);
}

bool CEditor::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        for (QLineEdit* field : m_rowNames) {
            if (watched == field) m_focusedName = field;
        }
    } else if (event->type() == QEvent::FocusOut) {
        if (watched == m_bankName)
            commitBankName();
        else if (m_focusedName != nullptr && watched == m_focusedName)
            commitFocusedName();
    }
    return QDialog::eventFilter(watched, event);
}

void CEditor::commitBankName()
{
    const int sel = selectedBank();
    bank(sel).setName(toName(m_bankName->text()));
    fillBankList();
    const QSignalBlocker blocker(m_bankList);
    m_bankList->setCurrentRow(sel);
}

void CEditor::commitFocusedName()
{
    const int content = slotOfControl(m_focusedName);
    const int sel = selectedBank();
    if (content >= 0) bank(sel).setContentName(static_cast<std::uint16_t>(content), toName(m_focusedName->text()));
    m_focusedName = nullptr;
}

void CEditor::openSlotFile(int row)
{
    if (row < 0 || row >= kRowCount) return;
    const int content = contentOfRow(row);
    const int sel = selectedBank();
    const std::optional<QString> chosen = m_prompt->openFileName(QString());
    if (!chosen) return;
    const std::string path = localPath(*chosen);
    if (const ImportCheck check = checkImport(path); check.refused()) {
        m_prompt->message(IPrompt::Icon::Information, tr("Wrong File Format"),
                          tr("VARNO414Editor supports only pcm (no compression) formats (*.aif or *.wav).") + '\n' +
                              fromStd(check.reason),
                          IPrompt::Buttons::Ok);
        return;
    }
    if (!bank(sel).loadContent(static_cast<std::uint16_t>(content), path)) {
        m_prompt->message(IPrompt::Icon::Warning, kAppName,
                          tr("The file \"%1\" could not be loaded into \"%2\".\nNothing was changed.")
                              .arg(*chosen, fromStd(bank(sel).getContentLabel(static_cast<std::uint16_t>(content)))),
                          IPrompt::Buttons::Ok);
        return;
    }
    fillBankList();
    reselect(sel);
}

void CEditor::resetToDefault()
{
    if (m_state.load() != Idle) {
        m_prompt->message(IPrompt::Icon::Information, tr("Reset to Default"),
                          tr("Don't Reset To Default any bank during sending or receiveing!"), IPrompt::Buttons::Ok);
        return;
    }
    const int sel = selectedBank();
    m_table.banks()[sel] = BankDocument::factoryBank(static_cast<std::uint16_t>(sel));
    fillBankList();
    reselect(sel);
}

void CEditor::playSlot()
{
    m_prompt->message(IPrompt::Icon::Information, QString(), tr("Play Sample is not supported yet!"),
                      IPrompt::Buttons::Ok);
}

bool CEditor::beginSending()
{
    int expected = Idle;
    if (!m_state.compare_exchange_strong(expected, Sending)) return false;
    m_send->setEnabled(false);
    m_interfaceTestBox->setEnabled(false);
    m_sendProgress->setValue(0);
    m_sendProgress->show();
    m_timer->start();
    return true;
}

bool CEditor::beginReceiving()
{
    int expected = Idle;
    if (!m_state.compare_exchange_strong(expected, Receiving)) return false;
    m_receive->setEnabled(false);
    m_interfaceTestBox->setEnabled(false);
    m_receiveProgress->setValue(0);
    m_receiveProgress->show();
    m_timer->start();
    return true;
}

void CEditor::endTransfer()
{
    const int previous = m_state.exchange(Idle);
    if (previous == Sending) {
        m_send->setEnabled(m_outputPortCount != 0);
        m_sendProgress->hide();
    } else if (previous == Receiving) {
        m_receive->setEnabled(true);
        m_receiveProgress->hide();
    } else {
        return;
    }
    m_interfaceTestBox->setEnabled(true);
    m_timer->stop();
}

void CEditor::progressTick()
{
    const int current = m_state.load();
    if (m_midiInterface == nullptr) return;
    if (current == Sending)
        m_sendProgress->setValue(std::min(m_midiInterface->progress(), 100));
    else if (current == Receiving)
        m_receiveProgress->setValue(std::min(m_midiInterface->progress(), 100));
}

void CEditor::setStatus(const QString& text)
{
    m_statusText->setText(text);
    emit statusChanged(text);
}

void CEditor::sendToDevice()
{
    const int sel = selectedBank();
    m_sendScope = m_allBanksRadio->isChecked() ? 1 : 0;

    // Only real device firmware may ever reach the machine's firmware blocks.
    if (m_sendScope == 0 && bank(sel).isFirmwarePlaceholder()) {
        m_prompt->message(IPrompt::Icon::Information, tr("Send to VARNO"),
                          tr("No firmware has been loaded into the firmware bank.\n"
                             "Open a bank file with the device firmware first; nothing was sent."),
                          IPrompt::Buttons::Ok);
        return;
    }
    if (!beginSending()) return;

    // The worker gets copies, so editing, opening or resetting banks while it
    // runs can never change what is on its way to the machine.
    std::vector<std::unique_ptr<IBank>> banks;
    if (m_sendScope == 0) {
        banks.push_back(bank(sel).clone());
    } else {
        const bool skipFirmware = bank(kFirmwareIndex).isFirmwarePlaceholder();
        QString text = tr("The sending of all banks takes over 51 Minutes.\nDo you want to really transmit?");
        if (skipFirmware) text += tr("\nThe firmware bank holds no device firmware and is not sent.");
        bool confirmed = m_prompt->message(IPrompt::Icon::Information, tr("Send All Banks"), text,
                                           IPrompt::Buttons::OkCancel) == IPrompt::Answer::Ok;
        // A bank held twice would be written twice and the bank whose place
        // it took not at all.
        if (const auto duplicates = m_table.duplicates(); confirmed && !duplicates.empty())
            confirmed = m_prompt->message(IPrompt::Icon::Warning, tr("Send All Banks"),
                                          tr("%1.\nIt would be sent more than once.\nDo you want to send all banks "
                                             "anyway?")
                                              .arg(fromStd(describeDuplicates(duplicates))),
                                          IPrompt::Buttons::YesNo) == IPrompt::Answer::Yes;
        if (!confirmed) {
            setStatus(QString());
            endTransfer();
            emit transferEnded();
            return;
        }
        for (const auto& current : m_table.banks()) {
            if (!current->isFirmwarePlaceholder()) banks.push_back(current->clone());
        }
    }

    const int output = m_outputPorts->currentIndex();
    m_midiInterface = std::make_unique<WrapperKtMidiInterface>(-1, output, m_system);
    if (!m_midiInterface->isOpen()) {
        const QString error = fromStd(m_midiInterface->error());
        m_midiInterface.reset();
        endTransfer();
        m_prompt->message(IPrompt::Icon::Warning, tr("Send to VARNO"),
                          tr("The MIDI port \"%1\" could not be opened.\n%2").arg(m_outputPorts->currentText(), error),
                          IPrompt::Buttons::Ok);
        emit transferEnded();
        return;
    }
    const auto channel = static_cast<std::uint16_t>(std::max(0, m_channels->currentIndex()));
    m_worker = std::thread(&CEditor::sendLoop, this, std::move(banks), channel);
}

// Runs on the worker thread: it touches no widget and only reaches the window
// through queued signals.
// The worker owns its clones for the whole send, hence the vector by value.
void CEditor::sendLoop(std::vector<std::unique_ptr<IBank>> banks, // NOLINT(performance-unnecessary-value-param)
                       std::uint16_t channel)
{
    WrapperKtMidiInterface& session = *m_midiInterface;
    QString error;
    for (const auto& current : banks) {
        emit workerStatus(QStringLiteral("sending bank (") + fromName(current->getName()) + QStringLiteral(")..."));
        if (!session.sendBank(*current, channel)) {
            error = fromStd(session.error());
            if (error.isEmpty()) error = tr("The bank \"%1\" could not be sent.").arg(fromName(current->getName()));
            break;
        }
    }
    emit workerStatus(QString());
    emit workerFinished(error);
}

// On the window's thread, after the worker's last signal: the timer stops
// before the session goes, so no tick can read a destroyed session.
void CEditor::finishSend(const QString& error)
{
    if (m_worker.joinable()) m_worker.join();
    endTransfer();
    m_midiInterface.reset();
    if (!error.isEmpty()) m_prompt->message(IPrompt::Icon::Warning, tr("Send to VARNO"), error, IPrompt::Buttons::Ok);
    emit transferEnded();
}

void CEditor::saveToDisk()
{
    const int sel = selectedBank();
    const std::optional<QString> chosen = m_prompt->saveFileName(kMidiFilter, QStringLiteral("mid"));
    if (!chosen) return;
    m_sendScope = m_allBanksRadio->isChecked() ? 1 : 0;
    m_saveToDisk->setEnabled(false);
    const std::string path = localPath(*chosen);
    BankFileResult error;
    const auto save = [&](const SafeWriteOptions& options) {
        return m_sendScope == 0 ? m_table.saveBank(static_cast<std::size_t>(sel), path, error, options)
                                : m_table.save(path, error, options);
    };
    bool saved = save({});
    bool declined = false;
    if (!saved && error.write == SafeWriteError::ReadOnly) {
        declined =
            m_prompt->message(IPrompt::Icon::Question, kAppName,
                              tr("The file \"%1\" is read-only.\nDo you want to replace it anyway?").arg(*chosen),
                              IPrompt::Buttons::YesNo) != IPrompt::Answer::Yes;
        if (!declined) saved = save({.overwriteReadOnly = true});
    }
    m_saveToDisk->setEnabled(true);
    if (!saved && !declined) {
        m_prompt->message(IPrompt::Icon::Warning, kAppName,
                          tr("The file \"%1\" could not be written.\n%2").arg(*chosen, fromStd(error.reason())),
                          IPrompt::Buttons::Ok);
    }
}

void CEditor::openFromDisk()
{
    const int sel = selectedBank();
    const std::optional<QString> chosen = m_prompt->openFileName(kMidiFilter);
    if (!chosen) return;
    const std::string path = localPath(*chosen);

    // The document decides what the file is and where it may go.
    BankFileResult error;
    std::optional<BankDocument> opened = BankDocument::open(path, error);
    switch (opened ? opened->placementAt(static_cast<std::size_t>(sel)) : BankDocument::Placement::Refused) {
    case BankDocument::Placement::Refused:
        m_prompt->message(IPrompt::Icon::Warning, kAppName,
                          tr("This file contains no sound bank(s)\nfor a Orvel VARNO 414!"), IPrompt::Buttons::Ok);
        break;
    case BankDocument::Placement::OtherPosition: {
        const int found = opened->banks().front()->getIndex();
        const QString foundName = found >= 0 && found < m_bankCount ? fromName(bank(found).getName()) : QString();
        const QString text = QStringLiteral("The file contains data for bank: \"") + foundName +
                             QStringLiteral("\".\nDo you want to overwrite bank: \"") + fromName(bank(sel).getName()) +
                             QStringLiteral("\"?");
        if (m_prompt->message(IPrompt::Icon::Question, kAppName, text, IPrompt::Buttons::YesNo) == IPrompt::Answer::Yes)
            m_table.takeFrom(std::move(*opened), static_cast<std::size_t>(sel));
        break;
    }
    case BankDocument::Placement::SamePosition:
    case BankDocument::Placement::WholeTable:
        m_table.takeFrom(std::move(*opened), static_cast<std::size_t>(sel));
        break;
    }
    fillBankList();
    reselect(sel);
}

void CEditor::receiveFromDevice()
{
    if (!beginReceiving()) return;
    // Nothing is received yet; the box stands in for the transfer.
    m_prompt->message(IPrompt::Icon::Information, QString(), tr("Receive from VARNO is not supported yet!"),
                      IPrompt::Buttons::Ok);
    endTransfer();
    emit transferEnded();
}

void CEditor::interfaceTest()
{
    m_prompt->message(IPrompt::Icon::Information, tr("MIDI Interface Test"),
                      tr("Please use the Orvel MIDI Interface Test application!"), IPrompt::Buttons::Ok);
    m_interfaceTest = 0;
    m_interfaceTestBox->setChecked(false);
}

void CEditor::showAbout()
{
    CAboutDlg about(this);
    about.exec();
}

void CEditor::reject()
{
    if (m_state.load() == Idle) QDialog::reject();
}

void CEditor::closeEvent(QCloseEvent* event)
{
    if (m_state.load() != Idle) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CEditor::keyPressEvent(QKeyEvent* event)
{
    // Enter is the dialog's default command, which does nothing here.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
