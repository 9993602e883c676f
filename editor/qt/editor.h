#pragma once

#include "editor/editorsession.h"
#include "midiport/sleepinhibitor.h" // SessionServices owns one

#include <QDialog>

#include <array>
#include <memory>
#include <string>
#include <vector>

class EditorMenus;
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

// The Qt editor window over the portable editing session: it builds the
// widgets, hands every input to the session and draws what the session says
// has changed. Every decision, text and enabled state is the session's.
class CEditor : public QDialog, public ISessionView {
    Q_OBJECT

public:
    // services.prompt may be null: the window's own dialogs then ask.
    explicit CEditor(SessionServices services, QWidget* parent = nullptr);
    ~CEditor() override;

    CEditorSession& session() { return *m_session; }
    const CEditorSession& session() const { return *m_session; }

    // Opens a file named on the command line (the desktop's "Open with").
    void openGivenFile(const QString& path);

    // ISessionView
    void changed(ViewPart parts) override;
    void focusBankList() override;
    void showAbout() override;
    void closeWindow() override;

    // Escape, the close box and the system menu's Close: the session decides.
    void reject() override;
    // Enter never closes the window.
    void accept() override {}

Q_SIGNALS:
    // The status text changed (tests follow the session with it).
    void statusChanged(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // What a name field last showed from the session, so that a redraw of
    // something else leaves a name being typed alone.
    static constexpr const char* kDrawnName = "drawnName";
    // What the field held when the session last accepted it.
    static constexpr const char* kAcceptedName = "acceptedName";

    void buildWindow();
    QWidget* buildBankContent();
    QLayout* buildSendArea();
    void connectInputs();
    void sizeToScreen();

    void showBankList();
    void showBankContent();
    void showTitle();
    void showStatus();
    void showTransfer();
    void showCommands();
    void showPorts();
    void showPlayState();
    static void drawName(QLineEdit* field, const QString& text);

    void runCommand(Command command);
    // The row's "Import with Options...": the import window over a draft.
    void runImportWindow(int row);
    // A name typed but not yet committed belongs to the banks before any
    // command acts on them.
    void commitFocusedName();
    void commitName(QLineEdit* field);
    void refuseOrKeep(QLineEdit* field, const QString& text);
    int rowOfWidget(const QWidget* widget) const;
    std::vector<std::string> localPaths(const QMimeData* mime) const;
    int rowAt(const QPoint& position) const;
    DropTarget dropTargetOf(const QMimeData* mime, const QPoint& position) const;
    void showDropTarget(const DropTarget& target);

    std::unique_ptr<CEditorSession> m_session;
    EditorMenus* m_menus = nullptr;
    std::string m_takenMnemonics; // letters of the fixed controls, which rows avoid

    std::array<SlotRow*, CEditorSession::kRowCount> m_rows{};
    QLabel* m_versionText = nullptr;
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
    QRadioButton* m_changesRadio = nullptr;
    QComboBox* m_channels = nullptr;
    QComboBox* m_outputPorts = nullptr;
    QStackedWidget* m_sendOrStop = nullptr;
    QPushButton* m_send = nullptr;
    QPushButton* m_stop = nullptr;
    QLabel* m_statusText = nullptr;
    QProgressBar* m_bankProgress = nullptr;
    QProgressBar* m_sendProgress = nullptr;
    QTimer* m_ticker = nullptr;
    QTimer* m_dropTimer = nullptr; // hands a drop over once the drag is over
    std::vector<std::string> m_pendingDropPaths;
    int m_pendingDropRow = -1;
};
