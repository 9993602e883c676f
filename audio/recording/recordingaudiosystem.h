#pragma once

#include "audio/audiooutput.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// An audio system that plays nowhere: every output it opens records the
// samples written to it and how it ended, so a test checks exactly what a
// player sent, in milliseconds. Writes can be held to stop a playback in its
// middle. Used by the tests; never offered to users.
class RecordingAudioSystem : public IAudioSystem {
public:
    struct Options {
        std::uint32_t rate = 48000; // what the device "runs at", whatever is asked
        std::uint16_t channels = 1;
        std::string failOpen;       // when not empty, opening fails with this sentence
    };
    // One opened output's life.
    struct Stream {
        std::uint32_t rate = 0;
        std::uint16_t channels = 0;
        std::vector<std::int16_t> samples;
        std::size_t writes = 0;
        bool drained = false;
        bool dropped = false;
        bool closed = false;
    };

    RecordingAudioSystem() = default;
    explicit RecordingAudioSystem(Options options) : m_options(std::move(options)) {}

    std::unique_ptr<IAudioOutput> openOutput(std::uint32_t rate, std::string& error) override;

    std::vector<Stream> streams() const;
    // The most outputs that were open at the same time.
    std::size_t maxOpenAtOnce() const;
    // While held, each write is recorded and then waits for release().
    void hold();
    void release();
    // Waits until `count` writes have been recorded in all, or the timeout.
    bool waitForWrites(std::size_t count, std::chrono::milliseconds timeout);

private:
    class Output;

    Options m_options;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Stream> m_streams;
    std::size_t m_writes = 0;
    std::size_t m_open = 0;
    std::size_t m_maxOpen = 0;
    bool m_held = false;
};
