#pragma once

#include "midiport/ktmidiinterfacereceiver.h"
#include "midiport/ktmidiinterfacetransmitter.h"
#include "midiport/midisystem.h"
#include "model/bank.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// Why a session sent nothing, or not all of a bank.
enum class SendError {
    none,
    noMidiService,
    noOutputPort,
    portNotOpen,
    firmwarePlaceholder,
    wouldOverwriteFirmware,
    malformedMessages,
    portFailed,
    stopped,
};

// One sentence for the user.
const char* sendErrorText(SendError error);

// Where a session stands on its planned timeline: the port's opening, then
// each bank's pauses, messages and settles in the order they were sent, each
// step as long as the port's pacing makes it. Within a step the position
// follows the clock but never passes the step's planned end, so it only ever
// moves forward.
struct SessionPosition {
    std::uint64_t atMs = 0;     // planned milliseconds since the session began
    std::uint64_t bankAtMs = 0; // where the bank being (or last) sent begins
    std::uint64_t bankMs = 0;   // its planned length
    bool sendingBank = false;
};

// Which of a bank's two flash blocks a send covers: each block is its own
// erase and write pair in the bank's transfer events (events 0-1 and 2-3).
using BlockMask = std::uint8_t;
inline constexpr BlockMask kFirstBlock = 1;
inline constexpr BlockMask kSecondBlock = 2;
inline constexpr BlockMask kWholeBank = kFirstBlock | kSecondBlock;

// Whether a bank's transfer event belongs to a block the mask covers.
constexpr bool coversEvent(BlockMask blocks, std::size_t event)
{
    return (blocks & (event < 2 ? kFirstBlock : kSecondBlock)) != 0;
}

// Told of each message of a bank on the sending thread.
class ISessionObserver {
public:
    virtual ~ISessionObserver();
    // Right before the message is handed to the port.
    virtual void messageStarting(const CEvent& event) = 0;
    // The port has finished with it; its settle follows.
    virtual void messageSent(const CEvent& event) = 0;
};

// One transmission session with the machine: owns the chosen ports, sends
// the transfer events of one bank at a time paced by each event's pause, and
// answers progress queries from another thread.
class WrapperKtMidiInterface {
public:
    // `later` leaves the opening (and its 1.2 s of settling) to open(), so
    // that the thread which sends can do it.
    enum class Opening { now, later };

    // A port is opened for each index that is 0 or more.
    WrapperKtMidiInterface(int inputIndex, int outputIndex, std::shared_ptr<IMidiSystem> system,
                           Opening opening = Opening::now);
    virtual ~WrapperKtMidiInterface();
    WrapperKtMidiInterface(const WrapperKtMidiInterface&) = delete;
    WrapperKtMidiInterface& operator=(const WrapperKtMidiInterface&) = delete;

    // Opens the chosen ports on the calling thread; true when the output port
    // is open. Opens only once.
    bool open();
    // Closes the ports on the calling thread (destruction does it otherwise).
    void close();

    // False when no output port was chosen, it is not open yet, could not be
    // opened or was closed. Any thread.
    bool isOpen() const { return m_open.load(std::memory_order_acquire); }
    // One sentence for the user, and its kind, after open() or sendBank()
    // answered false; read on the sending thread.
    const std::string& error() const { return m_error; }
    SendError errorKind() const { return m_errorKind; }
    bool hasReceiver() const { return m_receiver != nullptr; }

    // Sends the bank's transfer events for a receive channel and returns when
    // the last one has left the port. False, with nothing sent, for a firmware
    // bank without device firmware, a closed port or a malformed message;
    // false as well when the port fails part-way or a stop cut the bank short
    // (the rest is not sent).
    // Only the events of the blocks in `blocks` are sent, each with its pause.
    bool sendBank(IBank& bank, std::uint16_t channel, BlockMask blocks = kWholeBank);
    // Null or one that outlives the sends.
    void setObserver(ISessionObserver* observer) { m_observer = observer; }
    // Any thread: the bank being sent stops after the message in flight, and
    // no further bank is sent. Pauses end at once.
    void stopAfterMessage() { m_stop.raise(); }
    bool isStopping() const { return m_stop.isRaised(); }
    // Messages of the bank being (or last) sent that have left the port.
    std::size_t messagesSent() const { return m_messagesSent.load(std::memory_order_acquire); }

    // Percentage of the current bank's planned time that has passed: 0 when
    // no bank is being sent, below 100 until the bank's last step is over.
    int progress() const;
    // Planned seconds of the bank being (or last) sent, rounded up.
    std::uint64_t estimate() const;
    SessionPosition position() const;

    // Why a bank would not be sent at all, or SendError::none.
    static SendError refusal(IBank& bank, std::uint16_t channel);
    // Planned milliseconds of a bank's events on ports paced so.
    static std::uint64_t bankMs(const PortPacing& pacing, const EventList& events, BlockMask blocks = kWholeBank);

private:
    void fail(SendError kind);
    void beginStep(std::uint64_t plannedMs);
    bool pauseUntil(std::int64_t deadlineMs);

    std::shared_ptr<IMidiSystem> m_system; // first, so the ports close before it goes
    int m_inputIndex;
    int m_outputIndex;
    bool m_opened = false;
    std::unique_ptr<KtMidiInterfaceReceiver> m_receiver;
    std::unique_ptr<KtMidiInterfaceTransmitter> m_transmitter;
    std::atomic<bool> m_open{false};
    // Monotonic time from which the next message's pause counts: the end of
    // the settle after the last message, or the port's opening. Pauses sleep
    // to deadlines from it, so a late wake-up does not lengthen the next one.
    std::int64_t m_quietFromMs = 0;
    std::atomic<std::size_t> m_messagesSent{0};
    WaitInterrupt m_stop;
    ISessionObserver* m_observer = nullptr;
    std::string m_error;
    SendError m_errorKind = SendError::none;

    // The planned timeline: written by the sending thread, read by any.
    mutable std::mutex m_timelineMutex;
    std::uint64_t m_plannedMs = 0; // where the next step begins
    std::uint64_t m_stepAtMs = 0;
    std::uint64_t m_stepMs = 0;
    std::int64_t m_stepStartedMs = 0;
    std::uint64_t m_bankAtMs = 0;
    std::uint64_t m_bankMs = 0;
    bool m_sendingBank = false;
};
