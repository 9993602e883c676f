#pragma once

#include "editor/prompt.h"
#include "midifile/bankdocument.h"
#include "model/bank.h"

#include <QDialog>
#include <QIcon>

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class IMidiSystem;
class WrapperKtMidiInterface;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

inline constexpr int kRowCount = 6;

// The editor window: the bank list, the selected bank's contents and every
// command. It owns the table of banks being edited (a bank document, which
// decides what opens and saves) and, during a send, the interface session.
class CEditor : public QDialog {
    Q_OBJECT

public:
    enum State : int { Idle = 0, Sending = 2, Receiving = 3 };

    CEditor(std::shared_ptr<IMidiSystem> system, std::unique_ptr<IPrompt> prompt, QWidget* parent = nullptr);
    ~CEditor() override;

    // Content index shown by a row control, -1 for any other widget.
    int slotOfControl(const QWidget* control) const;
    static int contentOfRow(int row) { return row == 0 ? 1 : row == 1 ? 0 : row; }

    bool beginSending();
    bool beginReceiving();
    void endTransfer();
    int state() const { return m_state.load(); }

    const IBank& bank(int index) const { return *m_table.banks().at(index); }
    IBank& bank(int index) { return *m_table.banks().at(index); }
    int selectedBank() const;
    // Opens a file named on the command line (the desktop's "Open with").
    void openGivenFile(const std::string& path);

public slots:
    void refreshBankView();
    void openSlotFile(int row);
    void resetToDefault();
    void playSlot();
    void sendToDevice();
    void saveToDisk();
    void openFromDisk();
    void receiveFromDevice();
    void interfaceTest();
    void showAbout();

    // Escape and the close box end the program only when no transfer runs.
    void reject() override;
    // Enter never closes the window.
    void accept() override {}

signals:
    // Posted from the send worker; delivered queued on the window's thread.
    void workerStatus(const QString& text);
    void workerFinished(const QString& error);
    // The window's status text changed (tests follow the send with it).
    void statusChanged(const QString& text);
    // A transfer ended and its session is gone.
    void transferEnded();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildWindow();
    void initWindow();
    void fillBankList();
    void fillPortLists();
    void reselect(int sel);
    void setStatus(const QString& text);
    void commitBankName();
    void commitFocusedName();
    void finishSend(const QString& error);
    void sendLoop(std::vector<std::unique_ptr<IBank>> banks, std::uint16_t channel);
    void progressTick();
    void openFile(const std::string& path);

    BankDocument m_table = BankDocument::factory(std::nullopt);
    std::unique_ptr<WrapperKtMidiInterface> m_midiInterface;
    std::atomic<int> m_state{Idle};
    QLineEdit* m_focusedName = nullptr;
    const int m_firstEditableBank = 0;
    const int m_bankCount = kBankCount;
    int m_interfaceTest = 0;
    int m_sendScope = 0;
    QIcon m_icon;

    std::shared_ptr<IMidiSystem> m_system;
    std::unique_ptr<IPrompt> m_prompt;
    std::thread m_worker;
    int m_outputPortCount = 0;

    std::array<QLabel*, kRowCount> m_rowLabels{};
    std::array<QLineEdit*, kRowCount> m_rowNames{};
    std::array<QPushButton*, kRowCount> m_rowOpen{};
    std::array<QPushButton*, kRowCount> m_rowPlay{};

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
    QPushButton* m_send = nullptr;
    QLabel* m_statusText = nullptr;
    QProgressBar* m_sendProgress = nullptr;
    QTimer* m_timer = nullptr;
};
