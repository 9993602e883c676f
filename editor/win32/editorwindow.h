#pragma once

#include "editor/editorsession.h"
#include "editor/win32/banklist.h"
#include "editor/win32/droptarget.h"
#include "editor/win32/menus.h"
#include "editor/win32/waveform.h"
#include "editor/win32/window.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace win32 {

// One row of the bank view: label, name, waveform, capacity, Open and Play.
struct SlotRowControls {
    CControl label;
    CControl name;
    CWaveform waveform;
    CControl capacity;
    CButton open;
    CButton play;
    RECT place{}; // the whole row, where its files are dropped
};

// The Windows editor window over the portable editing session: it builds
// the controls, hands every input to the session and draws what the session
// says has changed. Every decision, text and enabled state is the session's.
class CEditorWindow : public CWindow, public ISessionView {
public:
    // Control ids; a row's controls are kRowIds + 10 * row + their place.
    enum Id : int {
        kBankList = 100,
        kOpenFromDisk,
        kSaveToDisk,
        kReset,
        kBankNameLabel,
        kBankName,
        kContentGroup,
        kOptionsGroup,
        kSelectedBank,
        kAllBanks,
        kChangesOnly,
        kChannelLabel,
        kChannels,
        kOutputLabel,
        kOutputPorts,
        kSend,
        kStop,
        kStatus,
        kBankText,
        kBankProgress,
        kSendProgress,
        kInputLabel,
        kInputPorts,
        kReceiveProgress,
        kReceive,
        kVersion,
        kRowIds = 200,
        kRowMenuIds = 300, // + 3 * row: Play, + 1: Save Sample As..., + 2: Import with Options...
    };
    enum RowPart : int { kRowLabel, kRowName, kRowWaveform, kRowCapacity, kRowOpen, kRowPlay };
    static int rowId(int row, RowPart part) { return kRowIds + 10 * row + part; }
    // Posted to itself: a drop is handled once the drag has ended.
    static constexpr UINT kDropMessage = WM_APP + 1;
    static constexpr UINT_PTR kTickTimer = 1;

    explicit CEditorWindow(SessionServices services);
    ~CEditorWindow() override;

    CEditorSession& session() { return *m_session; }
    // What the message loop does with a message first: the accelerators, then
    // the dialog keys (Tab, Alt+letter, Enter, Escape). True when it is taken.
    bool preTranslate(MSG& message);
    void openGivenFile(const std::wstring& path);
    HWND control(int id) const { return GetDlgItem(hwnd(), id); }
    const CToolTips& toolTips() const { return m_toolTips; }
    int dpi() const { return m_dpi; }
    // Files dragged over this point of the client area: the rows or the list
    // they would land in light up (the drop target calls it; so can a test).
    DropTarget hover(const std::vector<std::string>& paths, POINT client);
    bool isRowLit(int row) const { return m_litRows[static_cast<std::size_t>(row)]; }
    bool isBankListLit() const { return m_listLit; }
    // Set before the window goes, for the message loop to end.
    bool quitOnClose = false;

    // ISessionView
    void changed(ViewPart parts) override;
    void focusBankList() override;
    void showAbout() override;
    void closeWindow() override;

protected:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void build();
    void buildRow(int row);
    void setFonts();
    void layout();
    SIZE minimumSize() const;
    int scaled(int pixels) const { return MulDiv(pixels, m_dpi, 96); }

    void showBankList();
    void showBankContent();
    void showTitle();
    void showStatus();
    void showTransfer();
    void showCommands();
    void showPorts();
    void showPlayState();
    void showState(CControl& control, const CommandState& state);
    void drawName(CControl& field, const std::wstring& text);

    void onCommand(int id, int code, HWND from);
    void runCommand(Command command);
    void commitFocusedName();
    void commitName(HWND field);
    void refuseOrKeep(HWND field);
    int rowOfWindow(HWND window) const;
    int rowAt(POINT client) const;
    void takeDrop(std::vector<std::string> paths, POINT client);
    void showDropTarget(const DropTarget& target);
    LRESULT colorOf(HDC dc, HWND control);
    void onContextMenu(HWND from, POINT at);
    LRESULT onNotify(NMHDR* header);
    void onClose();
    void runImportWindow(int row);

    std::unique_ptr<CEditorSession> m_session;
    CMenus m_menus;
    CToolTips m_toolTips;
    int m_dpi = 96;
    HFONT m_font = nullptr;
    HFONT m_bold = nullptr;
    std::string m_takenMnemonics; // letters of the fixed controls, which rows avoid
    bool m_drawing = false; // notifications from the window's own drawing are not the user's

    CBankList m_bankList;
    CButton m_openFromDisk, m_saveToDisk, m_reset;
    CControl m_bankNameLabel, m_bankName, m_contentGroup;
    std::array<SlotRowControls, CEditorSession::kRowCount> m_rows;
    CControl m_optionsGroup;
    CButton m_selectedBank, m_allBanks, m_changesOnly;
    CControl m_channelLabel, m_outputLabel, m_inputLabel;
    CComboBox m_channels, m_outputPorts, m_inputPorts;
    CButton m_send, m_stop, m_receive;
    CControl m_status, m_bankText, m_version;
    CProgressBar m_bankProgress, m_sendProgress, m_receiveProgress;

    // What each name field last showed from the session and what it held
    // when the session last accepted it.
    std::array<std::wstring, CEditorSession::kRowCount + 1> m_drawnNames;
    std::array<std::wstring, CEditorSession::kRowCount + 1> m_acceptedNames;
    CDropTarget* m_dropTarget = nullptr;
    bool m_dropRegistered = false;
    std::array<bool, CEditorSession::kRowCount> m_litRows{};
    bool m_listLit = false;
    HBRUSH m_litBrush = nullptr;
    COLORREF m_litColor = 0;
    std::vector<std::string> m_pendingDrop;
    int m_pendingDropRow = -1;
};

} // namespace win32
