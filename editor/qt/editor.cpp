#include "editor/qt/editor.h"

#include "editor/qt/aboutdlg.h"
#include "editor/importdraft.h"
#include "editor/qt/controls.h"
#include "editor/qt/importdialog.h"
#include "editor/qt/menus.h"
#include "editor/qt/qtprompt.h"
#include "editor/qt/slotrow.h"
#include "midiport/banktransfer.h"
#include "model/firmware.h"
#include "model/sound.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace {

QString fromUtf8(const std::string& text)
{
    return QString::fromStdString(text);
}

// The letter after a single '&', upper case; 0 when there is none.
char mnemonicOf(const QString& text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&')) continue;
        if (text[i + 1] != QLatin1Char('&')) return text[i + 1].toUpper().toLatin1();
        ++i;
    }
    return 0;
}

} // namespace

CEditor::CEditor(SessionServices services, QWidget* parent) : QDialog(parent)
{
    buildWindow();
    if (!services.prompt) services.prompt = std::make_unique<QtPrompt>(this);
    m_session = std::make_unique<CEditorSession>(std::move(services), *this);
    connectInputs();
    changed(ViewPart::all);
    m_bankList->setFocus();
    sizeToScreen();
    m_ticker->start();
}

CEditor::~CEditor()
{
    // The widgets go after the session, and their last signals (a focus
    // leaving a field) must not reach it.
    m_ticker->stop();
    QObject::disconnect(qApp, nullptr, this, nullptr);
    for (const QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
    // The session may still draw while it stops a send; m_session is null then.
    m_session.reset();
}

void CEditor::buildWindow()
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    setAcceptDrops(true);
    setWindowIcon(makeApplicationIcon());

    m_versionText = new QLabel(this);
    m_versionText->setObjectName("versionText");
    m_versionText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    // Created in the order the Tab key visits them.
    m_bankList = new QListWidget(this);
    m_bankList->setObjectName("bankList");
    // Several banks can be chosen for "selected bank"; the current one is shown.
    m_bankList->setSelectionMode(QAbstractItemView::ExtendedSelection);
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
    m_menus = new EditorMenus(this, [this](Command command) { runCommand(command); });
    root->setMenuBar(m_menus->menuBar());
    root->addLayout(middle, 1);
    root->addLayout(buildSendArea());

    // Rows take their mnemonics from the letters the fixed controls leave.
    // The menus' letters cannot be left out as well: with these texts there
    // are not enough letters for every control, every row and every menu.
    for (const QWidget* widget : findChildren<QWidget*>()) {
        QString text;
        if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            text = button->text();
        else if (const auto* label = qobject_cast<const QLabel*>(widget))
            text = label->text();
        if (const char letter = mnemonicOf(text); letter != 0) m_takenMnemonics += letter;
    }

    m_ticker = new QTimer(this);
    m_ticker->setInterval(CEditorSession::kTickMs);
    m_dropTimer = new QTimer(this);
    m_dropTimer->setSingleShot(true);
    m_dropTimer->setInterval(0);
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
    for (int row = 0; row < CEditorSession::kRowCount; ++row) {
        m_rows[row] = new SlotRow(row, labelWidth, content);
        column->addWidget(m_rows[row]);
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
    m_changesRadio = new QRadioButton(tr("chan&ges only"), options);
    m_changesRadio->setObjectName("changesOnly");
    scopeGroup->addButton(m_changesRadio, 2);
    connect(scopeGroup, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) m_session->setSendScope(id == 2 ? SendScope::changes : id == 1 ? SendScope::all : SendScope::selected);
    });
    auto* optionsLayout = new QHBoxLayout(options);
    optionsLayout->addWidget(m_selectedBankRadio);
    optionsLayout->addWidget(m_allBanksRadio);
    optionsLayout->addWidget(m_changesRadio);

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
    m_sendOrStop->addWidget(m_send);
    m_sendOrStop->addWidget(m_stop);
    m_sendOrStop->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_statusText = new QLabel(this);
    m_statusText->setObjectName("statusText");
    m_statusText->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_statusText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // The longest text a send of all banks shows (the opening's, where the
    // computer could not be kept awake), so that none is ever cut.
    TransferProgress opening;
    opening.secondsLeft = 59 * 60 + 59;
    m_statusText->setMinimumWidth(
        fontMetrics().horizontalAdvance(fromUtf8(describeProgress(opening)) + QStringLiteral(" - computer may sleep")));
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
        bar->hide();
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
    m_receiveProgress->hide();
    m_receive = makeButton(tr("Receive from VAR&NO"), this);
    m_receive->setObjectName("receiveFromVarno");
    auto* receive = new QHBoxLayout;
    receive->addWidget(inputLabel);
    receive->addWidget(m_inputPorts);
    receive->addWidget(m_receiveProgress);
    receive->addWidget(m_receive);
    receive->addStretch(1);
    receive->addWidget(m_versionText);

    auto* area = new QVBoxLayout;
    area->addLayout(settings);
    area->addLayout(transfer);
    area->addLayout(receive);
    return area;
}

void CEditor::connectInputs()
{
    connect(m_ticker, &QTimer::timeout, this, [this] { m_session->tick(); });
    connect(m_dropTimer, &QTimer::timeout, this, [this] {
        commitFocusedName();
        m_session->drop(std::exchange(m_pendingDropPaths, {}), m_pendingDropRow);
    });
    connect(m_bankList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) m_session->selectBank(row);
    });
    connect(m_openFromDisk, &QPushButton::clicked, this, [this] { runCommand(Command::open); });
    connect(m_saveToDisk, &QPushButton::clicked, this, [this] { runCommand(Command::save); });
    connect(m_reset, &QPushButton::clicked, this, [this] { runCommand(Command::reset); });
    connect(m_receive, &QPushButton::clicked, this, [this] { runCommand(Command::receive); });
    connect(m_send, &QPushButton::clicked, this, [this] { runCommand(Command::send); });
    connect(m_stop, &QPushButton::clicked, this, [this] { runCommand(Command::stop); });
    connect(m_bankList, &QListWidget::itemSelectionChanged, this, [this] {
        std::vector<int> banks;
        for (const QModelIndex& index : m_bankList->selectionModel()->selectedRows()) banks.push_back(index.row());
        m_session->setSelectedBanks(std::move(banks));
    });
    connect(m_channels, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) m_session->selectChannel(index);
    });
    connect(m_inputPorts, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) m_session->selectInputPort(index);
    });
    connect(m_outputPorts, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) m_session->selectOutputPort(index);
    });

    std::vector<QLineEdit*> names{m_bankName};
    for (SlotRow* row : m_rows) {
        const int index = row->row();
        names.push_back(row->name());
        connect(row->openButton(), &QPushButton::clicked, this, [this, index] {
            commitFocusedName();
            m_session->openSlotFile(index);
        });
        connect(row->playButton(), &QPushButton::clicked, this, [this, index] { m_session->playRow(index); });
        connect(row->saveAction(), &QAction::triggered, this, [this, index] {
            commitFocusedName();
            m_session->saveSampleOfRow(index);
        });
        connect(row->importAction(), &QAction::triggered, this, [this, index] {
            commitFocusedName();
            runImportWindow(index);
        });
        // Undo and redo in the row's own menu, as on the window's.
        auto* separator = new QAction(row);
        separator->setSeparator(true);
        row->addActions({separator, m_menus->action(Command::undo), m_menus->action(Command::redo)});
    }
    for (QLineEdit* field : names) {
        // Enter and leaving the field commit the name; Enter leaves the window open.
        connect(field, &QLineEdit::editingFinished, this, [this, field] { commitName(field); });
        connect(field, &QLineEdit::textEdited, this, [this, field](const QString& text) { refuseOrKeep(field, text); });
    }
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* /*old*/, QWidget* now) {
        if (now != nullptr && now->window() == this) m_session->setFocusedRow(rowOfWidget(now));
    });

    // The window's own context menu: undo, redo and the about box.
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    insertActions(nullptr, {m_menus->action(Command::undo), m_menus->action(Command::redo), separator,
                            m_menus->action(Command::about)});
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

// Wide enough for long slot names beside the waveforms, as far as the screen
// leaves room beside the title bar and the frame, and placed so that the
// title bar stays on the screen too.
void CEditor::sizeToScreen()
{
    const QScreen* display = screen();
    if (display == nullptr) return;
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight);
    const QRect available = display->availableGeometry();
    const QSize room = available.size() - QSize(2 * frame, titleBar + frame);
    const QSize wanted = sizeHint().expandedTo(QSize(fontMetrics().averageCharWidth() * 156, 0));
    resize(wanted.boundedTo(room).expandedTo(minimumSizeHint()));
    // move() places the frame.
    const QSize framed = size() + QSize(2 * frame, 2 * frame);
    const int top = available.top() + (available.height() - framed.height()) / 2;
    move(available.left() + (available.width() - framed.width()) / 2, std::max(top, available.top() + titleBar));
}

void CEditor::openGivenFile(const QString& path)
{
    m_session->openGivenFile(path.toStdString());
}

void CEditor::focusBankList()
{
    m_bankList->setFocus();
}

void CEditor::showAbout()
{
    CAboutDlg about(this);
    about.exec();
}

void CEditor::closeWindow()
{
    QDialog::reject();
}

void CEditor::reject()
{
    commitFocusedName();
    if (m_session->requestClose()) QDialog::reject();
}

void CEditor::runCommand(Command command)
{
    commitFocusedName();
    // Quit closes as the close box does.
    if (command == Command::quit)
        reject();
    else
        m_session->run(command);
}

void CEditor::runImportWindow(int row)
{
    const std::unique_ptr<CImportDraft> draft = m_session->beginImport(row);
    if (!draft) return;
    ImportDialog window(*m_session, *draft, this);
    if (window.exec() == QDialog::Accepted)
        m_session->commitImport(*draft);
    else
        m_session->cancelImport(*draft);
}

void CEditor::commitFocusedName()
{
    auto* field = qobject_cast<QLineEdit*>(focusWidget());
    if (field == m_bankName || rowOfWidget(field) >= 0) commitName(field);
}

void CEditor::commitName(QLineEdit* field)
{
    if (field == nullptr || field->text() == field->property(kDrawnName).toString()) return;
    const std::string name = field->text().toStdString();
    if (field == m_bankName)
        m_session->renameBank(name);
    else if (const int row = rowOfWidget(field); row >= 0)
        m_session->renameSlot(row, name);
}

// A character that a bank file cannot hold is refused as it is typed: the
// field keeps what it had, and the session says why.
void CEditor::refuseOrKeep(QLineEdit* field, const QString& text)
{
    if (m_session->acceptsName(text.toStdString())) {
        field->setProperty(kAcceptedName, text);
        return;
    }
    const QString kept = field->property(kAcceptedName).toString();
    const auto cursor = field->cursorPosition() - (text.size() - kept.size());
    field->setText(kept);
    field->setCursorPosition(static_cast<int>(std::clamp<qsizetype>(cursor, 0, kept.size())));
}

int CEditor::rowOfWidget(const QWidget* widget) const
{
    for (; widget != nullptr && widget != this; widget = widget->parentWidget())
        if (const auto* row = qobject_cast<const SlotRow*>(widget)) return row->row();
    return -1;
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

// Local files only: a drop of anything else does nothing.
std::vector<std::string> CEditor::localPaths(const QMimeData* mime) const
{
    std::vector<std::string> paths;
    if (mime == nullptr || !mime->hasUrls()) return paths;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile()) return {};
        paths.push_back(url.toLocalFile().toStdString());
    }
    return paths;
}

int CEditor::rowAt(const QPoint& position) const
{
    const QWidget* widget = childAt(position);
    const int row = rowOfWidget(widget);
    return row >= 0 && m_rows[static_cast<std::size_t>(row)]->isVisible() ? row : -1;
}

DropTarget CEditor::dropTargetOf(const QMimeData* mime, const QPoint& position) const
{
    const std::vector<std::string> paths = localPaths(mime);
    if (paths.empty()) return {};
    return m_session->dropTarget(paths, rowAt(position));
}

void CEditor::showDropTarget(const DropTarget& target)
{
    for (SlotRow* row : m_rows)
        row->setHighlighted(target.kind == DropTarget::Kind::slots && row->row() >= target.firstRow &&
                            row->row() < target.firstRow + target.rowCount);
    setDropHighlight(m_bankList, target.kind == DropTarget::Kind::bankFile);
}

void CEditor::dragEnterEvent(QDragEnterEvent* event)
{
    const DropTarget target = dropTargetOf(event->mimeData(), event->position().toPoint());
    if (target.kind == DropTarget::Kind::none) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    showDropTarget(target);
}

void CEditor::dragMoveEvent(QDragMoveEvent* event)
{
    const DropTarget target = dropTargetOf(event->mimeData(), event->position().toPoint());
    showDropTarget(target);
    if (target.kind == DropTarget::Kind::bankFile || target.rowCount > 0)
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
    const QPoint position = event->position().toPoint();
    const DropTarget target = dropTargetOf(event->mimeData(), position);
    showDropTarget({});
    if (target.kind != DropTarget::Kind::bankFile && target.rowCount == 0) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Questions and messages wait until the drag has ended: the program the
    // files came from stays blocked while a drop is handled.
    m_pendingDropPaths = localPaths(event->mimeData());
    m_pendingDropRow = rowAt(position);
    m_dropTimer->start();
}
