#pragma once

#include "editor/qt/bankedit.h"
#include "editor/qt/prompt.h"
#include "midiport/banktransfer.h"
#include "model/bank.h"

#include <QDialog>
#include <QIcon>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class IAudioSystem;
class IMidiSystem;
class ISleepInhibitor;
class SlotPlayback;
class SlotRow;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMimeData;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTimer;
class QUndoStack;

inline constexpr int kRowCount = 6;

// The editor window: the bank list, the selected bank's contents and every
// command. It holds the table of banks being edited (a bank document, which
// decides what opens and saves) with its undo history and, during a send,
// the core's transfer, which decides what is sent, when it may stop and how
// long it takes; the window shows it and asks it to stop.
class CEditor : public QDialog {
    Q_OBJECT

public:
    enum State : int { Idle = 0, Sending = 2, Receiving = 3 };

    // audio: where Play sounds; none leaves Play disabled.
    CEditor(std::shared_ptr<IMidiSystem> system, std::unique_ptr<IPrompt> prompt,
            std::shared_ptr<IAudioSystem> audio = nullptr, QWidget* parent = nullptr);
    ~CEditor() override;

    // Content index shown by a row control, -1 for any other widget.
    int slotOfControl(const QWidget* control) const;
    static int contentOfRow(int row) { return row == 0 ? 1 : row == 1 ? 0 : row; }

    bool beginSending();
    bool beginReceiving();
    void endTransfer();
    int state() const { return m_state.load(); }
    // Asks a running send to stop; the Stop button asks for afterBank.
    void requestStop(StopPoint point);
    // Replaces the request to keep the computer awake during sends (by
    // default the desktop's or the system's).
    void setSleepInhibitor(std::unique_ptr<ISleepInhibitor> inhibitor);

    const IBank& bank(int index) const { return m_table.bank(static_cast<std::size_t>(index)); }
    IBank& bank(int index) { return m_table.bank(static_cast<std::size_t>(index)); }
    int selectedBank() const;
    // Changed since the bank was last saved or opened (marked in the list).
    bool isBankChanged(int index) const { return m_table.isChanged(static_cast<std::size_t>(index)); }
    QUndoStack* undoStack() const { return m_undo; }
    // Opens a file named on the command line (the desktop's "Open with").
    void openGivenFile(const QString& path);

public slots:
    void refreshBankView();
    void openSlotFile(int row);
    void resetToDefault();
    // Plays the row's slot, or stops it when it plays.
    void playSlot(int row);
    void saveSampleAs(int row);
    void sendToDevice();
    void saveToDisk();
    void openFromDisk();
    void receiveFromDevice();
    void interfaceTest();
    void showAbout();

    // Escape, the close box and the system menu's Close: the window closes
    // only when no transfer runs and nothing unsaved would be lost.
    void reject() override;
    // Enter never closes the window.
    void accept() override {}

signals:
    // Posted from the send worker; delivered queued on the window's thread.
    void workerFinished();
    // The window's status text changed (tests follow the send with it).
    void statusChanged(const QString& text);
    // A transfer ended and its session is gone.
    void transferEnded();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // What files dragged over the window would do where they are.
    struct DropTarget {
        enum class Kind { None, Slots, BankFile } kind = Kind::None;
        int firstRow = -1; // Slots: the rows filled are firstRow on, one a file
        int rowCount = 0;
        QStringList paths;
    };

    void buildWindow();
    QWidget* buildBankContent();
    QLayout* buildSendArea();
    void initWindow();
    void fillBankList();
    void fillPortLists();
    void reselect(int sel);
    void setStatus(const QString& text);
    void showPlayState();
    const CContent* sampleOfRow(int row) const;
    void updateTitle();
    void commitBankName();
    void commitFocusedName();
    void commitPendingNames();
    void importFiles(int row, const QStringList& paths);
    void openBankFile(const QString& path);
    // wholeTable saves all banks whatever the radio buttons say.
    bool saveBanks(bool wholeTable = false);
    bool mayClose();
    bool closeDuringTransfer();
    void recordEdit(const QString& text, std::vector<StoredBank> replaced, int position);
    void showEdited(int position);
    DropTarget dropTarget(const QMimeData* mime, const QPoint& position) const;
    void showDropTarget(const DropTarget& target);
    void takeDrop();
    // Table positions and clones of the banks that a send would send.
    struct SendList {
        std::vector<std::size_t> positions;
        std::vector<std::unique_ptr<IBank>> banks;
    };
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

    SendList sendListFrom(std::size_t first);
    SendList chooseAllBanks();
    bool confirmDuplicates();
    void startSend(SendList list);
    void finishSend();
    void reportSend(const TransferResult& result);
    void progressTick();
    QString transferText(const TransferProgress& progress) const;
    std::uint16_t sendChannel() const;

    EditedTable m_table;
    std::atomic<int> m_state{Idle};
    QLineEdit* m_focusedName = nullptr;
    const int m_firstEditableBank = 0;
    const int m_bankCount = kBankCount;
    int m_interfaceTest = 0;
    int m_sendScope = 0;
    QIcon m_icon;

    std::shared_ptr<IMidiSystem> m_system;
    std::unique_ptr<IPrompt> m_prompt;
    std::unique_ptr<ISleepInhibitor> m_inhibitor;
    // During a send: the transfer, the table position of each of its banks,
    // and its result, written by the worker before it signals the end.
    std::unique_ptr<BankTransfer> m_transfer;
    std::vector<std::size_t> m_sentPositions;
    std::optional<TransferResult> m_result;
    BankWatch m_watch;
    QString m_sendPort;
    bool m_sendingAll = false;
    bool m_closeWhenSent = false;
    // Where "all banks" resumes after a send that ended part-way: a table position.
    std::optional<std::size_t> m_resumeAt;
    std::thread m_worker;
    int m_outputPortCount = 0;

    QUndoStack* m_undo = nullptr;
    SlotPlayback* m_playback = nullptr;
    QString m_fileName;    // the bank file last opened or saved, for the title
    QString m_audioFolder; // where the dialogs start, for this session only
    QString m_bankFolder;
    QString m_takenMnemonics; // letters of the fixed controls, which rows avoid

    std::array<SlotRow*, kRowCount> m_rows{};

    QLabel* m_versionText = nullptr;
    QCheckBox* m_interfaceTestBox = nullptr;
    QListWidget* m_bankList = nullptr;
    QPushButton* m_openFromDisk = nullptr;
    QPushButton* m_saveToDisk = nullptr;
    QLineEdit* m_bankName = nullptr;
    QPushButton* m_reset = nullptr;
    QComboBox* m_inputPorts = nullptr;
    QProgressBar* m_receiveProgress = nullptr;
    QPushButton* m_receive = nullptr;
    QRadioButton* m_selectedBankRadio = nullptr;
    QRadioButton* m_allBanksRadio = nullptr;
    QComboBox* m_channels = nullptr;
    QComboBox* m_outputPorts = nullptr;
    QStackedWidget* m_sendOrStop = nullptr;
    QPushButton* m_send = nullptr;
    QPushButton* m_stop = nullptr;
    QLabel* m_statusText = nullptr;
    QProgressBar* m_bankProgress = nullptr;
    QProgressBar* m_sendProgress = nullptr;
    QTimer* m_timer = nullptr;
    QTimer* m_dropTimer = nullptr; // hands a drop over once the drag is over
    DropTarget m_pendingDrop;
};
