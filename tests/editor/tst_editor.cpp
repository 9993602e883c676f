// The Qt window's own part: layout, keys, menus, drops and drawing. What the
// editor decides is the session's, tested without a window in tests/session.
#include "editor/qt/aboutdlg.h"
#include "editor/qt/importdialog.h"
#include "editor/qt/controls.h"
#include "editor/qt/dbussleepinhibitor.h"
#include "editor/qt/menus.h"
#include "editor/qt/slotrow.h"
#include "editor/qt/waveformview.h"
#include "harness.h"
#include "tests/support/sharedscenario.h"
#include "tests/support/temp_dir.h"
#include "midifile/wrapperktmidifile.h"
#include "model/bank.h"
#include "model/sound.h"
#include "varno_version.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDBusServer>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <future>

namespace {

using Answer = IPrompt::Answer;

// Planned milliseconds on the recording backend.
constexpr std::int64_t kOpeningMs = 1200;
const std::string kInhibitReason = "Sending banks to the VARNO 414";

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray le16(int value)
{
    return QByteArray(1, char(value & 0xFF)) + QByteArray(1, char((value >> 8) & 0xFF));
}

QByteArray le32(quint32 value)
{
    return le16(int(value & 0xFFFF)) + le16(int(value >> 16));
}

// A mono 16-bit PCM WAV of a short ramp.
QByteArray wavFile(int frames = 2000)
{
    QByteArray data;
    for (int i = 0; i < frames; ++i) data += le16((i * 37) % 20000 - 10000);
    QByteArray fmt = le16(1) + le16(1) + le32(33000) + le32(66000) + le16(2) + le16(16);
    QByteArray body = "WAVE" + QByteArray("fmt ") + le32(fmt.size()) + fmt + "data" + le32(data.size()) + data;
    return "RIFF" + le32(body.size()) + body;
}

Harness::Options noPorts()
{
    Harness::Options options;
    options.midi.outputPorts = 0;
    return options;
}

Harness::Options realTime()
{
    Harness::Options options;
    options.midi.realTimeSpeed = 1;
    return options;
}

void activate(CEditor& editor)
{
    QApplication::setActiveWindow(&editor);
    QVERIFY(QTest::qWaitForWindowActive(&editor));
}

QLineEdit* rowName(const Harness& h, int row)
{
    return h.child<QLineEdit>(QStringLiteral("rowName%1").arg(row));
}

// Drags files onto a widget of the editor and drops them there. Returns
// whether they were welcome, and which rows (-1: the bank list) lit up.
std::pair<bool, QList<int>> dropFiles(CEditor& editor, const QWidget* target, const QList<QUrl>& urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint at = target->mapTo(&editor, target->rect().center());
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&editor, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&editor, &move);
    QList<int> lit;
    if (isDropHighlighted(editor.findChild<QListWidget*>("bankList"))) lit << -1;
    for (const SlotRow* row : editor.findChildren<SlotRow*>())
        if (row->isHighlighted()) lit << row->row();
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&editor, &drop);
    QCoreApplication::processEvents(); // the drop is handled once the drag is over
    return {move.isAccepted(), lit};
}

std::pair<bool, QList<int>> dropFiles(CEditor& editor, const QWidget* target, const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    return dropFiles(editor, target, urls);
}

} // namespace

class EditorTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startUpShowsTheSession();
    void menusAndButtonsShowTheSession();
    void shortcutsRunTheirCommands();
    void enterCommitsAndEscapeCloses();
    void refusedCharactersAreNotTyped();
    void closeBoxDuringASend();
    void dropsLightTheirTargets();
    void changeMarksAndTitle();
    void waveformGrowsWithTheWindow();
    void windowAnswersDuringSend();
    void sleepInhibitorOverDBus();
    void layoutFitsSmallScreen();
    void aboutBoxShowsTheVersion();
    void takesTheSharedScenarioAsTheSession();
    void importWindowStoresWhatItShows();
};

void EditorTest::startUpShowsTheSession()
{
    Harness h(noPorts());
    const CEditorSession& session = h.session();
    auto* list = h.child<QListWidget>("bankList");
    QCOMPARE(list->count(), session.bankCount());
    QCOMPARE(list->currentRow(), session.selectedBank());
    for (const int index : {0, 4, 31}) {
        QCOMPARE(list->item(index)->text().toStdString(), session.bankListText(index));
        QCOMPARE(list->item(index)->toolTip().toStdString(), session.bankListToolTip(index));
    }
    QCOMPARE(h.child<QLineEdit>("bankName")->text().toStdString(), session.bankName());
    QCOMPARE(h.child<QLabel>("versionText")->text().toStdString(), session.versionText());
    QVERIFY(!h.child<QWidget>("sendProgress")->isVisible());
    QVERIFY(!h.child<QWidget>("receiveProgress")->isVisible());
    QVERIFY(h.child<QComboBox>("inputPorts")->isEnabled());
    QCOMPARE(h.child<QComboBox>("channels")->count(), 16);
    auto* outputs = h.child<QComboBox>("outputPorts");
    QCOMPARE(outputs->count(), int(session.outputPorts().size()));
    QCOMPARE(outputs->currentText().toStdString(), session.outputPorts().front());
    QCOMPARE(h.child<QRadioButton>("allBanks")->isChecked(), session.sendsAllBanks());
    // Top row shows content 1, the second content 0.
    for (int row = 0; row < CEditorSession::kRowCount; ++row) {
        const RowView view = session.row(row);
        QCOMPARE(rowName(h, row)->text().toStdString(), view.name);
        QCOMPARE(h.child<QLabel>(QStringLiteral("rowCapacity%1").arg(row))->text().toStdString(), view.capacity);
    }
    // The firmware bank shows two rows, neither with a sound.
    list->setCurrentRow(31);
    QCOMPARE(h.session().selectedBank(), 31);
    for (int row = 0; row < CEditorSession::kRowCount; ++row) {
        auto* shown = h.child<SlotRow>(QStringLiteral("row%1").arg(row));
        QCOMPARE(shown->isVisible(), row < 2);
        QVERIFY(!shown->waveform()->isVisible() && !shown->playButton()->isVisible());
    }
}

// Every menu entry and button shows the session's state, and a disabled one
// says why in its tooltip.
void EditorTest::menusAndButtonsShowTheSession()
{
    Harness h(noPorts());
    const QList<QAction*> menus = h.child<QMenuBar>("menuBar")->actions();
    const std::vector<Menu>& model = editorMenus();
    QCOMPARE(menus.size(), qsizetype(model.size()));
    for (std::size_t m = 0; m < model.size(); ++m) {
        QCOMPARE(menus[m]->text().toStdString(), model[m].title);
        QMenu* menu = menus[m]->menu();
        QVERIFY(menu->toolTipsVisible());
        QList<QAction*> entries = menu->actions();
        entries.removeIf([](const QAction* action) { return action->isSeparator(); });
        QCOMPARE(entries.size(), qsizetype(model[m].items.size()));
        for (std::size_t i = 0; i < model[m].items.size(); ++i) {
            const MenuItem& item = model[m].items[i];
            const CommandState state = h.session().state(item.command);
            QAction* entry = entries[i];
            QCOMPARE(entry->isEnabled(), state.enabled);
            QCOMPARE(entry->text().toStdString(), state.text.empty() ? item.text : state.text);
            if (!state.enabled) QCOMPARE(entry->toolTip().toStdString(), state.reason);
            QCOMPARE(entry->shortcuts().size(), qsizetype(item.shortcuts.size()));
            for (std::size_t k = 0; k < item.shortcuts.size(); ++k)
                QCOMPARE(entry->shortcuts()[k].toString().toStdString(), item.shortcuts[k].text());
        }
    }
    // No output port: Send is disabled and says why.
    const CommandState send = h.session().state(Command::send);
    QVERIFY(!send.enabled && !send.reason.empty());
    auto* button = h.child<QPushButton>("sendToVarno");
    QVERIFY(!button->isEnabled());
    QCOMPARE(button->toolTip().toStdString(), send.reason);
    QCOMPARE(h.child<QPushButton>("receiveFromVarno")->isEnabled(), h.session().state(Command::receive).enabled);
}

void EditorTest::shortcutsRunTheirCommands()
{
    Harness h;
    activate(*h.editor);
    auto* list = h.child<QListWidget>("bankList");
    list->setFocus();
    QTest::keyClick(h.editor.get(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(h.prompt->dialogs.size(), std::size_t(1)); // Open's file dialog, cancelled
    QTest::keyClick(h.editor.get(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(h.prompt->dialogs.size(), std::size_t(2)); // Save's

    // A name typed and not yet committed belongs to the bank before a key's
    // command acts; undo and redo follow on their keys, and their menu texts
    // are the session's.
    const std::string before = h.session().bankName();
    auto* name = h.child<QLineEdit>("bankName");
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Kit"));
    list->setFocus();
    QCOMPARE(h.session().bankName(), std::string("Kit"));
    QAction* undo = h.editor->findChild<QMenuBar*>()->actions()[1]->menu()->actions()[0];
    QCOMPARE(undo->text().toStdString(), h.session().state(Command::undo).text);
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(h.session().bankName(), before);
    QCOMPARE(name->text().toStdString(), before);
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(h.session().bankName(), std::string("Kit"));
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(list, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(name->text(), QStringLiteral("Kit"));

    // Ctrl+Return sends the selected bank.
    QTest::keyClick(list, Qt::Key_Return, Qt::ControlModifier);
    QVERIFY(h.session().transfer().sending || !h.system->records().empty());
    QVERIFY(h.waitForEnd());
}

void EditorTest::enterCommitsAndEscapeCloses()
{
    Harness h;
    activate(*h.editor);
    // Enter commits a name, and leaves the focus and the window as they are.
    QLineEdit* name = rowName(h, 2);
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("clap 2"));
    QVERIFY(h.session().row(2).name != "clap 2"); // typing alone commits nothing
    QTest::keyClick(name, Qt::Key_Return);
    QCOMPARE(h.session().row(2).name, std::string("clap 2"));
    QVERIFY(h.editor->isVisible() && name->hasFocus());
    QTest::keyClick(h.child<QListWidget>("bankList"), Qt::Key_Enter);
    QVERIFY(h.editor->isVisible());

    // Escape asks the session: unsaved, the question is cancelled and the
    // window stays; discarded, it closes.
    QTest::keyClick(h.child<QListWidget>("bankList"), Qt::Key_Escape);
    QCOMPARE(h.prompt->boxes.size(), std::size_t(1));
    QVERIFY(h.editor->isVisible());
    h.prompt->answers = {Answer::Discard};
    QTest::keyClick(h.child<QListWidget>("bankList"), Qt::Key_Escape);
    QVERIFY(!h.editor->isVisible());
}

// Typed as a keyboard sends them: a character that a bank file cannot hold
// is not taken, and the status says which.
void EditorTest::refusedCharactersAreNotTyped()
{
    Harness h;
    activate(*h.editor);
    auto* name = h.child<QLineEdit>("bankName");
    name->setFocus();
    name->selectAll();
    for (const QString& typed : {QStringLiteral("K"), QStringLiteral("\u00e9"), QStringLiteral("\u2665"),
                                 QStringLiteral("2")})
        QTest::sendKeyEvent(QTest::Click, name, Qt::Key_unknown, typed, Qt::NoModifier);
    QCOMPARE(name->text(), QStringLiteral("K\u00e92"));
    QCOMPARE(name->cursorPosition(), 3);
    QTest::keyClick(name, Qt::Key_Return);
    QCOMPARE(h.session().bankName(), std::string("K\u00e92"));
    QCOMPARE(h.child<QListWidget>("bankList")->item(4)->text(), QStringLiteral("K\u00e92"));
    name->selectAll();
    QTest::sendKeyEvent(QTest::Click, name, Qt::Key_unknown, QStringLiteral("\u2665"), Qt::NoModifier);
    QCOMPARE(name->text(), QStringLiteral("K\u00e92"));
    QVERIFY2(h.child<QLabel>("statusText")->text().contains(QStringLiteral("\u2665")),
             qPrintable(h.child<QLabel>("statusText")->text()));
}

// The close box during a send: the session asks, and the window closes once
// the send has ended.
void EditorTest::closeBoxDuringASend()
{
    Harness h;
    h.holdAt(kOpeningMs + 5000);
    h.child<QPushButton>("sendToVarno")->click();
    QVERIFY(h.waitHeld());
    QVERIFY(waitUntil([&] { return h.child<QPushButton>("stopSending")->isVisible(); }));
    h.prompt->answers = {Answer::Yes};
    QVERIFY(!h.editor->close());
    QVERIFY(h.editor->isVisible());
    QCOMPARE(h.prompt->boxes.size(), std::size_t(1));
    h.release();
    QVERIFY(waitUntil([&] { return !h.editor->isVisible(); }));
    QVERIFY(!h.session().transfer().sending);
}

void EditorTest::dropsLightTheirTargets()
{
    QTemporaryDir dir;
    QStringList wavs;
    for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
        wavs << dir.filePath(name);
        writeBytes(wavs.back(), wavFile(500 + 700 * int(wavs.size())));
    }
    const QString bankFile = dir.filePath("bank.mid");
    CSound stored(4);
    stored.setName("stored name");
    QVERIFY(WrapperKtMidiFile().saveBank(stored, bankFile.toStdString()));
    Harness h;
    const auto row = [&](int index) { return h.child<SlotRow>(QStringLiteral("row%1").arg(index)); };

    // One file lights and fills the row it is over; several the rows from
    // there down, as far as the bank has slots.
    QCOMPARE(dropFiles(*h.editor, row(3)->waveform(), QStringList{wavs[0]}), std::make_pair(true, QList<int>{3}));
    QCOMPARE(h.session().row(3).name, std::string("a.wav"));
    QCOMPARE(dropFiles(*h.editor, row(4), wavs).second, (QList<int>{4, 5}));
    QCOMPARE(h.session().row(5).name, std::string("b.wav"));
    QVERIFY(!row(4)->isHighlighted());

    // Audio off the rows, and anything not a local file, are not taken.
    const std::size_t boxes = h.prompt->boxes.size();
    QVERIFY(!dropFiles(*h.editor, h.child<QListWidget>("bankList"), QStringList{wavs[0]}).first);
    QVERIFY(!dropFiles(*h.editor, row(2), QList<QUrl>{QUrl("https://example.invalid/a.wav")}).first);
    QCOMPARE(h.prompt->boxes.size(), boxes);

    // A bank file lights the list from anywhere on the window and opens in
    // its own position.
    QCOMPARE(dropFiles(*h.editor, h.child<QLabel>("versionText"), QStringList{bankFile}).second, QList<int>{-1});
    QVERIFY(waitUntil([&] { return h.session().bankListText(4) == "stored name"; }, 5000));
}

// A changed bank is bold with a dot in the list; the title is the session's,
// with a "[*]" in a file's name shown as it is.
void EditorTest::changeMarksAndTitle()
{
    QTemporaryDir dir;
    Harness h;
    activate(*h.editor);
    auto* list = h.child<QListWidget>("bankList");
    const auto title = [&] { return h.editor->windowHandle()->title().toStdString(); };
    QCOMPARE(title(), h.session().title());
    const QImage unchanged = list->item(4)->icon().pixmap(list->iconSize()).toImage();
    QVERIFY(!list->item(4)->font().bold());

    h.session().renameBank("Kit");
    QVERIFY(list->item(4)->font().bold());
    QVERIFY(list->item(4)->icon().pixmap(list->iconSize()).toImage() != unchanged);
    QCOMPARE(list->item(3)->icon().pixmap(list->iconSize()).toImage(), unchanged);
    QCOMPARE(title(), h.session().title());

    h.prompt->saveNames = {dir.filePath("kit[*].mid").toStdString()};
    auto* save = h.child<QPushButton>("saveToDisk");
    save->setFocus();
    save->click();
    QVERIFY(list->hasFocus()); // so that Space cannot press Reset next
    QVERIFY(!h.session().isBankChanged(4));
    QVERIFY(!list->item(4)->font().bold());
    QCOMPARE(title(), h.session().title());
    QVERIFY(title().find("kit[*].mid") != std::string::npos);
}

// Widened, the waveforms take the room the names do not need.
void EditorTest::waveformGrowsWithTheWindow()
{
    Harness h;
    QVERIFY(QTest::qWaitForWindowExposed(h.editor.get()));
    auto* row = h.child<SlotRow>("row2");
    h.editor->resize(900, h.editor->height());
    QCoreApplication::processEvents();
    const int narrowWave = row->waveform()->width();
    h.editor->resize(2400, h.editor->height());
    QCoreApplication::processEvents();
    QVERIFY2(row->waveform()->width() > narrowWave + 1000, qPrintable(QString::number(row->waveform()->width())));
    QVERIFY(row->waveform()->width() > 2 * row->name()->width());
    QVERIFY(row->name()->width() >= row->name()->fontMetrics().averageCharWidth() * 20);
    // A waveform draws one column a device pixel, of the slot's own bytes.
    const std::vector<audio::Peak>& drawn = row->waveform()->peaks();
    QCOMPARE(drawn.size(), std::size_t((row->waveform()->width() - 4) * row->waveform()->devicePixelRatioF()));
    QVERIFY(drawn == audio::slotPeaks(h.session().row(2).bytes, drawn.size()));
}

// The send runs on the session's worker: the window keeps answering. The
// bound is generous; bench/ measures how fast.
void EditorTest::windowAnswersDuringSend()
{
    Harness h(realTime());
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst = 0;
    QTimer beat;
    beat.setInterval(10);
    connect(&beat, &QTimer::timeout, &beat, [&] {
        worst = std::max(worst, clock.elapsed() - last - 10);
        last = clock.elapsed();
    });
    QTest::qWait(300); // the first paint is not measured
    clock.start();
    beat.start();
    h.child<QPushButton>("sendToVarno")->click();
    // The opening's 1.2 s, the 3 s before the first message, and that message.
    QVERIFY(waitUntil([&] {
        const auto records = h.system->records();
        return std::any_of(records.begin(), records.end(),
                           [](const RecordedItem& item) { return item.kind == RecordedItem::Kind::sysex; });
    }));
    beat.stop();
    // The session, going with the harness, stops the send after the message in flight.
    qInfo("worst event-loop lateness during the send: %lld ms", static_cast<long long>(worst));
    QVERIFY2(worst < 3000, qPrintable(QString::number(worst)));
}

namespace {

// The login manager and the desktop's screen saver, as far as the window's
// request needs them, answering on a private connection.
class FakeLogin : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    QStringList request;
    int lockEnd = -1; // reads end of file once every copy of the lock is closed

public Q_SLOTS:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why, const QString& mode)
    {
        request = {what, who, why, mode};
        int ends[2];
        if (pipe(ends) != 0) return {};
        lockEnd = ends[0];
        QDBusUnixFileDescriptor lock;
        lock.giveFileDescriptor(ends[1]);
        return lock;
    }
};

class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

public:
    QStringList calls;

public Q_SLOTS:
    uint Inhibit(const QString& who, const QString& why)
    {
        calls << who + QStringLiteral(": ") + why;
        return 7;
    }
    void UnInhibit(uint cookie) { calls << QStringLiteral("UnInhibit %1").arg(cookie); }
};

bool lockClosed(int end)
{
    pollfd watched{end, POLLIN, 0};
    char byte = 0;
    return poll(&watched, 1, 0) == 1 && read(end, &byte, 1) == 0;
}

} // namespace

// The request over D-Bus: the login manager's lock, held while its
// descriptor is open, else the screen saver's cookie; without any bus a send
// goes on at once and says that the computer may sleep.
void EditorTest::sleepInhibitorOverDBus()
{
    QTemporaryDir dir;
    QDBusServer server(QStringLiteral("unix:dir=") + dir.path());
    QVERIFY(server.isConnected());
    FakeLogin login;
    FakeScreenSaver saver;
    bool withLogin = true;
    int peers = 0;
    connect(&server, &QDBusServer::newConnection, &server, [&](const QDBusConnection& peer) {
        QDBusConnection connection(peer);
        if (withLogin) connection.registerObject("/org/freedesktop/login1", &login, QDBusConnection::ExportAllSlots);
        connection.registerObject("/org/freedesktop/ScreenSaver", &saver, QDBusConnection::ExportAllSlots);
        ++peers;
    });
    for (const bool loginThere : {true, false}) {
        withLogin = loginThere;
        const QString name = QStringLiteral("peer%1").arg(int(loginThere));
        const QDBusConnection system = QDBusConnection::connectToPeer(server.address(), name + "system");
        const QDBusConnection session = QDBusConnection::connectToPeer(server.address(), name + "session");
        QTRY_COMPARE(peers, loginThere ? 2 : 4);
        DBusSleepInhibitor inhibitor(system, session);
        // It waits for the answers, as the send thread does; this thread gives them.
        auto asked = std::async(std::launch::async, [&] { return inhibitor.inhibit(kInhibitReason); });
        QTRY_VERIFY(asked.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
        QVERIFY(asked.get());
        if (loginThere) {
            QCOMPARE(login.request,
                     (QStringList{"sleep:idle", "VARNO414Editor", "Sending banks to the VARNO 414", "block"}));
            QVERIFY(!lockClosed(login.lockEnd));
            inhibitor.release();
            QTRY_VERIFY(lockClosed(login.lockEnd));
            ::close(login.lockEnd);
            QVERIFY(saver.calls.isEmpty());
        } else {
            inhibitor.release();
            QTRY_COMPARE(saver.calls, (QStringList{"VARNO414Editor: Sending banks to the VARNO 414", "UnInhibit 7"}));
        }
        QDBusConnection::disconnectFromPeer(name + "system");
        QDBusConnection::disconnectFromPeer(name + "session");
    }

    // No bus at all, as on a build machine.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/session_bus_socket");
    Harness::Options overDBus;
    overDBus.inhibitor = std::make_unique<DBusSleepInhibitor>();
    Harness h(std::move(overDBus));
    h.holdAt(kOpeningMs + 5000);
    h.child<QPushButton>("sendToVarno")->click();
    QVERIFY(h.waitHeld());
    QVERIFY(waitUntil([&] { return h.child<QLabel>("statusText")->text().endsWith(" - computer may sleep"); }));
    h.release();
    QVERIFY(h.waitForEnd());
    QCOMPARE(h.system->records().empty(), false);
}

// Run by the editor_layout test on a 1280 x 720 screen at 150 %.
void EditorTest::layoutFitsSmallScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen->geometry().size() != QSize(853, 480) || !qFuzzyCompare(screen->devicePixelRatio(), 1.5))
        QSKIP("needs the 1280 x 720 screen at 150 % of the editor_layout test");
    Harness h;
    QVERIFY(QTest::qWaitForWindowExposed(h.editor.get()));
    const QRect available = screen->availableGeometry();
    const int titleBar = h.editor->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    QVERIFY(available.contains(h.editor->frameGeometry().adjusted(0, -titleBar, 0, 0)));

    // Every button and labelled field has an Alt mnemonic of its own, also
    // Stop while a send runs.
    const auto checkMnemonics = [&] {
        QStringList letters;
        for (const QWidget* widget : h.editor->findChildren<QWidget*>()) {
            const auto* button = qobject_cast<const QAbstractButton*>(widget);
            const auto* label = qobject_cast<const QLabel*>(widget);
            if (!widget->isVisible() || (!button && (!label || !label->buddy())) ||
                widget->objectName().startsWith("rowOpen") || widget->objectName().startsWith("rowPlay"))
                continue;
            const QString text = button ? button->text() : label->text();
            const qsizetype at = text.indexOf(QLatin1Char('&'));
            QVERIFY2(at >= 0 && at + 1 < text.size(), qPrintable(text));
            letters << text.mid(at + 1, 1).toUpper();
        }
        QCOMPARE(letters.size(), 18);
        QCOMPARE(letters.removeDuplicates(), 0);
    };
    checkMnemonics();
    // The waveform draws one column a device pixel at 150 % too.
    auto* waveform = h.child<SlotRow>("row2")->waveform();
    QCOMPARE(waveform->peaks().size(), std::size_t((waveform->width() - 4) * 1.5));

    // During a send, as it opens and at its smallest, every control is on the
    // screen with all the room its text needs.
    h.holdAt(kOpeningMs + 5000);
    h.child<QPushButton>("sendToVarno")->click();
    QVERIFY(h.waitHeld());
    QVERIFY(waitUntil([&] { return h.child<QLabel>("statusText")->text().startsWith("Bank 1 of 1"); }));
    for (const QSize size : {h.editor->size(), h.editor->minimumSize()}) {
        h.editor->resize(size);
        QCoreApplication::processEvents();
        for (const QWidget* widget : h.editor->findChildren<QWidget*>()) {
            if (!widget->isVisible()) continue;
            const QString name = widget->metaObject()->className() + QStringLiteral(" ") + widget->objectName();
            QVERIFY2(available.contains(QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size())), qPrintable(name));
            const QSize needs = widget->minimumSizeHint();
            QVERIFY2(widget->width() >= needs.width() && widget->height() >= needs.height(), qPrintable(name));
        }
    }
    checkMnemonics();
    h.release();
    QVERIFY(h.waitForEnd());
}

void EditorTest::aboutBoxShowsTheVersion()
{
    CAboutDlg about;
    QCOMPARE(about.versionText(), QStringLiteral("Version ") + QString::fromLatin1(kVarnoVersion));
    QCOMPARE(about.windowTitle(), QStringLiteral("Info über VARNO414Editor"));
}

void EditorTest::takesTheSharedScenarioAsTheSession()
{
    Harness h;
    activate(*h.editor);
    struct Driver : ScenarioDriver {
        Harness& h;
        explicit Driver(Harness& harness) : h(harness) {}
        ScriptedPrompt& prompt() override { return *h.prompt; }
        void openIntoRow(int row) override
        {
            for (SlotRow* slotRow : h.editor->findChildren<SlotRow*>())
                if (slotRow->row() == row) slotRow->openButton()->click();
        }
        void renameBank(const std::string& name) override
        {
            auto* field = h.child<QLineEdit>("bankName");
            field->setFocus();
            field->selectAll();
            QTest::keyClicks(field, QString::fromStdString(name));
            QTest::keyClick(field, Qt::Key_Return);
        }
        void reset() override { h.child<QPushButton>("resetToDefault")->click(); }
        void undo() override { QTest::keyClick(h.child<QListWidget>("bankList"), Qt::Key_Z, Qt::ControlModifier); }
        void save() override { h.child<QPushButton>("saveToDisk")->click(); }
        void open() override { h.child<QPushButton>("openFromDisk")->click(); }
        std::string statusShown() override { return h.child<QLabel>("statusText")->text().toStdString(); }
        std::string titleShown() override { return h.editor->windowTitle().toStdString(); }
    } driver(h);
    TempDir shownFolder{"varno-shown"};
    const ScenarioResult shown = runSharedScenario(driver, utf8FromPath(shownFolder.path()));

    TempDir bareFolder{"varno-bare"};
    const ScenarioResult expected =
        runSharedScenarioOnTheSession(utf8FromPath(bareFolder.path()), h.home.path().toStdString());

    QVERIFY(shown.shown == expected.shown);
    QVERIFY(shown.asked == expected.asked);
    QVERIFY(!shown.saved.empty());
    QVERIFY(shown.saved == expected.saved);
}

void EditorTest::importWindowStoresWhatItShows()
{
    Harness h;
    QTemporaryDir dir;
    const QString clap = dir.filePath(QStringLiteral("clap.wav"));
    writeBytes(clap, wavFile(3000));
    h.prompt->openNames = {clap.toStdString()};
    const std::vector<std::uint8_t> before(h.session().row(2).bytes.begin(), h.session().row(2).bytes.end());
    QString shown;
    // The window is modal: it is worked once it shows.
    QTimer::singleShot(0, h.editor.get(), [&] {
        auto* window = qobject_cast<ImportDialog*>(QApplication::activeModalWidget());
        if (window == nullptr) return;
        for (QCheckBox* box : window->findChildren<QCheckBox*>())
            if (box->text() == QStringLiteral("&reverse")) box->setChecked(true);
        shown = window->figures()->text();
        window->okButton()->click();
    });
    for (SlotRow* row : h.editor->findChildren<SlotRow*>())
        if (row->row() == 2) row->importAction()->trigger();
    QVERIFY2(shown.startsWith(QStringLiteral("peak ")), qPrintable(shown));
    QVERIFY(!std::ranges::equal(h.session().row(2).bytes, before));
    QCOMPARE(h.session().state(Command::undo).text, std::string("&Undo Import clap.wav into CLAP"));
    QVERIFY(h.session().importOptions().reverse);
}

QTEST_MAIN(EditorTest)
#include "tst_editor.moc"
