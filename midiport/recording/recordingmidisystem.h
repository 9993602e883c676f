#pragma once

#include "midiport/midisystem.h"

#include <atomic>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

// One thing the recording backend saw, at the virtual time it happened.
struct RecordedItem {
    enum class Kind { open, shortMessage, sysex, wait, close };
    Kind kind;
    std::vector<std::uint8_t> bytes; // short message or System Exclusive message
    std::uint32_t ms = 0;            // length of a wait
    std::int64_t atMs = 0;           // virtual milliseconds since the system was made
};

// A MIDI system that sends nowhere: it records short messages, complete System
// Exclusive messages and waits in order on a virtual clock that never really
// sleeps (unless a test asks it to run at a real-time speed), so a whole
// bank's send is checked in milliseconds. A message is
// "playing" for its cable time (3125 bytes per second) after it is handed over,
// as on a real port. Used by the tests and, through VARNO414_MIDI_RECORDING, by
// the editor's and the command-line tool's tests; never offered to users.
// With a log, a message whose line cannot be written is refused, and a log that
// cannot be opened keeps the output from opening: a test that reads the log
// must never see a send reported as done that the log does not hold.
class RecordingMidiSystem : public IMidiSystem {
public:
    // A cable from every output to input port 0: each long message sent comes
    // back, byte by byte at the time the output has played it, as a script says.
    struct LoopbackScript {
        bool silent = false;                          // nothing comes back
        std::size_t dropEvery = 0;                    // every Nth byte of each message is lost
        std::set<std::size_t> dropAt;                 // offsets in each message that are lost
        std::map<std::size_t, std::uint8_t> changeAt; // offsets that come back as this value
        std::uint32_t delayMs = 0;                    // on top of the cable time
    };

    struct Options {
        int outputPorts = 1;
        int inputPorts = 0;
        bool failOpen = false;
        int failLongFrom = -1;                  // long messages from this one on (0-based) are refused
        std::set<int> failLongAt;               // these long messages alone (0-based) are refused
        std::int64_t startTime = 1'000'000'000; // calendar seconds at virtual time 0
        std::string logPath;                    // text log appended to, when not empty
        int realTimeSpeed = 0;                  // > 0: sleeps really pass, this many times faster
        std::optional<LoopbackScript> loopback; // needs an input port
        // >= 0: the first stoppable pause before this long message (0-based)
        // holds, logged as "hold N", until a stop cuts it short or the file
        // logPath + ".release" appears; a test can then signal a send at a
        // known point however slowly the machine runs.
        int holdBeforeLong = -1;
    };

    RecordingMidiSystem();
    explicit RecordingMidiSystem(Options options);
    ~RecordingMidiSystem() override;

    std::vector<std::string> outputPortNames() override;
    std::vector<std::string> inputPortNames() override;
    IClock& clock() override;
    PortPacing outputPacing() const override;
    std::unique_ptr<IMidiOutput> openOutput(std::size_t index, IMidiOutputListener& listener,
                                            std::string& error) override;
    std::unique_ptr<IMidiInput> openInput(std::size_t index, std::string& error) override;
    std::ostream& trace() override { return m_trace; }

    std::vector<RecordedItem> records() const;
    void clearRecords();
    std::string traceText() const { return m_trace.str(); }
    std::int64_t elapsedMs() const { return m_elapsedMs.load(); }
    // Moves the virtual clock without recording a wait.
    void advance(std::int64_t ms) { m_elapsedMs += ms; }
    // System Exclusive bytes that arrive on input port `port` once the virtual
    // clock reaches `atMs`, if input has been started on it by then.
    void playInput(std::size_t port, std::vector<std::uint8_t> bytes, std::int64_t atMs);
    // Called on the sleeping thread after every recorded wait.
    void setWaitHook(std::function<void(std::uint32_t)> hook) { m_waitHook = std::move(hook); }
    // An interface plugged in or pulled out: the output list has this many
    // ports from now on, and the system does not announce it (as winmm).
    void setOutputPortCount(int count) { m_outputPorts = count; }

private:
    class Clock;
    class Output;
    class Input;
    friend class Clock;
    friend class Output;
    friend class Input;

    // False when the log line could not be written; the item is then not recorded.
    [[nodiscard]] bool record(RecordedItem item);
    void loopBack(std::span<const std::uint8_t> message, std::int64_t atMs);
    // Moves the clock to `untilMs`, delivering the input due on the way at its time.
    void passTo(std::int64_t untilMs);
    void setListener(std::size_t port, IMidiInputListener* listener);

    struct PendingInput {
        std::size_t port;
        std::vector<std::uint8_t> bytes;
    };
    // A line of the log alone, for what is no recorded item.
    [[nodiscard]] bool recordLine(const std::string& line);

    Options m_options;
    std::atomic<int> m_outputPorts;
    std::atomic<std::int64_t> m_elapsedMs{0};
    std::atomic<int> m_longCount{0};
    bool m_held = false;
    std::unique_ptr<Clock> m_clock;
    std::function<void(std::uint32_t)> m_waitHook;
    mutable std::mutex m_mutex;
    std::vector<RecordedItem> m_records;
    std::mutex m_inputMutex;
    std::multimap<std::int64_t, PendingInput> m_pendingInput; // by due time
    std::map<std::size_t, IMidiInputListener*> m_listeners;  // inputs that are started
    std::ofstream m_log;
    std::string m_logError; // why the log could not be opened
    std::ostringstream m_trace;
};
