#include "midiport/alsa/alsamidisystem.h"
#include "midiport/alsa/sysexpacer.h"
#include "midiport/wrapperktmidiinterface.h"
#include "model/messages.h"
#include "model/sound.h"

#include <gtest/gtest.h>

#include <alsa/asoundlib.h>

#include <filesystem>
#include <vector>

namespace {

// Sleeps overshoot by `overshootMs`, as a loaded machine's timer does, and
// the sleep numbered `stallAt` takes `stallMs` longer still.
class VirtualClock : public IClock {
public:
    std::int64_t now() override { return elapsedMs / 1000; }
    std::int64_t monotonicMs() override { return elapsedMs; }
    void sleepMs(std::uint32_t ms) override
    {
        elapsedMs += ms + overshootMs + (sleeps++ == stallAt ? stallMs : 0);
    }
    std::int64_t elapsedMs = 0;
    std::int64_t overshootMs = 0;
    int sleeps = 0;
    int stallAt = -1;
    std::int64_t stallMs = 0;
};

class RecordingSink : public ISysexSink {
public:
    explicit RecordingSink(VirtualClock& clock) : m_clock(clock) {}
    bool writeChunk(std::span<const std::uint8_t> chunk) override
    {
        if (failAt == chunks.size()) return false;
        chunks.emplace_back(chunk.begin(), chunk.end());
        handedAtMs.push_back(m_clock.elapsedMs);
        return true;
    }
    bool drain() override
    {
        ++drains;
        return true;
    }
    std::vector<std::vector<std::uint8_t>> chunks;
    std::vector<std::int64_t> handedAtMs;
    std::size_t drains = 0;
    std::size_t failAt = SIZE_MAX;

private:
    VirtualClock& m_clock;
};

std::vector<std::uint8_t> blockMessage()
{
    std::vector<std::uint8_t> message(kBlockMessageSize);
    for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<std::uint8_t>(i % 0x7F);
    message.front() = 0xF0;
    message.back() = 0xF7;
    return message;
}

TEST(AlsaPacing, BlockMessageGoesOutInSmallPiecesNoFasterThanTheCable)
{
    const auto message = blockMessage();
    VirtualClock clock;
    RecordingSink sink(clock);
    ASSERT_TRUE(sendPacedSysex(message, sink, clock, true));

    ASSERT_EQ(sink.chunks.size(), (message.size() + 255) / 256);
    EXPECT_EQ(sink.drains, sink.chunks.size());
    std::vector<std::uint8_t> joined;
    std::uint64_t before = 0;
    for (std::size_t i = 0; i < sink.chunks.size(); ++i) {
        EXPECT_LE(sink.chunks[i].size(), kSysexChunkBytes);
        // 3093.75 bytes per second: the bytes before this piece have had their time.
        EXPECT_GE(sink.handedAtMs[i] * 3093.75, before * 1000.0) << "piece " << i;
        before += sink.chunks[i].size();
        joined.insert(joined.end(), sink.chunks[i].begin(), sink.chunks[i].end());
    }
    EXPECT_EQ(joined, message);
    // Finished only once the whole message's cable time has passed, and not much later.
    EXPECT_EQ(clock.elapsedMs, 42369);
    EXPECT_GE(clock.elapsedMs * 3093.75, message.size() * 1000.0);
}

// The pieces are paced to deadlines from the first one: the timer's overshoot
// does not add up over the 513 pieces, and after a stall the pacer catches up
// by no more than its bound, so the port never gets a burst it could drop.
TEST(AlsaPacing, OvershootDoesNotAddUpAndStallsAreCaughtUpWithinBounds)
{
    const auto message = blockMessage();
    VirtualClock late;
    late.overshootMs = 2;
    RecordingSink lateSink(late);
    ASSERT_TRUE(sendPacedSysex(message, lateSink, late, true));
    EXPECT_GE(late.elapsedMs, 42369);
    // The last piece, handed over late, still has its cable time; no more.
    EXPECT_LE(late.elapsedMs, 42369 + 2 + 4);

    VirtualClock stalled;
    stalled.stallAt = 100;
    stalled.stallMs = 5000;
    RecordingSink stalledSink(stalled);
    ASSERT_TRUE(sendPacedSysex(message, stalledSink, stalled, true));
    const std::int64_t resumed = stalledSink.handedAtMs[101];
    std::size_t burst = 0;
    for (std::size_t i = 101; i < stalledSink.chunks.size() && stalledSink.handedAtMs[i] == resumed; ++i)
        burst += stalledSink.chunks[i].size();
    // The piece that was due, and what the cable takes in the catch-up bound.
    EXPECT_GT(burst, kSysexChunkBytes);
    EXPECT_LE(burst, kMaxCatchUpMs * 99 / 32 + 2 * kSysexChunkBytes);
    // Most of the stall is not caught up: it only moves the schedule.
    EXPECT_GE(stalled.elapsedMs, 42369 + 5000 - kMaxCatchUpMs - 100);
    // But the bound is caught up: the schedule moves by the stall less it.
    EXPECT_LE(stalled.elapsedMs, 42369 + 5000 - kMaxCatchUpMs + 10);

    // A stall late in the message: what was caught up is still on its way
    // through the cable when the schedule ends, and the send waits for it.
    VirtualClock lateStall;
    lateStall.stallAt = 505;
    lateStall.stallMs = 150;
    RecordingSink lateStallSink(lateStall);
    ASSERT_TRUE(sendPacedSysex(message, lateStallSink, lateStall, true));
    double cableIdle = 0;
    for (std::size_t i = 0; i < lateStallSink.chunks.size(); ++i)
        cableIdle = std::max(cableIdle, static_cast<double>(lateStallSink.handedAtMs[i])) +
                    lateStallSink.chunks[i].size() * 1000.0 / 3125;
    EXPECT_GE(static_cast<double>(lateStall.elapsedMs), cableIdle);
}

TEST(AlsaPacing, UnpacedAndFailingSends)
{
    const auto message = blockMessage();
    VirtualClock clock;
    RecordingSink unpaced(clock);
    ASSERT_TRUE(sendPacedSysex(message, unpaced, clock, false));
    EXPECT_EQ(unpaced.chunks.size(), 513u);
    EXPECT_EQ(clock.elapsedMs, 0);

    RecordingSink failing(clock);
    failing.failAt = 3;
    EXPECT_FALSE(sendPacedSysex(message, failing, clock, true));
    EXPECT_EQ(failing.chunks.size(), 3u);

    const std::vector<std::uint8_t> erase{0xF0, 0x31, 0x0D, 0x79, 0x00, 0xF7};
    RecordingSink small(clock);
    ASSERT_TRUE(sendPacedSysex(erase, small, clock, true));
    ASSERT_EQ(small.chunks.size(), 1u);
    EXPECT_EQ(small.chunks[0], erase);
}

// The plan's time for a sound bank is what the paced pieces, the pauses and
// the settles add up to, not the cable's bare rate.
TEST(AlsaPacing, SoundBankIsPlannedAtItsPacedTime)
{
    CSound bank(0);
    EXPECT_EQ(WrapperKtMidiInterface::bankMs(AlsaMidiSystem().outputPacing(), bank.buildEvents(0)), 103946u);
}

TEST(AlsaSystem, NoSequencerDeviceMeansNoPortsAndAClearError)
{
    if (std::filesystem::exists("/dev/snd/seq")) GTEST_SKIP() << "this machine has a sequencer device";
    auto system = createPlatformMidiSystem();
    EXPECT_TRUE(system->outputPortNames().empty());
    EXPECT_TRUE(system->inputPortNames().empty());

    WrapperKtMidiInterface session(0, 0, system);
    EXPECT_FALSE(session.isOpen());
    EXPECT_EQ(session.error(), "No MIDI output port was found.");
}

} // namespace

// A port that comes up is announced; without a sequencer the tool says why.
TEST(AlsaSystem, PortsThatComeAndGoAreAnnounced)
{
    AlsaMidiSystem system;
    if (!std::filesystem::exists("/dev/snd/seq")) {
        EXPECT_NE(system.noPortsReason(true).find("no ALSA sequencer device"), std::string::npos);
        EXPECT_EQ(system.portListChanges(), 0u);
        return;
    }
    const std::uint64_t before = system.portListChanges();
    snd_seq_t* seq = nullptr;
    ASSERT_GE(snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, 0), 0);
    ASSERT_GE(snd_seq_create_simple_port(seq, "appears", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                         SND_SEQ_PORT_TYPE_MIDI_GENERIC),
              0);
    // The announcement is queued for the watcher before the port call returns.
    EXPECT_GT(system.portListChanges(), before);
    snd_seq_close(seq);
}
