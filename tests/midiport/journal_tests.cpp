#include "midiport/banktransfer.h"
#include "midiport/changeplan.h"
#include "midiport/recording/recordingmidisystem.h"
#include "midiport/sha256.h"
#include "model/sound.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Kind = RecordedItem::Kind;
const std::string kPort = "Recording MIDI Out 1";

std::vector<std::unique_ptr<IBank>> soundBanks(std::uint16_t count)
{
    std::vector<std::unique_ptr<IBank>> banks;
    for (std::uint16_t i = 0; i < count; ++i) banks.push_back(std::make_unique<CSound>(i));
    return banks;
}

void touch(IBank& bank, std::uint16_t slot)
{
    const_cast<CContent*>(bank.content(slot))->getData()[100] ^= 0x55;
}

// The first byte after F0 31 of each message sent: the erase's 0D, or 40|block.
std::vector<std::string> messagesSent(const RecordingMidiSystem& system)
{
    std::vector<std::string> sent;
    for (const auto& item : system.records())
        if (item.kind == Kind::sysex)
            sent.push_back(item.bytes[2] == 0x0D ? "erase " + std::to_string(item.bytes[4])
                                                 : "write " + std::to_string(item.bytes[2] & 0x3F));
    return sent;
}

struct JournalFixture : ::testing::Test {
    TempDir dir{"varno-journal"};
    std::string path = (dir.path() / "data" / "send-journal.txt").string();
    SendJournal journal{path};

    // Sends `banks` as "changes only" on a fresh recording port.
    struct Sent {
        std::shared_ptr<RecordingMidiSystem> system;
        TransferResult result;
        ChangePlan plan;
        std::uint64_t plannedMs = 0;
        std::string warning; // of reading the journal for the plan
    };
    Sent sendChanged(const std::vector<std::unique_ptr<IBank>>& table, RecordingMidiSystem::Options options = {},
                     std::optional<std::size_t> stopAfterMessage = {})
    {
        Sent sent;
        sent.system = std::make_shared<RecordingMidiSystem>(options);
        sent.plan = planChanges(table, 0, journal.port(kPort));
        sent.warning = journal.warning();
        std::vector<std::unique_ptr<IBank>> banks;
        std::vector<BlockMask> blocks;
        for (std::size_t i = 0; i < table.size(); ++i)
            if (sent.plan.blocks[i] != 0) {
                banks.push_back(table[i]->clone());
                blocks.push_back(sent.plan.blocks[i]);
            }
        BankTransfer transfer(sent.system, 0, 0, std::move(banks), nullptr, std::move(blocks));
        transfer.recordTo(&journal, kPort);
        sent.plannedMs = transfer.plannedMs();
        if (stopAfterMessage)
            sent.system->setWaitHook([&, n = *stopAfterMessage](std::uint32_t) {
                if (messagesSent(*sent.system).size() == n + 1) transfer.requestStop(StopPoint::afterMessage);
            });
        sent.result = transfer.run();
        return sent;
    }
};

TEST(Sha256, KnownDigests)
{
    EXPECT_EQ(sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    const std::string abc = "abc";
    EXPECT_EQ(sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size())),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first padded block.
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(two.data()), two.size())),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST_F(JournalFixture, OneChangedCrashSendsOnlyItsBlockWithItsPauses)
{
    auto table = soundBanks(31);
    Sent first = sendChanged(table);
    ASSERT_EQ(first.result.outcome, TransferOutcome::completed);
    EXPECT_EQ(first.plan.blockCount, 62u) << "an empty journal knows nothing";

    touch(*table[4], 4); // CRASH of S05
    Sent second = sendChanged(table);
    EXPECT_EQ(messagesSent(*second.system), (std::vector<std::string>{"erase 9", "write 9"}));
    std::vector<std::uint32_t> waits;
    for (const auto& item : second.system->records())
        if (item.kind == Kind::wait && (item.ms == 3000 || item.ms == 6000)) waits.push_back(item.ms);
    EXPECT_EQ(waits, (std::vector<std::uint32_t>{3000, 6000})) << "the erase's and the write's pauses";
    EXPECT_EQ(static_cast<std::uint64_t>(second.system->elapsedMs()), second.plannedMs);
    EXPECT_EQ(describeChanges(second.plan, table, kPort, second.plannedMs),
              "S05 (CRASH and RIDE): 1 block, about 0:55. 30 banks match what this computer last sent to " + kPort +
                  " on " + localDate(1'000'000'000) + ".");

    // Two banks, three blocks: the plan's wording and its time.
    touch(*table[4], 0);
    touch(*table[11], 0);
    touch(*table[11], 5);
    Sent third = sendChanged(table);
    EXPECT_EQ(messagesSent(*third.system),
              (std::vector<std::string>{"erase 8", "write 8", "erase 22", "write 22", "erase 23", "write 23"}));
    const std::string text = describeChanges(third.plan, table, kPort, third.plannedMs);
    EXPECT_EQ(text.substr(0, text.find(" on ")),
              "S05 (OPEN HI HAT, CLOSED HI HAT, CLAP and RIM SHOT), S12 (whole bank): 3 blocks, about 2:42. 29 banks "
              "match what this computer last sent to " + kPort);
    EXPECT_EQ(static_cast<std::uint64_t>(third.system->elapsedMs()), third.plannedMs);
    EXPECT_TRUE(sendChanged(table).plan.empty());
}

TEST_F(JournalFixture, AStopOrAFailureLeavesOnlyWhatReachedTheMachineRecorded)
{
    auto table = soundBanks(3);
    Sent stopped = sendChanged(table, {}, 1); // after the first block's write
    EXPECT_EQ(stopped.result.outcome, TransferOutcome::stopped);
    EXPECT_EQ(messagesSent(*stopped.system), (std::vector<std::string>{"erase 0", "write 0"}));
    Sent rest = sendChanged(table);
    EXPECT_EQ(messagesSent(*rest.system), (std::vector<std::string>{"erase 1", "write 1", "erase 2", "write 2",
                                                                    "erase 3", "write 3", "erase 4", "write 4",
                                                                    "erase 5", "write 5"}));

    touch(*table[1], 0);
    RecordingMidiSystem::Options failing;
    failing.failLongAt = {1}; // the write after the erase of block 2
    Sent failed = sendChanged(table, failing);
    EXPECT_EQ(failed.result.outcome, TransferOutcome::failed);
    EXPECT_FALSE(journal.port(kPort).at(2).known()) << "erased, never written";
    EXPECT_EQ(messagesSent(*sendChanged(table).system), (std::vector<std::string>{"erase 2", "write 2"}));
}

TEST_F(JournalFixture, ADamagedJournalIsSetAsideAndNotTrusted)
{
    auto table = soundBanks(2);
    sendChanged(table);
    std::string text;
    {
        std::ifstream in(path);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    // A record cut short, as by a disk that filled up under another program.
    std::ofstream(path, std::ios::trunc) << text.substr(0, text.size() - 20);
    const Sent again = sendChanged(table);
    EXPECT_EQ(again.plan.blockCount, 4u);
    EXPECT_NE(again.warning.find("is damaged"), std::string::npos) << again.warning;
    EXPECT_TRUE(std::filesystem::exists(path + ".damaged"));
    EXPECT_EQ(journal.port(kPort).size(), 4u) << "the new journal holds the blocks sent since";
    EXPECT_TRUE(journal.warning().empty()) << "reported once";

    ASSERT_TRUE(journal.forget(kPort));
    EXPECT_TRUE(journal.port(kPort).empty());
}

} // namespace
