#include "midifile/wrapperktmidifile.h"
#include "midiport/banktransfer.h"
#include "midiport/recording/recordingmidisystem.h"
#include "midiport/wrapperktmidiinterface.h"
#include "model/sound.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace {

// The window's timer polls progress() while the worker sends; run under
// ThreadSanitizer this shows the shared fields are published safely.
TEST(SessionThreads, ProgressIsPolledWhileAnotherThreadSends)
{
    auto system = std::make_shared<RecordingMidiSystem>();
    WrapperKtMidiInterface session(-1, 0, system);
    std::vector<std::unique_ptr<IBank>> banks;
    for (std::uint16_t i = 0; i < 3; ++i) banks.push_back(std::make_unique<CSound>(i));
    // Every virtual wait lets the poller in, so it sees the sends in flight.
    std::atomic<int> polls{0};
    system->setWaitHook([&](std::uint32_t) {
        const int before = polls.load();
        for (int spin = 0; spin < 100000 && polls.load() == before; ++spin) std::this_thread::yield();
    });

    std::atomic<bool> done{false};
    std::vector<int> seen;
    std::thread poller([&] {
        while (!done.load()) {
            seen.push_back(session.progress());
            (void)session.estimate();
            ++polls;
            std::this_thread::yield();
        }
    });
    bool sent = true;
    std::thread worker([&] {
        for (auto& bank : banks) sent = session.sendBank(*bank, 0) && sent;
        done = true;
    });
    worker.join();
    poller.join();

    EXPECT_TRUE(sent);
    EXPECT_EQ(session.progress(), 0);
    ASSERT_FALSE(seen.empty());
    EXPECT_GT(*std::max_element(seen.begin(), seen.end()), 50);
    for (int value : seen) {
        EXPECT_GE(value, 0);
        EXPECT_LE(value, 110);
    }
}

// A window or a signal handler's loop follows a transfer and stops it from
// its own thread, while the port's opening happens on the sending thread.
TEST(SessionThreads, TransferIsFollowedAndStoppedFromAnotherThread)
{
    auto system = std::make_shared<RecordingMidiSystem>();
    std::vector<std::unique_ptr<IBank>> banks;
    for (std::uint16_t i = 0; i < 4; ++i) banks.push_back(std::make_unique<CSound>(i));
    BankTransfer transfer(system, 0, 0, std::move(banks));
    // A moment of real time at each pause lets the follower see the first
    // bank end before the rest are gone (a yield alone did not under wine).
    system->setWaitHook([](std::uint32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });

    TransferResult result;
    std::thread worker([&] { result = transfer.run(); });
    int last = 0;
    for (TransferProgress p = transfer.progress(); p.phase != TransferPhase::finished; p = transfer.progress()) {
        EXPECT_GE(p.percent, last);
        last = p.percent;
        if (p.banksSent >= 1) transfer.requestStop(StopPoint::afterMessage);
        std::this_thread::yield();
    }
    worker.join();
    EXPECT_EQ(result.outcome, TransferOutcome::stopped);
    EXPECT_GE(result.banksSent, 1u);
    EXPECT_LT(result.banksSent, 4u);
}

// What a user may do while all banks go out: the send works on clones taken
// when it started, so editing, opening and resetting the table meanwhile can
// neither race with the worker nor change a single byte that is sent.
TEST(SessionThreads, SendOfAllBanksIsUntouchedByEditsOpensAndResets)
{
    auto system = std::make_shared<RecordingMidiSystem>();
    WrapperKtMidiInterface session(-1, 0, system);
    std::vector<std::unique_ptr<IBank>> defaults, table, snapshot;
    for (std::uint16_t i = 0; i < kSoundBankCount; ++i) {
        defaults.push_back(std::make_unique<CSound>(i));
        table.push_back(defaults.back()->clone());
        snapshot.push_back(table.back()->clone());
    }
    std::vector<std::vector<std::uint8_t>> expected;
    for (auto& bank : snapshot)
        for (const auto& event : bank->buildEvents(2)) expected.push_back(event->getMessageData());

    const TempDir dir("varno-thread");
    const std::string bankFile = (dir / "s04.mid").string();
    const std::string rawFile = (dir / "noise.raw").string();
    WrapperKtMidiFile files;
    ASSERT_TRUE(files.saveBank(*table[3], bankFile));
    std::ofstream(rawFile, std::ios::binary) << std::string(4096, '\x33');

    // A moment of real time at each pause lets the follower see the first
    // bank end before the rest are gone (a yield alone did not under wine).
    system->setWaitHook([](std::uint32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
    std::atomic<bool> done{false};
    bool sent = true;
    std::thread worker([&] {
        for (auto& bank : snapshot) sent = session.sendBank(*bank, 2) && sent;
        done = true;
    });
    for (std::size_t round = 0; !done.load(); ++round) {
        (void)session.progress();
        const std::size_t i = round % table.size();
        table[i]->setName("edited " + std::to_string(round));
        table[i]->loadContent(static_cast<std::uint16_t>(round % 6), rawFile);
        auto opened = std::make_unique<CSound>(static_cast<std::uint16_t>(i));
        if (files.openBank(*opened, bankFile)) table[i] = opened->clone();
        table[(i + 7) % table.size()] = defaults[(i + 7) % table.size()]->clone();
        std::this_thread::yield();
    }
    worker.join();

    EXPECT_TRUE(sent);
    std::vector<std::vector<std::uint8_t>> got;
    for (const auto& item : system->records())
        if (item.kind == RecordedItem::Kind::sysex) got.push_back(item.bytes);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t m = 0; m < got.size(); ++m) EXPECT_EQ(got[m], expected[m]) << "message " << m;
}

} // namespace
