// The slot player against the recording audio output.
#include "audio/recording/recordingaudiosystem.h"
#include "audio/slotplayer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Samples = std::vector<std::int16_t>;

class Player : public ::testing::Test {
protected:
    explicit Player(RecordingAudioSystem::Options options = {})
        : m_system(std::make_shared<RecordingAudioSystem>(std::move(options))),
          m_player(m_system, [this](const SlotPlayer::Ending& ending) {
              const std::lock_guard lock(m_mutex);
              m_endings.push_back(ending);
              m_ended.notify_all();
          })
    {
    }

    std::vector<SlotPlayer::Ending> waitForEndings(std::size_t count)
    {
        std::unique_lock lock(m_mutex);
        EXPECT_TRUE(m_ended.wait_for(lock, 10s, [&] { return m_endings.size() >= count; }));
        return m_endings;
    }

    std::shared_ptr<RecordingAudioSystem> m_system;
    std::mutex m_mutex;
    std::condition_variable m_ended;
    std::vector<SlotPlayer::Ending> m_endings;
    SlotPlayer m_player;
};

class StereoAt66k : public Player {
protected:
    StereoAt66k() : Player({66000, 2, {}}) {}
};

class At48k : public Player {};

// A second of sound: long enough to be stopped in its middle.
const std::vector<std::uint8_t> kLong(33000, 0x90);

TEST_F(StereoAt66k, SendsEachSampleHeldAndScaledThenDrains)
{
    // The trailing zero level is silence the import left: it is not played.
    m_player.play(std::vector<std::uint8_t>{0x80, 0xFF, 0x00, 0x81, 0x80, 0x80}, 7);
    const auto endings = waitForEndings(1);
    EXPECT_EQ(endings[0].id, 7u);
    EXPECT_EQ(endings[0].end, SlotPlayer::End::Finished);
    const auto streams = m_system->streams();
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].samples,
              (Samples{0, 0, 0, 0, 32512, 32512, 32512, 32512, -32768, -32768, -32768, -32768, 256, 256, 256, 256}));
    EXPECT_TRUE(streams[0].drained);
    EXPECT_TRUE(streams[0].closed);
    EXPECT_FALSE(m_player.playing());
}

TEST_F(At48k, HoldsEachSampleForItsOwnTime)
{
    // Output frame i takes sample floor(i x 33000 / 48000): 0 0 1 2 2 3.
    m_player.play(std::vector<std::uint8_t>{0x80, 0xFF, 0x00, 0x81}, 1);
    waitForEndings(1);
    EXPECT_EQ(m_system->streams().at(0).samples, (Samples{0, 0, 32512, -32768, -32768, 256}));
}

TEST_F(At48k, OneSlotAtATimeAndStopEndsIt)
{
    m_system->hold();
    m_player.play(kLong, 1);
    ASSERT_TRUE(m_system->waitForWrites(1, 10s));
    m_player.play(std::vector<std::uint8_t>{0x80, 0x90}, 2); // ends the first
    EXPECT_EQ(m_player.playing(), 2u);
    m_system->release();
    auto endings = waitForEndings(2);
    EXPECT_EQ(endings[0].id, 1u);
    EXPECT_EQ(endings[0].end, SlotPlayer::End::Stopped);
    EXPECT_EQ(endings[1].id, 2u);
    EXPECT_EQ(endings[1].end, SlotPlayer::End::Finished);

    m_system->hold();
    m_player.play(kLong, 3);
    ASSERT_TRUE(m_system->waitForWrites(3, 10s));
    m_player.stop();
    EXPECT_FALSE(m_player.playing()); // at once, before the device has let go
    m_system->release();
    endings = waitForEndings(3);
    EXPECT_EQ(endings[2].id, 3u);
    EXPECT_EQ(endings[2].end, SlotPlayer::End::Stopped);

    const auto streams = m_system->streams();
    ASSERT_EQ(streams.size(), 3u);
    EXPECT_EQ(m_system->maxOpenAtOnce(), 1u);
    for (std::size_t i : {0u, 2u}) {
        EXPECT_TRUE(streams[i].dropped);
        EXPECT_FALSE(streams[i].drained);
        EXPECT_LT(streams[i].samples.size(), 48000u / 2);
    }
}

class NoDevice : public Player {
protected:
    NoDevice() : Player({48000, 1, "No audio output is available: none here."}) {}
};

TEST_F(NoDevice, PlayFailsAtOnceWithTheReason)
{
    std::string reason;
    EXPECT_FALSE(m_player.available(reason));
    EXPECT_EQ(reason, "No audio output is available: none here.");
    m_player.play(kLong, 4);
    const auto endings = waitForEndings(1);
    EXPECT_EQ(endings[0].end, SlotPlayer::End::Failed);
    EXPECT_EQ(endings[0].error, reason);

#ifndef _WIN32 // wine's sound drivers take most of a minute to give up when there is no sound system
    // This machine's own output, with or without a device, answers at once.
    if (!createPlatformAudioSystem()->available(reason)) {
        EXPECT_FALSE(reason.empty());
    }
#endif
}

} // namespace
