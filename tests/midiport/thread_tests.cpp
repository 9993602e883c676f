#include "midiport/recordingmidisystem.h"
#include "midiport/wrapperktmidiinterface.h"
#include "model/sound.h"

#include <gtest/gtest.h>

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
    // Real time passes a little on every virtual wait, so the poller sees a send in flight.
    system->setWaitHook([](std::uint32_t) { std::this_thread::yield(); });

    std::atomic<bool> done{false};
    std::vector<int> seen;
    std::thread poller([&] {
        while (!done.load()) {
            seen.push_back(session.progress());
            (void)session.estimate();
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
    for (int value : seen) {
        EXPECT_GE(value, 0);
        EXPECT_LE(value, 110);
    }
}

} // namespace
