#include "midiport/banktransfer.h"
#include "midiport/recording/recordingmidisystem.h"
#include "midiport/recording/recordingsleepinhibitor.h"
#include "model/firmware.h"
#include "model/sound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using Kind = RecordedItem::Kind;

constexpr std::uint64_t kOpeningMs = 1200;
constexpr std::uint64_t kSoundBankMs = 106592; // on the recording backend

std::vector<std::unique_ptr<IBank>> soundBanks(std::uint16_t count)
{
    std::vector<std::unique_ptr<IBank>> banks;
    for (std::uint16_t i = 0; i < count; ++i) banks.push_back(std::make_unique<CSound>(i));
    return banks;
}

std::size_t sysexCount(const std::vector<RecordedItem>& items)
{
    return static_cast<std::size_t>(
        std::count_if(items.begin(), items.end(), [](const auto& item) { return item.kind == Kind::sysex; }));
}

struct Fixture {
    explicit Fixture(std::uint16_t banks, RecordingMidiSystem::Options options = {}, bool refuseSleep = false)
        : system(std::make_shared<RecordingMidiSystem>(std::move(options))),
          inhibitor(refuseSleep),
          transfer(system, 0, 0, soundBanks(banks), &inhibitor)
    {
    }
    // Calls `action` once, on the sending thread, right after message `n` (0-based) was handed over.
    void afterMessage(std::size_t n, std::function<void()> action)
    {
        system->setWaitHook([this, n, action = std::move(action), done = false](std::uint32_t) mutable {
            if (!done && sysexCount(system->records()) == n + 1) {
                done = true;
                action();
            }
        });
    }
    std::shared_ptr<RecordingMidiSystem> system;
    RecordingSleepInhibitor inhibitor;
    BankTransfer transfer;
};

TEST(Transfer, OpensThePortOnTheSendingThreadAndKeepsTheComputerAwakeMeanwhile)
{
    Fixture f(2);
    EXPECT_TRUE(f.system->records().empty()) << "nothing is opened before run()";
    EXPECT_EQ(f.transfer.plannedMs(), kOpeningMs + 2 * kSoundBankMs);

    const TransferResult result = f.transfer.run();
    EXPECT_EQ(result.outcome, TransferOutcome::completed);
    EXPECT_EQ(result.banksSent, 2u);
    EXPECT_FALSE(result.resumeFrom);
    EXPECT_TRUE(result.keptAwake);
    EXPECT_EQ(f.inhibitor.calls, (std::vector<std::string>{"inhibit: Sending banks to the VARNO 414", "release"}));
    EXPECT_EQ(f.system->records().front().kind, Kind::open);
    EXPECT_EQ(f.system->records().back().kind, Kind::close);
    EXPECT_EQ(static_cast<std::uint64_t>(f.system->elapsedMs()), f.transfer.plannedMs());
    EXPECT_EQ(f.transfer.progress().percent, 100);
}

TEST(Transfer, RefusedSleepOrPortStillEndsCleanly)
{
    Fixture awake(1, {}, true);
    EXPECT_EQ(awake.transfer.run().outcome, TransferOutcome::completed);
    EXPECT_TRUE(awake.transfer.progress().maySleep);
    EXPECT_EQ(awake.inhibitor.calls.size(), 1u) << "a refused request is not released";

    RecordingMidiSystem::Options failing;
    failing.failOpen = true;
    Fixture closed(1, failing);
    const TransferResult result = closed.transfer.run();
    EXPECT_EQ(result.outcome, TransferOutcome::failed);
    EXPECT_EQ(result.error, SendError::portNotOpen);
    EXPECT_FALSE(result.message.empty());
    EXPECT_EQ(result.resumeFrom, 0u);
    EXPECT_EQ(closed.inhibitor.calls.back(), "release");

    // A bank that would be refused stops the transfer before the port opens.
    auto system = std::make_shared<RecordingMidiSystem>();
    auto banks = soundBanks(1);
    banks.push_back(std::make_unique<CFirmware>());
    BankTransfer placeholder(system, 0, 0, std::move(banks));
    EXPECT_EQ(placeholder.run().error, SendError::firmwarePlaceholder);
    EXPECT_TRUE(system->records().empty());
}

TEST(Transfer, StopAfterTheBankFinishesTheBankInFlightAndSendsNothingMore)
{
    Fixture f(3);
    f.afterMessage(4, [&] { f.transfer.requestStop(StopPoint::afterBank); }); // bank 2's first erase
    const TransferResult result = f.transfer.run();

    EXPECT_EQ(result.outcome, TransferOutcome::stopped);
    EXPECT_EQ(result.banksSent, 2u);
    EXPECT_EQ(result.resumeFrom, 2u);
    EXPECT_FALSE(result.incomplete);
    const auto records = f.system->records();
    EXPECT_EQ(sysexCount(records), 8u);
    // Bank 2's last block was released and settled; then the port closed.
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records.back().kind, Kind::close);
    EXPECT_EQ(records[records.size() - 2].ms, 300u);
    EXPECT_EQ(f.inhibitor.calls.back(), "release");

    const auto resume = f.transfer.resumePoint(result);
    ASSERT_TRUE(resume);
    EXPECT_EQ(resume->bankIndex, 2);
    EXPECT_EQ(resume->banksLeft, 1u);
    EXPECT_EQ(resume->secondsLeft, (kOpeningMs + kSoundBankMs + 999) / 1000);
}

TEST(Transfer, StopAfterTheMessageCutsThePauseAndNamesTheIncompleteBank)
{
    Fixture f(3);
    f.afterMessage(4, [&] { f.transfer.requestStop(StopPoint::afterMessage); });
    const TransferResult result = f.transfer.run();

    EXPECT_EQ(result.outcome, TransferOutcome::stopped);
    EXPECT_EQ(result.banksSent, 1u);
    EXPECT_EQ(result.incomplete, 1u);
    EXPECT_EQ(result.resumeFrom, 1u);
    const auto records = f.system->records();
    EXPECT_EQ(sysexCount(records), 5u);
    // After the erase only its own release: neither the settle nor the 6 s
    // pause before the block was waited out.
    std::uint32_t after = 0;
    for (auto item = records.rbegin(); item != records.rend() && item->kind != Kind::sysex; ++item) after += item->ms;
    EXPECT_EQ(after, 3u);
}

// A port that fails in the middle of all banks: the transfer knows where to
// resume, and whether the bank it was on is left half written.
TEST(Transfer, FailureInTheMiddleOfAllBanksResumesFromTheRightBank)
{
    struct Case {
        int failFrom;
        std::optional<std::size_t> incomplete;
    };
    for (const Case c : {Case{50, 12}, Case{48, std::nullopt}}) {
        RecordingMidiSystem::Options options;
        options.failLongFrom = c.failFrom;
        Fixture f(kSoundBankCount, options);
        const TransferResult result = f.transfer.run();
        EXPECT_EQ(result.outcome, TransferOutcome::failed);
        EXPECT_EQ(result.error, SendError::portFailed);
        EXPECT_EQ(result.banksSent, 12u);
        EXPECT_EQ(result.incomplete, c.incomplete);
        const auto resume = f.transfer.resumePoint(result);
        ASSERT_TRUE(resume);
        EXPECT_EQ(resume->bankIndex, 12) << "S13";
        EXPECT_EQ(resume->banksLeft, 19u);
        EXPECT_EQ(resume->secondsLeft, (kOpeningMs + 19 * kSoundBankMs + 999) / 1000);
        EXPECT_EQ(f.inhibitor.calls.back(), "release");
    }
}

// On the recording clock the plan is exact, so the progress is too.
TEST(Transfer, ProgressIsExactMonotonicAndReaches100OnlyAtTheEnd)
{
    Fixture f(2);
    const std::uint64_t total = f.transfer.plannedMs();
    std::vector<TransferProgress> seen;
    f.system->setWaitHook([&](std::uint32_t) {
        seen.push_back(f.transfer.progress());
        const auto elapsed = static_cast<std::uint64_t>(f.system->elapsedMs());
        EXPECT_EQ(seen.back().percent, static_cast<int>(std::min<std::uint64_t>(99, elapsed * 100 / total)));
        EXPECT_EQ(seen.back().secondsLeft, (total - elapsed + 999) / 1000);
    });
    EXPECT_EQ(f.transfer.progress().phase, TransferPhase::waiting);
    f.transfer.run();

    ASSERT_GT(seen.size(), 30u);
    EXPECT_EQ(seen.front().phase, TransferPhase::opening);
    EXPECT_EQ(seen.back().bank, 1u);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const TransferProgress& p = seen[i];
        EXPECT_LT(p.percent, 100) << i;
        EXPECT_LT(p.bankPercent, 100) << i;
        if (i == 0) continue;
        const TransferProgress& before = seen[i - 1];
        EXPECT_GE(p.percent, before.percent) << i;
        EXPECT_GE(p.bank, before.bank) << i;
        if (p.bank == before.bank) {
            EXPECT_GE(p.bankPercent, before.bankPercent) << i;
        }
    }
    const TransferProgress end = f.transfer.progress();
    EXPECT_EQ(end.phase, TransferPhase::finished);
    EXPECT_EQ(end.percent, 100);
    EXPECT_EQ(end.secondsLeft, 0u);
}

TEST(Transfer, TimeLeftText)
{
    EXPECT_EQ(formatDuration(0), "0:00");
    EXPECT_EQ(formatDuration(2232), "37:12");
    EXPECT_EQ(formatDuration(3725), "1:02:05");
    TransferProgress p;
    p.phase = TransferPhase::sending;
    p.bank = 7;
    p.bankCount = 31;
    p.secondsLeft = 2232;
    EXPECT_EQ(describeProgress(p), "Bank 8 of 31 - 37:12 left");
    p.phase = TransferPhase::opening;
    EXPECT_EQ(describeProgress(p), "Opening the port - 37:12 left");
}

} // namespace
