#pragma once

#include "editor/commands.h"
#include "editor/prompt.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "midifile/safefilewriter.h"
#include "model/slotimport.h"
#include "midiport/sleepinhibitor.h"

class CImportDraft;
class IAudioSystem;
class IBank;
class IMidiSystem;
struct StoredBank;

// The parts of a window that a change in the session touches; a window
// redraws only those.
enum class ViewPart : unsigned {
    bankList = 1U << 0U,    // names and changed marks of the banks, the selection
    bankContent = 1U << 1U, // the selected bank's name and rows
    title = 1U << 2U,
    status = 1U << 3U,
    transfer = 1U << 4U, // Send or Stop, both bars, the progress text
    commands = 1U << 5U, // enabled states, reasons, undo/redo texts
    ports = 1U << 6U,
    playState = 1U << 7U, // the rows' Play buttons
    all = 0xFFU,
};
constexpr ViewPart operator|(ViewPart a, ViewPart b)
{
    return static_cast<ViewPart>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool has(ViewPart set, ViewPart part) { return (static_cast<unsigned>(set) & static_cast<unsigned>(part)) != 0; }

// What the session asks of the window that shows it. Every call comes on
// the window's own thread, from inside a call the window made into the
// session (a command, an input, tick()).
class ISessionView {
public:
    virtual ~ISessionView() = default;
    // Redraw these parts from the session's getters.
    virtual void changed(ViewPart parts) = 0;
    // After Save or Open: the keyboard focus goes back to the bank list.
    virtual void focusBankList() = 0;
    // The About box (drawn by the window: it shows the program's icon).
    virtual void showAbout() = 0;
    // The window may close now (a close asked for during a send, once it ended).
    virtual void closeWindow() = 0;
};

// One row of the selected bank as a window draws it. Row 0 shows content 1
// and row 1 content 0 (the hi-hats, closed above open); the rest map 1:1.
struct RowView {
    bool shown = false;     // a firmware bank shows two rows
    std::string label;      // "CLAP", without a mnemonic
    std::string name;       // UTF-8
    bool editable = false;  // name, Open and drops
    bool isSample = false;  // a firmware row has no waveform, capacity or Play
    std::span<const std::uint8_t> bytes; // the stored bytes, for the waveform; valid until the next change
    std::string capacity;   // "0.62 s of 0.74 s"
    CommandState play;      // Play's state; text "Play" or "Stop"
};

// The send's display while one runs.
struct TransferView {
    bool sending = false;  // Stop shows in Send's place (a send, or the MIDI Interface Test)
    int percent = 0;       // the whole send
    int bankPercent = 0;   // the bank in flight
    std::string bankText;  // "S07 42%"
    CommandState stop;     // disabled once a stop was asked for
};

// What a drop of these files on this row would do; the window highlights it.
struct DropTarget {
    enum class Kind { none, slots, bankFile } kind = Kind::none;
    int firstRow = -1; // slots: rows firstRow .. firstRow + rowCount - 1, one a file
    int rowCount = 0;
};

// What the session needs from the system it runs on. Any of the shared
// services may be null: no MIDI, no audio, no sleep request.
struct SessionServices {
    std::shared_ptr<IMidiSystem> midi;
    std::unique_ptr<IPrompt> prompt;
    std::shared_ptr<IAudioSystem> audio;
    std::unique_ptr<ISleepInhibitor> inhibitor;
    std::string homeFolder; // where the first file dialog of each kind opens
    // The send journal's file (SendJournal::defaultPath() for the user's);
    // empty: none, so nothing is recorded and "Changes only" is not offered.
    std::string journalPath;
    // Where the import options chosen last are kept between runs
    // (importsettings::defaultPath() for the user's); empty: not kept.
    std::string settingsPath;
};

// What Send sends: the banks selected in the list (in index order), all
// banks, or of all banks only the blocks that differ from what this computer
// last sent to the port.
enum class SendScope { selected, all, changes };

// The editor itself, without a window: the table of 32 banks being edited
// with its changed marks, the selection, the undo history and every command,
// with every text the user reads. A window builds its controls, forwards
// what the user does to it and draws what it says; it keeps no rule of its
// own. All calls come from one thread, the window's; the send runs on a
// worker of the session's own, and tick() brings its progress and its end
// to the window's thread.
class CEditorSession {
public:
    static constexpr int kRowCount = 6;
    static constexpr int kTickMs = 40; // how often a window calls tick()

    CEditorSession(SessionServices services, ISessionView& view);
    // A send still running is stopped after the message in flight.
    ~CEditorSession();
    CEditorSession(const CEditorSession&) = delete;
    CEditorSession& operator=(const CEditorSession&) = delete;

    // --- What a window draws ---------------------------------------------
    int bankCount() const;                     // 32
    const IBank& bank(int index) const;
    std::string bankListText(int index) const; // the bank's name, UTF-8
    std::string bankListToolTip(int index) const;
    bool isBankChanged(int index) const;
    bool anyChanged() const;
    int selectedBank() const;
    std::string bankName() const;        // of the selected bank, UTF-8
    bool bankNameEditable() const;
    RowView row(int row) const;
    // Each shown row's label with an Alt mnemonic ("C&LAP") that none of the
    // taken letters (the window's fixed controls) and no other row uses; a
    // hidden row's is empty.
    std::vector<std::string> rowLabels(const std::string& takenMnemonics) const;
    static int contentOfRow(int row) { return row == 0 ? 1 : row == 1 ? 0 : row; }
    // "kit.mid* - VARNO414Editor": the last bank file opened or saved, with
    // an asterisk while anything is unsaved; "VARNO414Editor*" before any.
    std::string title() const;
    std::string status() const;
    std::string statusToolTip() const;
    std::string versionText() const; // "Version 1.5"
    TransferView transfer() const;
    std::vector<std::string> outputPorts() const; // "no output ports detected" when there is none
    std::vector<std::string> inputPorts() const;
    int selectedOutputPort() const;
    int selectedInputPort() const; // the MIDI Interface Test reads back from it
    int channel() const; // 0..15, shown as 1..16
    bool sendsAllBanks() const; // the "all banks" option, else "selected bank"
    SendScope sendScope() const;
    // Why "Changes only" cannot be chosen now; empty when it can.
    std::string changesUnavailable() const;
    // The banks selected in the list besides the current one; all of them
    // are sent with "selected bank", in index order.
    std::vector<int> selectedBanks() const;
    CommandState state(Command command) const;

    // --- What the user does ----------------------------------------------
    void selectBank(int index);
    void selectOutputPort(int index);
    void selectInputPort(int index);
    void selectChannel(int channel);
    void setSendsAllBanks(bool all);
    void setSendScope(SendScope scope);
    // The list's whole selection; the current bank stays the one shown.
    void setSelectedBanks(std::vector<int> banks);
    void run(Command command);
    // A name as typed so far: false when it holds a character that a bank
    // file cannot store (beyond Latin-1); the status then says which and why,
    // and the window keeps the text it had.
    bool acceptsName(const std::string& utf8);
    // A name committed (Enter, or the field losing the focus); one undo step
    // when it differs.
    void renameBank(const std::string& utf8);
    void renameSlot(int row, const std::string& utf8);
    void openSlotFile(int row);  // the row's Open: a file dialog, then the import
    void playRow(int row);       // Play, or Stop while the row plays
    // The row's "Import with Options...": a file dialog, then the import to
    // shape in an import window. Nothing when cancelled, and when the file
    // cannot go into the slot (told as Open tells it).
    std::unique_ptr<CImportDraft> beginImport(int row);
    // The import window's OK: the draft's bytes into the slot as one undo
    // step; its options (but where the file starts and ends) are kept for
    // every later import, this run and the next.
    void commitImport(CImportDraft& draft);
    // The import window's Cancel: nothing changes; its playback stops.
    void cancelImport(const CImportDraft& draft);
    // Preview (the shaped bytes, as the slot will play them) or A/B (the
    // source); again while it plays: Stop.
    void playDraft(const CImportDraft& draft, bool source);
    bool draftPlays() const;
    // What a plain Open or drop shapes imports with: the options kept.
    ImportOptions importOptions() const;
    void saveSampleOfRow(int row);
    // The row the keyboard focus is in, for Save Sample As... (-1: none).
    void setFocusedRow(int row);
    DropTarget dropTarget(const std::vector<std::string>& paths, int row) const; // row -1: not over a row
    void drop(const std::vector<std::string>& paths, int row);
    // A file named on the command line ("Open with"): the bank lands in its
    // own position without a question.
    void openGivenFile(const std::string& path);
    // The close box, Escape, the system menu and Quit: true when the window
    // may close now. During a send it offers to stop after the bank and
    // calls closeWindow() once the send has ended.
    bool requestClose();
    // Every kTickMs while the window is open: the send's progress and end,
    // the end of a playback, changes in the port lists.
    void tick();
    // The system says devices came or went (Windows' WM_DEVICECHANGE, where
    // the MIDI service announces nothing): the port lists are read again at
    // the next tick that no send or question holds.
    void devicesChanged();

    struct State;

private:
    // One attempt to write a file the user chose: whether it was written,
    // how writing failed, and the sentence why.
    struct WriteAttempt {
        bool written = false;
        SafeWriteError kind = SafeWriteError::None;
        std::string reason;
    };

    // Each file into its content, as one undo step.
    void importPlan(const std::vector<std::pair<std::uint16_t, std::string>>& plan);
    // Shows which file fills which slot, then imports them when agreed.
    void importKit(const std::vector<std::pair<std::uint16_t, std::string>>& plan, std::size_t files);
    void importKitFromFolder();
    void importFiles(int row, const std::vector<std::string>& paths);
    // Several files of which one at least names its slot ("clap", "oh"), on a
    // sound bank: the contents they fill by name, then in order.
    std::optional<std::vector<std::pair<std::uint16_t, std::string>>> kitPlan(const std::vector<std::string>& paths) const;
    // The contents the files fill by name, then in order, in the rows' order.
    static std::vector<std::pair<std::uint16_t, std::string>> matchedPlan(const std::vector<std::string>& paths);
    void resetToDefault();
    void openFromDisk();
    void openBankFile(const std::string& path, bool given);
    bool saveOrDiscard(const std::string& question);
    bool saveBanks(bool wholeTable);
    // Writes the chosen file through `write`. A read-only file is replaced
    // only when the user agrees; a failure is told. True when written.
    bool writeChosenFile(const std::string& chosen, const std::function<WriteAttempt(const SafeWriteOptions&)>& write);
    void record(std::string label, std::vector<StoredBank> replaced, int position);
    void showEdited(int position);
    void sendToDevice();
    void startInterfaceTest();
    void forgetPort();
    void finishInterfaceTest();
    void requestStop();
    void showProgress();
    void finishSend();
    bool closeDuringTransfer();

    std::unique_ptr<State> m_state;
};

// Gives each text an Alt mnemonic ('&' before a letter) that no other of
// the texts and none of the taken letters use, texts with the fewest free
// letters choosing first. A text without a free letter gets none.
std::vector<std::string> withMnemonics(const std::vector<std::string>& texts, const std::string& taken);
