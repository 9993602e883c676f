#pragma once

#include "midiport/midisystem.h"
#include "midiport/sendjournal.h"
#include "midiport/sleepinhibitor.h"
#include "midiport/wrapperktmidiinterface.h"
#include "model/bank.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Where a transfer may stop early. Both points are safe for the machine in
// the sense that no message is ever cut off; after `afterMessage` the bank
// in flight may be left erased or half written and must be sent again.
enum class StopPoint { none, afterBank, afterMessage };

enum class TransferPhase { waiting, opening, sending, finished };

// A snapshot of a running transfer, for a progress display.
struct TransferProgress {
    TransferPhase phase = TransferPhase::waiting;
    std::size_t bank = 0;      // position in the transfer of the bank being (or next) sent
    std::size_t bankCount = 0; // banks in the transfer
    std::size_t banksSent = 0; // banks sent completely so far
    int percent = 0;           // of the whole transfer; 100 only once it has finished
    int bankPercent = 0;       // of the bank being sent; 100 only once it is sent
    std::uint64_t secondsLeft = 0;
    StopPoint stopping = StopPoint::none; // a stop that was asked for
    bool maySleep = false; // the computer could not be kept awake
};

enum class TransferOutcome { completed, stopped, failed };

// How a transfer ended.
struct TransferResult {
    TransferOutcome outcome = TransferOutcome::completed;
    SendError error = SendError::none; // why it failed or stopped
    std::string message;               // one sentence for the user, empty when completed
    std::size_t banksSent = 0;         // the first banksSent banks were sent completely
    // The first bank not sent completely: where a new transfer resumes.
    std::optional<std::size_t> resumeFrom;
    // A bank that had some but not all of its messages sent: it is left
    // erased or half written on the machine and must be sent again.
    std::optional<std::size_t> incomplete;
    bool keptAwake = false; // false: the computer may have gone to sleep meanwhile
    std::string journalWarning; // the send journal could not be read or saved
};

// The offer to send the rest: "Resume from S12? 20 banks, about 35 minutes".
struct ResumePoint {
    std::size_t position = 0;     // in this transfer's list
    std::uint16_t bankIndex = 0;  // the bank's index (0 is S01)
    std::size_t banksLeft = 0;    // banks from it to the end
    std::uint64_t secondsLeft = 0; // planned time of a new transfer of those banks
};

// Told of each bank on the sending thread, as it happens.
class ITransferObserver {
public:
    virtual ~ITransferObserver();
    virtual void bankStarting(std::size_t position) = 0;
    // The bank's last message has left the port and its settle is over.
    virtual void bankSent(std::size_t position) = 0;
};

// Sends a list of banks through one session, in order, on the thread that
// calls run(): opens the port there, keeps the computer awake meanwhile, and
// can be stopped at a safe point from any thread. Its progress and time left
// come from the pacing that the backend in use applies, step by step.
class BankTransfer : private ISessionObserver {
public:
    // `inhibitor` may be null; it must outlive run(). `blocks` gives, per
    // bank, the blocks to send; empty sends every bank whole.
    BankTransfer(std::shared_ptr<IMidiSystem> system, int outputPort, std::uint16_t channel,
                 std::vector<std::unique_ptr<IBank>> banks, ISleepInhibitor* inhibitor = nullptr,
                 std::vector<BlockMask> blocks = {});
    ~BankTransfer() override;
    BankTransfer(const BankTransfer&) = delete;
    BankTransfer& operator=(const BankTransfer&) = delete;

    // Checks every bank, then opens the port, sends the banks and closes the
    // port, all on the calling thread. Nothing is sent when a bank would be
    // refused. Call once; `observer` (may be null) hears of each bank.
    TransferResult run(ITransferObserver* observer = nullptr);
    // Before run(): records each block in the journal under the port's name
    // as it goes (unknown from its erase, its hash once written). The
    // journal must outlive run().
    void recordTo(SendJournal* journal, std::string portName);

    // Any thread, any time; a stronger point replaces a weaker one.
    void requestStop(StopPoint point);
    StopPoint stopRequested() const { return static_cast<StopPoint>(m_stop.load(std::memory_order_acquire)); }

    // Any thread.
    TransferProgress progress() const;

    std::size_t bankCount() const { return m_banks.size(); }
    const IBank& bank(std::size_t position) const { return *m_banks[position]; }
    BlockMask blocks(std::size_t position) const { return m_blocks[position]; }
    // Planned milliseconds of the whole transfer, the port's opening included.
    std::uint64_t plannedMs() const { return m_plannedMs.back(); }
    // After run(): where a new transfer would resume, if anything is left.
    std::optional<ResumePoint> resumePoint(const TransferResult& result) const;

    // Planned milliseconds of a transfer of these banks on a system's ports:
    // the port's opening and each bank's pauses, messages and settles.
    static std::uint64_t plannedMs(const PortPacing& pacing, std::span<const std::unique_ptr<IBank>> banks,
                                   std::uint16_t channel, std::span<const BlockMask> blocks = {});

private:
    TransferResult finish(TransferResult result);
    void messageStarting(const CEvent& event) override;
    void messageSent(const CEvent& event) override;
    void noteJournal();

    std::shared_ptr<IMidiSystem> m_system;
    std::uint16_t m_channel;
    std::vector<std::unique_ptr<IBank>> m_banks;
    std::vector<BlockMask> m_blocks;
    ISleepInhibitor* m_inhibitor;
    SendJournal* m_journal = nullptr;
    std::string m_portName;
    std::optional<unsigned> m_erasedBlock; // erased, its write not yet complete
    std::string m_journalWarning;
    WrapperKtMidiInterface m_session;
    // Planned end of the opening, then of each bank, on the session's timeline.
    std::vector<std::uint64_t> m_plannedMs;
    std::atomic<int> m_stop{static_cast<int>(StopPoint::none)};
    std::atomic<int> m_phase{static_cast<int>(TransferPhase::waiting)};
    std::atomic<bool> m_maySleep{false};
    std::atomic<std::size_t> m_banksSent{0};
};

// "37:12", or "1:02:05" from an hour on.
std::string formatDuration(std::uint64_t seconds);
// "Bank 8 of 31 - 37:12 left" (or "Opening the port - 53:58 left").
std::string describeProgress(const TransferProgress& progress);
