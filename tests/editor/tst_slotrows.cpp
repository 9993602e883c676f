// The bank view's sound: Play through a recording audio output, the waveform
// and capacity text of each row, what an import tells, and saving a slot as
// a WAV file.
#include "audio/recording/recordingaudiosystem.h"
#include "audio/slotaudio.h"
#include "audio/wavwriter.h"
#include "editor/qt/editor.h"
#include "editor/qt/slotrow.h"
#include "editor/qt/waveformview.h"
#include "midifile/wrapperktmidifile.h"
#include "midiport/recording/recordingmidisystem.h"
#include "model/sound.h"
#include "scriptedprompt.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

namespace {

struct Harness {
    explicit Harness(RecordingAudioSystem::Options options = {})
        : audio(std::make_shared<RecordingAudioSystem>(std::move(options)))
    {
        auto scripted = std::make_unique<ScriptedPrompt>();
        prompt = scripted.get();
        editor = std::make_unique<CEditor>(std::make_shared<RecordingMidiSystem>(RecordingMidiSystem::Options{}),
                                           std::move(scripted), audio);
        editor->show();
    }
    SlotRow* row(int index) const { return editor->findChild<SlotRow*>(QStringLiteral("row%1").arg(index)); }
    QPushButton* play(int index) const { return row(index)->playButton(); }
    const std::vector<std::uint8_t>& bytes(int bank, int row) const
    {
        return editor->bank(bank).content(static_cast<std::uint16_t>(CEditor::contentOfRow(row)))->getData();
    }
    QString status() const { return editor->findChild<QLabel*>(QStringLiteral("statusText"))->text(); }

    std::shared_ptr<RecordingAudioSystem> audio;
    ScriptedPrompt* prompt = nullptr;
    std::unique_ptr<CEditor> editor;
};

// The documented conversion: output frame i holds slot sample
// floor(i x 33000 / rate), (b - 0x80) x 256, on every channel, up to the
// last sample that sounds.
std::vector<std::int16_t> heldAt(const std::vector<std::uint8_t>& slot, std::uint32_t rate, std::uint16_t channels)
{
    const std::size_t used = audio::usedLength(slot);
    std::vector<std::int16_t> out;
    for (std::uint64_t i = 0; i * 33000 < used * std::uint64_t{rate}; ++i)
        out.insert(out.end(), channels, static_cast<std::int16_t>((slot[i * 33000 / rate] - 0x80) * 256));
    return out;
}

// What the row shows is what the slot holds.
bool showsSlot(const Harness& h, int bank, int row)
{
    WaveformView* waveform = h.row(row)->waveform();
    const std::vector<audio::Peak> drawn = waveform->peaks();
    return !drawn.empty() && drawn == audio::slotPeaks(h.bytes(bank, row), drawn.size()) &&
           h.row(row)->capacity()->text().toStdString() == audio::capacityText(h.bytes(bank, row));
}

void writeFile(const QString& path, std::span<const std::uint8_t> bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

} // namespace

class SlotRowsTest : public QObject {
    Q_OBJECT

private slots:
    void playSendsTheSlotAndStops();
    void playNeedsADevice();
    void rowsFollowTheSlots();
    void importsTellWhatTheyDid();
    void saveSampleAs();
};

void SlotRowsTest::playSendsTheSlotAndStops()
{
    Harness h({.rate = 44100, .channels = 2, .failOpen = {}});
    // The top row plays content 1, to the end.
    QVERIFY(h.play(0)->isEnabled());
    h.play(0)->click();
    // The player opens its output on its own thread: wait for it first.
    QTRY_VERIFY(!h.audio->streams().empty());
    QTRY_COMPARE(h.audio->streams().back().closed, true);
    QTRY_COMPARE(h.play(0)->text(), QStringLiteral("Play"));
    QVERIFY(h.audio->streams().back().samples == heldAt(h.bytes(4, 0), 44100, 2));

    // A second press stops it; another row, or Space on a waveform, takes
    // over from what plays, so only one slot sounds at a time.
    const std::size_t writesSoFar = h.audio->streams().back().writes;
    h.audio->hold();
    h.play(2)->click();
    QVERIFY(h.audio->waitForWrites(writesSoFar + 1, std::chrono::seconds(10)));
    QCOMPARE(h.play(2)->text(), QStringLiteral("Stop"));
    h.play(2)->click();
    QCOMPARE(h.play(2)->text(), QStringLiteral("Play"));
    h.audio->release();
    QTRY_VERIFY(h.audio->streams().back().dropped);
    h.audio->hold();
    h.play(3)->click();
    QTest::keyClick(h.row(5)->waveform(), Qt::Key_Space);
    QCOMPARE(h.play(3)->text(), QStringLiteral("Play"));
    QCOMPARE(h.play(5)->text(), QStringLiteral("Stop"));
    h.audio->release();
    QTRY_COMPARE(h.play(5)->text(), QStringLiteral("Play"));
    QCOMPARE(h.audio->maxOpenAtOnce(), std::size_t(1));

    // The firmware rows have nothing to play.
    h.editor->findChild<QListWidget*>(QStringLiteral("bankList"))->setCurrentRow(31);
    QVERIFY(!h.play(0)->isVisible() && !h.row(0)->waveform()->isVisible());
}

void SlotRowsTest::playNeedsADevice()
{
    Harness h({.failOpen = "No audio output is available: no sound card."});
    for (int row = 0; row < kRowCount; ++row) {
        QVERIFY(h.play(row)->isVisible() && !h.play(row)->isEnabled());
        QCOMPARE(h.play(row)->toolTip(), QStringLiteral("No audio output is available: no sound card."));
    }
    QTest::mouseClick(h.row(2)->waveform(), Qt::LeftButton);
    QVERIFY(h.audio->streams().empty());

    // A slot of silence has nothing to play either.
    QTemporaryDir dir;
    const QString quiet = dir.filePath("quiet.wav");
    writeFile(quiet, audio::wavImage(std::vector<std::uint8_t>(500, audio::kZeroLevel)));
    Harness silent;
    silent.prompt->openNames = {quiet};
    silent.row(2)->openButton()->click();
    QVERIFY(!silent.play(2)->isEnabled());
    QVERIFY(silent.play(3)->isEnabled());
}

void SlotRowsTest::rowsFollowTheSlots()
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("hit.wav");
    std::vector<std::uint8_t> hit(3000);
    for (std::size_t i = 0; i < hit.size(); ++i) hit[i] = static_cast<std::uint8_t>(0x80 + (i % 50) * (i % 2 ? 1 : -1));
    writeFile(wav, audio::wavImage(hit));
    const QString bankFile = dir.filePath("bank.mid");
    CSound other(9);
    QVERIFY(WrapperKtMidiFile().saveBank(other, bankFile.toStdString()));

    Harness h;
    for (int row = 0; row < kRowCount; ++row) QVERIFY2(showsSlot(h, 4, row), qPrintable(QString::number(row)));
    const QString factoryText = h.row(3)->capacity()->text();
    h.prompt->openNames = {wav, bankFile};
    h.row(3)->openButton()->click();
    QVERIFY(showsSlot(h, 4, 3));
    QCOMPARE(h.row(3)->capacity()->text(), QStringLiteral("0.09 s of 0.25 s"));
    h.editor->undoStack()->undo();
    QCOMPARE(h.row(3)->capacity()->text(), factoryText);
    h.editor->undoStack()->redo();
    h.prompt->answers = {IPrompt::Answer::Reset, IPrompt::Answer::Yes};
    h.editor->resetToDefault();
    QCOMPARE(h.row(3)->capacity()->text(), factoryText);
    QVERIFY(showsSlot(h, 4, 3));
    h.editor->openFromDisk();
    for (int row = 0; row < kRowCount; ++row) QVERIFY(showsSlot(h, 4, row));
    QVERIFY(h.bytes(4, 5) == other.content(5)->getData());
}

void SlotRowsTest::importsTellWhatTheyDid()
{
    QTemporaryDir dir;
    const QString longWav = dir.filePath("long clap.wav");
    writeFile(longWav, audio::wavImage(std::vector<std::uint8_t>(66000, 0x90)));
    const QString text = dir.filePath("notes.txt");
    writeFile(text, std::vector<std::uint8_t>{'h', 'e', 'y'});

    Harness h;
    h.prompt->openNames = {longWav, text};
    h.row(2)->openButton()->click();
    QCOMPARE(h.status(), QStringLiteral("long clap.wav: 0.74 s of 2.00 s used (cut to fit the slot)"));
    h.row(3)->openButton()->click();
    QCOMPARE(h.status(), QStringLiteral("notes.txt: not an audio file, imported as raw 8-bit data"));
}

void SlotRowsTest::saveSampleAs()
{
    QTemporaryDir dir;
    const QString out = dir.filePath("clap.wav");
    Harness h;
    const QList<QAction*> menu = h.row(2)->actions();
    QCOMPARE(menu.size(), 5); // then a separator, Undo and Redo
    QCOMPARE(menu[0]->text(), QStringLiteral("Play"));
    QCOMPARE(menu[1]->text(), QStringLiteral("Save Sample As..."));
    h.prompt->saveNames = {out};
    menu[1]->trigger();
    QCOMPARE(h.prompt->dialogs.back().directory, QStringLiteral("S05 CLAP.wav"));
    QFile written(out);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    const std::vector<std::uint8_t> expected = audio::wavImage(h.bytes(4, 2));
    QVERIFY(std::equal(bytes.cbegin(), bytes.cend(), expected.cbegin(), expected.cend(),
                       [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
    QVERIFY(h.prompt->boxes.empty());
}

QTEST_MAIN(SlotRowsTest)
#include "tst_slotrows.moc"
