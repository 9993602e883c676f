#include "bank_fixtures.h"

#include "midifile/ktmidifilereader.h"
#include "midifile/midievent.h"
#include "midifile/wrapperktmidifile.h"
#include "model/firmware.h"
#include "tests/support/firmware_messages.h"
#include "model/sound.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <filesystem>
#include <random>
#ifndef _WIN32
#include <sys/resource.h>
#endif

using namespace testing_midifile;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

namespace {

// The messages of each track of a bank file, as the reader sees them.
std::vector<std::vector<Bytes>> trackMessages(const fs::path& path)
{
    KtMidiFileReader reader(path.string());
    std::vector<std::vector<Bytes>> tracks;
    for (std::uint16_t t = 0; t < reader.trackCount(); ++t) {
        EXPECT_TRUE(reader.readTrackHeader());
        std::uint8_t type = 0;
        buffer meta;
        while (reader.readMeta(type, meta)) {
        }
        midi::event event;
        double seconds = 0;
        tracks.emplace_back();
        while (reader.readEvent(event, seconds)) tracks.back().push_back(event.bytes());
        EXPECT_TRUE(reader.readEndOfTrack());
    }
    return tracks;
}

class BankFile : public ::testing::Test {
protected:
    TempDir dir;
    WrapperKtMidiFile wrapper;
};

} // namespace

TEST_F(BankFile, SoundBankRoundTripTakesNumberNamesAndSamples)
{
    auto saved = soundBank(17, 7);
    saved->setName("");
    saved->setContentNames({"kick 01.wav", "", "a,b;c!\"'", std::string("\xE9\xFF\x80 8-bit", 8), "  ", "last"});
    const fs::path file = dir / "bank.mid";
    ASSERT_TRUE(wrapper.saveBank(*saved, file.string())) << wrapper.lastError();

    // The file holds exactly the transfer messages of channel 0.
    const auto tracks = trackMessages(file);
    ASSERT_EQ(tracks.size(), 1u);
    const EventList& events = saved->buildEvents(0);
    ASSERT_EQ(tracks[0].size(), events.size());
    for (std::size_t i = 0; i < events.size(); ++i) EXPECT_TRUE(tracks[0][i] == events[i]->getMessageData()) << i;

    CSound opened(3);
    ASSERT_TRUE(wrapper.openBank(opened, file.string())) << wrapper.lastError();
    expectSameBank(*saved, opened);
    EXPECT_EQ(opened.getIndex(), 17);
}

TEST_F(BankFile, FirmwareRoundTrips)
{
    for (const bool device : {true, false}) {
        auto saved = device ? deviceFirmwareBank() : std::make_unique<CFirmware>();
        saved->setContentNames({"presets.syx", "os v2.syx"});
        const fs::path file = dir / "fw.mid";
        ASSERT_TRUE(wrapper.saveBank(*saved, file.string())) << wrapper.lastError();
        CFirmware opened;
        if (!device) opened.setName("changed");
        ASSERT_TRUE(wrapper.openBank(opened, file.string())) << wrapper.lastError();
        expectSameBank(*saved, opened);
        EXPECT_EQ(opened.isFirmwarePlaceholder(), !device);
    }
}

TEST_F(BankFile, PlaceholderFirmwareIsSavedWithoutErases)
{
    CFirmware placeholder;
    ASSERT_TRUE(placeholder.isFirmwarePlaceholder());
    ASSERT_TRUE(wrapper.saveBank(placeholder, (dir / "fw.mid").string()));
    const auto tracks = trackMessages(dir / "fw.mid");
    ASSERT_EQ(tracks.size(), 1u);
    ASSERT_EQ(tracks[0].size(), 2u);
    for (const Bytes& message : tracks[0]) EXPECT_EQ(message[3], kDataMessageKind);

    auto device = deviceFirmwareBank();
    ASSERT_TRUE(wrapper.saveBank(*device, (dir / "device.mid").string()));
    const auto deviceTracks = trackMessages(dir / "device.mid");
    ASSERT_EQ(deviceTracks.size(), 1u);
    ASSERT_EQ(deviceTracks[0].size(), 4u);
    EXPECT_EQ(deviceTracks[0][0], (Bytes{0xF0, 0x31, 0x0D, 0x79, 0x3E, 0xF7}));
    EXPECT_EQ(deviceTracks[0][2], (Bytes{0xF0, 0x31, 0x0D, 0x79, 0x3F, 0xF7}));
}

TEST_F(BankFile, AllBanksRoundTripAndOpenOnlyAsAWholeSet)
{
    auto banks = allBanks(true);
    banks[4]->setName("S05 \xE4\xF6\xFC #1");
    banks[30]->setContentNames({"", "", "", "", "", ""});
    const fs::path file = dir / "all.mid";
    ASSERT_TRUE(wrapper.saveBanks(pointers(banks), file.string())) << wrapper.lastError();

    std::vector<std::unique_ptr<IBank>> fresh;
    for (std::uint16_t i = 0; i < kSoundBankCount; ++i) fresh.push_back(std::make_unique<CSound>(0));
    fresh.push_back(std::make_unique<CFirmware>());
    ASSERT_TRUE(wrapper.openBanks(pointers(fresh), kBankCount, file.string())) << wrapper.lastError();
    for (std::size_t i = 0; i < banks.size(); ++i) {
        SCOPED_TRACE(i);
        expectSameBank(*banks[i], *fresh[i]);
    }

    CSound one(0);
    EXPECT_FALSE(wrapper.openBank(one, file.string()));
    EXPECT_FALSE(wrapper.lastError().empty());

    // Two to 31 tracks open neither way.
    ASSERT_TRUE(wrapper.saveBanks(std::vector<IBank*>{banks[0].get(), banks[1].get()}, file.string()));
    EXPECT_FALSE(wrapper.openBank(one, file.string()));
    EXPECT_FALSE(wrapper.openBanks(pointers(fresh), kBankCount, file.string()));
}

TEST_F(BankFile, TracksWithoutExactlyTwoBlocksLeaveTheBankAlone)
{
    auto source = soundBank(2, 9);
    const EventList& events = source->buildEvents(0);
    const Bytes& block = events[1]->getMessageData();

    auto fileWith = [&](const std::vector<const Bytes*>& messages, std::uint8_t identifier) {
        KtMidiFileWriter writer((dir / "t.mid").string(), 24);
        writer.beginTrack(true);
        writer.writeMeta(0x03, Bytes{'n'}, false);
        writer.writeMeta(0x7F, Bytes{identifier, 0, 0x59, 0, 'a', 0, 'b'}, false);
        for (const Bytes* m : messages) writer.writeEvent(*m, 0.0);
        writer.endTrack();
    };

    for (const std::size_t count : {std::size_t{1}, std::size_t{3}}) {
        fileWith(std::vector<const Bytes*>(count, &block), 0x31);
        CSound bank(5);
        const auto before = bank.clone();
        EXPECT_FALSE(wrapper.openBank(bank, (dir / "t.mid").string())) << count;
        expectSameBank(*before, bank);
    }

    // Names come from a 31 event only; a last name runs to the end of the data.
    fileWith({&block, &events[3]->getMessageData()}, 0x31);
    CSound named(0);
    ASSERT_TRUE(wrapper.openBank(named, (dir / "t.mid").string()));
    EXPECT_EQ(named.getName(), "n");
    EXPECT_EQ(named.getContentNames(), (std::vector<std::string>{"a", "b"}));

    fileWith({&block, &events[3]->getMessageData()}, 0x41);
    CSound unnamed(0);
    ASSERT_TRUE(wrapper.openBank(unnamed, (dir / "t.mid").string()));
    EXPECT_TRUE(unnamed.getContentNames().empty());
}

TEST_F(BankFile, NothingSavedOrOpenedCanEraseTheFirmware)
{
    // Bank 31 would erase the machine's firmware blocks when sent.
    auto bank = soundBank(31, 3);
    EXPECT_FALSE(wrapper.saveBank(*bank, (dir / "x.mid").string()));
    EXPECT_FALSE(fs::exists(dir / "x.mid"));
    EXPECT_FALSE(wrapper.lastError().empty());

    // The same messages in a file made elsewhere do not open as a sound bank.
    const EventList& events = bank->buildEvents(0);
    {
        KtMidiFileWriter writer((dir / "x.mid").string(), 24);
        writer.beginTrack(true);
        writer.writeEvent(events[1]->getMessageData(), 0.0);
        writer.writeEvent(events[3]->getMessageData(), 0.0);
        writer.endTrack();
    }
    CSound opened(0);
    EXPECT_FALSE(wrapper.openBank(opened, (dir / "x.mid").string()));
    EXPECT_EQ(opened.getIndex(), 0);

    // A sound bank file does not open as firmware.
    ASSERT_TRUE(wrapper.saveBank(*soundBank(30, 3), (dir / "s.mid").string()));
    CFirmware firmware;
    EXPECT_FALSE(wrapper.openBank(firmware, (dir / "s.mid").string()));
    EXPECT_TRUE(firmware.isFirmwarePlaceholder());

    // One message shaped like the machine's PRESETS and one of another maker
    // are no device firmware: the save writes neither an erase nor block 62.
    const auto [presets, foreign] = testing_firmware::mixedFirmwarePair();
    const CMessage first(presets);
    const CMessage second(foreign);
    const std::array<const CMessage*, 2> mixed{&first, &second};
    ASSERT_TRUE(firmware.setContentsFromMessages(mixed));
    EXPECT_FALSE(wrapper.saveBank(firmware, (dir / "m.mid").string()));
    EXPECT_EQ(wrapper.lastResult().kind, BankFileError::WouldOverwriteFirmware);
    EXPECT_FALSE(fs::exists(dir / "m.mid"));
}

TEST_F(BankFile, FailedSaveKeepsTheOldFileAndLeavesNoTemporaryFile)
{
    auto bank = soundBank(1, 1);
    const fs::path file = dir / "keep.mid";
    writeAll(file, {'o', 'l', 'd'});

    // A bank that cannot be saved fails before anything replaces the file.
    auto firmwareBlocks = soundBank(31, 2);
    std::vector<IBank*> banks{bank.get(), firmwareBlocks.get()};
    EXPECT_FALSE(wrapper.saveBanks(banks, file.string()));
    EXPECT_EQ(readAll(file), (Bytes{'o', 'l', 'd'}));

    // A target that cannot be replaced (a folder).
    fs::create_directory(dir / "folder.mid");
    fs::create_directory(dir / "folder.mid" / "inside");
    EXPECT_FALSE(wrapper.saveBank(*bank, (dir / "folder.mid").string()));
    EXPECT_TRUE(fs::is_directory(dir / "folder.mid" / "inside"));

    // A folder that does not exist.
    EXPECT_FALSE(wrapper.saveBank(*bank, (dir / "missing" / "x.mid").string()));
    EXPECT_FALSE(wrapper.lastError().empty());

    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 2u); // keep.mid and folder.mid only

    // A successful save replaces the file.
    ASSERT_TRUE(wrapper.saveBank(*bank, file.string()));
    EXPECT_GT(fs::file_size(file), 0x40000u);
}

// A disk that fills up while the file is written: the file-size limit makes
// every write past 64 KiB fail, as a full disk would.
TEST_F(BankFile, DiskFullDuringSaveKeepsTheOldFile)
{
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no file-size limit to play the full disk";
#else
    auto bank = soundBank(2, 4);
    const fs::path file = dir / "keep.mid";
    writeAll(file, {'o', 'l', 'd'});

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved_ok = wrapper.saveBank(*bank, file.string());
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(saved_ok);
    EXPECT_FALSE(wrapper.lastError().empty());
    EXPECT_EQ(readAll(file), (Bytes{'o', 'l', 'd'}));
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1u); // no temporary file left behind
#endif
}

TEST_F(BankFile, DamagedFilesFailWithoutHarm)
{
    auto bank = soundBank(6, 4);
    const fs::path file = dir / "good.mid";
    ASSERT_TRUE(wrapper.saveBank(*bank, file.string()));
    const Bytes good = readAll(file);

    auto opens = [&](const Bytes& bytes) {
        writeAll(dir / "bad.mid", bytes);
        CSound target(0);
        return wrapper.openBank(target, (dir / "bad.mid").string());
    };
    ASSERT_TRUE(opens(good));

    // Cut off anywhere: in the header, the meta events, the messages, the end.
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{10}, std::size_t{14}, std::size_t{20}, std::size_t{30}, std::size_t{80},
          std::size_t{100}, good.size() / 2, good.size() - 300, good.size() - 4, good.size() - 1})
        EXPECT_FALSE(opens(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size)))) << size;

    Bytes longTrack = good;
    longTrack[18] = 0x7F; // track length far beyond the end of the file
    EXPECT_FALSE(opens(longTrack));

    Bytes divisionZero = good;
    divisionZero[12] = divisionZero[13] = 0;
    EXPECT_FALSE(opens(divisionZero));

    Bytes noEox = good;
    for (auto& b : noEox)
        if (b == 0xF7) b = 0x00;
    EXPECT_FALSE(opens(noEox));

    std::mt19937 random(42);
    for (int round = 0; round < 50; ++round) {
        Bytes noise{'M', 'T', 'h', 'd'};
        const std::size_t n = random() % 4096;
        for (std::size_t i = 0; i < n; ++i) noise.push_back(static_cast<std::uint8_t>(random()));
        EXPECT_FALSE(opens(noise)) << round;
        // Noise after a valid header and track header, too.
        Bytes framed(good.begin(), good.begin() + 18);
        const auto length = static_cast<std::uint32_t>(n);
        framed.insert(framed.end(), {static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
                                     static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
        framed.insert(framed.end(), noise.begin() + 4, noise.end());
        EXPECT_FALSE(opens(framed)) << round;
    }

    CSound target(0);
    EXPECT_FALSE(wrapper.openBank(target, (dir / "does-not-exist.mid").string()));
    EXPECT_FALSE(wrapper.lastError().empty());
}
