#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

// Calendar time and sleeping, behind an interface so that a test can run a
// two-minute send on a virtual clock.
class IClock {
public:
    virtual ~IClock();
    // Calendar time in whole seconds (the standard time() value).
    virtual std::int64_t now() = 0;
    virtual void sleepMs(std::uint32_t ms) = 0;
};

// What an output port reports about itself; the transmitter traces these.
enum class PortNotification { opened, closed, done, other };

class IMidiOutputListener {
public:
    virtual ~IMidiOutputListener();
    // May be called on a platform thread; `code` is the platform's own code.
    virtual void portNotification(PortNotification what, std::uint32_t code) = 0;
};

enum class LongRelease { released, stillPlaying, failed };

// One opened output port. Closing is destruction.
class IMidiOutput {
public:
    virtual ~IMidiOutput();
    virtual bool sendShort(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) = 0;
    // Hands one complete System Exclusive message (F0 .. F7) to the port. The
    // bytes must stay valid until releaseLong() has answered `released` or `failed`.
    virtual bool startLong(std::span<const std::uint8_t> message) = 0;
    // Takes the message back from the port if it has finished with it.
    virtual LongRelease releaseLong() = 0;
};

// One opened input port. Input is never started; closing is destruction.
class IMidiInput {
public:
    virtual ~IMidiInput();
    virtual void reset() = 0;
};

// The operating system's MIDI service: port lists, opening ports, a clock.
class IMidiSystem {
public:
    virtual ~IMidiSystem();
    // Port names in index order; an index into these lists opens that port.
    virtual std::vector<std::string> outputPortNames() = 0;
    virtual std::vector<std::string> inputPortNames() = 0;
    virtual IClock& clock() = 0;
    // Null on failure, with one sentence for the user in `error`. The
    // listener must outlive the port.
    virtual std::unique_ptr<IMidiOutput> openOutput(std::size_t index, IMidiOutputListener& listener,
                                                    std::string& error) = 0;
    virtual std::unique_ptr<IMidiInput> openInput(std::size_t index, std::string& error) = 0;
    // Where the port classes write their one-line notification traces.
    virtual std::ostream& trace();
};

// The environment variable that selects the recording backend (tests only).
inline constexpr const char* kRecordingVariable = "VARNO414_MIDI_RECORDING";

// The platform backend (ALSA on Linux, winmm on Windows), or the recording
// backend logging to the file named by VARNO414_MIDI_RECORDING when it is set.
std::shared_ptr<IMidiSystem> createMidiSystem();

// Implemented by the backend that CMake picks for the platform.
std::shared_ptr<IMidiSystem> createPlatformMidiSystem();
