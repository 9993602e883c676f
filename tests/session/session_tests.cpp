// The editing session without any window: a scripted prompt answers its
// questions, the recording backends take its sends and plays.

#include "audio/recording/recordingaudiosystem.h"
#include "audio/wavwriter.h"
#include "editor/editorsession.h"
#include "editor/importdraft.h"
#include "midifile/bankdocument.h"
#include "midiport/recording/recordingmidisystem.h"
#include "midiport/recording/recordingsleepinhibitor.h"
#include "model/bank.h"
#include "model/firmware.h"
#include "tests/support/crafted_bank_files.h"
#include "tests/support/scriptedprompt.h"
#include "tests/support/temp_dir.h"
#include "varno_version.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

using ::testing::HasSubstr;
using ::testing::StartsWith;
using Answer = IPrompt::Answer;

namespace {

struct RecordingView : ISessionView {
    void changed(ViewPart parts) override { changes |= static_cast<unsigned>(parts); }
    void focusBankList() override { ++focused; }
    void showAbout() override { ++abouts; }
    void closeWindow() override { ++closes; }
    unsigned changes = 0;
    int focused = 0;
    int abouts = 0;
    int closes = 0;
};

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(pathFromUtf8(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> readFile(const std::string& path)
{
    std::ifstream in(pathFromUtf8(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A WAV of `loud` samples of a square wave, then `quiet` samples of silence.
std::vector<std::uint8_t> wav(std::size_t loud, std::size_t quiet = 0)
{
    std::vector<std::uint8_t> samples;
    for (std::size_t i = 0; i < loud; ++i) samples.push_back(i % 40 < 20 ? 0xE0 : 0x20);
    samples.insert(samples.end(), quiet, 0x80);
    return audio::wavImage(samples);
}

void le(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A 16-bit mono WAV whose header names the format tag.
std::vector<std::uint8_t> wavTagged(std::uint16_t formatTag)
{
    std::vector<std::uint8_t> fmt;
    le(fmt, formatTag, 2), le(fmt, 1, 2), le(fmt, 33000, 4), le(fmt, 66000, 4), le(fmt, 2, 2), le(fmt, 16, 2);
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 2000; ++i) le(data, static_cast<std::uint32_t>((i * 37) % 20000 - 10000), 2);
    std::vector<std::uint8_t> body{'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
    le(body, static_cast<std::uint32_t>(fmt.size()), 4);
    body.insert(body.end(), fmt.begin(), fmt.end());
    body.insert(body.end(), {'d', 'a', 't', 'a'});
    le(body, static_cast<std::uint32_t>(data.size()), 4);
    body.insert(body.end(), data.begin(), data.end());
    std::vector<std::uint8_t> file{'R', 'I', 'F', 'F'};
    le(file, static_cast<std::uint32_t>(body.size()), 4);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

class Session : public ::testing::Test {
protected:
    void start(RecordingMidiSystem::Options midi = {}, bool withAudio = true, bool withJournal = false)
    {
        system = std::make_shared<RecordingMidiSystem>(midi);
        audio = std::make_shared<RecordingAudioSystem>();
        SessionServices services;
        services.midi = system;
        auto scripted = std::make_unique<ScriptedPrompt>();
        prompt = scripted.get();
        services.prompt = std::move(scripted);
        if (withAudio) services.audio = audio;
        auto sleep = std::make_unique<RecordingSleepInhibitor>();
        inhibitor = sleep.get();
        services.inhibitor = std::move(sleep);
        services.homeFolder = home.path().string();
        if (withJournal) services.journalPath = home.file("journal");
        services.settingsPath = settingsPath;
        session = std::make_unique<CEditorSession>(std::move(services), view);
    }
    void SetUp() override { start(); }

    // The window's timer, until the send has ended.
    void waitForSend()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (session->transfer().sending && std::chrono::steady_clock::now() < deadline) {
            session->tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_FALSE(session->transfer().sending);
    }
    // Until the recording log holds the line (the send has reached a hold).
    void waitForLog(const std::string& path, const std::string& line)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream log(pathFromUtf8(path));
            const std::string text{std::istreambuf_iterator<char>(log), {}};
            if (text.find(line) != std::string::npos) return;
            session->tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        FAIL() << "the log never said " << line;
    }
    std::string lastBox() const { return prompt->boxes.empty() ? std::string() : prompt->boxes.back().text; }
    std::size_t sysexCount() const
    {
        std::size_t count = 0;
        for (const RecordedItem& item : system->records()) count += item.kind == RecordedItem::Kind::sysex;
        return count;
    }
    // A bank file holding one bank saved from `position`.
    std::string savedBank(int position, const std::string& name)
    {
        session->selectBank(position);
        const std::string path = files.file(name);
        prompt->saveNames = {path};
        session->run(Command::save);
        return path;
    }

    TempDir home{"varno-home"};
    TempDir files{"varno-files"};
    std::string settingsPath;
    RecordingView view;
    std::shared_ptr<RecordingMidiSystem> system;
    std::shared_ptr<RecordingAudioSystem> audio;
    ScriptedPrompt* prompt = nullptr;
    RecordingSleepInhibitor* inhibitor = nullptr;
    std::unique_ptr<CEditorSession> session;
};

} // namespace

TEST_F(Session, StartsOnS05WithFactoryBanksAndTheRowsInTheMachinesOrder)
{
    EXPECT_EQ(session->bankCount(), 32);
    EXPECT_EQ(session->selectedBank(), 4);
    EXPECT_EQ(session->bankListText(0), "S01 - factory -");
    EXPECT_EQ(session->bankListText(31), "FIRMWARE - factory -");
    EXPECT_EQ(session->title(), "VARNO414Editor");
    EXPECT_EQ(session->versionText(), std::string("Version ") + kVarnoVersion);
    EXPECT_TRUE(session->status().empty());
    EXPECT_FALSE(session->state(Command::receive).enabled);
    // The closed hi-hat comes first, above the open one.
    EXPECT_EQ(session->row(0).label, session->bank(4).getContentLabel(1));
    EXPECT_EQ(session->row(1).label, session->bank(4).getContentLabel(0));
    EXPECT_EQ(session->row(5).label, "RIDE");
    EXPECT_THAT(session->row(2).capacity, HasSubstr(" s of "));
    session->selectBank(kFirmwareIndex);
    EXPECT_TRUE(session->row(1).shown);
    EXPECT_FALSE(session->row(2).shown);
    EXPECT_FALSE(session->row(0).isSample);
    EXPECT_FALSE(session->state(Command::saveSample).enabled);
}

TEST_F(Session, WithoutOutputPortsSendIsDisabledAndSaysWhy)
{
    RecordingMidiSystem::Options none;
    none.outputPorts = 0;
    start(none);
    EXPECT_EQ(session->outputPorts(), std::vector<std::string>{"no output ports detected"});
    const CommandState send = session->state(Command::send);
    EXPECT_FALSE(send.enabled);
    EXPECT_THAT(send.reason, HasSubstr("No MIDI output port"));
}

TEST_F(Session, RenamesAreUndoneAndRedoneWithTheirMarks)
{
    session->renameBank("My Kit");
    session->renameSlot(2, "Big Clap");
    EXPECT_EQ(session->bankName(), "My Kit");
    EXPECT_EQ(session->row(2).name, "Big Clap");
    EXPECT_TRUE(session->isBankChanged(4));
    EXPECT_EQ(session->title(), "VARNO414Editor*");
    EXPECT_THAT(session->bankListToolTip(4), HasSubstr("Changed since it was last saved or opened"));
    EXPECT_EQ(session->state(Command::undo).text, "&Undo Rename CLAP of S05");

    session->run(Command::undo);
    EXPECT_EQ(session->row(2).name, session->bank(4).getContentName(2));
    EXPECT_EQ(session->state(Command::redo).text, "&Redo Rename CLAP of S05");
    session->run(Command::undo);
    EXPECT_EQ(session->bankName(), "S05");
    EXPECT_FALSE(session->anyChanged()); // back where it was saved
    EXPECT_FALSE(session->state(Command::undo).enabled);
    session->run(Command::redo);
    EXPECT_EQ(session->bankName(), "My Kit");
    EXPECT_TRUE(session->isBankChanged(4));
}

TEST_F(Session, UndoHistoryIsBounded)
{
    for (int i = 0; i < 105; ++i) session->renameBank("Kit " + std::to_string(i));
    int undone = 0;
    while (session->state(Command::undo).enabled) {
        session->run(Command::undo);
        ++undone;
    }
    EXPECT_EQ(undone, 100);
    EXPECT_EQ(session->bankName(), "Kit 4");
}

TEST_F(Session, NamesTakeLatin1AndRefuseTheRestVisibly)
{
    EXPECT_FALSE(session->acceptsName("Kit \xE2\x80\x93 \xE2\x99\xA5 2"));
    EXPECT_THAT(session->status(), StartsWith("\"\xE2\x80\x93\" cannot be typed into a name"));
    session->renameBank("Kit \xE2\x99\xA5");
    EXPECT_EQ(session->bankName(), "S05"); // nothing was cut away silently
    session->renameBank("Caf\xC3\xA9");
    EXPECT_EQ(session->bank(4).getName(), "Caf\xE9");
    EXPECT_EQ(session->bankListText(4), "Caf\xC3\xA9");
}

TEST_F(Session, ImportSaysWhatWentInAndHowLongItSounds)
{
    const std::string kick = files.file("kick.wav");
    writeFile(kick, wav(3300, 3300));
    prompt->openNames = {kick};
    session->openSlotFile(2);
    ASSERT_FALSE(prompt->dialogs.empty());
    EXPECT_EQ(prompt->dialogs.back().directory, home.path().string()); // the first dialog opens at home
    EXPECT_EQ(prompt->dialogs.back().title, "Import into CLAP");
    EXPECT_EQ(prompt->dialogs.back().filters,
              (std::vector<std::string>{"Audio files (*.wav *.aif *.aiff *.aifc *.flac *.ogg *.mp3)", "All files (*)"}));
    EXPECT_EQ(session->row(2).name, "kick.wav");
    EXPECT_EQ(session->status(), "kick.wav: all 0.20 s used (the slot holds 0.74 s); audible for 0.10 s at 8 bits");
    EXPECT_EQ(session->state(Command::undo).text, "&Undo Import kick.wav into CLAP");
    EXPECT_TRUE(session->isBankChanged(4));

    prompt->openNames = {""};
    session->openSlotFile(3);
    EXPECT_EQ(prompt->dialogs.back().directory, files.path().string()); // then where the last file was
}

TEST_F(Session, RefusedImportsSayWhyAndChangeNothing)
{
    const std::string empty = files.file("empty.wav");
    writeFile(empty, wav(0));
    const std::string missing = files.file("gone.wav");
    for (const std::string& path : {empty, missing}) {
        prompt->openNames = {path};
        session->openSlotFile(2);
        const std::string box = lastBox();
        EXPECT_THAT(box, StartsWith("The file \"" + path + "\" could not be loaded into \"CLAP\".\n"));
        EXPECT_THAT(box, HasSubstr("\n" + std::filesystem::path(path).filename().string() + ": "));
    }
    EXPECT_THAT(prompt->boxes.front().text, HasSubstr("empty.wav: It holds no samples."));

    const std::string compressed = files.file("adpcm.wav");
    writeFile(compressed, wavTagged(2));
    const std::string aifc = files.file("sound.aifc");
    writeFile(aifc, {'F', 'O', 'R', 'M', 0, 0, 0, 12, 'A', 'I', 'F', 'C', 'F', 'V', 'E', 'R', 0, 0, 0, 4, 0xA2, 0x80, 0x51, 0x40});
    for (const std::string& path : {compressed, aifc}) {
        prompt->openNames = {path};
        session->openSlotFile(2);
        EXPECT_EQ(prompt->boxes.back().caption, "Wrong File Format");
        EXPECT_THAT(lastBox(), StartsWith("VARNO414Editor supports only pcm (no compression) formats (*.aif or *.wav).\n" +
                                          std::filesystem::path(path).filename().string() + ": "));
    }
    session->selectBank(kFirmwareIndex);
    prompt->openNames = {empty};
    session->openSlotFile(0);
    EXPECT_THAT(lastBox(), HasSubstr("own OS firmware"));
    EXPECT_FALSE(session->anyChanged());
    EXPECT_FALSE(session->state(Command::undo).enabled);
}

TEST_F(Session, DroppedFilesFillTheRowsBelowAndMixedDropsAreRefused)
{
    const std::string a = files.file("a.wav"), b = files.file("b.wav"), kit = files.file("kit.mid");
    writeFile(a, wav(100));
    writeFile(b, wav(100));
    EXPECT_EQ(session->dropTarget({a, b}, 4).rowCount, 2);
    EXPECT_EQ(session->dropTarget({a, b}, 5).rowCount, 1);
    EXPECT_EQ(session->dropTarget({kit}, -1).kind, DropTarget::Kind::bankFile);
    // Which of the files was meant cannot be known.
    EXPECT_EQ(session->dropTarget({kit, a}, 2).kind, DropTarget::Kind::none);
    session->drop({kit, a}, 2);
    EXPECT_TRUE(prompt->boxes.empty());

    session->drop({a, b}, 5);
    EXPECT_THAT(lastBox(), HasSubstr("1 of the files were not imported"));
    EXPECT_EQ(session->row(5).name, "a.wav");
    EXPECT_EQ(session->state(Command::undo).text, "&Undo Import a.wav into RIDE");
}

TEST_F(Session, DroppedFilesThatNameTheirSlotsFillThemOnceTheMatchingIsShown)
{
    const std::string oh = files.file("kit_OH.wav"), ride = files.file("Ride 2.wav"), other = files.file("x.wav");
    for (const std::string& path : {oh, ride, other}) writeFile(path, wav(100));
    // By name wherever they are dropped, so the whole bank lights up.
    EXPECT_EQ(session->dropTarget({ride, oh}, 3).firstRow, 0);
    EXPECT_EQ(session->dropTarget({ride, oh}, 3).rowCount, 6);
    prompt->answers = {Answer::Cancel};
    session->drop({ride, oh, other}, 3);
    EXPECT_EQ(lastBox(), "Fill the slots of S05 by the files' names?\n\nCLOSED HI HAT: x.wav\nOPEN HI HAT: kit_OH.wav"
                         "\nRIDE: Ride 2.wav");
    EXPECT_FALSE(session->anyChanged());
    prompt->answers = {Answer::Ok};
    session->drop({ride, oh, other}, 3);
    EXPECT_EQ(session->row(0).name, "x.wav");
    EXPECT_EQ(session->row(1).name, "kit_OH.wav");
    EXPECT_EQ(session->row(5).name, "Ride 2.wav");
    EXPECT_EQ(session->state(Command::undo).text, "&Undo Import 3 files into S05");
    session->run(Command::undo);
    EXPECT_FALSE(session->anyChanged());
}

TEST_F(Session, AKitFromAFolderFillsTheSlotsByNameThenInOrder)
{
    TempDir kit{"varno-kit"};
    for (const std::string name : {"2 snare.wav", "1 OH.wav", "crash-long.wav"}) writeFile(kit.file(name), wav(100));
    writeFile(kit.file("notes.txt"), {'h', 'i'});
    prompt->folderNames = {kit.path().string()};
    prompt->answers = {Answer::Ok};
    session->run(Command::importKit);
    EXPECT_EQ(lastBox(), "Fill the slots of S05 by the files' names?\n\nCLOSED HI HAT: 2 snare.wav\nOPEN HI HAT: 1 OH.wav"
                         "\nCRASH: crash-long.wav");
    EXPECT_EQ(session->row(4).name, "crash-long.wav");
    EXPECT_EQ(session->state(Command::undo).text, "&Undo Import 3 files into S05");
    session->selectBank(31);
    EXPECT_FALSE(session->state(Command::importKit).enabled);
}

TEST_F(Session, TheImportWindowStoresWhatItPreviewsAndKeepsItsOptions)
{
    settingsPath = home.file("import-options.txt");
    start();
    const std::string clap = files.file("clap.wav");
    writeFile(clap, wav(4000, 2000));
    prompt->openNames = {clap};
    const std::unique_ptr<CImportDraft> draft = session->beginImport(2);
    ASSERT_TRUE(draft);
    EXPECT_EQ(draft->source().size(), 6001U);
    // A square wave flips every 20 samples: the nearest crossing to sample 9 is at 20.
    EXPECT_DOUBLE_EQ(draft->snapToZeroCrossing(9.0 / 33000), 20.0 / 33000);
    ImportOptions options;
    options.startSeconds = 0.01;
    options.normalizePeakDb = -6.0;
    options.reverse = true;
    draft->setOptions(options);
    ASSERT_TRUE(draft->importable());
    // 63 of 127 steps: the classic conversion truncates.
    EXPECT_THAT(draft->figures(), StartsWith("peak -6.1 dBFS, 0 clipped, DC offset "));
    EXPECT_FALSE(session->anyChanged()); // nothing until OK
    const std::vector<std::uint8_t> previewed(draft->shaped().begin(), draft->shaped().end());
    session->playDraft(*draft, false);
    ASSERT_TRUE(audio->waitForWrites(1, std::chrono::seconds(30)));
    EXPECT_EQ(audio->streams().back().samples.front(), (previewed.front() - 128) * 256);

    session->commitImport(*draft);
    EXPECT_TRUE(std::ranges::equal(session->row(2).bytes, previewed));
    EXPECT_EQ(session->state(Command::undo).text, "&Undo Import clap.wav into CLAP");
    // Kept for the next run, but where this file started.
    start();
    EXPECT_EQ(session->importOptions().normalizePeakDb, -6.0);
    EXPECT_TRUE(session->importOptions().reverse);
    EXPECT_EQ(session->importOptions().startSeconds, 0.0);
    // Options that contradict themselves keep the last result and say why.
    prompt->openNames = {clap};
    const auto again = session->beginImport(2);
    ASSERT_TRUE(again);
    options.fadeInSeconds = -1;
    again->setOptions(options);
    EXPECT_FALSE(again->importable());
    EXPECT_FALSE(again->problem().empty());
}

TEST_F(Session, SaveSuggestsANameSaysWhereAndReturnsTheFocus)
{
    session->renameBank("Kit");
    const std::string path = files.file("kit.mid");
    prompt->saveNames = {path};
    session->run(Command::save);
    EXPECT_EQ(prompt->dialogs.back().suggestedName, "S05.mid");
    EXPECT_EQ(prompt->dialogs.back().directory, home.path().string());
    EXPECT_EQ(session->status(), "Saved S05 to kit.mid");
    EXPECT_EQ(view.focused, 1);
    EXPECT_FALSE(session->anyChanged());
    EXPECT_EQ(session->title(), "kit.mid - VARNO414Editor");

    session->setSendsAllBanks(true);
    prompt->saveNames = {""};
    session->run(Command::save);
    EXPECT_EQ(prompt->dialogs.back().suggestedName, "all banks.mid");
    EXPECT_EQ(prompt->dialogs.back().directory, files.path().string());
}

TEST_F(Session, FailedAndReadOnlySavesAreToldAndKeepTheFile)
{
    prompt->saveNames = {files.file("no such folder/kit.mid")};
    session->run(Command::save);
    EXPECT_THAT(lastBox(), StartsWith("The file \""));
    EXPECT_THAT(lastBox(), HasSubstr("could not be written.\n"));

    const std::string locked = files.file("locked.mid");
    writeFile(locked, {1, 2, 3});
    std::filesystem::permissions(pathFromUtf8(locked), std::filesystem::perms::owner_read);
    prompt->saveNames = {locked};
    prompt->answers = {Answer::No};
    session->run(Command::save);
    EXPECT_THAT(prompt->boxes.back().text, HasSubstr("is read-only"));
    EXPECT_EQ(readFile(locked), (std::vector<std::uint8_t>{1, 2, 3}));
    prompt->saveNames = {locked};
    prompt->answers = {Answer::Yes};
    session->run(Command::save);
    EXPECT_GT(readFile(locked).size(), 3U);
}

TEST_F(Session, ABankFileOfAnotherPositionOffersBoth)
{
    session->renameBank("Fives");
    const std::string five = savedBank(4, "five.mid");
    session->selectBank(5);
    prompt->choices = {std::nullopt, std::size_t{1}, std::size_t{0}};

    prompt->openNames = {five};
    session->run(Command::open); // cancelled
    EXPECT_EQ(prompt->boxes.back().choices, (std::vector<std::string>{"Into S05", "Into S06"}));
    EXPECT_THAT(prompt->boxes.back().text, HasSubstr("\"Fives\""));
    EXPECT_EQ(session->bankName(), "S06");

    prompt->openNames = {five};
    session->run(Command::open); // into the selected position
    EXPECT_EQ(session->selectedBank(), 5);
    EXPECT_EQ(session->bankName(), "Fives");
    EXPECT_TRUE(session->isBankChanged(5)); // no file holds it there yet

    session->renameBank("Other");
    session->selectBank(6);
    prompt->openNames = {five};
    session->run(Command::open); // into its own position
    EXPECT_EQ(session->selectedBank(), 4);
    EXPECT_FALSE(session->isBankChanged(4));
    EXPECT_EQ(view.focused, 4); // after each save and open
}

TEST_F(Session, OpeningAllBanksOverUnsavedWorkAsksFirstAndUndoKeepsTheMarks)
{
    session->setSendsAllBanks(true);
    const std::string all = savedBank(4, "all.mid");
    session->setSendsAllBanks(false);
    session->selectBank(5);
    session->renameBank("Mine");

    prompt->openNames = {all};
    prompt->answers = {Answer::Cancel};
    session->run(Command::open);
    EXPECT_THAT(prompt->boxes.back().text, HasSubstr("Save changes to the banks before opening all.mid?"));
    EXPECT_EQ(session->bankName(), "Mine");

    prompt->openNames = {all};
    prompt->answers = {Answer::Discard};
    session->run(Command::open);
    EXPECT_EQ(session->bankName(), "S06");
    EXPECT_FALSE(session->anyChanged());

    session->run(Command::undo);
    EXPECT_EQ(session->bankName(), "Mine");
    for (int i = 0; i < 32; ++i) EXPECT_EQ(session->isBankChanged(i), i == 5) << i;
}

TEST_F(Session, FilesThatDoNotOpenSayWhy)
{
    const std::string whole = savedBank(4, "five.mid");
    std::vector<std::uint8_t> bytes = readFile(whole);
    bytes.resize(bytes.size() / 2);
    const std::string cut = files.file("cut.mid");
    writeFile(cut, bytes);
    for (const std::string& path : {cut, files.file("gone.mid")}) {
        prompt->openNames = {path};
        session->run(Command::open);
        EXPECT_THAT(lastBox(), StartsWith("This file contains no sound bank(s)\nfor a Orvel VARNO 414!\n"));
        EXPECT_GT(lastBox().size(), std::string("This file contains no sound bank(s)\nfor a Orvel VARNO 414!\n").size());
    }
    EXPECT_EQ(session->state(Command::undo).text, "");
}

// The same crafted files the core and varno414 open, with the same answers.
TEST_F(Session, CraftedFilesOpenOrAreRefusedWithTheirReason)
{
    for (const CraftedBankFile& crafted : craftedBankFiles()) {
        SCOPED_TRACE(crafted.name);
        start();
        const std::string path = utf8FromPath(writeCraftedBankFile(crafted, files.path()));
        const int position = static_cast<int>(crafted.position);
        session->selectBank(position);
        session->renameBank("kept");
        prompt->answers = {Answer::Discard};
        prompt->openNames = {path};
        session->run(Command::open);
        const bool refused = !prompt->boxes.empty() && prompt->boxes.back().buttons == IPrompt::Buttons::Ok;
        EXPECT_EQ(!refused, crafted.editorTakes);
        if (crafted.editorTakes) {
            EXPECT_NE(session->bank(position).getName(), "kept");
            EXPECT_EQ(session->bank(kFirmwareIndex).isFirmwarePlaceholder(), crafted.firmwarePlaceholder);
        } else {
            EXPECT_THAT(lastBox(), StartsWith("This file contains no sound bank(s)\nfor a Orvel VARNO 414!\n"));
            EXPECT_EQ(session->bank(position).getName(), "kept");
        }
    }
}

// Short firmware-shaped messages are never sent and are saved without the
// erases the file came with.
TEST_F(Session, ShortFirmwareStaysAPlaceholder)
{
    session->selectBank(kFirmwareIndex);
    prompt->openNames = {utf8FromPath(writeCraftedBankFile(craftedBankFile("short-firmware.mid"), files.path()))};
    session->run(Command::open);
    EXPECT_EQ(session->bank(kFirmwareIndex).getName(), "FIRMWARE");
    session->run(Command::send);
    EXPECT_THAT(lastBox(), HasSubstr("No firmware"));
    EXPECT_EQ(sysexCount(), 0U);
    const std::string saved = files.file("saved.mid");
    prompt->saveNames = {saved};
    session->run(Command::save);
    const std::vector<std::uint8_t> bytes = readFile(saved);
    const std::uint8_t erase[] = {0x31, 0x0D, 0x79};
    EXPECT_EQ(std::search(bytes.begin(), bytes.end(), std::begin(erase), std::end(erase)), bytes.end());
}

TEST_F(Session, UndoAndRedoRestoreTheBytesExactly)
{
    const std::vector<std::uint8_t> before(session->row(2).bytes.begin(), session->row(2).bytes.end());
    const std::string clap = files.file("clap.wav");
    writeFile(clap, wav(2000));
    session->drop({clap}, 2);
    const std::vector<std::uint8_t> after(session->row(2).bytes.begin(), session->row(2).bytes.end());
    ASSERT_NE(before, after);
    session->run(Command::undo);
    EXPECT_TRUE(std::ranges::equal(session->row(2).bytes, before));
    session->run(Command::redo);
    EXPECT_TRUE(std::ranges::equal(session->row(2).bytes, after));
}

TEST_F(Session, ResetAsksOnlyForAChangedBank)
{
    session->run(Command::reset); // unchanged: nothing to lose, nothing asked
    EXPECT_TRUE(prompt->boxes.empty());
    session->renameSlot(2, "Mine");
    prompt->answers = {Answer::Cancel};
    session->run(Command::reset);
    EXPECT_THAT(lastBox(), HasSubstr("Replace S05 with its factory sounds?"));
    EXPECT_EQ(session->row(2).name, "Mine");
    prompt->answers = {Answer::Reset};
    session->run(Command::reset);
    EXPECT_NE(session->row(2).name, "Mine");
    EXPECT_EQ(session->state(Command::undo).text, "&Undo Reset S05");

    RecordingMidiSystem::Options slow;
    slow.realTimeSpeed = 1;
    start(slow);
    session->renameBank("Mine");
    session->run(Command::send);
    session->run(Command::reset); // refused while a send runs
    EXPECT_EQ(lastBox(), "Don't Reset To Default any bank during sending or receiveing!");
    EXPECT_EQ(session->bankName(), "Mine");
    session->run(Command::stop);
}

TEST_F(Session, SendsTheSelectedBankAndKeepsTheComputerAwake)
{
    session->run(Command::send);
    EXPECT_TRUE(session->transfer().sending);
    EXPECT_FALSE(session->state(Command::send).enabled);
    session->renameBank("Edited meanwhile"); // the send took a copy
    waitForSend();
    EXPECT_EQ(sysexCount(), kEventCount);
    EXPECT_TRUE(session->status().empty());
    ASSERT_FALSE(inhibitor->calls.empty());
    EXPECT_EQ(inhibitor->calls.back(), "release");
    session->selectBank(kFirmwareIndex);
    session->run(Command::send);
    EXPECT_THAT(lastBox(), HasSubstr("No firmware has been loaded into the firmware bank."));
    EXPECT_FALSE(session->transfer().sending);
}

TEST_F(Session, AllBanksLeaveOutThePlaceholderAndAskAboutDuplicates)
{
    session->setSendsAllBanks(true);
    prompt->answers = {Answer::Cancel};
    session->run(Command::send);
    EXPECT_THAT(lastBox(), HasSubstr("The firmware bank holds no device firmware and is not sent."));
    EXPECT_FALSE(session->transfer().sending);
    prompt->answers = {Answer::Ok};
    session->run(Command::send);
    waitForSend();
    EXPECT_EQ(sysexCount(), kSoundBankCount * kEventCount);
}

TEST_F(Session, AllBanksAskAboutABankHeldTwice)
{
    prompt->openNames = {utf8FromPath(writeCraftedBankFile(craftedBankFile("duplicates.mid"), files.path()))};
    session->run(Command::open);
    ASSERT_EQ(session->bank(1).getName(), "S01 again");
    session->setSendsAllBanks(true);
    prompt->answers = {Answer::Ok, Answer::No};
    session->run(Command::send);
    EXPECT_THAT(lastBox(), StartsWith("S01 appears in tracks 1 and 2.\n"));
    EXPECT_FALSE(session->transfer().sending);
    prompt->answers = {Answer::Ok, Answer::Yes};
    session->run(Command::send);
    waitForSend();
    EXPECT_EQ(sysexCount(), kSoundBankCount * kEventCount);
}

TEST_F(Session, ProgressGrowsToTheEnd)
{
    RecordingMidiSystem::Options options;
    options.realTimeSpeed = 250;
    start(options);
    session->run(Command::send);
    std::vector<int> seen;
    bool described = false;
    while (session->transfer().sending) {
        const int percent = session->transfer().percent;
        if (seen.empty() || seen.back() != percent) seen.push_back(percent);
        session->tick();
        described = described || session->status().find("Bank 1 of 1 - ") == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_GE(seen.size(), 4U);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_TRUE(described);
}

TEST_F(Session, ChangesOnlySendsTheChangedBlockAndForgetSendsAll)
{
    EXPECT_FALSE(session->changesUnavailable().empty()); // without a journal
    start({}, true, true);
    session->setSendScope(SendScope::changes);
    prompt->answers = {Answer::Ok};
    session->run(Command::send); // nothing known yet: every sound bank
    waitForSend();
    EXPECT_EQ(sysexCount(), kSoundBankCount * kEventCount);

    const std::string crash = files.file("crash.wav");
    writeFile(crash, wav(500));
    session->drop({crash}, 4);
    system->clearRecords();
    prompt->answers = {Answer::Ok};
    session->run(Command::send);
    EXPECT_THAT(lastBox(), StartsWith("S05 (CRASH and RIDE): 1 block, about "));
    waitForSend();
    ASSERT_EQ(sysexCount(), 2U); // the block's erase and its write
    session->run(Command::send);
    EXPECT_THAT(lastBox(), HasSubstr("Nothing was sent."));

    prompt->answers = {Answer::Yes};
    session->run(Command::forget);
    EXPECT_EQ(session->status(), "Forgot what was sent to Recording MIDI Out 1");
    system->clearRecords();
    prompt->answers = {Answer::Ok};
    session->run(Command::send);
    waitForSend();
    EXPECT_EQ(sysexCount(), kSoundBankCount * kEventCount);
}

TEST_F(Session, SelectedBanksAreSentInIndexOrder)
{
    session->setSelectedBanks({11, 2, 6, 31});
    session->run(Command::send);
    waitForSend();
    std::vector<std::uint8_t> erased; // the first erase of each bank names its first block, 2n
    for (const RecordedItem& item : system->records())
        if (item.kind == RecordedItem::Kind::sysex && erased.size() < 3 && item.bytes.size() < 16) erased.push_back(item.bytes.at(4));
    EXPECT_EQ(sysexCount(), 3 * kEventCount); // the placeholder is left out
    EXPECT_EQ(erased.front(), 4);
}

TEST_F(Session, PortFailureIsToldInABox)
{
    RecordingMidiSystem::Options failing;
    failing.failOpen = true;
    start(failing);
    session->run(Command::send);
    waitForSend();
    EXPECT_THAT(lastBox(), StartsWith("The MIDI port \""));
    EXPECT_TRUE(session->status().empty());
    EXPECT_TRUE(session->state(Command::send).enabled);
}

TEST_F(Session, AResumedSendThatFailsOffersTheFirstTableBankNotSent)
{
    RecordingMidiSystem::Options options;
    options.failLongAt = {3 * int(kEventCount) + 1,  // S04's first block write
                          4 * int(kEventCount) + 2 * int(kEventCount) + 1}; // then, resumed at S04, S06's
    start(options);
    session->setSendsAllBanks(true);
    prompt->answers = {Answer::Ok};
    session->run(Command::send);
    waitForSend();
    EXPECT_EQ(session->status(), "Failed at S04: 3 of 31 banks sent.");
    EXPECT_THAT(lastBox(), HasSubstr("S04 may be left erased or half written"));
    EXPECT_THAT(lastBox(), HasSubstr("resume from S04"));

    prompt->answers = {Answer::Yes};
    session->run(Command::send);
    waitForSend();
    EXPECT_EQ(session->status(), "Failed at S06: 2 of 28 banks sent.");
    prompt->answers = {Answer::Cancel};
    session->run(Command::send);
    EXPECT_THAT(lastBox(), StartsWith("The last send of all banks ended before S06 was sent completely.\nResume from S06? 26 banks"));
}

TEST_F(Session, StopFinishesTheBankAndOffersTheRest)
{
    RecordingMidiSystem::Options options;
    options.holdBeforeLong = int(kEventCount) + 1; // inside S02, until the release file appears
    options.logPath = files.file("midi.log");
    start(options);
    session->setSendsAllBanks(true);
    prompt->answers = {Answer::Ok};
    session->run(Command::send);
    waitForLog(options.logPath, "hold " + std::to_string(kEventCount + 1));
    session->tick();
    session->run(Command::stop);
    EXPECT_EQ(session->status(), "Stopping after S02...");
    writeFile(options.logPath + ".release", {});
    waitForSend();
    EXPECT_EQ(session->status(), "Stopped after S02: 2 of 31 banks sent.");
    EXPECT_EQ(sysexCount(), 2 * kEventCount);

    prompt->answers = {Answer::No, Answer::Cancel};
    session->run(Command::send);
    EXPECT_THAT(prompt->boxes.at(prompt->boxes.size() - 2).text, HasSubstr("Resume from S03? 29 banks, about 52 minutes\n"));
    prompt->answers = {Answer::Yes};
    session->run(Command::send);
    waitForSend();
    EXPECT_EQ(sysexCount(), kSoundBankCount * kEventCount);
}

TEST_F(Session, StopFinishesTheBankAndTheCloseBoxWaitsForIt)
{
    RecordingMidiSystem::Options options;
    options.holdBeforeLong = 1; // the send waits inside S01 until the release file appears
    options.logPath = files.file("midi.log");
    start(options);
    session->renameBank("Unsaved");
    session->setSendsAllBanks(true);
    prompt->answers = {Answer::Ok};
    session->run(Command::send);
    waitForLog(options.logPath, "hold 1");
    EXPECT_TRUE(session->state(Command::stop).enabled);
    prompt->answers = {Answer::Yes, Answer::Discard}; // the unsaved bank is asked about once the send has ended
    EXPECT_FALSE(session->requestClose());
    EXPECT_THAT(lastBox(), StartsWith("Banks are being sent to the VARNO.\nStop after "));
    EXPECT_FALSE(session->state(Command::stop).enabled);
    writeFile(options.logPath + ".release", {});
    waitForSend();
    EXPECT_EQ(session->status(), "Stopped after S01: 1 of 31 banks sent.");
    EXPECT_EQ(prompt->boxes.back().buttons, IPrompt::Buttons::SaveDiscardCancel);
    EXPECT_EQ(view.closes, 1);
}

TEST_F(Session, CloseAsksWhenSomethingIsUnsaved)
{
    EXPECT_TRUE(session->requestClose());
    session->selectBank(7);
    session->renameBank("Eight");
    session->selectBank(2);
    prompt->answers = {Answer::Cancel};
    EXPECT_FALSE(session->requestClose());
    EXPECT_EQ(prompt->boxes.back().buttons, IPrompt::Buttons::SaveDiscardCancel);
    // Save with another bank changed saves them all, else the question would come back.
    const std::string path = files.file("all.mid");
    prompt->answers = {Answer::Save};
    prompt->saveNames = {path};
    EXPECT_TRUE(session->requestClose());
    EXPECT_EQ(prompt->dialogs.back().title, "Save All Banks to Disk");
    BankFileResult error;
    const auto saved = BankDocument::open(path, error);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->banks().at(7)->getName(), "Eight");
    session->renameBank("Three");
    prompt->answers = {Answer::Discard};
    EXPECT_TRUE(session->requestClose());
}

TEST_F(Session, PlaySoundsTheSlotAndSilenceCannotBePlayed)
{
    EXPECT_EQ(session->row(2).play.text, "Play");
    EXPECT_TRUE(session->row(2).play.enabled);
    session->playRow(2);
    ASSERT_TRUE(audio->waitForWrites(1, std::chrono::seconds(60)));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (session->row(2).play.text == "Stop" && std::chrono::steady_clock::now() < deadline) {
        session->tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(session->row(2).play.text, "Play");
    ASSERT_FALSE(audio->streams().empty());
    EXPECT_FALSE(audio->streams().back().samples.empty());

    const std::string quiet = files.file("quiet.wav");
    writeFile(quiet, wav(0, 500));
    session->drop({quiet}, 3);
    EXPECT_FALSE(session->row(3).play.enabled);
    EXPECT_EQ(session->row(3).play.reason, "The slot holds only silence.");
    start({}, false);
    EXPECT_FALSE(session->row(2).play.enabled);
    EXPECT_FALSE(session->row(2).play.reason.empty());
}

TEST_F(Session, InterfaceTestReadsBackThroughTheCableAndNamesTheLoss)
{
    EXPECT_FALSE(session->state(Command::interfaceTest).enabled); // no MIDI IN to read back from
    RecordingMidiSystem::Options options;
    options.inputPorts = 1;
    options.loopback = RecordingMidiSystem::LoopbackScript{};
    options.loopback->dropEvery = 255;
    start(options);
    prompt->answers = {Answer::Ok};
    session->run(Command::interfaceTest);
    EXPECT_THAT(prompt->boxes.front().text, StartsWith("Connect the MIDI OUT of the interface"));
    EXPECT_TRUE(session->transfer().sending);
    EXPECT_FALSE(session->state(Command::send).enabled);
    waitForSend();
    EXPECT_EQ(prompt->boxes.back().icon, IPrompt::Icon::Warning);
    EXPECT_THAT(lastBox(), StartsWith("Lost 514 of 131,078 bytes, every 255th: this interface drops long"));
    EXPECT_EQ(session->status(), lastBox());
    for (const RecordedItem& item : system->records())
        if (item.kind == RecordedItem::Kind::sysex) {
            EXPECT_EQ(item.bytes.at(1), 0x7D); // never the machine's header
        }
}

TEST_F(Session, SecondaryCommandsAnswerAsBefore)
{
    session->run(Command::receive); // disabled: nothing to ask
    EXPECT_TRUE(prompt->boxes.empty());
    session->run(Command::about);
    EXPECT_EQ(view.abouts, 1);
    session->run(Command::quit);
    EXPECT_EQ(view.closes, 1);
}

TEST(EditorMenus, EveryWindowGetsTheSameMenusAndKeys)
{
    const auto& menus = editorMenus();
    ASSERT_EQ(menus.size(), 4U);
    std::vector<std::string> keys;
    for (const Menu& menu : menus)
        for (const MenuItem& item : menu.items)
            for (const Shortcut& shortcut : item.shortcuts) keys.push_back(shortcut.text());
    EXPECT_EQ(keys, (std::vector<std::string>{"Ctrl+O", "Ctrl+S", "Ctrl+Q", "Ctrl+Z", "Ctrl+Shift+Z", "Ctrl+Y",
                                              "Ctrl+Return", "F5", "F1"}));
}

TEST(Mnemonics, EachTextGetsAFreeLetterOfItsOwn)
{
    const auto marked = withMnemonics({"CLAP", "CRASH", "RIDE", "RIM"}, "CR");
    EXPECT_EQ(marked, (std::vector<std::string>{"C&LAP", "CR&ASH", "RI&DE", "R&IM"})); // RIM had fewer to choose from
}
