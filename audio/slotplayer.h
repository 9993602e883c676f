#pragma once

#include "audio/audiooutput.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace audio {

// The machine's samples as signed 16-bit frames at `rate`, each value copied
// to every channel. A zero-order hold: output frame i takes slot sample
// floor(i x 33000 / rate), so every sample is held for its 1/33000 s just as
// the machine's converter holds it, and the stepped, slightly bright sound of
// 8 bits at 33 kHz comes through unsmoothed, which is what the user is
// choosing sounds by. A sample b becomes (b - 0x80) x 256, exactly.
std::vector<std::int16_t> holdToRate(std::span<const std::uint8_t> slot, std::uint32_t rate, std::uint16_t channels);

} // namespace audio

// Plays one slot at a time as the machine plays it, on a thread of its own,
// so the caller never waits for the device. Every play() ends exactly once,
// reported to the end handler.
class SlotPlayer {
public:
    enum class End : std::uint8_t { Finished, Stopped, Failed };
    struct Ending {
        std::uint64_t id = 0;
        End end = End::Finished;
        std::string error; // for Failed: one sentence for the user
    };
    // Called on the player's thread; a window posts it on to its own thread.
    using EndHandler = std::function<void(const Ending&)>;

    SlotPlayer(std::shared_ptr<IAudioSystem> system, EndHandler onEnd);
    // Stops what plays and waits for the thread; reports no more endings.
    ~SlotPlayer();
    SlotPlayer(const SlotPlayer&) = delete;
    SlotPlayer& operator=(const SlotPlayer&) = delete;

    // Plays a copy of the slot's bytes up to the last one that sounds, after
    // ending whatever played before (reported Stopped). Returns at once. The
    // id is the caller's name for what plays, for example a bank and a slot.
    void play(std::span<const std::uint8_t> slot, std::uint64_t id);
    // Ends what plays, reported Stopped; returns at once.
    void stop();
    // The id of what plays or is about to, until its ending is reported.
    std::optional<std::uint64_t> playing() const;
    // Whether the system has an output now, and when not, the sentence why.
    bool available(std::string& reason) const;

private:
    struct Request {
        std::vector<std::uint8_t> bytes;
        std::uint64_t id;
        std::uint64_t sequence;
    };

    void run();
    Ending perform(const Request& request);
    bool interrupted(std::uint64_t sequence) const;

    std::shared_ptr<IAudioSystem> m_system;
    EndHandler m_onEnd;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Request> m_queue;
    struct Current {
        std::uint64_t id;
        std::uint64_t sequence;
    };
    std::optional<Current> m_current;
    // Plays are numbered; one ends when a later one is asked for or when
    // stop() has been called after it was.
    std::atomic<std::uint64_t> m_sequence{0};
    std::atomic<std::uint64_t> m_stoppedThrough{0};
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};
