#include "editor/qt/aboutdlg.h"
#include "editor/qt/controls.h"
#include "editor/qt/dbussleepinhibitor.h"
#include "editor/qt/editor.h"
#include "editor/qt/slotrow.h"
#include "midifile/bankdocument.h"
#include "midifile/wrapperktmidifile.h"
#include "midiport/recording/recordingmidisystem.h"
#include "midiport/recording/recordingsleepinhibitor.h"
#include "model/firmware.h"
#include "model/sound.h"
#include "scriptedprompt.h"
#include "tests/support/crafted_bank_files.h"
#include "varno_version.h"

#include <QComboBox>
#include <QDBusServer>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUndoStack>
#include <QUrl>
#include <QWindow>

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

using Answer = IPrompt::Answer;

// Planned milliseconds on the recording backend.
constexpr std::int64_t kOpeningMs = 1200;
constexpr std::int64_t kSoundBankMs = 106592;
const std::string kInhibitReason = "Sending banks to the VARNO 414";

RecordingMidiSystem::Options ports(int outputs)
{
    RecordingMidiSystem::Options options;
    options.outputPorts = outputs;
    return options;
}

struct Harness {
    explicit Harness(RecordingMidiSystem::Options options = {}) : system(std::make_shared<RecordingMidiSystem>(options))
    {
        auto scripted = std::make_unique<ScriptedPrompt>();
        prompt = scripted.get();
        editor = std::make_unique<CEditor>(system, std::move(scripted));
        auto sleep = std::make_unique<RecordingSleepInhibitor>();
        inhibitor = sleep.get();
        editor->setSleepInhibitor(std::move(sleep));
        editor->show();
    }
    ~Harness() { held.release(); } // a test that failed while the send was held

    // Holds the send thread at its first wait from `ms` of virtual time on,
    // until released; call before the send starts.
    void holdAt(std::int64_t ms)
    {
        system->setWaitHook([this, ms, done = false](std::uint32_t) mutable {
            if (done || system->elapsedMs() < ms) return;
            done = true;
            reached.release();
            held.acquire();
        });
    }
    bool waitHeld() { return reached.tryAcquire(1, 30000); }
    void release() { held.release(); }

    template <typename T> T* child(const char* name) const
    {
        T* widget = editor->findChild<T*>(QString::fromLatin1(name));
        if (widget == nullptr) qFatal("no widget %s", name);
        return widget;
    }
    QListWidget* list() const { return child<QListWidget>("bankList"); }
    QLineEdit* rowName(int row) const { return child<QLineEdit>(QStringLiteral("rowName%1").arg(row).toLatin1()); }
    void select(int index) const { list()->setCurrentRow(index); }
    bool waitForEnd() const
    {
        QSignalSpy ended(editor.get(), &CEditor::transferEnded);
        return ended.wait(60000);
    }
    std::vector<std::vector<std::uint8_t>> sentSysex() const
    {
        std::vector<std::vector<std::uint8_t>> result;
        for (const RecordedItem& item : system->records()) {
            if (item.kind == RecordedItem::Kind::sysex) result.push_back(item.bytes);
        }
        return result;
    }

    QPushButton* send() const { return child<QPushButton>("sendToVarno"); }
    QPushButton* stop() const { return child<QPushButton>("stopSending"); }
    QString status() const { return child<QLabel>("statusText")->text(); }

    std::shared_ptr<RecordingMidiSystem> system;
    QSemaphore reached;
    QSemaphore held;
    ScriptedPrompt* prompt = nullptr;
    RecordingSleepInhibitor* inhibitor = nullptr;
    std::unique_ptr<CEditor> editor;
};

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

// A mono 16-bit WAV of a short ramp, with the given format tag.
QByteArray wavFile(int formatTag, int frames = 2000)
{
    QByteArray data;
    for (int i = 0; i < frames; ++i) data += le16((i * 37) % 20000 - 10000);
    QByteArray fmt = le16(formatTag) + le16(1) + le32(33000) + le32(66000) + le16(2) + le16(16);
    QByteArray body = "WAVE" + QByteArray("fmt ") + le32(fmt.size()) + fmt + "data" + le32(data.size()) + data;
    return "RIFF" + le32(body.size()) + body;
}

QByteArray aifcFile()
{
    QByteArray body = QByteArray("AIFC") + "FVER" + QByteArray("\0\0\0\4", 4) + QByteArray("\xA2\x80\x51\x40", 4);
    QByteArray size(4, 0);
    size[3] = char(body.size());
    return "FORM" + size + body;
}

// What undo must bring back exactly: every bank's name, number, content
// names and bytes.
using TableState = std::vector<
    std::tuple<std::string, std::uint16_t, std::vector<std::string>, std::vector<std::vector<std::uint8_t>>>>;

TableState tableState(const CEditor& editor)
{
    TableState table;
    for (int i = 0; i < kBankCount; ++i) {
        const IBank& bank = editor.bank(i);
        std::vector<std::vector<std::uint8_t>> bytes;
        for (std::uint16_t c = 0; c < bank.getContentCount(); ++c) bytes.push_back(bank.content(c)->getData());
        table.emplace_back(bank.getName(), bank.getIndex(), bank.getContentNames(), std::move(bytes));
    }
    return table;
}

// Types a name as a user does: into the field, then the focus moves on.
void typeName(QLineEdit* field, const QString& text)
{
    QFocusEvent in(QEvent::FocusIn);
    QApplication::sendEvent(field, &in);
    field->setText(text);
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(field, &out);
}

// Drags files onto a widget of the editor and drops them there. Returns
// whether they were welcome, and which rows (-1: the bank list) lit up.
std::pair<bool, QList<int>> dropFiles(CEditor& editor, const QWidget* target, const QStringList& paths)
{
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
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

QStringList statusTexts(const QSignalSpy& spy)
{
    QStringList texts;
    for (const QList<QVariant>& arguments : spy) texts << arguments.at(0).toString();
    return texts;
}

} // namespace

class EditorTest : public QObject {
    Q_OBJECT

private slots:
    void startUpState();
    void startUpWithDevices();
    void rowsMapToContents();
    void firmwareViewShowsTwoRows();
    void renamingCommitsOnFocusLoss();
    void namesAreLatin1();
    void enterAndEscape();
    void slotImport();
    void slotImportRefusals_data();
    void slotImportRefusals();
    void resetRestoresFactoryNames();
    void saveAndOpenSelectedBank();
    void saveAndOpenAllBanks();
    void openRefusesOtherFiles();
    void openCraftedFiles_data();
    void openCraftedFiles();
    void shortFirmwareStaysAPlaceholder();
    void saveFailureIsReported();
    void readOnlyFileIsReplacedOnlyOnYes();
    void sendSelectedBank();
    void sendAllBanks();
    void sendWorksOnCopies();
    void sendRefusesFirmwarePlaceholder();
    void sendAllBanksAsksAboutDuplicates();
    void portFailureEndsTransfer();
    void stopFinishesTheBankAndResumes();
    void resumeAfterFailure();
    void closeBoxStopsAfterTheBank();
    void progressGrowsToTheEnd();
    void windowAnswersDuringSend();
    void sleepInhibitorOverDBus();
    void secondaryCommands();
    void changedMarksAndTitle();
    void closeAsksWhenSomethingIsUnsaved();
    void undoAndRedoRestoreTheBytes();
    void dropsImportAndOpen();
    void layoutFitsSmallScreen();
};

void EditorTest::startUpState()
{
    Harness h(ports(0));
    QListWidget* list = h.list();
    QCOMPARE(list->count(), 32);
    QCOMPARE(list->currentRow(), 4);
    QCOMPARE(list->item(0)->text(), QStringLiteral("S01 - factory -"));
    QCOMPARE(list->item(4)->text(), QStringLiteral("S05"));
    QCOMPARE(list->item(31)->text(), QStringLiteral("FIRMWARE - factory -"));
    QCOMPARE(h.child<QLineEdit>("bankName")->text(), QStringLiteral("S05"));
    QCOMPARE(h.child<QLabel>("versionText")->text(), QStringLiteral("Version ") + QString::fromLatin1(kVarnoVersion));
    QVERIFY(h.child<QLabel>("statusText")->text().isEmpty());
    QVERIFY(!h.child<QProgressBar>("sendProgress")->isVisible());
    QVERIFY(!h.child<QProgressBar>("receiveProgress")->isVisible());
    QVERIFY(!h.child<QPushButton>("receiveFromVarno")->isEnabled());
    QVERIFY(h.child<QRadioButton>("selectedBank")->isChecked());

    auto* channels = h.child<QComboBox>("channels");
    QCOMPARE(channels->count(), 16);
    QCOMPARE(channels->currentText(), QStringLiteral("1"));
    QCOMPARE(channels->itemText(15), QStringLiteral("16"));

    auto* outputs = h.child<QComboBox>("outputPorts");
    QCOMPARE(outputs->count(), 1);
    QCOMPARE(outputs->currentText(), QStringLiteral("no output ports detected"));
    QVERIFY(!h.child<QPushButton>("sendToVarno")->isEnabled());
    auto* inputs = h.child<QComboBox>("inputPorts");
    QCOMPARE(inputs->currentText(), QStringLiteral("no input ports detected"));
    QVERIFY(!inputs->isEnabled());
    for (int row = 0; row < kRowCount; ++row) // no audio output: Play cannot work
        QVERIFY(!h.child<QPushButton>(QStringLiteral("rowPlay%1").arg(row).toLatin1())->isEnabled());
}

void EditorTest::startUpWithDevices()
{
    Harness h(ports(2));
    auto* outputs = h.child<QComboBox>("outputPorts");
    QCOMPARE(outputs->count(), 2);
    QCOMPARE(outputs->currentIndex(), 0);
    QVERIFY(h.child<QPushButton>("sendToVarno")->isEnabled());
}

void EditorTest::rowsMapToContents()
{
    Harness h;
    QCOMPARE(h.editor->slotOfControl(h.rowName(0)), 1);
    QCOMPARE(h.editor->slotOfControl(h.rowName(1)), 0);
    for (int row = 2; row < kRowCount; ++row) QCOMPARE(h.editor->slotOfControl(h.rowName(row)), row);
    QCOMPARE(h.editor->slotOfControl(h.child<QPushButton>("rowOpen0")), 1);
    QCOMPARE(h.editor->slotOfControl(h.list()), -1);

    // Labels come from the bank, top row first.
    const QStringList labels{"CLOSED HI HAT", "OPEN HI HAT", "CLAP", "RIM SHOT", "CRASH", "RIDE"};
    for (int row = 0; row < kRowCount; ++row) {
        const QLabel* label = nullptr;
        for (QLabel* candidate : h.editor->findChildren<QLabel*>()) {
            if (h.editor->slotOfControl(candidate) == CEditor::contentOfRow(row)) label = candidate;
        }
        QVERIFY(label != nullptr);
        QCOMPARE(QString(label->text()).remove(QLatin1Char('&')), labels[row]); // less the mnemonic
    }
}

void EditorTest::firmwareViewShowsTwoRows()
{
    Harness h;
    h.select(31);
    QCOMPARE(h.child<QLineEdit>("bankName")->text(), QStringLiteral("FIRMWARE - factory -"));
    QVERIFY(h.rowName(0)->isVisible());
    QVERIFY(h.rowName(1)->isVisible());
    for (int row = 2; row < kRowCount; ++row) {
        QVERIFY(!h.rowName(row)->isVisible());
        QVERIFY(!h.child<QPushButton>(QStringLiteral("rowOpen%1").arg(row).toLatin1())->isVisible());
    }
    h.select(0);
    for (int row = 0; row < kRowCount; ++row) QVERIFY(h.rowName(row)->isVisible());
}

void EditorTest::renamingCommitsOnFocusLoss()
{
    Harness h;
    QApplication::setActiveWindow(h.editor.get());
    QVERIFY(QTest::qWaitForWindowActive(h.editor.get()));

    auto* bankName = h.child<QLineEdit>("bankName");
    bankName->setFocus();
    bankName->selectAll();
    QTest::keyClicks(bankName, QStringLiteral(" Kit A "));
    QCOMPARE(h.list()->item(4)->text(), QStringLiteral("S05")); // typing alone commits nothing
    h.list()->setFocus();
    QCOMPARE(h.editor->bank(4).getName(), std::string(" Kit A "));
    QCOMPARE(h.list()->item(4)->text(), QStringLiteral(" Kit A "));
    QCOMPARE(h.list()->currentRow(), 4);

    // Top row names content 1, the second row content 0.
    h.rowName(0)->setFocus();
    h.rowName(0)->setText(QStringLiteral("tight hat"));
    h.rowName(1)->setFocus();
    h.rowName(1)->setText(QString());
    h.list()->setFocus();
    QCOMPARE(h.editor->bank(4).getContentName(1), std::string("tight hat"));
    QCOMPARE(h.editor->bank(4).getContentName(0), std::string());

    // A name lands in the bank shown while it was typed.
    h.rowName(2)->setFocus();
    h.rowName(2)->setText(QStringLiteral("clap 2"));
    h.list()->setFocus();
    h.select(7);
    QCOMPARE(h.editor->bank(4).getContentName(2), std::string("clap 2"));
    QVERIFY(h.editor->bank(7).getContentName(2) != "clap 2");
}

// Names are Latin-1 bytes: shown as such, stored as such, and nothing
// beyond Latin-1 can be typed in.
void EditorTest::namesAreLatin1()
{
    Harness h;
    QApplication::setActiveWindow(h.editor.get());
    QVERIFY(QTest::qWaitForWindowActive(h.editor.get()));
    h.editor->bank(4).setName("caf\xE9");
    h.editor->bank(4).setContentName(2, "\xC3\xA9");
    h.select(3);
    h.select(4);
    auto* bankName = h.child<QLineEdit>("bankName");
    QCOMPARE(bankName->text(), QStringLiteral("caf\u00e9"));
    QCOMPARE(h.rowName(2)->text(), QStringLiteral("\u00c3\u00a9"));

    bankName->setFocus();
    bankName->selectAll();
    // Typed as a keyboard would send them (keyClicks takes only ASCII).
    for (const QString& typed : {QStringLiteral("\u00df"), QStringLiteral("\u20ac"), QStringLiteral("!")})
        QTest::sendKeyEvent(QTest::Click, bankName, Qt::Key_unknown, typed, Qt::NoModifier);
    QCOMPARE(bankName->text(), QStringLiteral("\u00df!"));
    h.list()->setFocus();
    QCOMPARE(h.editor->bank(4).getName(), std::string("\xDF!"));
    QCOMPARE(h.list()->item(4)->text(), QStringLiteral("\u00df!"));
}

void EditorTest::enterAndEscape()
{
    Harness h;
    QApplication::setActiveWindow(h.editor.get());
    QVERIFY(QTest::qWaitForWindowActive(h.editor.get()));
    h.rowName(0)->setFocus();
    QTest::keyClick(h.rowName(0), Qt::Key_Return);
    QTest::keyClick(h.list(), Qt::Key_Enter);
    QVERIFY(h.editor->isVisible());

    QVERIFY(h.editor->beginSending());
    QVERIFY(!h.editor->beginSending()); // a second start is refused
    QVERIFY(!h.editor->beginReceiving());
    QTest::keyClick(h.list(), Qt::Key_Escape);
    QVERIFY(!h.editor->close());
    QVERIFY(h.editor->isVisible());
    h.editor->endTransfer();
    QCOMPARE(h.editor->state(), int(CEditor::Idle));
    QTest::keyClick(h.list(), Qt::Key_Escape);
    QVERIFY(!h.editor->isVisible());
}

void EditorTest::slotImport()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tone.wav");
    writeBytes(path, wavFile(1));
    Harness h;
    const std::vector<std::uint8_t> before = h.editor->bank(4).content(1)->getData();
    h.prompt->openNames = {path};
    h.child<QPushButton>("rowOpen0")->click();
    QVERIFY(h.prompt->boxes.empty());
    QCOMPARE(h.rowName(0)->text(), QStringLiteral("tone.wav"));
    QCOMPARE(h.editor->bank(4).getContentName(1), std::string("tone.wav"));
    QVERIFY(h.editor->bank(4).content(1)->getData() != before);
    QCOMPARE(h.editor->bank(4).content(1)->getSize(), before.size());
    QCOMPARE(h.prompt->dialogs.back().title, QStringLiteral("Import into CLOSED HI HAT"));
    QCOMPARE(h.prompt->dialogs.back().filters,
             (QStringList{"Audio files (*.wav *.aif *.aiff *.aifc *.flac *.ogg *.mp3)", "All files (*)"}));

    // A cancelled dialog changes nothing; audio files keep their own folder.
    h.prompt->openNames = {QString()};
    h.child<QPushButton>("rowOpen1")->click();
    QCOMPARE(h.prompt->dialogs.back().directory, dir.path());
    h.child<QPushButton>("openFromDisk")->click();
    QCOMPARE(h.prompt->dialogs.back().directory, QString());
    QCOMPARE(h.rowName(1)->text(), QString::fromStdString(CSound(4).getContentName(0)));
}

void EditorTest::slotImportRefusals_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("bank");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("reason");
    QTest::newRow("compressed WAV") << wavFile(2) << 4 << QStringLiteral("Wrong File Format")
                                    << QStringLiteral("Its samples are not uncompressed PCM (format tag 0x0002).");
    QTest::newRow("AIFC") << aifcFile() << 4 << QStringLiteral("Wrong File Format")
                          << QStringLiteral("It is an AIFF-C file.");
    QTest::newRow("missing file") << QByteArray() << 4 << QStringLiteral("VARNO414Editor") << QString();
    QTest::newRow("WAV as firmware") << wavFile(1) << int(kFirmwareIndex) << QStringLiteral("VARNO414Editor")
                                     << QString();
}

void EditorTest::slotImportRefusals()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, bank);
    QFETCH(QString, caption);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath("sound.wav");
    if (!bytes.isEmpty()) writeBytes(path, bytes);
    Harness h;
    h.select(bank);
    const TableState before = tableState(*h.editor);
    h.prompt->openNames = {path};
    h.child<QPushButton>("rowOpen0")->click();
    QCOMPARE(h.prompt->boxes.size(), std::size_t(1));
    QCOMPARE(h.prompt->boxes[0].caption, caption);
    if (caption == QStringLiteral("Wrong File Format"))
        QCOMPARE(h.prompt->boxes[0].text,
                 QStringLiteral("VARNO414Editor supports only pcm (no compression) formats (*.aif or *.wav).\n") +
                     reason);
    else
        QVERIFY(h.prompt->boxes[0].text.contains(path));
    if (bank == kFirmwareIndex) QVERIFY(h.prompt->boxes[0].text.contains(QStringLiteral("own OS firmware")));
    QVERIFY(tableState(*h.editor) == before);
    QVERIFY(!h.editor->isBankChanged(bank));
}

void EditorTest::resetRestoresFactoryNames()
{
    Harness h;
    for (int index : {0, 4}) {
        h.select(index);
        h.editor->bank(index).setName("mine");
        h.editor->bank(index).setContentName(3, "rim");
        h.child<QPushButton>("resetToDefault")->click();
        QCOMPARE(h.editor->bank(index).getName(), bankName(index));
        QCOMPARE(h.editor->bank(index).getContentName(3), CSound(index).getContentName(3));
        QCOMPARE(h.list()->item(index)->text(), QString::fromStdString(bankName(index)));
        QCOMPARE(h.list()->currentRow(), index);
    }
    QVERIFY(h.prompt->boxes.empty());

    // A changed bank is replaced only when the question is answered Reset.
    typeName(h.child<QLineEdit>("bankName"), QStringLiteral("mine"));
    h.prompt->answers = {Answer::Cancel, Answer::Reset};
    h.child<QPushButton>("resetToDefault")->click();
    QCOMPARE(h.editor->bank(4).getName(), std::string("mine"));
    QCOMPARE(h.prompt->boxes.back().text,
             QStringLiteral("Replace S05 with its factory sounds? Your changes to it are lost."));
    QCOMPARE(h.prompt->boxes.back().buttons, IPrompt::Buttons::ResetCancel);
    h.child<QPushButton>("resetToDefault")->click();
    QCOMPARE(h.editor->bank(4).getName(), std::string("S05"));

    // Refused while a transfer runs.
    h.editor->bank(4).setName("mine");
    QVERIFY(h.editor->beginSending());
    h.child<QPushButton>("resetToDefault")->click();
    QCOMPARE(h.editor->bank(4).getName(), std::string("mine"));
    QCOMPARE(h.prompt->boxes.back().caption, QStringLiteral("Reset to Default"));
    QCOMPARE(h.prompt->boxes.back().text,
             QStringLiteral("Don't Reset To Default any bank during sending or receiveing!"));
    h.editor->endTransfer();
}

void EditorTest::saveAndOpenSelectedBank()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("bank3.mid");
    Harness h;
    h.select(2);
    h.editor->bank(2).setName("from three");
    h.prompt->saveNames = {path};
    h.child<QPushButton>("saveToDisk")->click();
    QVERIFY(QFile::exists(path));
    QCOMPARE(h.prompt->dialogs.back().filters, QStringList{"Bank files (*.mid)"});
    QCOMPARE(h.prompt->dialogs.back().defaultSuffix, QStringLiteral("mid"));
    QVERIFY(h.child<QPushButton>("saveToDisk")->isEnabled());

    // Same position: no question.
    h.editor->bank(2).setName("changed");
    h.prompt->openNames = {path};
    h.child<QPushButton>("openFromDisk")->click();
    QVERIFY(h.prompt->boxes.empty());
    QCOMPARE(h.editor->bank(2).getName(), std::string("from three"));
    QCOMPARE(h.list()->currentRow(), 2);

    // Another position: the question, answered No, then Yes.
    h.select(4);
    const std::vector<std::uint8_t> before = h.editor->bank(4).content(0)->getData();
    h.prompt->openNames = {path, path};
    h.prompt->answers = {Answer::No, Answer::Yes};
    h.child<QPushButton>("openFromDisk")->click();
    QCOMPARE(h.prompt->boxes.size(), std::size_t(1));
    QCOMPARE(h.prompt->boxes[0].icon, IPrompt::Icon::Question);
    QCOMPARE(h.prompt->boxes[0].text, QStringLiteral("The file contains data for bank: \"from three\".\n"
                                                     "Do you want to overwrite bank: \"S05\"?"));
    QCOMPARE(h.editor->bank(4).getName(), std::string("S05"));
    QVERIFY(h.editor->bank(4).content(0)->getData() == before);

    h.child<QPushButton>("openFromDisk")->click();
    QCOMPARE(h.editor->bank(4).getName(), std::string("from three"));
    QCOMPARE(h.editor->bank(4).getIndex(), std::uint16_t(4));
    QVERIFY(h.editor->bank(4).content(0)->getData() == h.editor->bank(2).content(0)->getData());
    QCOMPARE(h.list()->currentRow(), 4);
    QCOMPARE(h.list()->item(4)->text(), QStringLiteral("from three"));

    // Cancelled dialogs write and change nothing.
    const QString never = dir.filePath("never.mid");
    h.prompt->saveNames = {QString()};
    h.prompt->openNames = {QString()};
    h.child<QPushButton>("saveToDisk")->click();
    h.child<QPushButton>("openFromDisk")->click();
    QVERIFY(!QFile::exists(never));
    QCOMPARE(h.editor->bank(4).getName(), std::string("from three"));

    // A file named at start ("Open with") selects its own bank: no question.
    Harness started;
    started.editor->openGivenFile(path);
    QVERIFY(started.prompt->boxes.empty());
    QCOMPARE(started.list()->currentRow(), 2);
    QCOMPARE(started.editor->bank(2).getName(), std::string("from three"));
    QCOMPARE(started.editor->bank(4).getName(), std::string("S05"));
}

void EditorTest::saveAndOpenAllBanks()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("all.mid");
    Harness h;
    h.editor->bank(0).setName("first");
    h.editor->bank(30).setName("last sound");
    h.child<QRadioButton>("allBanks")->setChecked(true);
    h.prompt->saveNames = {path};
    h.child<QPushButton>("saveToDisk")->click();
    QVERIFY(h.prompt->boxes.empty());

    h.editor->bank(0).setName("x");
    h.editor->bank(30).setName("y");
    h.child<QRadioButton>("selectedBank")->setChecked(true);
    h.select(9);
    h.prompt->openNames = {path};
    h.child<QPushButton>("openFromDisk")->click();
    QVERIFY(h.prompt->boxes.empty());
    QCOMPARE(h.editor->bank(0).getName(), std::string("first"));
    QCOMPARE(h.editor->bank(30).getName(), std::string("last sound"));
    QCOMPARE(h.list()->item(0)->text(), QStringLiteral("first"));
    QCOMPARE(h.list()->currentRow(), 9);
    for (int index = 0; index < kBankCount; ++index) QCOMPARE(h.editor->bank(index).getIndex(), std::uint16_t(index));
}

void EditorTest::openRefusesOtherFiles()
{
    QTemporaryDir dir;
    const QString twoTracks = dir.filePath("two.mid");
    const QString junk = dir.filePath("junk.mid");
    CSound first(0);
    CSound second(1);
    IBank* pair[] = {&first, &second};
    WrapperKtMidiFile files;
    QVERIFY(files.saveBanks(pair, twoTracks.toStdString()));
    writeBytes(junk, QByteArray("not a MIDI file at all"));

    Harness h;
    h.editor->bank(4).setName("kept");
    h.prompt->openNames = {twoTracks, junk};
    h.child<QPushButton>("openFromDisk")->click();
    h.child<QPushButton>("openFromDisk")->click();
    QCOMPARE(h.prompt->boxes.size(), std::size_t(2));
    for (const ScriptedPrompt::Box& box : h.prompt->boxes) {
        QCOMPARE(box.icon, IPrompt::Icon::Warning);
        QCOMPARE(box.caption, QStringLiteral("VARNO414Editor"));
        QCOMPARE(box.text, QStringLiteral("This file contains no sound bank(s)\nfor a Orvel VARNO 414!"));
    }
    QCOMPARE(h.editor->bank(4).getName(), std::string("kept"));
    QCOMPARE(h.editor->bank(0).getName(), bankName(0));
}

// The same crafted files varno414's tests open, with the same answers.
void EditorTest::openCraftedFiles_data()
{
    QTest::addColumn<int>("row");
    const auto& files = craftedBankFiles();
    for (std::size_t i = 0; i < files.size(); ++i)
        QTest::newRow(
            QStringLiteral("%1 at %2").arg(QString::fromStdString(files[i].name)).arg(files[i].position).toLatin1())
            << int(i);
}

void EditorTest::openCraftedFiles()
{
    QFETCH(int, row);
    const CraftedBankFile& crafted = craftedBankFiles()[std::size_t(row)];
    QTemporaryDir dir;
    const QString path = QString::fromStdString(writeCraftedBankFile(crafted, dir.path().toStdString()).string());
    Harness h;
    const int position = int(crafted.position);
    h.select(position);
    h.editor->bank(position).setName("kept");
    h.prompt->openNames = {path};
    h.child<QPushButton>("openFromDisk")->click();
    if (crafted.editorTakes) {
        QVERIFY(h.prompt->boxes.empty());
        QVERIFY(h.editor->bank(position).getName() != "kept");
        QCOMPARE(h.editor->bank(kFirmwareIndex).isFirmwarePlaceholder(), crafted.firmwarePlaceholder);
    } else {
        QCOMPARE(h.prompt->boxes.size(), std::size_t(1));
        QCOMPARE(h.prompt->boxes[0].text,
                 QStringLiteral("This file contains no sound bank(s)\nfor a Orvel VARNO 414!"));
        QCOMPARE(h.editor->bank(position).getName(), std::string("kept"));
        QVERIFY(h.editor->bank(kFirmwareIndex).isFirmwarePlaceholder());
    }
}

// Short firmware-shaped messages are never sent and are saved without the
// erases the file came with.
void EditorTest::shortFirmwareStaysAPlaceholder()
{
    QTemporaryDir dir;
    const auto file = writeCraftedBankFile(craftedBankFile("short-firmware.mid"), dir.path().toStdString());
    Harness h;
    h.select(kFirmwareIndex);
    h.prompt->openNames = {QString::fromStdString(file.string())};
    h.child<QPushButton>("openFromDisk")->click();
    QCOMPARE(h.editor->bank(kFirmwareIndex).getName(), std::string("FIRMWARE"));

    h.child<QPushButton>("sendToVarno")->click();
    QCOMPARE(h.prompt->boxes.size(), std::size_t(1));
    QVERIFY(h.prompt->boxes[0].text.contains(QStringLiteral("No firmware")));
    QVERIFY(h.sentSysex().empty());

    const QString saved = dir.filePath("saved.mid");
    h.prompt->saveNames = {saved};
    h.child<QPushButton>("saveToDisk")->click();
    QFile written(saved);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(!written.readAll().contains(QByteArray("\x31\x0D\x79")));
}

void EditorTest::saveFailureIsReported()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("missing-folder/bank.mid");
    Harness h;
    h.prompt->saveNames = {path};
    h.child<QPushButton>("saveToDisk")->click();
    QCOMPARE(h.prompt->boxes.size(), std::size_t(1));
    QCOMPARE(h.prompt->boxes[0].icon, IPrompt::Icon::Warning);
    QVERIFY(h.prompt->boxes[0].text.contains(path));
    QVERIFY(h.child<QPushButton>("saveToDisk")->isEnabled());
}

void EditorTest::readOnlyFileIsReplacedOnlyOnYes()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("kept.mid");
    writeBytes(path, QByteArray("old"));
    const auto readOnly = QFile::ReadOwner | QFile::ReadGroup;
    QVERIFY(QFile::setPermissions(path, readOnly));
    Harness h;
    h.editor->bank(4).setName("new");
    h.prompt->saveNames = {path, path};
    h.prompt->answers = {Answer::No, Answer::Yes};

    h.child<QPushButton>("saveToDisk")->click();
    QCOMPARE(h.prompt->boxes.size(), std::size_t(1));
    QCOMPARE(h.prompt->boxes[0].icon, IPrompt::Icon::Question);
    QCOMPARE(h.prompt->boxes[0].text,
             QStringLiteral("The file \"%1\" is read-only.\nDo you want to replace it anyway?").arg(path));
    QFile old(path);
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old"));

    h.child<QPushButton>("saveToDisk")->click();
    QCOMPARE(h.prompt->boxes.size(), std::size_t(2));
    CSound saved(0);
    WrapperKtMidiFile files;
    QVERIFY(files.openBank(saved, path.toStdString()));
    QCOMPARE(saved.getName(), std::string("new"));
    QCOMPARE(QFile::permissions(path) & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther),
             QFile::Permissions());
}

void EditorTest::sendSelectedBank()
{
    Harness h;
    h.child<QComboBox>("channels")->setCurrentIndex(15);
    QSignalSpy status(h.editor.get(), &CEditor::statusChanged);
    h.send()->click();
    QCOMPARE(h.editor->state(), int(CEditor::Sending));
    QVERIFY(!h.send()->isVisible() && h.stop()->isVisible());
    QVERIFY(h.child<QProgressBar>("sendProgress")->isVisible());
    QVERIFY(h.child<QProgressBar>("bankProgress")->isVisible());
    QTest::keyClick(h.editor.get(), Qt::Key_Escape);
    QVERIFY(h.editor->isVisible());
    QVERIFY(h.waitForEnd());

    // One bank reads as one of one; the computer was kept awake meanwhile.
    QCOMPARE(statusTexts(status).first(), QStringLiteral("Opening the port - 1:48 left"));
    QVERIFY(statusTexts(status).last().isEmpty());
    QCOMPARE(h.inhibitor->calls, (std::vector<std::string>{"inhibit: " + kInhibitReason, "release"}));
    QCOMPARE(h.editor->state(), int(CEditor::Idle));
    QVERIFY(h.send()->isVisible() && h.send()->isEnabled());
    QVERIFY(!h.child<QProgressBar>("sendProgress")->isVisible());
    QVERIFY(h.prompt->boxes.empty());

    const auto sent = h.sentSysex();
    QCOMPARE(sent.size(), std::size_t(4));
    CSound expected(4);
    const EventList& events = expected.buildEvents(15);
    for (std::size_t i = 0; i < kEventCount; ++i) QVERIFY(sent[i] == events[i]->getMessageData());
}

void EditorTest::sendAllBanks()
{
    Harness h;
    h.child<QRadioButton>("allBanks")->setChecked(true);

    // Cancel: nothing sent, idle again at once.
    h.prompt->answers = {Answer::Cancel};
    h.send()->click();
    QCOMPARE(h.editor->state(), int(CEditor::Idle));
    QVERIFY(!h.child<QProgressBar>("sendProgress")->isVisible());
    QVERIFY(h.sentSysex().empty());
    QCOMPARE(h.prompt->boxes.back().caption, QStringLiteral("Send All Banks"));
    QVERIFY(h.prompt->boxes.back().text.startsWith(
        QStringLiteral("The sending of all banks takes over 51 Minutes.\nDo you want to really transmit?\n")));

    // OK: the sound banks in order; the firmware placeholder stays behind.
    QSignalSpy status(h.editor.get(), &CEditor::statusChanged);
    h.prompt->answers = {Answer::Ok};
    h.send()->click();
    QVERIFY(h.waitForEnd());
    QCOMPARE(statusTexts(status).first(), QStringLiteral("Opening the port - 55:06 left"));
    QVERIFY(statusTexts(status).last().isEmpty());

    const auto sent = h.sentSysex();
    QCOMPARE(sent.size(), std::size_t(kSoundBankCount * kEventCount));
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const std::size_t bankIndex = i / kEventCount;
        const std::uint8_t block = static_cast<std::uint8_t>(2 * bankIndex + (i % kEventCount >= 2 ? 1 : 0));
        if (i % 2 == 0)
            QCOMPARE(sent[i][4], block); // erase message names its block
        else
            QCOMPARE(sent[i][2], std::uint8_t(0x40 | block));
    }
    QCOMPARE(h.editor->state(), int(CEditor::Idle));
}

void EditorTest::sendAllBanksAsksAboutDuplicates()
{
    QTemporaryDir dir;
    const auto file = writeCraftedBankFile(craftedBankFile("duplicates.mid"), dir.path().toStdString());
    Harness h;
    h.prompt->openNames = {QString::fromStdString(file.string())};
    h.child<QPushButton>("openFromDisk")->click();
    QCOMPARE(h.editor->bank(1).getName(), std::string("S01 again"));
    h.child<QRadioButton>("allBanks")->setChecked(true);

    // No to the second question: nothing is sent.
    h.prompt->answers = {Answer::Ok, Answer::No};
    h.child<QPushButton>("sendToVarno")->click();
    QCOMPARE(h.prompt->boxes.size(), std::size_t(2));
    QCOMPARE(h.prompt->boxes[1].caption, QStringLiteral("Send All Banks"));
    QVERIFY(h.prompt->boxes[1].text.startsWith(QStringLiteral("S01 appears in tracks 1 and 2.\n")));
    QCOMPARE(h.editor->state(), int(CEditor::Idle));
    QVERIFY(h.sentSysex().empty());

    h.prompt->answers = {Answer::Ok, Answer::Yes};
    h.child<QPushButton>("sendToVarno")->click();
    QVERIFY(h.waitForEnd());
    QCOMPARE(h.sentSysex().size(), std::size_t(kSoundBankCount * kEventCount));
}

void EditorTest::sendWorksOnCopies()
{
    Harness h;
    h.holdAt(0);
    h.send()->click();
    QVERIFY(h.waitHeld());

    // Edit, open and reset the bank under the running send.
    CSound other(9);
    const EventList& otherEvents = other.buildEvents(0);
    const CMessage* messages[] = {otherEvents[1]->getMessage(), otherEvents[3]->getMessage()};
    QVERIFY(h.editor->bank(4).setContentsFromMessages(messages));
    h.editor->bank(4).setName("edited");
    h.child<QPushButton>("resetToDefault")->click();
    QCOMPARE(h.prompt->boxes.back().caption, QStringLiteral("Reset to Default"));
    h.release();
    QVERIFY(h.waitForEnd());

    CSound original(4);
    const EventList& events = original.buildEvents(0);
    const auto sent = h.sentSysex();
    QCOMPARE(sent.size(), std::size_t(4));
    QVERIFY(sent[1] == events[1]->getMessageData());
    QVERIFY(sent[3] == events[3]->getMessageData());
}

void EditorTest::sendRefusesFirmwarePlaceholder()
{
    Harness h;
    h.select(31);
    h.child<QPushButton>("sendToVarno")->click();
    QCOMPARE(h.editor->state(), int(CEditor::Idle));
    QCOMPARE(h.prompt->boxes.size(), std::size_t(1));
    QVERIFY(h.prompt->boxes[0].text.contains(QStringLiteral("No firmware")));
    QVERIFY(h.system->records().empty());
    QVERIFY(h.child<QPushButton>("sendToVarno")->isEnabled());
}

void EditorTest::portFailureEndsTransfer()
{
    RecordingMidiSystem::Options options;
    options.failOpen = true;
    Harness h(options);
    h.send()->click();
    QVERIFY(h.waitForEnd());
    QCOMPARE(h.editor->state(), int(CEditor::Idle));
    QCOMPARE(h.prompt->boxes.size(), std::size_t(1));
    QCOMPARE(h.prompt->boxes[0].icon, IPrompt::Icon::Warning);
    QVERIFY(h.prompt->boxes[0].text.startsWith(
        QStringLiteral("The MIDI port \"Recording MIDI Out 1\" could not be opened.\n")));
    QVERIFY(!h.child<QProgressBar>("sendProgress")->isVisible());
    QVERIFY(h.send()->isEnabled());
    QVERIFY(h.sentSysex().empty());
}

// Stop finishes the bank in flight: every message of it and nothing after
// it; the next "all banks" offers to resume from the bank after it.
void EditorTest::stopFinishesTheBankAndResumes()
{
    Harness h;
    h.child<QRadioButton>("allBanks")->setChecked(true);
    h.prompt->answers = {Answer::Ok};
    h.holdAt(kOpeningMs + kSoundBankMs + 5000);
    h.send()->click();
    QVERIFY(h.waitHeld());
    QTRY_COMPARE(h.status(), QStringLiteral("Bank 2 of 31 - 53:09 left"));
    h.stop()->click();
    QCOMPARE(h.status(), QStringLiteral("Stopping after S02..."));
    QVERIFY(!h.stop()->isEnabled());
    h.release();
    QVERIFY(h.waitForEnd());
    QCOMPARE(h.status(), QStringLiteral("Stopped after S02: 2 of 31 banks sent."));
    QCOMPARE(h.prompt->boxes.size(), std::size_t(1));

    const auto sent = h.sentSysex();
    QCOMPARE(sent.size(), std::size_t(2 * kEventCount));
    CSound second(1);
    const EventList& events = second.buildEvents(0);
    for (std::size_t i = 0; i < kEventCount; ++i) QVERIFY(sent[kEventCount + i] == events[i]->getMessageData());

    // No, then Cancel: nothing is sent. Yes: S03 to S31, and the offer is used up.
    h.prompt->answers = {Answer::No, Answer::Cancel};
    h.send()->click();
    QCOMPARE(h.prompt->boxes.size(), std::size_t(3));
    QCOMPARE(h.prompt->boxes[1].buttons, IPrompt::Buttons::YesNoCancel);
    QVERIFY(h.prompt->boxes[1].text.contains(QStringLiteral("Resume from S03? 29 banks, about 52 minutes\n")));
    QVERIFY(h.prompt->boxes[2].text.startsWith(QStringLiteral("The sending of all banks")));
    QCOMPARE(h.sentSysex().size(), sent.size());
    h.prompt->answers = {Answer::Yes};
    h.send()->click();
    QVERIFY(h.waitForEnd());
    const auto all = h.sentSysex();
    QCOMPARE(all.size(), std::size_t(kSoundBankCount * kEventCount));
    QCOMPARE(all[sent.size()][4], std::uint8_t(4)); // S03 erases its first block, block 4
    h.prompt->answers = {Answer::Cancel};
    h.send()->click();
    QVERIFY(h.prompt->boxes.back().text.startsWith(QStringLiteral("The sending of all banks")));
}

// A failure in the middle of all banks leaves the bank in flight erased; the
// offer resumes from it.
void EditorTest::resumeAfterFailure()
{
    RecordingMidiSystem::Options options;
    options.failLongAt = {11 * int(kEventCount) + 1}; // S12's first block write
    Harness h(options);
    h.child<QRadioButton>("allBanks")->setChecked(true);
    h.prompt->answers = {Answer::Ok};
    h.send()->click();
    QVERIFY(h.waitForEnd());
    QCOMPARE(h.status(), QStringLiteral("Failed at S12: 11 of 31 banks sent."));
    const QString failure = h.prompt->boxes.back().text;
    QCOMPARE(h.prompt->boxes.back().icon, IPrompt::Icon::Warning);
    QVERIFY2(failure.contains(QStringLiteral("11 of 31 banks sent.\nS12 may be left erased or half written")),
             qPrintable(failure));
    QVERIFY(failure.endsWith(QStringLiteral("resume from S12.")));

    h.prompt->answers = {Answer::Yes};
    h.send()->click();
    QVERIFY(h.prompt->boxes.back().text.contains(QStringLiteral("Resume from S12? 20 banks, about 36 minutes")));
    QVERIFY(h.waitForEnd());
    const auto sent = h.sentSysex();
    QCOMPARE(sent.size(), std::size_t((11 + 20) * kEventCount + 1));
    QCOMPARE(sent[45][4], std::uint8_t(22)); // S12 again, from its erase
    QVERIFY(h.status().isEmpty());
}

// The close box during a send offers to stop after the bank in flight; the
// window closes once the send has ended. Escape does nothing.
void EditorTest::closeBoxStopsAfterTheBank()
{
    Harness h;
    h.child<QRadioButton>("allBanks")->setChecked(true);
    h.prompt->answers = {Answer::Ok, Answer::No, Answer::Yes};
    h.holdAt(kOpeningMs + 5000);
    h.send()->click();
    QVERIFY(h.waitHeld());
    QTest::keyClick(h.list(), Qt::Key_Escape);
    QCOMPARE(h.prompt->boxes.size(), std::size_t(1));
    QVERIFY(!h.editor->close()); // No: the send goes on
    QCOMPARE(h.prompt->boxes.back().text,
             QStringLiteral("Banks are being sent to the VARNO.\nStop after S01 and close the window when it has "
                            "been sent?"));
    QVERIFY(h.stop()->isEnabled());
    QVERIFY(!h.editor->close()); // Yes
    QCOMPARE(h.status(), QStringLiteral("Stopping after S01..."));
    QVERIFY(h.editor->isVisible());
    h.release();
    QVERIFY(h.waitForEnd());
    QVERIFY(!h.editor->isVisible());
    QCOMPARE(h.sentSysex().size(), std::size_t(kEventCount));
}

// With a clock that really passes, the whole send's bar only grows and shows
// 100 % only at the end.
void EditorTest::progressGrowsToTheEnd()
{
    RecordingMidiSystem::Options options;
    options.realTimeSpeed = 250;
    Harness h(options);
    auto* whole = h.child<QProgressBar>("sendProgress");
    QList<int> values;
    std::int64_t fullAtMs = -1;
    connect(whole, &QProgressBar::valueChanged, whole, [&](int value) {
        values << value;
        if (value == 100 && fullAtMs < 0) fullAtMs = h.system->elapsedMs();
    });
    h.send()->click();
    QVERIFY(h.waitForEnd());
    QVERIFY2(values.size() >= 4, qPrintable(QString::number(values.size())));
    QVERIFY(std::is_sorted(values.begin(), values.end()));
    QVERIFY(fullAtMs < 0 || fullAtMs == kOpeningMs + kSoundBankMs);
}

// The port opens and pauses on the send thread: the window keeps answering.
void EditorTest::windowAnswersDuringSend()
{
    RecordingMidiSystem::Options options;
    options.realTimeSpeed = 1;
    Harness h(options);
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 worst = 0;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    beat.setInterval(10);
    connect(&beat, &QTimer::timeout, &beat, [&] {
        worst = std::max(worst, clock.elapsed() - last - 10);
        last = clock.elapsed();
    });
    clock.start();
    beat.start();
    // The window's first paint comes before the send and is not measured.
    QTest::qWait(300);
    worst = 0;
    h.send()->click();
    // The opening's 1.2 s, the 3 s before the first message, then no more.
    QTRY_VERIFY_WITH_TIMEOUT(!h.sentSysex().empty(), 15000);
    h.editor->requestStop(StopPoint::afterMessage);
    QVERIFY(h.waitForEnd());
    beat.stop();
    qInfo("worst event-loop lateness during the send: %lld ms", static_cast<long long>(worst));
    QVERIFY2(worst < 50, qPrintable(QString::number(worst)));
    // The erase went out and its write did not: the bank is said to need sending again.
    QCOMPARE(h.sentSysex().size(), std::size_t(1));
    QVERIFY(h.prompt->boxes.back().text.contains(QStringLiteral("S05 may be left erased or half written")));
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

public slots:
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

public slots:
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
    Harness h;
    h.editor->setSleepInhibitor(std::make_unique<DBusSleepInhibitor>());
    h.holdAt(kOpeningMs + 5000);
    h.send()->click();
    QVERIFY(h.waitHeld());
    QTRY_VERIFY(h.status().endsWith(QStringLiteral(" - computer may sleep")));
    h.release();
    QVERIFY(h.waitForEnd());
    QCOMPARE(h.sentSysex().size(), std::size_t(kEventCount));
}

void EditorTest::secondaryCommands()
{
    Harness h;
    h.editor->receiveFromDevice();
    QCOMPARE(h.prompt->boxes.back().text, QStringLiteral("Receive from VARNO is not supported yet!"));
    QCOMPARE(h.editor->state(), int(CEditor::Idle));
    QVERIFY(!h.child<QProgressBar>("receiveProgress")->isVisible());

    h.editor->interfaceTest();
    QCOMPARE(h.prompt->boxes.back().caption, QStringLiteral("MIDI Interface Test"));
    QCOMPARE(h.prompt->boxes.back().text, QStringLiteral("Please use the Orvel MIDI Interface Test application!"));

    CAboutDlg about;
    QCOMPARE(about.versionText(), QStringLiteral("Version ") + QString::fromLatin1(kVarnoVersion));
    QCOMPARE(about.windowTitle(), QStringLiteral("Info über VARNO414Editor"));
}

void EditorTest::changedMarksAndTitle()
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("tone.wav");
    writeBytes(wav, wavFile(1));
    const QString one = dir.filePath("one.mid");
    const QString all = dir.filePath("all.mid");
    Harness h;
    const auto title = [&] { return h.editor->windowHandle()->title(); };
    const auto marked = [&] {
        QList<int> banks;
        for (int i = 0; i < kBankCount; ++i) {
            if (h.editor->isBankChanged(i)) banks << i;
            if (h.list()->item(i)->font().bold() != h.editor->isBankChanged(i)) banks << -1; // the list disagrees
        }
        return banks;
    };
    QCOMPARE(title(), QStringLiteral("VARNO414Editor"));

    // A rename, an import, a reset and an open into another position.
    typeName(h.child<QLineEdit>("bankName"), QStringLiteral("Kit"));
    QCOMPARE(title(), QStringLiteral("VARNO414Editor*"));
    h.prompt->saveNames = {one, dir.filePath("nine.mid"), all};
    h.child<QPushButton>("saveToDisk")->click();
    QCOMPARE(title(), QStringLiteral("one.mid - VARNO414Editor"));
    h.select(2);
    h.prompt->openNames = {wav, one, one, all};
    h.child<QPushButton>("rowOpen2")->click();
    h.select(7);
    h.child<QPushButton>("resetToDefault")->click();
    h.select(9);
    h.prompt->answers = {Answer::Yes};
    h.child<QPushButton>("openFromDisk")->click();
    QCOMPARE(marked(), (QList<int>{2, 7, 9}));
    QCOMPARE(title(), QStringLiteral("one.mid* - VARNO414Editor"));

    // Undoing back to the saved state clears the mark; saving one bank clears
    // its own, and a bank opened into its own position equals its file.
    h.select(4);
    typeName(h.child<QLineEdit>("bankName"), QStringLiteral("Kit 2"));
    QVERIFY(h.editor->isBankChanged(4));
    h.editor->undoStack()->undo();
    QVERIFY(!h.editor->isBankChanged(4));
    h.select(9);
    h.child<QPushButton>("saveToDisk")->click();
    h.select(4);
    h.child<QPushButton>("openFromDisk")->click();
    QCOMPARE(marked(), (QList<int>{2, 7}));

    // Saving all banks clears every mark, and so does opening a whole table.
    h.child<QRadioButton>("allBanks")->setChecked(true);
    h.child<QPushButton>("saveToDisk")->click();
    QVERIFY(marked().isEmpty());
    h.child<QPushButton>("resetToDefault")->click();
    h.child<QPushButton>("openFromDisk")->click();
    QVERIFY(marked().isEmpty());
    QCOMPARE(title(), QStringLiteral("all.mid - VARNO414Editor"));
}

void EditorTest::closeAsksWhenSomethingIsUnsaved()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("kit.mid");
    Harness h;
    typeName(h.child<QLineEdit>("bankName"), QStringLiteral("Kit"));
    // Cancel keeps the window, and so does a save dialog left without saving.
    h.prompt->answers = {Answer::Cancel, Answer::Save};
    h.prompt->saveNames = {QString()};
    QTest::keyClick(h.editor.get(), Qt::Key_Escape);
    QVERIFY(!h.editor->close());
    QCOMPARE(h.prompt->boxes.size(), std::size_t(2));
    QCOMPARE(h.prompt->boxes[0].text, QStringLiteral("Save changes to the banks before closing?"));
    QCOMPARE(h.prompt->boxes[0].buttons, IPrompt::Buttons::SaveDiscardCancel);

    // While sending with no send to stop yet, neither Escape nor the close box asks or closes.
    QVERIFY(h.editor->beginSending());
    QTest::keyClick(h.editor.get(), Qt::Key_Escape);
    QVERIFY(!h.editor->close());
    QCOMPARE(h.prompt->boxes.size(), std::size_t(2));
    h.editor->endTransfer();
    QVERIFY(h.editor->isVisible());

    // Save closes once the normal save has saved; Discard closes at once.
    h.prompt->answers = {Answer::Save};
    h.prompt->saveNames = {path};
    QVERIFY(h.editor->close());
    CSound saved(0);
    QVERIFY(WrapperKtMidiFile().openBank(saved, path.toStdString()));
    QCOMPARE(saved.getName(), std::string("Kit"));
    // A changed bank that is not the selected one is saved too: Save writes every bank.
    Harness elsewhere;
    typeName(elsewhere.child<QLineEdit>("bankName"), QStringLiteral("Kit"));
    elsewhere.list()->setCurrentRow(0);
    elsewhere.prompt->answers = {Answer::Save};
    elsewhere.prompt->saveNames = {dir.filePath("all.mid")};
    QVERIFY(elsewhere.editor->close());
    QCOMPARE(elsewhere.prompt->boxes.size(), std::size_t(1));
    BankFileResult error;
    const std::optional<BankDocument> all = BankDocument::open(dir.filePath("all.mid").toStdString(), error);
    QVERIFY(all && all->isWholeTable());
    QCOMPARE(all->banks().at(4)->getName(), std::string("Kit"));
    Harness other;
    typeName(other.rowName(2), QStringLiteral("clap 2"));
    other.prompt->answers = {Answer::Discard};
    QTest::keyClick(other.editor.get(), Qt::Key_Escape);
    QVERIFY(!other.editor->isVisible());
    QVERIFY(other.prompt->dialogs.empty());
}

void EditorTest::undoAndRedoRestoreTheBytes()
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("tone.wav");
    writeBytes(wav, wavFile(1));
    const QString one = dir.filePath("one.mid");
    const QString all = dir.filePath("all.mid");
    CSound other(2);
    QVERIFY(other.loadContent(4, wav.toStdString()));
    QVERIFY(WrapperKtMidiFile().saveBank(other, one.toStdString()));
    auto table = BankDocument::factory(std::nullopt);
    table.banks()[30]->setName("last");
    BankFileResult error;
    QVERIFY(table.save(all.toStdString(), error));

    // A rename of the bank and of a slot, an import, a reset, two opens.
    Harness h;
    std::vector<TableState> states{tableState(*h.editor)};
    typeName(h.child<QLineEdit>("bankName"), QStringLiteral("Kit"));
    states.push_back(tableState(*h.editor));
    typeName(h.rowName(0), QStringLiteral("hat"));
    states.push_back(tableState(*h.editor));
    h.prompt->openNames = {wav, one, all};
    h.prompt->answers = {Answer::Reset, Answer::Yes};
    for (const char* button : {"rowOpen3", "resetToDefault", "openFromDisk", "openFromDisk"}) {
        h.child<QPushButton>(button)->click();
        states.push_back(tableState(*h.editor));
    }
    QVERIFY(h.editor->beginSending()); // sending is not an edit
    h.editor->endTransfer();
    QCOMPARE(h.editor->undoStack()->count(), int(states.size()) - 1);

    // Undo on its key and in the context menu, redo on both of its keys.
    QApplication::setActiveWindow(h.editor.get());
    QVERIFY(QTest::qWaitForWindowActive(h.editor.get()));
    auto* undo = h.editor->findChild<QAction*>("undo");
    QVERIFY(h.editor->actions().contains(undo));
    QVERIFY(h.editor->findChild<SlotRow*>()->actions().contains(undo));
    QTest::keyClick(h.list(), Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(tableState(*h.editor) == states[5]);
    for (std::size_t i = 5; i > 0; --i) {
        undo->trigger();
        QVERIFY2(tableState(*h.editor) == states[i - 1], qPrintable(QString::number(i)));
    }
    QTest::keyClick(h.list(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(h.list(), Qt::Key_Y, Qt::ControlModifier);
    QVERIFY(tableState(*h.editor) == states[2]);
    while (h.editor->undoStack()->canRedo()) h.editor->undoStack()->redo();
    QVERIFY(tableState(*h.editor) == states.back());
}

void EditorTest::dropsImportAndOpen()
{
    QTemporaryDir dir;
    QStringList wavs;
    for (const char* name : {"a.wav", "b.wav", "c.wav"}) {
        wavs << dir.filePath(name);
        writeBytes(wavs.back(), wavFile(1, 500 + 700 * int(wavs.size())));
    }
    const QString bankFile = dir.filePath("bank.mid");
    CSound stored(2);
    stored.setName("stored name");
    QVERIFY(WrapperKtMidiFile().saveBank(stored, bankFile.toStdString()));
    Harness h;
    const auto row = [&](int index) { return h.editor->findChild<SlotRow*>(QStringLiteral("row%1").arg(index)); };

    // One file fills the slot of the row; several fill the slots from that row
    // down, and what does not fit is told.
    QCOMPARE(dropFiles(*h.editor, row(3), {wavs[0]}), std::make_pair(true, QList<int>{3}));
    QCOMPARE(h.editor->bank(4).getContentName(3), std::string("a.wav"));
    QCOMPARE(dropFiles(*h.editor, row(4), wavs).second, (QList<int>{4, 5}));
    QCOMPARE(h.editor->bank(4).getContentName(5), std::string("b.wav"));
    QVERIFY(h.editor->bank(4).content(4)->getData() != h.editor->bank(4).content(5)->getData());
    QVERIFY(!row(4)->isHighlighted());
    QVERIFY(h.prompt->boxes.back().text.contains(QStringLiteral("1 of the files")));

    // Open's rules hold, and audio files off the rows are not taken.
    writeBytes(wavs[2], wavFile(2)); // MS ADPCM without its coefficients: nothing decodes it
    dropFiles(*h.editor, row(2), {wavs[2]});
    QCOMPARE(h.prompt->boxes.back().caption, QStringLiteral("Wrong File Format"));
    QVERIFY(!dropFiles(*h.editor, h.list(), {wavs[0]}).first);
    QCOMPARE(h.editor->undoStack()->count(), 2);

    // A bank file opens from anywhere, with Open's question naming the bank
    // as the file stores it.
    h.editor->bank(2).setName("renamed since");
    h.prompt->answers = {Answer::Yes};
    QCOMPARE(dropFiles(*h.editor, h.child<QLabel>("versionText"), {bankFile}).second, QList<int>{-1});
    QCOMPARE(h.prompt->boxes.back().text, QStringLiteral("The file contains data for bank: \"stored name\".\n"
                                                         "Do you want to overwrite bank: \"S05\"?"));
    QCOMPARE(h.editor->bank(4).getName(), std::string("stored name"));
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
        QCOMPARE(letters.size(), 17);
        QCOMPARE(letters.removeDuplicates(), 0);
    };
    checkMnemonics();

    // During a send, as it opens and at its smallest, every control is on the
    // screen with all the room its text needs.
    h.holdAt(kOpeningMs + 5000);
    h.send()->click();
    QVERIFY(h.waitHeld());
    QTRY_VERIFY(h.status().startsWith(QStringLiteral("Bank 1 of 1")));
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

QTEST_MAIN(EditorTest)
#include "tst_editor.moc"
