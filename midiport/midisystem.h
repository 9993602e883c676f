#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <span>
#include <string>
#include <vector>

// Raised from any thread to cut the sending thread's pauses short; a real
// sleep waits on it, so it ends as soon as the flag is raised.
class WaitInterrupt {
public:
    void raise();
    bool isRaised() const { return m_raised.load(std::memory_order_acquire); }
    // Blocks for up to `duration` of real time; true when raised.
    bool waitFor(std::chrono::nanoseconds duration) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::atomic<bool> m_raised{false};
};

// Calendar time, a monotonic clock and sleeping, behind an interface so that
// a test can run a two-minute send on a virtual clock.
class IClock {
public:
    virtual ~IClock();
    // Calendar time in whole seconds (the standard time() value).
    virtual std::int64_t now() = 0;
    // Milliseconds from an arbitrary origin that never go back: pacing sleeps
    // to deadlines on it, and progress is measured with it.
    virtual std::int64_t monotonicMs() = 0;
    virtual void sleepMs(std::uint32_t ms) = 0;
    // Sleeps `ms` unless `interrupt` is (or gets) raised; false when cut short.
    // The default cannot be woken and only looks at the flag before sleeping.
    virtual bool sleepMsUnless(std::uint32_t ms, const WaitInterrupt& interrupt);
};

// How an output port paces one long message, so that the time a send takes is
// known before it runs. The port needs `rateMs` milliseconds for every
// `rateBytes` bytes, a message's time rounded up to whole milliseconds.
struct PortPacing {
    std::uint32_t rateBytes = 0;
    std::uint32_t rateMs = 0;
    // True when startLong() itself returns only once the message has gone
    // (it paces the pieces); false when the port plays the message after
    // startLong() has returned, until releaseLong() finds it done.
    bool startBlocks = false;

    constexpr std::uint64_t messageMs(std::uint64_t bytes) const
    {
        return rateBytes == 0 ? 0 : (bytes * rateMs + rateBytes - 1) / rateBytes;
    }
};

// A port that plays a handed-over message at the MIDI cable's own rate.
PortPacing cableRatePacing();

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

class IMidiInputListener {
public:
    virtual ~IMidiInputListener();
    // System Exclusive bytes in the order they arrived, in the pieces the port
    // delivers (a piece need not hold a whole message). Other messages are not
    // passed on. May be called on a platform thread.
    virtual void sysexReceived(std::span<const std::uint8_t> bytes) = 0;
};

// One opened input port. Closing is destruction.
class IMidiInput {
public:
    virtual ~IMidiInput();
    // Starts passing input to `listener`, which must outlive the port or its
    // reset(). False when the port refuses or input was started already.
    virtual bool start(IMidiInputListener& listener) = 0;
    // Stops input; nothing reaches the listener after it returns.
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
    // How the ports this system opens pace long messages.
    virtual PortPacing outputPacing() const = 0;
    // Null on failure, with one sentence for the user in `error`. The
    // listener must outlive the port.
    virtual std::unique_ptr<IMidiOutput> openOutput(std::size_t index, IMidiOutputListener& listener,
                                                    std::string& error) = 0;
    virtual std::unique_ptr<IMidiInput> openInput(std::size_t index, std::string& error) = 0;
    // Where the port classes write their one-line notification traces.
    virtual std::ostream& trace();

    // Grows each time the system announces that ports came, went or changed;
    // a caller that sees it differ from the value it last read reads the
    // lists again. Any thread. The first call starts watching; a system that
    // cannot tell always answers 0.
    virtual std::uint64_t portListChanges() { return 0; }
    // Why a port list is empty, as one sentence for the user (for example
    // that there is no sequencer device); empty when the system cannot say.
    virtual std::string noPortsReason(bool outputs)
    {
        (void)outputs;
        return {};
    }
};

// The environment variable that selects the recording backend (tests only).
inline constexpr const char* kRecordingVariable = "VARNO414_MIDI_RECORDING";
// Test only, with the recording backend: its virtual clock runs this many
// times faster than real time instead of not sleeping at all, so that a test
// can signal a running send; and long messages from this one on (0-based)
// are refused, as by a port that fails.
inline constexpr const char* kRecordingSpeedVariable = "VARNO414_MIDI_RECORDING_SPEED";
inline constexpr const char* kRecordingFailVariable = "VARNO414_MIDI_RECORDING_FAIL_FROM";
// Test only, with the recording backend: one input port, on which the long
// messages sent come back: "echo", "silent" (nothing comes back),
// "drop-every=N" (every Nth byte of each message is lost) or "change-at=N"
// (byte N of each message comes back altered).
inline constexpr const char* kRecordingLoopbackVariable = "VARNO414_MIDI_RECORDING_LOOPBACK";
// Test only: the pause before this long message (0-based) holds until the send
// is stopped or the file named by VARNO414_MIDI_RECORDING plus ".release" appears.
inline constexpr const char* kRecordingHoldVariable = "VARNO414_MIDI_RECORDING_HOLD_AT";

// The platform backend (ALSA on Linux, winmm on Windows), or the recording
// backend logging to the file named by VARNO414_MIDI_RECORDING when it is set.
std::shared_ptr<IMidiSystem> createMidiSystem();

// Implemented by the backend that CMake picks for the platform.
std::shared_ptr<IMidiSystem> createPlatformMidiSystem();
