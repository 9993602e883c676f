#pragma once

#include "midiport/midisystem.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The non-commercial manufacturer ID: no machine on the cable acts on it.
inline constexpr std::uint8_t kNonCommercialId = 0x7D;

// How one test message came back.
struct LoopbackComparison {
    struct Difference {
        std::size_t offset = 0;               // in the message sent
        std::uint8_t sent = 0;
        std::optional<std::uint8_t> received; // none when the bytes ended there
    };
    std::size_t sent = 0;
    std::size_t received = 0;
    std::size_t dropped = 0;
    std::size_t changed = 0; // altered, or received beyond what was sent
    std::optional<Difference> firstDifference;
    // When two or more bytes were lost and nothing else went wrong at a fixed
    // distance from each other: that distance (255 for "every 255th").
    std::size_t dropInterval = 0;

    bool clean() const { return dropped == 0 && changed == 0 && received == sent; }
};

// Compares what came back with what was sent, telling lost bytes from altered
// ones by where the two runs line up again.
LoopbackComparison compareLoopback(std::span<const std::uint8_t> sent, std::span<const std::uint8_t> received);

enum class LoopbackVerdict { notRun, clean, damaged, nothingBack, stopped, failed };

struct LoopbackMessageResult {
    LoopbackComparison comparison;
    std::uint64_t bytesPerSecond = 0; // bytes back over the time from handing over to the last one
};

struct LoopbackReport {
    LoopbackVerdict verdict = LoopbackVerdict::notRun;
    std::vector<LoopbackMessageResult> messages; // those that were sent, in order
    std::size_t bytesSent = 0;
    std::size_t bytesReceived = 0;
    std::size_t dropped = 0;
    std::size_t changed = 0;
    // The message the verdict speaks of: the first damaged one, else the longest.
    std::size_t decisive = 0;
    std::uint64_t bytesPerSecond = 0; // the decisive message's
    std::string text;                 // the plain verdict, one sentence (UTF-8)
};

// The loopback test of a MIDI interface whose MIDI OUT is cabled to its own
// MIDI IN: test messages of the machine's sizes go out paced exactly as a
// bank send paces a block, and what comes back is compared with them.
// run() blocks the calling thread; stop(), progress() and result() may be
// called from any other.
class KtMidiInterfaceTest {
public:
    // quick: a 6-byte and a 4,096-byte message, a few seconds, instead of a
    // 6-byte and a whole 131,078-byte block, about 45 seconds.
    enum class Length { full, quick };

    KtMidiInterfaceTest(std::shared_ptr<IMidiSystem> system, int outputIndex, int inputIndex,
                        Length length = Length::full);
    virtual ~KtMidiInterfaceTest();
    KtMidiInterfaceTest(const KtMidiInterfaceTest&) = delete;
    KtMidiInterfaceTest& operator=(const KtMidiInterfaceTest&) = delete;

    // Opens both ports, sends, reads back, closes; the report is also result().
    LoopbackReport run();
    // Ends the test after the message in flight; waits end at once.
    void stop() { m_stop.raise(); }
    bool isRunning() const { return m_running.load(std::memory_order_acquire); }
    // Percentage of the planned time that has passed: below 100 until run() ends.
    int progress() const;
    LoopbackReport result() const;

    // The messages sent, in order: F0 7D, data values 0x00 to 0x7F, F7.
    static std::vector<std::vector<std::uint8_t>> messages(Length length);
    // Planned milliseconds of a test on ports paced so, when everything comes back.
    static std::uint64_t plannedMs(const PortPacing& pacing, Length length);
    // How long the test waits for a byte before it takes the rest as lost.
    static constexpr std::uint32_t kQuietMs = 3000;

private:
    LoopbackReport finish(LoopbackReport report);
    bool waitForEcho(const class KtMidiInterfaceReceiver& receiver, std::size_t from, std::int64_t sentMs);

    std::shared_ptr<IMidiSystem> m_system;
    int m_outputIndex;
    int m_inputIndex;
    Length m_length;
    std::string m_inputName;
    WaitInterrupt m_stop;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_done{false};
    std::atomic<std::int64_t> m_startedMs{0};
    std::uint64_t m_plannedMs = 0;
    mutable std::mutex m_resultMutex;
    LoopbackReport m_result;
};

// The verdict's sentence for a report (without the port's name, which only
// "nothing came back" carries: `inputName`).
std::string loopbackVerdictText(const LoopbackReport& report, bool quick, const std::string& inputName);
// 131078 as "131,078".
std::string groupedNumber(std::uint64_t value);
