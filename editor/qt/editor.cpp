#include "editor/qt/editor.h"

#include "audio/slotaudio.h"
#include "audio/wavwriter.h"
#include "editor/qt/aboutdlg.h"
#include "editor/qt/controls.h"
#include "editor/qt/slotplayback.h"
#include "editor/qt/slotrow.h"
#include "midiport/midisystem.h"
#include "midiport/sleepinhibitor.h"
#include "model/firmware.h"
#include "model/slotimport.h"
#include "model/sound.h"
#include "varno_version.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QUndoStack>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#ifndef Q_OS_WIN
#include "editor/qt/dbussleepinhibitor.h"
#endif

namespace {

const QString kAppName = QStringLiteral("VARNO414Editor");
const QString kVersionText = QStringLiteral("Version ") + QString::fromLatin1(kVarnoVersion);
const QString kBankFilter = QStringLiteral("Bank files (*.mid)");
const QString kAudioFilter = QStringLiteral("Audio files (*.wav *.aif *.aiff *.aifc *.flac *.ogg *.mp3)");
const QString kAllFilesFilter = QStringLiteral("All files (*)");
const QString kWavFilter = QStringLiteral("WAV files (*.wav)");
// Said during a send when the computer could not be kept awake.
const QString kMaySleepNote = QStringLiteral(" - computer may sleep");
constexpr int kInitialBank = 4;
constexpr int kTimerPeriodMs = 40;
// Whole-table opens keep 32 banks each; this bounds what the history holds.
constexpr int kUndoLimit = 100;

// What the player calls a slot of a bank.
std::uint64_t playId(int bank, int content)
{
    return static_cast<std::uint64_t>(bank) << 8U | static_cast<std::uint64_t>(content);
}

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

QString tagOf(int index)
{
    return fromStd(bankTag(static_cast<std::uint16_t>(index)));
}

bool isBankFile(const QString& path)
{
    return path.endsWith(QStringLiteral(".mid"), Qt::CaseInsensitive);
}

// The letter after a single '&', upper case; null when there is none.
QChar mnemonicOf(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&')) continue;
        if (text[i + 1] != QLatin1Char('&')) return text[i + 1].toUpper();
        ++i;
    }
    return {};
}

QString tagOf(const IBank& bank)
{
    return fromStd(bankTag(bank.getIndex()));
}

// "1 bank", "20 banks".
QString bankCount(std::size_t count)
{
    return count == 1 ? QObject::tr("1 bank") : QObject::tr("%1 banks").arg(count);
}

// The request that keeps the computer awake: the core's on Windows, the
// desktop's over D-Bus elsewhere.
std::unique_ptr<ISleepInhibitor> desktopSleepInhibitor()
{
#ifdef Q_OS_WIN
    return createPlatformSleepInhibitor();
#else
    return std::make_unique<DBusSleepInhibitor>();
#endif
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

} // namespace

CEditor::CEditor(std::shared_ptr<IMidiSystem> system, std::unique_ptr<IPrompt> prompt,
                 std::shared_ptr<IAudioSystem> audio, QWidget* parent)
    : QDialog(parent), m_system(std::move(system)), m_prompt(std::move(prompt)), m_inhibitor(desktopSleepInhibitor())
{
    m_icon = makeApplicationIcon();
    m_playback = new SlotPlayback(std::move(audio), this);
    connect(m_playback, &SlotPlayback::changed, this, &CEditor::showPlayState);
    connect(m_playback, &SlotPlayback::failed, this, &CEditor::setStatus);
    buildWindow();
    initWindow();
}

CEditor::~CEditor()
{
    // The program never closes the window during a send; a window torn down
    // anyway stops after the message in flight instead of finishing the bank.
    if (m_transfer) m_transfer->requestStop(StopPoint::afterMessage);
    if (m_worker.joinable()) m_worker.join();
}

void CEditor::setSleepInhibitor(std::unique_ptr<ISleepInhibitor> inhibitor)
{
    // A running send holds the one it was given.
    if (!m_transfer) m_inhibitor = std::move(inhibitor);
}

void CEditor::buildWindow()
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    setAcceptDrops(true);

    m_versionText = new QLabel(this);
    m_versionText->setObjectName("versionText");
    m_versionText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_interfaceTestBox = new QCheckBox(tr("MIDI Interface Test"), this);
    m_interfaceTestBox->setObjectName("interfaceTest");
    m_interfaceTestBox->hide();

    // Created in the order the Tab key visits them.
    m_bankList = new QListWidget(this);
    m_bankList->setObjectName("bankList");
    m_bankList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_bankList->setSortingEnabled(false);
    const int markSize = fontMetrics().height() * 2 / 3;
    m_bankList->setIconSize(QSize(markSize, markSize));
    QFont bold = font();
    bold.setBold(true);
    // Wide enough for the factory names; the list grows only in height, and a
    // longer name shows whole in its tooltip.
    m_bankList->setFixedWidth(QFontMetrics(bold).horizontalAdvance(QStringLiteral("FIRMWARE - factory -")) + markSize +
                              fontMetrics().height() * 3);
    m_openFromDisk = makeButton(tr("Open &from Disk"), this);
    m_openFromDisk->setObjectName("openFromDisk");
    m_saveToDisk = makeButton(tr("&Save to Disk"), this);
    m_saveToDisk->setObjectName("saveToDisk");
    m_reset = makeButton(tr("&Reset to Default"), this);
    m_reset->setObjectName("resetToDefault");
    // The list with the commands that act on a whole bank.
    auto* listColumn = new QVBoxLayout;
    listColumn->addWidget(m_bankList, 1);
    listColumn->addWidget(m_openFromDisk);
    listColumn->addWidget(m_saveToDisk);
    listColumn->addWidget(m_reset);

    auto* middle = new QHBoxLayout;
    middle->addLayout(listColumn);
    middle->addWidget(buildBankContent(), 1);
    auto* root = new QVBoxLayout(this);
    root->addLayout(middle, 1);
    root->addLayout(buildSendArea());

    // Rows take their mnemonics from the letters the fixed controls leave.
    for (const QWidget* widget : findChildren<QWidget*>()) {
        QString text;
        if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            text = button->text();
        else if (const auto* label = qobject_cast<const QLabel*>(widget))
            text = label->text();
        if (const QChar letter = mnemonicOf(text); !letter.isNull()) m_takenMnemonics += letter;
    }

    m_timer = new QTimer(this);
    m_timer->setInterval(kTimerPeriodMs);
    connect(m_timer, &QTimer::timeout, this, &CEditor::progressTick);
    m_dropTimer = new QTimer(this);
    m_dropTimer->setSingleShot(true);
    m_dropTimer->setInterval(0);
    connect(m_dropTimer, &QTimer::timeout, this, &CEditor::takeDrop);

    connect(m_bankList, &QListWidget::currentRowChanged, this, &CEditor::refreshBankView);
    connect(m_openFromDisk, &QPushButton::clicked, this, &CEditor::openFromDisk);
    connect(m_saveToDisk, &QPushButton::clicked, this, &CEditor::saveToDisk);
    connect(m_reset, &QPushButton::clicked, this, &CEditor::resetToDefault);
    connect(m_receive, &QPushButton::clicked, this, &CEditor::receiveFromDevice);
    connect(m_send, &QPushButton::clicked, this, &CEditor::sendToDevice);
    connect(m_stop, &QPushButton::clicked, this, [this] { requestStop(StopPoint::afterBank); });
    connect(m_interfaceTestBox, &QCheckBox::clicked, this, &CEditor::interfaceTest);
    connect(this, &CEditor::workerFinished, this, &CEditor::finishSend, Qt::QueuedConnection);

    // Undo and redo, on their keys and in the context menu with the about box.
    m_undo = new QUndoStack(this);
    m_undo->setUndoLimit(kUndoLimit);
    QAction* undo = m_undo->createUndoAction(this, tr("&Undo"));
    undo->setObjectName("undo");
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    QAction* redo = m_undo->createRedoAction(this, tr("&Redo"));
    redo->setObjectName("redo");
    redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    auto* about = new QAction(tr("&About VARNO414Editor..."), this);
    about->setShortcut(QKeySequence::HelpContents);
    connect(about, &QAction::triggered, this, &CEditor::showAbout);
    addActions({undo, redo, separator, about});
    setContextMenuPolicy(Qt::ActionsContextMenu);
    // A sound row has a menu of its own; undo and redo are there too.
    auto* rowSeparator = new QAction(this);
    rowSeparator->setSeparator(true);
    for (SlotRow* row : m_rows) row->addActions({rowSeparator, undo, redo});
}

// The selected bank: its name and one row per content.
QWidget* CEditor::buildBankContent()
{
    auto* content = new QGroupBox(tr("Bank Content"), this);
    QFontMetrics metrics(font());
    int labelWidth = metrics.horizontalAdvance(tr("Bankname"));
    for (const std::string_view label : kSlotLabels)
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(QString::fromLatin1(label.data(), label.size())));
    for (const std::string_view label : kFirmwareLabels)
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(QString::fromLatin1(label.data(), label.size())));
    labelWidth += metrics.averageCharWidth() * 2;

    auto* nameLabel = new QLabel(tr("&Bankname"), content);
    nameLabel->setMinimumWidth(labelWidth);
    m_bankName = makeNameField(content);
    m_bankName->setObjectName("bankName");
    m_bankName->installEventFilter(this);
    nameLabel->setBuddy(m_bankName);
    auto* nameLine = new QHBoxLayout;
    // Lined up with the rows' labels and fields.
    nameLine->setContentsMargins(3, 0, 3, 0);
    nameLine->addWidget(nameLabel);
    nameLine->addWidget(m_bankName, 1);

    auto* column = new QVBoxLayout(content);
    column->setSpacing(2);
    column->addLayout(nameLine);
    column->addSpacing(4);
    for (int row = 0; row < kRowCount; ++row) {
        auto* slotRow = new SlotRow(row, labelWidth, content);
        m_rows[row] = slotRow;
        slotRow->name()->installEventFilter(this);
        connect(slotRow->openButton(), &QPushButton::clicked, this, [this, row] { openSlotFile(row); });
        connect(slotRow->playButton(), &QPushButton::clicked, this, [this, row] { playSlot(row); });
        connect(slotRow->saveAction(), &QAction::triggered, this, [this, row] { saveSampleAs(row); });
        column->addWidget(slotRow);
    }
    nameLine->setSpacing(m_rows.front()->layout()->spacing());
    return content;
}

// Settings of a transfer, then the line that shows it (the button that starts
// or stops it, the status text, the bank's and the whole send's progress),
// then the receive controls. The status text takes every width the others
// leave; the bars' widths are fixed, so they never move when the text changes.
QLayout* CEditor::buildSendArea()
{
    auto* options = new QGroupBox(tr("Save/Send Options"), this);
    m_selectedBankRadio = new QRadioButton(tr("s&elected bank"), options);
    m_selectedBankRadio->setObjectName("selectedBank");
    m_allBanksRadio = new QRadioButton(tr("&all banks"), options);
    m_allBanksRadio->setObjectName("allBanks");
    auto* scopeGroup = new QButtonGroup(this);
    scopeGroup->addButton(m_selectedBankRadio, 0);
    scopeGroup->addButton(m_allBanksRadio, 1);
    auto* optionsLayout = new QHBoxLayout(options);
    optionsLayout->addWidget(m_selectedBankRadio);
    optionsLayout->addWidget(m_allBanksRadio);

    auto* channelLabel = new QLabel(tr("VARNO Receive &Channel"), this);
    m_channels = new QComboBox(this);
    m_channels->setObjectName("channels");
    for (int channel = 1; channel <= 16; ++channel) m_channels->addItem(QString::number(channel));
    channelLabel->setBuddy(m_channels);
    auto* outputLabel = new QLabel(tr("MIDI O&UT Port"), this);
    m_outputPorts = new QComboBox(this);
    m_outputPorts->setObjectName("outputPorts");
    m_outputPorts->setMinimumContentsLength(16);
    m_outputPorts->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    outputLabel->setBuddy(m_outputPorts);

    auto* settings = new QGridLayout;
    settings->addWidget(options, 0, 0, 2, 1);
    settings->addWidget(channelLabel, 0, 1);
    settings->addWidget(m_channels, 1, 1);
    settings->addWidget(outputLabel, 0, 2);
    settings->addWidget(m_outputPorts, 1, 2);
    settings->setColumnStretch(2, 1);

    // Stop takes Send's place, at Send's size, while a send runs.
    m_sendOrStop = new QStackedWidget(this);
    m_send = makeButton(tr("Send to &VARNO"), m_sendOrStop);
    m_send->setObjectName("sendToVarno");
    m_stop = makeButton(tr("Sto&p"), m_sendOrStop);
    m_stop->setObjectName("stopSending");
    m_stop->setToolTip(tr("Finish the bank being sent, then stop"));
    m_sendOrStop->addWidget(m_send);
    m_sendOrStop->addWidget(m_stop);
    m_sendOrStop->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_statusText = new QLabel(this);
    m_statusText->setObjectName("statusText");
    m_statusText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_statusText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // The longest text a send of all banks shows (the opening's), so that none is ever cut.
    TransferProgress opening;
    opening.secondsLeft = 59 * 60 + 59;
    m_statusText->setMinimumWidth(fontMetrics().horizontalAdvance(fromStd(describeProgress(opening)) + kMaySleepNote));
    m_bankProgress = new QProgressBar(this);
    m_bankProgress->setObjectName("bankProgress");
    m_bankProgress->setToolTip(tr("The bank being sent"));
    m_sendProgress = new QProgressBar(this);
    m_sendProgress->setObjectName("sendProgress");
    m_sendProgress->setToolTip(tr("The whole send"));
    const int charWidth = fontMetrics().averageCharWidth();
    for (QProgressBar* bar : {m_bankProgress, m_sendProgress}) {
        bar->setRange(0, 100);
        bar->setFixedWidth(std::max(bar->minimumSizeHint().width(), charWidth * (bar == m_bankProgress ? 12 : 20)));
        QSizePolicy keepPlace = bar->sizePolicy();
        keepPlace.setRetainSizeWhenHidden(true);
        bar->setSizePolicy(keepPlace);
    }
    auto* transfer = new QHBoxLayout;
    transfer->addWidget(m_sendOrStop);
    transfer->addWidget(m_statusText, 1);
    transfer->addWidget(m_bankProgress);
    transfer->addWidget(m_sendProgress);

    auto* inputLabel = new QLabel(tr("MIDI &IN Port"), this);
    m_inputPorts = new QComboBox(this);
    m_inputPorts->setObjectName("inputPorts");
    m_inputPorts->setMinimumContentsLength(16);
    m_inputPorts->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    inputLabel->setBuddy(m_inputPorts);
    m_receiveProgress = new QProgressBar(this);
    m_receiveProgress->setObjectName("receiveProgress");
    m_receiveProgress->setRange(0, 100);
    m_receiveProgress->setTextVisible(false);
    m_receiveProgress->setFixedWidth(fontMetrics().averageCharWidth() * 6);
    m_receiveProgress->setSizePolicy(m_sendProgress->sizePolicy());
    m_receive = makeButton(tr("Receive from VAR&NO"), this);
    m_receive->setObjectName("receiveFromVarno");
    auto* receive = new QHBoxLayout;
    receive->addWidget(inputLabel);
    receive->addWidget(m_inputPorts);
    receive->addWidget(m_receiveProgress);
    receive->addWidget(m_receive);
    receive->addWidget(m_interfaceTestBox);
    receive->addStretch(1);
    receive->addWidget(m_versionText);

    auto* area = new QVBoxLayout;
    area->addLayout(settings);
    area->addLayout(transfer);
    area->addLayout(receive);
    return area;
}

void CEditor::initWindow()
{
    m_selectedBankRadio->setChecked(m_sendScope == 0);
    m_allBanksRadio->setChecked(m_sendScope == 1);
    m_interfaceTestBox->setChecked(m_interfaceTest != 0);
    setWindowIcon(m_icon);
    m_versionText->setText(kVersionText);
    setStatus(QString());
    m_bankProgress->hide();
    m_sendProgress->hide();
    m_receiveProgress->hide();
    fillPortLists();
    m_send->setEnabled(m_outputPortCount != 0);
    m_inputPorts->setCurrentIndex(0);
    m_channels->setCurrentIndex(0);
    m_outputPorts->setCurrentIndex(0);
    m_inputPorts->setEnabled(false);
    fillBankList();
    reselect(kInitialBank);
    m_bankList->setFocus();
    updateTitle();

    // Wide enough for long slot names beside the waveforms, as far as the
    // screen leaves room beside the title bar and the frame.
    if (const QScreen* display = screen()) {
        const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
        const QSize room = display->availableGeometry().size() -
                           QSize(2 * frame, style()->pixelMetric(QStyle::PM_TitleBarHeight) + frame);
        const QSize wanted = sizeHint().expandedTo(QSize(fontMetrics().averageCharWidth() * 156, 0));
        resize(wanted.boundedTo(room).expandedTo(minimumSizeHint()));
    }
}

// Names and changed marks, in index order: list index and bank index agree.
void CEditor::fillBankList()
{
    const QSignalBlocker blocker(m_bankList);
    if (m_bankList->count() != m_bankCount) {
        m_bankList->clear();
        for (int index = 0; index < m_bankCount; ++index) m_bankList->addItem(QString());
    }
    const int markSize = m_bankList->iconSize().height();
    const QIcon changed = changeMark(true, markSize, devicePixelRatioF());
    const QIcon unchanged = changeMark(false, markSize, devicePixelRatioF());
    for (int index = 0; index < m_bankCount; ++index) {
        QListWidgetItem* item = m_bankList->item(index);
        const bool isChanged = isBankChanged(index);
        item->setText(fromName(bank(index).getName()));
        item->setIcon(isChanged ? changed : unchanged);
        QFont itemFont = m_bankList->font();
        itemFont.setBold(isChanged);
        item->setFont(itemFont);
        item->setToolTip(isChanged ? item->text() + tr("\nChanged since it was last saved or opened") : item->text());
    }
}

// "kit.mid - VARNO414Editor", with an asterisk after the file's name while
// any bank is unsaved; "VARNO414Editor" until a bank file is opened or saved.
void CEditor::updateTitle()
{
    // A "[*]" in the file's own name is doubled so that Qt shows it as it is.
    QString file = m_fileName;
    file.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(file.isEmpty() ? kAppName + QStringLiteral("[*]") : file + QStringLiteral("[*] - ") + kAppName);
    setWindowModified(m_table.anyChanged());
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
    refreshBankView();
}

int CEditor::selectedBank() const
{
    const int row = m_bankList->currentRow();
    return row >= 0 && row < m_bankCount ? row : kInitialBank;
}

int CEditor::slotOfControl(const QWidget* control) const
{
    for (const SlotRow* row : m_rows) {
        if (control == row->label() || control == row->name() || control == row->openButton() ||
            control == row->playButton())
            return contentOfRow(row->row());
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
    // Rows 0 and 1 are always filled, also for a bank with fewer contents.
    const int filled = std::max(count, 2);
    QStringList labels;
    for (int row = 0; row < filled; ++row)
        labels << fromStd(current.getContentLabel(static_cast<std::uint16_t>(contentOfRow(row))));
    const QStringList marked = withMnemonics(labels, m_takenMnemonics);
    for (SlotRow* row : m_rows) {
        const auto content = static_cast<std::uint16_t>(contentOfRow(row->row()));
        if (row->row() < filled) {
            row->setLabel(marked[row->row()]);
            row->name()->setText(fromName(current.getContentName(content)));
            row->name()->setEnabled(editable);
            row->openButton()->setEnabled(editable);
            if (const CContent* stored = current.content(content))
                row->showContent(stored->getData(), current.isSampleContent(content));
            row->show();
        } else {
            row->hide();
        }
    }
    showPlayState();
    m_receive->setEnabled(false);
    m_reset->setEnabled(editable);
    m_saveToDisk->setEnabled(editable);
    m_openFromDisk->setEnabled(editable);
}

bool CEditor::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        for (const SlotRow* row : m_rows) {
            if (watched == row->name()) m_focusedName = row->name();
        }
    } else if (event->type() == QEvent::FocusOut) {
        if (watched == m_bankName) {
            commitBankName();
        } else if (m_focusedName != nullptr && watched == m_focusedName) {
            commitFocusedName();
            m_focusedName = nullptr;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CEditor::commitBankName()
{
    const int sel = selectedBank();
    const std::string name = toName(m_bankName->text());
    if (name == bank(sel).getName()) return;
    auto renamed = bank(sel).clone();
    renamed->setName(name);
    recordEdit(tr("Rename %1").arg(tagOf(sel)), m_table.put(static_cast<std::size_t>(sel), std::move(renamed)), sel);
}

void CEditor::commitFocusedName()
{
    const int content = slotOfControl(m_focusedName);
    const int sel = selectedBank();
    if (content < 0) return;
    const auto index = static_cast<std::uint16_t>(content);
    const std::string name = toName(m_focusedName->text());
    if (name == bank(sel).getContentName(index)) return;
    auto renamed = bank(sel).clone();
    renamed->setContentName(index, name);
    recordEdit(tr("Rename %1 of %2").arg(fromStd(bank(sel).getContentLabel(index)), tagOf(sel)),
               m_table.put(static_cast<std::size_t>(sel), std::move(renamed)), sel);
}

// A name being typed belongs to the banks before they are saved, sent or
// left behind.
void CEditor::commitPendingNames()
{
    if (m_bankName->hasFocus()) commitBankName();
    if (m_focusedName != nullptr) commitFocusedName();
}

void CEditor::openSlotFile(int row)
{
    if (row < 0 || row >= kRowCount) return;
    const int sel = selectedBank();
    const auto content = static_cast<std::uint16_t>(contentOfRow(row));
    const bool audio = bank(sel).isSampleContent(content);
    const std::optional<QString> chosen =
        m_prompt->openFileName({tr("Import into %1").arg(fromStd(bank(sel).getContentLabel(content))),
                                audio ? QStringList{kAudioFilter, kAllFilesFilter} : QStringList{kAllFilesFilter},
                                m_audioFolder,
                                {}});
    if (!chosen) return;
    m_audioFolder = QFileInfo(*chosen).absolutePath();
    importFiles(row, {*chosen});
}

// Fills the rows from row on, one a file, as one edit. Every file is judged
// on its own: one that cannot go into its slot is reported and skipped.
void CEditor::importFiles(int row, const QStringList& paths)
{
    commitPendingNames();
    const int sel = selectedBank();
    std::unique_ptr<IBank> edited = bank(sel).clone();
    const int count = edited->getContentCount();
    QStringList imported;
    QStringList told; // what each import did, as the tool tells it
    QString lastLabel;
    for (qsizetype i = 0; i < paths.size() && row + i < count; ++i) {
        const auto content = static_cast<std::uint16_t>(contentOfRow(static_cast<int>(row + i)));
        const QString& chosen = paths[i];
        const std::string path = localPath(chosen);
        const QString label = fromStd(edited->getContentLabel(content));
        const bool audio = edited->isSampleContent(content);
        if (audio) {
            if (const ImportCheck check = checkImport(path); check.refused()) {
                m_prompt->message(IPrompt::Icon::Information, tr("Wrong File Format"),
                                  tr("VARNO414Editor supports only pcm (no compression) formats (*.aif or *.wav).") +
                                      '\n' + fromStd(check.reason),
                                  IPrompt::Buttons::Ok);
                continue;
            }
        }
        const ImportResult result = edited->importContent(content, path, {});
        if (!result.imported()) {
            // The bank decides what a firmware content takes; the window says so.
            const QString text =
                audio ? tr("The file \"%1\" could not be loaded into \"%2\".\nNothing was changed.").arg(chosen, label)
                      : tr("The file \"%1\" is not the VARNO 414's own %2 firmware.\nOnly a file whose first message "
                           "is the machine's %2 firmware message can be loaded into \"%2\"; nothing was changed.")
                            .arg(chosen, label);
            m_prompt->message(IPrompt::Icon::Warning, kAppName, text, IPrompt::Buttons::Ok);
            continue;
        }
        imported << QFileInfo(chosen).fileName();
        if (audio) told << fromStd(describeImport(imported.back().toStdString(), result));
        lastLabel = label;
    }
    if (const qsizetype left = paths.size() - std::clamp<qsizetype>(count - row, 0, paths.size()); left > 0) {
        m_prompt->message(IPrompt::Icon::Information, kAppName,
                          tr("%1 had no more slots below the row the files were dropped on: %2 of the files were "
                             "not imported.")
                              .arg(tagOf(sel))
                              .arg(left),
                          IPrompt::Buttons::Ok);
    }
    if (imported.isEmpty()) return;
    if (!told.isEmpty()) setStatus(told.join(QStringLiteral("; ")));
    const QString text = imported.size() == 1 ? tr("Import %1 into %2").arg(imported.front(), lastLabel)
                                              : tr("Import %1 files into %2").arg(imported.size()).arg(tagOf(sel));
    recordEdit(text, m_table.put(static_cast<std::size_t>(sel), std::move(edited)), sel);
}

void CEditor::resetToDefault()
{
    if (m_state.load() != Idle) {
        m_prompt->message(IPrompt::Icon::Information, tr("Reset to Default"),
                          tr("Don't Reset To Default any bank during sending or receiveing!"), IPrompt::Buttons::Ok);
        return;
    }
    commitPendingNames();
    const int sel = selectedBank();
    if (m_table.isChanged(static_cast<std::size_t>(sel))) {
        const QString question = sel < kSoundBankCount
                                     ? tr("Replace %1 with its factory sounds? Your changes to it are lost.")
                                     : tr("Replace %1 with its factory content? Your changes to it are lost.");
        if (m_prompt->message(IPrompt::Icon::Question, tr("Reset to Default"), question.arg(tagOf(sel)),
                              IPrompt::Buttons::ResetCancel) != IPrompt::Answer::Reset)
            return;
    }
    recordEdit(tr("Reset %1").arg(tagOf(sel)),
               m_table.put(static_cast<std::size_t>(sel), BankDocument::factoryBank(static_cast<std::uint16_t>(sel))),
               sel);
}

// The selected bank's sample slot that a row shows; null for a firmware row.
const CContent* CEditor::sampleOfRow(int row) const
{
    if (row < 0 || row >= kRowCount) return nullptr;
    const auto content = static_cast<std::uint16_t>(contentOfRow(row));
    const IBank& shown = bank(selectedBank());
    return shown.isSampleContent(content) ? shown.content(content) : nullptr;
}

void CEditor::playSlot(int row)
{
    if (const CContent* slot = sampleOfRow(row))
        m_playback->toggle(playId(selectedBank(), contentOfRow(row)), slot->getData());
}

// Play follows the player; what plays stops when another bank is shown,
// whose rows could not stop it.
void CEditor::showPlayState()
{
    const int sel = selectedBank();
    if (const auto before = m_playback->playing(); before && *before >> 8U != static_cast<std::uint64_t>(sel))
        m_playback->stop();
    const auto playing = m_playback->playing();
    for (SlotRow* row : m_rows) {
        const int content = contentOfRow(row->row());
        const CContent* slot = bank(sel).content(static_cast<std::uint16_t>(content));
        const bool sounds = slot != nullptr && audio::usedLength(slot->getData()) > 0;
        const bool thisPlays = playing == playId(sel, content);
        row->showPlayState(m_playback->available() && (sounds || thisPlays), thisPlays,
                           m_playback->available() ? tr("The slot holds only silence.")
                                                   : m_playback->unavailableReason());
    }
}

// The slot as the machine holds it, as `varno414 export` writes it.
void CEditor::saveSampleAs(int row)
{
    const CContent* slot = sampleOfRow(row);
    if (slot == nullptr) return;
    const int sel = selectedBank();
    const QString label = fromStd(bank(sel).getContentLabel(static_cast<std::uint16_t>(contentOfRow(row))));
    const QString suggested = tagOf(sel) + QLatin1Char(' ') + label + QStringLiteral(".wav");
    const std::optional<QString> chosen = m_prompt->saveFileName(
        {tr("Save %1 of %2 As").arg(label, tagOf(sel)),
         {kWavFilter},
         m_audioFolder.isEmpty() ? suggested : m_audioFolder + QLatin1Char('/') + suggested,
         QStringLiteral("wav")});
    if (!chosen) return;
    m_audioFolder = QFileInfo(*chosen).absolutePath();
    const std::vector<std::uint8_t> image = audio::wavImage(slot->getData());
    if (writeChosenFile(*m_prompt, kAppName, *chosen, [&](const SafeWriteOptions& options) {
            const SafeWriteResult written = SafeFileWriter::write(localPath(*chosen), image, options);
            return WriteAttempt{written.ok(), written.kind, fromStd(written.message())};
        }))
        setStatus(tr("%1 of %2 saved as %3").arg(label, tagOf(sel), QFileInfo(*chosen).fileName()));
}

// Every edit is made first, then recorded with the banks it replaced.
void CEditor::recordEdit(const QString& text, std::vector<StoredBank> replaced, int position)
{
    if (replaced.empty()) return;
    m_undo->push(new BankEdit(text, m_table, std::move(replaced), position, [this](int shown) { showEdited(shown); }));
    showEdited(position);
}

void CEditor::showEdited(int position)
{
    fillBankList();
    reselect(position >= 0 ? position : selectedBank());
    updateTitle();
}

bool CEditor::beginSending()
{
    int expected = Idle;
    if (!m_state.compare_exchange_strong(expected, Sending)) return false;
    const bool focused = m_send->hasFocus();
    m_stop->setEnabled(true);
    m_sendOrStop->setCurrentWidget(m_stop);
    if (focused) m_stop->setFocus();
    m_send->setEnabled(false);
    m_interfaceTestBox->setEnabled(false);
    for (QProgressBar* bar : {m_bankProgress, m_sendProgress}) {
        bar->setValue(0);
        bar->show();
    }
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
        const bool focused = m_stop->hasFocus();
        m_send->setEnabled(m_outputPortCount != 0);
        m_sendOrStop->setCurrentWidget(m_send);
        if (focused) m_send->setFocus();
        m_bankProgress->hide();
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

// Both bars and the status follow the core's one estimate of the send.
void CEditor::progressTick()
{
    if (m_state.load() != Sending || !m_transfer) return;
    const TransferProgress progress = m_transfer->progress();
    m_sendProgress->setValue(progress.percent);
    m_bankProgress->setValue(progress.bankPercent);
    if (progress.bankCount > 0)
        m_bankProgress->setFormat(tagOf(m_transfer->bank(progress.bank)) + QStringLiteral(" %p%"));
    setStatus(transferText(progress));
}

// "Bank 8 of 31 - 37:12 left", or what a stop is waiting for.
QString CEditor::transferText(const TransferProgress& progress) const
{
    QString text;
    if (progress.stopping == StopPoint::none) {
        text = fromStd(describeProgress(progress));
    } else if (const auto bank = m_watch.inFlight(); bank && progress.stopping == StopPoint::afterBank) {
        text = tr("Stopping after %1...").arg(tagOf(m_transfer->bank(*bank)));
    } else {
        text = tr("Stopping...");
    }
    if (progress.maySleep) text += kMaySleepNote;
    return text;
}

void CEditor::setStatus(const QString& text)
{
    if (text == m_statusText->text()) return;
    m_statusText->setText(text);
    m_statusText->setToolTip(text.endsWith(kMaySleepNote)
                                 ? tr("The computer could not be asked to stay awake and may go to sleep during the "
                                      "send.")
                                 : text);
    emit statusChanged(text);
}

std::uint16_t CEditor::sendChannel() const
{
    return static_cast<std::uint16_t>(std::max(0, m_channels->currentIndex()));
}

void CEditor::requestStop(StopPoint point)
{
    if (!m_transfer || point == StopPoint::none) return;
    m_transfer->requestStop(point);
    m_stop->setEnabled(false);
    progressTick();
}

void CEditor::sendToDevice()
{
    commitPendingNames();
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

    SendList list;
    if (m_sendScope == 0) {
        list.positions.push_back(static_cast<std::size_t>(sel));
        list.banks.push_back(bank(sel).clone());
    } else {
        list = chooseAllBanks();
    }
    if (list.banks.empty()) {
        setStatus(QString());
        endTransfer();
        emit transferEnded();
        return;
    }
    startSend(std::move(list));
}

// The send gets copies, so editing, opening or resetting banks while it runs
// can never change what is on its way to the machine. The firmware
// placeholder is never among them.
CEditor::SendList CEditor::sendListFrom(std::size_t first)
{
    SendList list;
    const auto& banks = m_table.document().banks();
    for (std::size_t position = first; position < banks.size(); ++position) {
        if (banks[position]->isFirmwarePlaceholder()) continue;
        list.positions.push_back(position);
        list.banks.push_back(banks[position]->clone());
    }
    return list;
}

// All banks, or what the last send of all banks left unsent when it ended
// part-way and the user takes up the offer; an empty list when declined.
CEditor::SendList CEditor::chooseAllBanks()
{
    const QString firmwareNote = bank(kFirmwareIndex).isFirmwarePlaceholder()
                                     ? tr("\nThe firmware bank holds no device firmware and is not sent.")
                                     : QString();
    // An offer that would send every bank anyway is none.
    if (SendList rest = m_resumeAt ? sendListFrom(*m_resumeAt) : SendList{};
        !rest.banks.empty() && rest.positions.front() > 0) {
        const PortPacing pacing = m_system ? m_system->outputPacing() : PortPacing{};
        const std::uint64_t seconds = (BankTransfer::plannedMs(pacing, rest.banks, sendChannel()) + 999) / 1000;
        const auto minutes = std::max<std::uint64_t>(1, (seconds + 30) / 60);
        const QString tag = tagOf(*rest.banks.front());
        const QString text =
            tr("The last send of all banks ended before %1 was sent completely.\nResume from %1? %2, about %3\n\n"
               "Yes sends %1 and the banks after it; No sends all banks.")
                .arg(tag, bankCount(rest.banks.size()), minutes == 1 ? tr("1 minute") : tr("%1 minutes").arg(minutes)) +
            firmwareNote;
        switch (m_prompt->message(IPrompt::Icon::Question, tr("Send All Banks"), text, IPrompt::Buttons::YesNoCancel)) {
        case IPrompt::Answer::Yes:
            return confirmDuplicates() ? std::move(rest) : SendList{};
        case IPrompt::Answer::No:
            break;
        default:
            return {};
        }
    }
    const QString text =
        tr("The sending of all banks takes over 51 Minutes.\nDo you want to really transmit?") + firmwareNote;
    if (m_prompt->message(IPrompt::Icon::Information, tr("Send All Banks"), text, IPrompt::Buttons::OkCancel) !=
            IPrompt::Answer::Ok ||
        !confirmDuplicates())
        return {};
    return sendListFrom(0);
}

// A bank held twice would be written twice and the bank whose place it took
// not at all.
bool CEditor::confirmDuplicates()
{
    const auto duplicates = m_table.document().duplicates();
    return duplicates.empty() ||
           m_prompt->message(IPrompt::Icon::Warning, tr("Send All Banks"),
                             tr("%1.\nIt would be sent more than once.\nDo you want to send all banks anyway?")
                                 .arg(fromStd(describeDuplicates(duplicates))),
                             IPrompt::Buttons::YesNo) == IPrompt::Answer::Yes;
}

void CEditor::startSend(SendList list)
{
    m_sentPositions = std::move(list.positions);
    m_sendingAll = m_sendScope == 1;
    m_sendPort = m_outputPorts->currentText();
    m_closeWhenSent = false;
    m_result.reset();
    m_watch.reset();
    m_transfer = std::make_unique<BankTransfer>(m_system, m_outputPorts->currentIndex(), sendChannel(),
                                                std::move(list.banks), m_inhibitor.get());
    progressTick();
    // The port opens, and waits out its pauses, on the worker: the window
    // never waits for the machine. The worker touches no widget.
    m_worker = std::thread([this] {
        m_result = m_transfer->run(&m_watch);
        emit workerFinished();
    });
}

// On the window's thread, after the worker's last signal: the timer stops
// before the transfer goes, so no tick can read a destroyed one.
void CEditor::finishSend()
{
    if (m_worker.joinable()) m_worker.join();
    if (!m_transfer || !m_result) return;
    const TransferResult result = *m_result;
    endTransfer();
    if (m_sendingAll) {
        const auto resume = m_transfer->resumePoint(result);
        if (resume)
            m_resumeAt = m_sentPositions[resume->position];
        else
            m_resumeAt.reset();
    }
    reportSend(result);
    m_transfer.reset();
    emit transferEnded();
    if (std::exchange(m_closeWhenSent, false)) close();
}

// A completed send leaves the status empty; a stop says what was sent; a
// failure, and any bank left erased or half written, is told in a box.
void CEditor::reportSend(const TransferResult& result)
{
    if (result.outcome == TransferOutcome::completed) {
        setStatus(QString());
        return;
    }
    const std::size_t count = m_transfer->bankCount();
    const QString sent = tr("%1 of %2 sent").arg(result.banksSent).arg(bankCount(count));
    const bool portFailed = result.banksSent == 0 && !result.incomplete &&
                            (result.error == SendError::portNotOpen || result.error == SendError::noOutputPort ||
                             result.error == SendError::noMidiService);
    if (portFailed) {
        setStatus(QString());
        m_prompt->message(IPrompt::Icon::Warning, tr("Send to VARNO"),
                          tr("The MIDI port \"%1\" could not be opened.\n%2").arg(m_sendPort, fromStd(result.message)),
                          IPrompt::Buttons::Ok);
        return;
    }
    if (result.outcome == TransferOutcome::stopped)
        setStatus(result.banksSent > 0
                      ? tr("Stopped after %1: %2.").arg(tagOf(m_transfer->bank(result.banksSent - 1)), sent)
                      : tr("Stopped: %1.").arg(sent));
    else
        setStatus(tr("Failed at %1: %2.").arg(tagOf(m_transfer->bank(result.resumeFrom.value_or(0))), sent));
    if (result.outcome == TransferOutcome::stopped && !result.incomplete) return;

    QString text = fromStd(result.message);
    if (result.outcome == TransferOutcome::stopped) text = tr("The send was stopped.");
    if (text.isEmpty()) text = tr("The send failed.");
    text += QLatin1Char('\n') + sent + QLatin1Char('.');
    if (result.incomplete)
        text += tr("\n%1 may be left erased or half written on the machine: send it again.")
                    .arg(tagOf(m_transfer->bank(*result.incomplete)));
    if (m_sendingAll && m_resumeAt && *m_resumeAt > 0)
        text += tr("\nSend all banks again to resume from %1.").arg(tagOf(bank(static_cast<int>(*m_resumeAt))));
    m_prompt->message(IPrompt::Icon::Warning, tr("Send to VARNO"), text, IPrompt::Buttons::Ok);
}

void CEditor::saveToDisk()
{
    saveBanks();
}

// The normal save, with its dialog; true when the file was written.
bool CEditor::saveBanks(bool wholeTable)
{
    commitPendingNames();
    const int sel = selectedBank();
    m_sendScope = wholeTable || m_allBanksRadio->isChecked() ? 1 : 0;
    const std::optional<QString> chosen =
        m_prompt->saveFileName({m_sendScope == 0 ? tr("Save %1 to Disk").arg(tagOf(sel)) : tr("Save All Banks to Disk"),
                                {kBankFilter},
                                m_bankFolder,
                                QStringLiteral("mid")});
    if (!chosen) return false;
    m_bankFolder = QFileInfo(*chosen).absolutePath();
    m_saveToDisk->setEnabled(false);
    const std::string path = localPath(*chosen);
    BankDocument& table = m_table.document();
    const bool saved = writeChosenFile(*m_prompt, kAppName, *chosen, [&](const SafeWriteOptions& options) {
        BankFileResult error;
        const bool written = m_sendScope == 0 ? table.saveBank(static_cast<std::size_t>(sel), path, error, options)
                                              : table.save(path, error, options);
        return WriteAttempt{written, error.write, fromStd(error.reason())};
    });
    m_saveToDisk->setEnabled(true);
    if (!saved) return false;
    if (m_sendScope == 0)
        m_table.markSaved(static_cast<std::size_t>(sel));
    else
        m_table.markAllSaved();
    m_fileName = QFileInfo(*chosen).fileName();
    fillBankList();
    updateTitle();
    return true;
}

void CEditor::openGivenFile(const QString& path)
{
    // The bank the file holds is selected first, so that it lands in its own
    // place without a question.
    BankFileResult error;
    const std::optional<BankDocument> opened = BankDocument::open(localPath(path), error);
    if (opened && opened->banks().size() == 1) reselect(opened->banks().front()->getIndex());
    openBankFile(path);
}

void CEditor::openFromDisk()
{
    const std::optional<QString> chosen =
        m_prompt->openFileName({tr("Open Bank File"), {kBankFilter}, m_bankFolder, {}});
    if (!chosen) return;
    m_bankFolder = QFileInfo(*chosen).absolutePath();
    openBankFile(*chosen);
    m_bankList->setFocus();
}

void CEditor::openBankFile(const QString& chosen)
{
    commitPendingNames();
    const int sel = selectedBank();
    const auto position = static_cast<std::size_t>(sel);

    // The document decides what the file is and where it may go.
    BankFileResult error;
    std::optional<BankDocument> opened = BankDocument::open(localPath(chosen), error);
    const auto placement = opened ? opened->placementAt(position) : BankDocument::Placement::Refused;
    if (placement == BankDocument::Placement::Refused) {
        m_prompt->message(IPrompt::Icon::Warning, kAppName,
                          tr("This file contains no sound bank(s)\nfor a Orvel VARNO 414!"), IPrompt::Buttons::Ok);
        return;
    }
    if (placement == BankDocument::Placement::OtherPosition) {
        // The bank as the file names it: the editor's name for its position
        // may say nothing about what the file holds.
        const QString text = QStringLiteral("The file contains data for bank: \"") +
                             fromName(opened->banks().front()->getName()) +
                             QStringLiteral("\".\nDo you want to overwrite bank: \"") + fromName(bank(sel).getName()) +
                             QStringLiteral("\"?");
        if (m_prompt->message(IPrompt::Icon::Question, kAppName, text, IPrompt::Buttons::YesNo) != IPrompt::Answer::Yes)
            return;
    }
    std::vector<StoredBank> replaced = m_table.takeFrom(std::move(*opened), position);
    // What now equals the file counts as saved; a bank renumbered to this
    // position is held by no file yet.
    if (placement == BankDocument::Placement::WholeTable)
        m_table.markAllSaved();
    else if (placement == BankDocument::Placement::SamePosition)
        m_table.markSaved(position);
    m_fileName = QFileInfo(chosen).fileName();
    recordEdit(tr("Open %1").arg(m_fileName), std::move(replaced),
               placement == BankDocument::Placement::WholeTable ? -1 : sel);
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
    if (mayClose()) QDialog::reject();
}

bool CEditor::mayClose()
{
    if (m_state.load() != Idle) return closeDuringTransfer();
    commitPendingNames();
    while (m_table.anyChanged()) {
        switch (m_prompt->message(IPrompt::Icon::Question, kAppName, tr("Save changes to the banks before closing?"),
                                  IPrompt::Buttons::SaveDiscardCancel)) {
        case IPrompt::Answer::Save: {
            // Saving only the selected bank would leave other changed banks
            // unsaved, and the question could never be answered with Save.
            bool othersChanged = false;
            for (std::size_t i = 0; i < m_table.document().banks().size(); ++i)
                othersChanged = othersChanged || (m_table.isChanged(i) && static_cast<int>(i) != selectedBank());
            if (!saveBanks(othersChanged)) return false;
            break;
        }
        case IPrompt::Answer::Discard:
            return true;
        default:
            return false;
        }
    }
    return true;
}

// What closing does while a transfer runs, in this one place. A send ends
// only at a safe point: the window offers to stop after the bank in flight
// and closes once the send has ended. Receiving cannot be stopped.
bool CEditor::closeDuringTransfer()
{
    if (!m_transfer) return false;
    if (m_transfer->stopRequested() == StopPoint::none) {
        const auto inFlight = m_watch.inFlight();
        const QString current = inFlight ? tagOf(m_transfer->bank(*inFlight)) : tr("the bank being sent");
        if (m_prompt->message(IPrompt::Icon::Question, kAppName,
                              tr("Banks are being sent to the VARNO.\nStop after %1 and close the window when it "
                                 "has been sent?")
                                  .arg(current),
                              IPrompt::Buttons::YesNo) != IPrompt::Answer::Yes)
            return false;
        // The send may have ended while the question was open.
        if (!m_transfer) return mayClose();
        requestStop(StopPoint::afterBank);
    }
    m_closeWhenSent = true;
    return false;
}

void CEditor::keyPressEvent(QKeyEvent* event)
{
    // Enter is the dialog's default command, which does nothing here; Escape
    // never ends a transfer (the close box asks).
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
        (event->key() == Qt::Key_Escape && m_state.load() != Idle)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// One bank file opens anywhere on the window; audio files fill the rows from
// the one under the pointer down.
CEditor::DropTarget CEditor::dropTarget(const QMimeData* mime, const QPoint& position) const
{
    DropTarget target;
    if (mime == nullptr || !mime->hasUrls()) return target;
    QStringList paths;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile()) return target;
        paths << url.toLocalFile();
    }
    const auto bankFiles = std::count_if(paths.cbegin(), paths.cend(), isBankFile);
    if (bankFiles > 0) {
        if (paths.size() == 1) target = {DropTarget::Kind::BankFile, -1, 0, paths};
        return target;
    }
    target = {DropTarget::Kind::Slots, -1, 0, paths};
    const int sel = selectedBank();
    if (sel < m_firstEditableBank) return target;
    for (const QWidget* widget = childAt(position); widget != nullptr; widget = widget->parentWidget()) {
        if (const auto* row = qobject_cast<const SlotRow*>(widget)) {
            target.firstRow = row->row();
            target.rowCount =
                static_cast<int>(std::min<qsizetype>(paths.size(), bank(sel).getContentCount() - row->row()));
            break;
        }
    }
    return target;
}

void CEditor::showDropTarget(const DropTarget& target)
{
    for (SlotRow* row : m_rows)
        row->setHighlighted(target.kind == DropTarget::Kind::Slots && row->row() >= target.firstRow &&
                            row->row() < target.firstRow + target.rowCount);
    setDropHighlight(m_bankList, target.kind == DropTarget::Kind::BankFile);
}

void CEditor::dragEnterEvent(QDragEnterEvent* event)
{
    const DropTarget target = dropTarget(event->mimeData(), event->position().toPoint());
    if (target.kind == DropTarget::Kind::None) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    showDropTarget(target);
}

void CEditor::dragMoveEvent(QDragMoveEvent* event)
{
    const DropTarget target = dropTarget(event->mimeData(), event->position().toPoint());
    showDropTarget(target);
    if (target.kind == DropTarget::Kind::BankFile || target.rowCount > 0)
        event->acceptProposedAction();
    else
        event->ignore();
}

void CEditor::dragLeaveEvent(QDragLeaveEvent* event)
{
    showDropTarget({});
    QDialog::dragLeaveEvent(event);
}

void CEditor::dropEvent(QDropEvent* event)
{
    const DropTarget target = dropTarget(event->mimeData(), event->position().toPoint());
    showDropTarget({});
    if (target.kind != DropTarget::Kind::BankFile && target.rowCount == 0) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Questions and messages wait until the drag has ended: the program the
    // files came from stays blocked while a drop is handled.
    m_pendingDrop = target;
    m_dropTimer->start();
}

void CEditor::takeDrop()
{
    const DropTarget target = std::exchange(m_pendingDrop, {});
    if (target.kind == DropTarget::Kind::BankFile) {
        m_bankFolder = QFileInfo(target.paths.front()).absolutePath();
        openBankFile(target.paths.front());
    } else if (target.rowCount > 0) {
        m_audioFolder = QFileInfo(target.paths.front()).absolutePath();
        importFiles(target.firstRow, target.paths);
    }
}
