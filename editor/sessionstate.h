#pragma once

// The editing session's inside, shared by its source files only.

#include "audio/slotplayer.h"
#include "editor/editedtable.h"
#include "editor/editorsession.h"
#include "editor/undohistory.h"
#include "midiport/banktransfer.h"
#include "midiport/ktmidiinterfacetest.h"
#include "midiport/sendjournal.h"
#include "midiport/midisystem.h"
#include "midiport/sleepinhibitor.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace session {

inline const std::string kAppName = "VARNO414Editor";
inline const std::string kBankFilter = "Bank files (*.mid)";
inline const std::string kAudioFilter = "Audio files (*.wav *.aif *.aiff *.aifc *.flac *.ogg *.mp3)";
inline const std::string kAllFilesFilter = "All files (*)";
inline const std::string kWavFilter = "WAV files (*.wav)";
// Said during a send when the computer could not be kept awake.
inline const std::string kMaySleepNote = " - computer may sleep";
inline constexpr int kInitialBank = 4;

std::string tagOf(std::size_t position);
std::string tagOf(const IBank& bank);
// "1 bank", "20 banks".
std::string bankCount(std::size_t count);
// The file's own name, without its folder (either separator).
std::string fileNameOf(const std::string& path);
std::string folderOf(const std::string& path);
// A second line for an error box: the reason, with the file it is about.
std::string reasonLine(const std::string& path, const std::string& reason);

// Hears on the send thread which bank is in flight.
class BankWatch : public ITransferObserver {
public:
    void bankStarting(std::size_t position) override { m_inFlight.store(position); }
    void bankSent(std::size_t) override { m_inFlight.store(kNone); }
    void reset() { m_inFlight.store(kNone); }
    std::optional<std::size_t> inFlight() const
    {
        const std::size_t position = m_inFlight.load();
        return position == kNone ? std::nullopt : std::optional<std::size_t>(position);
    }

private:
    static constexpr std::size_t kNone = SIZE_MAX;
    std::atomic<std::size_t> m_inFlight{kNone};
};

// Table positions and copies of the banks that a send would send.
struct SendList {
    std::vector<std::size_t> positions;
    std::vector<std::unique_ptr<IBank>> banks;
};

} // namespace session

// One per session: the fields are grouped by what they serve, not by size.
struct CEditorSession::State { // NOLINT(clang-analyzer-optin.performance.Padding)
    State(SessionServices s, ISessionView& v) : services(std::move(s)), view(v) {}

    SessionServices services;
    ISessionView& view;
    EditedTable table;
    UndoHistory history;
    int selected = session::kInitialBank;
    int focusedRow = -1;
    std::string status;
    std::string fileName; // the bank file last opened or saved, for the title
    ImportOptions importOptions; // kept between imports and runs; start and end never
    std::string audioFolder;
    std::string bankFolder;
    SendScope scope = SendScope::selected;
    std::vector<int> selection; // the list's selection; empty: the current bank alone
    std::unique_ptr<SendJournal> journal;
    int channel = 0;
    int outputPort = 0;
    int inputPort = 0;
    std::vector<std::string> outputNames;
    std::vector<std::string> inputNames;
    std::uint64_t portStamp = 0;
    bool devicesChanged = false; // the lists are to be read again
    // While a question is open, tick() only shows progress: the end of a
    // send waits until the call that asked has returned.
    int asking = 0;

    // The send: the transfer, the table position of each of its banks, and
    // its result, written by the worker before it raises `finished`.
    std::unique_ptr<BankTransfer> transfer;
    std::vector<std::size_t> sentPositions;
    std::optional<TransferResult> result;
    std::atomic<bool> finished{false};
    session::BankWatch watch;
    std::string sendPort;
    std::string outputName() const
    {
        return static_cast<std::size_t>(outputPort) < outputNames.size() ? outputNames[outputPort] : std::string();
    }
    bool sendingAll = false;
    bool closeWhenSent = false;
    // Where "all banks" resumes after a send that ended part-way: a table position.
    std::optional<std::size_t> resumeAt;
    std::thread worker;

    // The MIDI Interface Test, on a worker of its own like a send.
    std::unique_ptr<KtMidiInterfaceTest> test;
    std::atomic<bool> testFinished{false};
    std::thread testWorker;

    // Play: one slot at a time; its end comes from the player's thread.
    std::unique_ptr<SlotPlayer> player;
    std::string playUnavailable; // empty: Play can work
    std::mutex endingsMutex;
    std::vector<SlotPlayer::Ending> endings;

    IPrompt& prompt() { return *services.prompt; }
    IPrompt::Answer ask(IPrompt::Icon icon, const std::string& caption, const std::string& text,
                        IPrompt::Buttons buttons);
    std::optional<std::string> askOpen(const IPrompt::FileDialog& dialog);
    std::optional<std::string> askSave(const IPrompt::FileDialog& dialog);
    std::optional<std::string> askFolder(const IPrompt::FileDialog& dialog);
    std::optional<std::size_t> askChoice(const std::string& caption, const std::string& text,
                                         const std::vector<std::string>& buttons);

    // A send or the interface test holds the MIDI port.
    bool sending() const { return transfer != nullptr || test != nullptr; }
    void setStatus(std::string text);
    void refreshPorts();
    void checkPlayer();
};
