#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

// One opened audio output stream taking signed 16-bit samples, interleaved
// when it has more than one channel. Closing is destruction, which discards
// whatever has not been heard.
class IAudioOutput {
public:
    virtual ~IAudioOutput();
    // Frames per second and channels the device runs at: the player converts
    // to these itself.
    virtual std::uint32_t rate() const = 0;
    virtual std::uint16_t channels() const = 0;
    // Queues whole frames, blocking while the device's buffer is full (for
    // a fraction of a second at most); false when the device has failed.
    virtual bool write(std::span<const std::int16_t> samples) = 0;
    // Blocks until everything written has been heard.
    virtual bool drain() = 0;
    // Discards what is queued, at once.
    virtual void drop() = 0;
};

// The operating system's audio output: ALSA's "default" device on Linux
// (so PipeWire and PulseAudio through their ALSA plug-ins), waveOut on
// Windows, nothing elsewhere.
class IAudioSystem {
public:
    virtual ~IAudioSystem();
    // Opens the default output at or near `rate`. Null, with one sentence for
    // the user in `error`, when there is no device or it is busy: never waits
    // for one.
    virtual std::unique_ptr<IAudioOutput> openOutput(std::uint32_t rate, std::string& error) = 0;
    // Whether an output opens now; false with the sentence why (a disabled
    // Play button's tooltip). Opens the device and closes it again.
    virtual bool available(std::string& reason);
};

// The rate players ask for: what most devices and sound servers run at.
inline constexpr std::uint32_t kPreferredOutputRate = 48000;

// Implemented by the backend that CMake picks for the platform.
std::shared_ptr<IAudioSystem> createPlatformAudioSystem();
