#include "midiport/recordingmidisystem.h"
#include "midiport/wrapperktmidiinterface.h"
#include "model/sound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
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
    for (std::uint16_t i = 0; i < 3; ++i)
        banks.push_back(std::make_unique<CSound>(i));
    // Every virtual wait lets the poller in, so it sees the sends in flight.
    std::atomic<int> polls{0};
    system->setWaitHook([&](std::uint32_t) {
        const int before = polls.load();
        for (int spin = 0; spin < 100000 && polls.load() == before; ++spin)
            std::this_thread::yield();
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
        for (auto& bank : banks)
            sent = session.sendBank(*bank, 0) && sent;
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

} // namespace
