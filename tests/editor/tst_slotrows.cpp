// The rows of the bank view: Play through a recording audio output, the
// waveform and capacity text each row draws, and the row's own menu.
#include "audio/slotaudio.h"
#include "audio/wavwriter.h"
#include "editor/qt/slotrow.h"
#include "editor/qt/waveformview.h"
#include "harness.h"
#include "midifile/wrapperktmidifile.h"
#include "model/sound.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

Harness::Options withAudio(RecordingAudioSystem::Options audio)
{
    Harness::Options options;
    options.audio = std::move(audio);
    return options;
}

SlotRow* row(const Harness& h, int index)
{
    return h.child<SlotRow>(QStringLiteral("row%1").arg(index));
}

QPushButton* play(const Harness& h, int index)
{
    return row(h, index)->playButton();
}

// The documented conversion: output frame i holds slot sample
// floor(i x 33000 / rate), (b - 0x80) x 256, on every channel, up to the
// last sample that sounds.
std::vector<std::int16_t> heldAt(std::span<const std::uint8_t> slot, std::uint32_t rate, std::uint16_t channels)
{
    const std::size_t used = audio::usedLength(slot);
    std::vector<std::int16_t> out;
    for (std::uint64_t i = 0; i * 33000 < used * std::uint64_t{rate}; ++i)
        out.insert(out.end(), channels, static_cast<std::int16_t>((slot[i * 33000 / rate] - 0x80) * 256));
    return out;
}

// What the row draws is what the slot holds.
bool showsSlot(const Harness& h, int index)
{
    const RowView view = h.session().row(index);
    const std::vector<audio::Peak> drawn = row(h, index)->waveform()->peaks();
    return !drawn.empty() && drawn == audio::slotPeaks(view.bytes, drawn.size()) &&
           row(h, index)->capacity()->text().toStdString() == view.capacity;
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

private Q_SLOTS:
    void playSendsTheSlotAndStops();
    void playNeedsADevice();
    void rowsFollowTheSlots();
    void rowMenuSavesTheSample();
};

// The player runs on its own thread and its end reaches the window through
// the session's tick: every wait below waits for that, with a bound no
// healthy run comes near.
void SlotRowsTest::playSendsTheSlotAndStops()
{
    Harness h(withAudio({.rate = 44100, .channels = 2, .failOpen = {}}));
    // The top row plays content 1, to the end.
    QVERIFY(play(h, 0)->isEnabled());
    const std::vector<std::uint8_t> top(h.session().row(0).bytes.begin(), h.session().row(0).bytes.end());
    play(h, 0)->click();
    QVERIFY(waitUntil([&] { return !h.audio->streams().empty() && h.audio->streams().back().closed; }));
    QVERIFY(waitUntil([&] { return play(h, 0)->text() == QStringLiteral("Play"); }));
    QVERIFY(h.audio->streams().back().samples == heldAt(top, 44100, 2));

    // A second press stops it; another row, or Space on a waveform, takes
    // over from what plays, so only one slot sounds at a time.
    const std::size_t writesSoFar = h.audio->streams().back().writes;
    h.audio->hold();
    play(h, 2)->click();
    QVERIFY(h.audio->waitForWrites(writesSoFar + 1, std::chrono::seconds(60)));
    QVERIFY(waitUntil([&] { return play(h, 2)->text() == QStringLiteral("Stop"); }));
    play(h, 2)->click();
    QVERIFY(waitUntil([&] { return play(h, 2)->text() == QStringLiteral("Play"); }));
    h.audio->release();
    QVERIFY(waitUntil([&] { return h.audio->streams().back().dropped; }));
    h.audio->hold();
    play(h, 3)->click();
    QTest::keyClick(row(h, 5)->waveform(), Qt::Key_Space);
    QVERIFY(waitUntil([&] { return play(h, 5)->text() == QStringLiteral("Stop"); }));
    QCOMPARE(play(h, 3)->text(), QStringLiteral("Play"));
    h.audio->release();
    QVERIFY(waitUntil([&] { return play(h, 5)->text() == QStringLiteral("Play"); }));
    QCOMPARE(h.audio->maxOpenAtOnce(), std::size_t(1));
}

void SlotRowsTest::playNeedsADevice()
{
    Harness h(withAudio({.failOpen = "No audio output is available: no sound card."}));
    for (int index = 0; index < CEditorSession::kRowCount; ++index) {
        const CommandState state = h.session().row(index).play;
        QVERIFY(play(h, index)->isVisible());
        QCOMPARE(play(h, index)->isEnabled(), state.enabled);
        if (!state.enabled) QCOMPARE(play(h, index)->toolTip().toStdString(), state.reason);
    }
    QVERIFY(!play(h, 2)->isEnabled());
    QTest::mouseClick(row(h, 2)->waveform(), Qt::LeftButton);
    QCoreApplication::processEvents();
    QVERIFY(h.audio->streams().empty());
}

// Each row redraws its waveform and capacity when its slot changes: an
// import, undo, a reset, an open.
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
    for (int index = 0; index < CEditorSession::kRowCount; ++index)
        QVERIFY2(showsSlot(h, index), qPrintable(QString::number(index)));
    const QString factoryText = row(h, 3)->capacity()->text();
    h.prompt->openNames = {wav.toStdString(), bankFile.toStdString()};
    row(h, 3)->openButton()->click();
    QVERIFY(showsSlot(h, 3));
    QVERIFY(row(h, 3)->capacity()->text() != factoryText);
    h.session().run(Command::undo);
    QCOMPARE(row(h, 3)->capacity()->text(), factoryText);
    QVERIFY(showsSlot(h, 3));
    h.session().run(Command::redo);
    QVERIFY(showsSlot(h, 3));
    h.prompt->answers = {IPrompt::Answer::Reset};
    h.child<QPushButton>("resetToDefault")->click();
    QCOMPARE(row(h, 3)->capacity()->text(), factoryText);
    h.session().openGivenFile(bankFile.toStdString());
    for (int index = 0; index < CEditorSession::kRowCount; ++index) QVERIFY(showsSlot(h, index));
}

void SlotRowsTest::rowMenuSavesTheSample()
{
    QTemporaryDir dir;
    const QString out = dir.filePath("clap.wav");
    Harness h;
    const QList<QAction*> menu = row(h, 2)->actions();
    QCOMPARE(menu.size(), 6); // then a separator, Undo and Redo
    QCOMPARE(menu[0]->text(), QStringLiteral("Play"));
    QCOMPARE(menu[1]->text(), QStringLiteral("Save Sample As..."));
    QCOMPARE(menu[2]->text(), QStringLiteral("Import with Options..."));
    QVERIFY(menu[4]->text().contains(QStringLiteral("Undo")) && menu[5]->text().contains(QStringLiteral("Redo")));
    h.prompt->saveNames = {out.toStdString()};
    menu[1]->trigger();
    QCOMPARE(h.prompt->dialogs.size(), std::size_t(1));
    QFile written(out);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    const std::vector<std::uint8_t> expected = audio::wavImage(h.session().row(2).bytes);
    QVERIFY(std::equal(bytes.cbegin(), bytes.cend(), expected.cbegin(), expected.cend(),
                       [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
}

QTEST_MAIN(SlotRowsTest)
#include "tst_slotrows.moc"
