#include "editor/win32/editorwindow.h"

#include "editor/importdraft.h"
#include "editor/win32/importwindow.h"
#include "editor/win32/text.h"
#include "varno_version.h"

#include <dbt.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cwctype>
#include <utility>

namespace win32 {

namespace {

constexpr const wchar_t* kClassName = L"VARNO414EditorWindow";

} // namespace

CEditorWindow::CEditorWindow(SessionServices services)
{
    registerClass(kClassName, GetSysColorBrush(COLOR_BTNFACE));
    // The window comes first: the session draws into it while it is built.
    create(kClassName, L"VARNO414Editor", WS_OVERLAPPEDWINDOW,
           WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES, nullptr, nullptr,
           RECT{CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT});
    m_dpi = static_cast<int>(GetDpiForWindow(hwnd()));
    SetMenu(hwnd(), m_menus.bar());
    build();
    setFonts();
    m_session = std::make_unique<CEditorSession>(std::move(services), *this);
    changed(ViewPart::all);

    // Wide enough for long slot names beside the waveforms, as far as the
    // work area leaves room, and centred on it.
    const SIZE least = minimumSize();
    const int wanted = std::max<int>(least.cx, CTextMeasure(m_font).averageCharWidth() * 156);
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT frame{0, 0, wanted, least.cy + scaled(40)};
    AdjustWindowRectExForDpi(&frame, WS_OVERLAPPEDWINDOW, TRUE, WS_EX_CONTROLPARENT, static_cast<UINT>(m_dpi));
    const int width = std::min<int>(frame.right - frame.left, area.right - area.left);
    const int height = std::min<int>(frame.bottom - frame.top, area.bottom - area.top);
    SetWindowPos(hwnd(), nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    layout();
    SetFocus(m_bankList.hwnd());
    SetTimer(hwnd(), kTickTimer, CEditorSession::kTickMs, nullptr);

    // Where a drop would land lights up in a tint of the selection colour.
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const COLORREF mark = GetSysColor(COLOR_HIGHLIGHT);
    const auto blend = [](int a, int b) { return (a * 2 + b) / 3; };
    m_litColor = RGB(blend(GetRValue(face), GetRValue(mark)), blend(GetGValue(face), GetGValue(mark)),
                     blend(GetBValue(face), GetBValue(mark)));
    m_litBrush = CreateSolidBrush(m_litColor);
    // Without OLE (a test's thread), WM_DROPFILES still brings the drops.
    m_dropTarget = new CDropTarget(hwnd(), {[this](const std::vector<std::string>& paths, POINT at) { return hover(paths, at); },
                                            [this] { showDropTarget({}); },
                                            [this](std::vector<std::string> paths, POINT at) { takeDrop(std::move(paths), at); }});
    m_dropRegistered = SUCCEEDED(RegisterDragDrop(hwnd(), m_dropTarget));
}

CEditorWindow::~CEditorWindow()
{
    if (hwnd() != nullptr) KillTimer(hwnd(), kTickTimer);
    if (m_dropRegistered && hwnd() != nullptr) RevokeDragDrop(hwnd());
    if (m_dropTarget != nullptr) m_dropTarget->Release();
    if (m_litBrush != nullptr) DeleteObject(m_litBrush);
    // The session may still draw while it stops a send: it goes first, the
    // window's last messages then find no session.
    m_session.reset();
    if (m_font != nullptr) DeleteObject(m_font);
    if (m_bold != nullptr) DeleteObject(m_bold);
}

// Created in the order the Tab key visits them.
void CEditorWindow::build()
{
    HWND window = hwnd();
    m_toolTips.create(window);
    m_bankList.create(window, kBankList);
    m_openFromDisk.create(window, WC_BUTTONW, L"Open &from Disk", WS_TABSTOP | BS_PUSHBUTTON, kOpenFromDisk);
    m_saveToDisk.create(window, WC_BUTTONW, L"&Save to Disk", WS_TABSTOP | BS_PUSHBUTTON, kSaveToDisk);
    m_reset.create(window, WC_BUTTONW, L"&Reset to Default", WS_TABSTOP | BS_PUSHBUTTON, kReset);
    m_contentGroup.create(window, WC_BUTTONW, L"Bank Content", BS_GROUPBOX, kContentGroup);
    m_bankNameLabel.create(window, WC_STATICW, L"&Bankname", SS_LEFT | SS_CENTERIMAGE, kBankNameLabel);
    m_bankName.create(window, WC_EDITW, L"", WS_TABSTOP | ES_AUTOHSCROLL, kBankName, WS_EX_CLIENTEDGE);
    for (int row = 0; row < CEditorSession::kRowCount; ++row) buildRow(row);

    m_optionsGroup.create(window, WC_BUTTONW, L"Save/Send Options", BS_GROUPBOX, kOptionsGroup);
    m_selectedBank.create(window, WC_BUTTONW, L"s&elected bank", WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON,
                          kSelectedBank);
    m_allBanks.create(window, WC_BUTTONW, L"&all banks", BS_AUTORADIOBUTTON, kAllBanks);
    m_changesOnly.create(window, WC_BUTTONW, L"chan&ges only", BS_AUTORADIOBUTTON, kChangesOnly);
    m_channelLabel.create(window, WC_STATICW, L"VARNO Receive &Channel", SS_LEFT | WS_GROUP, kChannelLabel);
    m_channels.create(window, WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, kChannels);
    std::vector<std::wstring> channels;
    for (int channel = 1; channel <= 16; ++channel) channels.push_back(std::to_wstring(channel));
    m_channels.setItems(channels.data(), channels.size());
    m_outputLabel.create(window, WC_STATICW, L"MIDI O&UT Port", SS_LEFT, kOutputLabel);
    m_outputPorts.create(window, WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, kOutputPorts);

    m_send.create(window, WC_BUTTONW, L"Send to &VARNO", WS_TABSTOP | BS_PUSHBUTTON, kSend);
    m_stop.create(window, WC_BUTTONW, L"Sto&p", WS_TABSTOP | BS_PUSHBUTTON, kStop);
    m_stop.setVisible(false);
    m_status.create(window, WC_STATICW, L"", SS_RIGHT | SS_CENTERIMAGE | SS_NOPREFIX | SS_NOTIFY, kStatus);
    m_bankText.create(window, WC_STATICW, L"", SS_RIGHT | SS_CENTERIMAGE | SS_NOPREFIX, kBankText);
    m_bankProgress.create(window, PROGRESS_CLASSW, L"", 0, kBankProgress);
    m_sendProgress.create(window, PROGRESS_CLASSW, L"", 0, kSendProgress);
    m_toolTips.set(m_bankProgress.hwnd(), L"The bank being sent");
    m_toolTips.set(m_sendProgress.hwnd(), L"The whole send");
    for (CProgressBar* bar : {&m_bankProgress, &m_sendProgress}) bar->setVisible(false);
    m_bankText.setVisible(false);

    m_inputLabel.create(window, WC_STATICW, L"MIDI &IN Port", SS_LEFT | SS_CENTERIMAGE, kInputLabel);
    m_inputPorts.create(window, WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, kInputPorts);
    m_receiveProgress.create(window, PROGRESS_CLASSW, L"", 0, kReceiveProgress);
    m_receiveProgress.setVisible(false);
    m_receive.create(window, WC_BUTTONW, L"Receive from VAR&NO", WS_TABSTOP | BS_PUSHBUTTON, kReceive);
    m_version.create(window, WC_STATICW, L"", SS_RIGHT | SS_CENTERIMAGE | SS_NOPREFIX, kVersion);

    // Rows take their mnemonics from the letters the fixed controls leave.
    for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        const std::wstring text = CControl(child).text();
        for (std::size_t i = 0; i + 1 < text.size(); ++i) {
            if (text[i] != L'&') continue;
            if (text[i + 1] != L'&') {
                m_takenMnemonics += static_cast<char>(std::towupper(text[i + 1]));
                break;
            }
            ++i;
        }
    }
}

void CEditorWindow::buildRow(int row)
{
    HWND window = hwnd();
    SlotRowControls& controls = m_rows[static_cast<std::size_t>(row)];
    controls.label.create(window, WC_STATICW, L"", SS_LEFT | SS_CENTERIMAGE, rowId(row, kRowLabel));
    controls.name.create(window, WC_EDITW, L"", WS_TABSTOP | ES_AUTOHSCROLL, rowId(row, kRowName),
                         WS_EX_CLIENTEDGE);
    controls.waveform.create(window, rowId(row, kRowWaveform));
    m_toolTips.set(controls.waveform.hwnd(), L"Click or press Space to play or stop the slot");
    controls.capacity.create(window, WC_STATICW, L"", SS_RIGHT | SS_CENTERIMAGE | SS_NOPREFIX,
                             rowId(row, kRowCapacity));
    controls.open.create(window, WC_BUTTONW, L"Open", WS_TABSTOP | BS_PUSHBUTTON, rowId(row, kRowOpen));
    controls.play.create(window, WC_BUTTONW, L"Play", WS_TABSTOP | BS_PUSHBUTTON, rowId(row, kRowPlay));
}

// The system's message font at the window's DPI, and its bold cut for the
// changed banks.
void CEditorWindow::setFonts()
{
    HFONT font = createMessageFont(m_dpi);
    HFONT bold = createMessageFont(m_dpi, true);
    for (HWND child = GetWindow(hwnd(), GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SendMessageW(m_toolTips.hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (m_font != nullptr) DeleteObject(m_font);
    if (m_bold != nullptr) DeleteObject(m_bold);
    m_font = font;
    m_bold = bold;
    m_bankList.setMarkSize(CTextMeasure(m_font).height() * 2 / 3);
}

bool CEditorWindow::preTranslate(MSG& message)
{
    if (hwnd() == nullptr) return false;
    if (message.hwnd != hwnd() && IsChild(hwnd(), message.hwnd) == FALSE) return false;
    if (TranslateAcceleratorW(hwnd(), m_menus.accelerators(), &message) != 0) return true;
    return IsDialogMessageW(hwnd(), &message) != FALSE;
}

void CEditorWindow::openGivenFile(const std::wstring& path)
{
    m_session->openGivenFile(narrow(path));
}

void CEditorWindow::focusBankList()
{
    SetFocus(m_bankList.hwnd());
}

void CEditorWindow::showAbout()
{
    const std::wstring text = L"VARNO414Editor\n" + widen(m_session->versionText()) +
                              L"\n\nSample memory editor for the VARNO 414.\nFactory sounds synthesised for this program.";
    MSGBOXPARAMSW box{};
    box.cbSize = sizeof(box);
    box.hwndOwner = hwnd();
    box.hInstance = GetModuleHandleW(nullptr);
    box.lpszText = text.c_str();
    box.lpszCaption = L"Info \u00FCber VARNO414Editor";
    box.dwStyle = MB_OK | MB_USERICON;
    box.lpszIcon = MAKEINTRESOURCEW(1);
    MessageBoxIndirectW(&box);
}

void CEditorWindow::closeWindow()
{
    DestroyWindow(hwnd());
}

void CEditorWindow::onClose()
{
    commitFocusedName();
    if (m_session->requestClose()) DestroyWindow(hwnd());
}

LRESULT CEditorWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (m_session) onCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_NOTIFY:
        return m_session ? onNotify(reinterpret_cast<NMHDR*>(lParam)) : 0;
    case WM_TIMER:
        if (wParam == kTickTimer && m_session) m_session->tick();
        return 0;
    case WM_SIZE:
        layout();
        return 0;
    case WM_GETMINMAXINFO: {
        if (m_font == nullptr) break;
        const SIZE least = minimumSize();
        RECT frame{0, 0, least.cx, least.cy};
        AdjustWindowRectExForDpi(&frame, WS_OVERLAPPEDWINDOW, TRUE, WS_EX_CONTROLPARENT, static_cast<UINT>(m_dpi));
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize = {frame.right - frame.left, frame.bottom - frame.top};
        return 0;
    }
    case WM_DPICHANGED: {
        m_dpi = HIWORD(wParam);
        setFonts();
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(hwnd(), nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        layout();
        if (m_session) changed(ViewPart::all);
        return 0;
    }
    case WM_DROPFILES: {
        const auto drop = reinterpret_cast<HDROP>(wParam);
        POINT at{};
        DragQueryPoint(drop, &at);
        std::vector<std::string> paths = CDropTarget::pathsOf(drop);
        DragFinish(drop);
        if (m_session) takeDrop(std::move(paths), at);
        return 0;
    }
    case WM_ERASEBKGND: {
        RECT client{};
        GetClientRect(hwnd(), &client);
        const auto dc = reinterpret_cast<HDC>(wParam);
        FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
        for (int row = 0; row < CEditorSession::kRowCount; ++row)
            if (m_litRows[static_cast<std::size_t>(row)]) FillRect(dc, &m_rows[static_cast<std::size_t>(row)].place, m_litBrush);
        return 1;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return colorOf(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case kDropMessage:
        if (m_session) {
            commitFocusedName();
            m_session->drop(std::exchange(m_pendingDrop, {}), m_pendingDropRow);
        }
        return 0;
    case WM_CONTEXTMENU:
        if (m_session) onContextMenu(reinterpret_cast<HWND>(wParam), POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_DEVICECHANGE:
        // winmm announces no ports; an interface plugged in or pulled out shows here.
        if (m_session && (wParam == DBT_DEVNODES_CHANGED || wParam == DBT_DEVICEARRIVAL ||
                          wParam == DBT_DEVICEREMOVECOMPLETE))
            m_session->devicesChanged();
        return TRUE;
    case WM_CLOSE:
        if (m_session) onClose();
        return 0;
    case WM_DESTROY:
        KillTimer(hwnd(), kTickTimer);
        if (quitOnClose) PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return CWindow::onMessage(message, wParam, lParam);
}

void CEditorWindow::onCommand(int id, int code, HWND from)
{
    if (m_drawing) return;
    if (from == nullptr) {
        // Menus and accelerators; IDOK is Enter, IDCANCEL Escape.
        if (id == IDOK) {
            commitFocusedName();
            return;
        }
        if (id == IDCANCEL) {
            onClose();
            return;
        }
        if (id >= kRowMenuIds && id < kRowMenuIds + 3 * CEditorSession::kRowCount) {
            const int row = (id - kRowMenuIds) / 3;
            commitFocusedName();
            switch ((id - kRowMenuIds) % 3) {
            case 0: m_session->playRow(row); break;
            case 1: m_session->saveSampleOfRow(row); break;
            default: runImportWindow(row); break;
            }
            return;
        }
        if (const auto command = CMenus::commandOf(id)) runCommand(*command);
        return;
    }
    if (id == kBankName || (id >= kRowIds && id < kRowMenuIds && (id - kRowIds) % 10 == kRowName)) {
        if (code == EN_CHANGE) refuseOrKeep(from);
        if (code == EN_KILLFOCUS) commitName(from);
        return;
    }
    if (code != BN_CLICKED && code != CBN_SELCHANGE) return;
    switch (id) {
    case kOpenFromDisk: runCommand(Command::open); return;
    case kSaveToDisk: runCommand(Command::save); return;
    case kReset: runCommand(Command::reset); return;
    case kSend: runCommand(Command::send); return;
    case kStop: runCommand(Command::stop); return;
    case kReceive: runCommand(Command::receive); return;
    case kSelectedBank: m_session->setSendScope(SendScope::selected); return;
    case kAllBanks: m_session->setSendScope(SendScope::all); return;
    case kChangesOnly: m_session->setSendScope(SendScope::changes); return;
    case kChannels:
        if (m_channels.currentIndex() >= 0) m_session->selectChannel(m_channels.currentIndex());
        return;
    case kOutputPorts:
        if (m_outputPorts.currentIndex() >= 0) m_session->selectOutputPort(m_outputPorts.currentIndex());
        return;
    case kInputPorts:
        if (m_inputPorts.currentIndex() >= 0) m_session->selectInputPort(m_inputPorts.currentIndex());
        return;
    default: break;
    }
    if (id < kRowIds || id >= kRowIds + 10 * CEditorSession::kRowCount) return;
    const int row = (id - kRowIds) / 10;
    switch ((id - kRowIds) % 10) {
    case kRowOpen:
        commitFocusedName();
        m_session->openSlotFile(row);
        return;
    case kRowPlay:
    case kRowWaveform:
        m_session->playRow(row);
        return;
    default: return;
    }
}

LRESULT CEditorWindow::onNotify(NMHDR* header)
{
    if (header->idFrom != kBankList) return 0;
    switch (header->code) {
    case NM_CUSTOMDRAW:
        return m_bankList.customDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header), m_bold);
    case LVN_ITEMCHANGED: {
        if (m_drawing) return 0;
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
        if ((change->uChanged & LVIF_STATE) == 0) return 0;
        const int current = m_bankList.current();
        if ((change->uNewState & LVIS_FOCUSED) != 0 && current >= 0 && current != m_session->selectedBank())
            m_session->selectBank(current);
        m_session->setSelectedBanks(m_bankList.selection());
        return 0;
    }
    case LVN_GETINFOTIPW: {
        auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(header);
        const std::wstring text = widen(m_session->bankListToolTip(tip->iItem));
        if (tip->cchTextMax > 0) {
            const auto length = std::min<std::size_t>(text.size(), static_cast<std::size_t>(tip->cchTextMax) - 1);
            text.copy(tip->pszText, length);
            tip->pszText[length] = L'\0';
        }
        return 0;
    }
    default:
        return 0;
    }
}

void CEditorWindow::runCommand(Command command)
{
    commitFocusedName();
    m_session->setFocusedRow(rowOfWindow(GetFocus()));
    // Quit closes as the close box does.
    if (command == Command::quit)
        onClose();
    else
        m_session->run(command);
}

void CEditorWindow::runImportWindow(int row)
{
    const std::unique_ptr<CImportDraft> draft = m_session->beginImport(row);
    if (!draft) return;
    CImportWindow window(*m_session, *draft, hwnd(), m_dpi);
    if (window.run())
        m_session->commitImport(*draft);
    else
        m_session->cancelImport(*draft);
}

int CEditorWindow::rowOfWindow(HWND window) const
{
    if (window == nullptr || GetParent(window) != hwnd()) return -1;
    const int id = GetDlgCtrlID(window);
    if (id < kRowIds || id >= kRowIds + 10 * CEditorSession::kRowCount) return -1;
    return (id - kRowIds) / 10;
}

void CEditorWindow::commitFocusedName()
{
    HWND focus = GetFocus();
    if (focus == m_bankName.hwnd() || (rowOfWindow(focus) >= 0 && GetDlgCtrlID(focus) % 10 == kRowName))
        commitName(focus);
}

void CEditorWindow::commitName(HWND field)
{
    const int index = field == m_bankName.hwnd() ? 0 : rowOfWindow(field) + 1;
    if (index < 0) return;
    const std::wstring text = CControl(field).text();
    if (text == m_drawnNames[static_cast<std::size_t>(index)]) return;
    if (index == 0)
        m_session->renameBank(narrow(text));
    else
        m_session->renameSlot(index - 1, narrow(text));
}

// A character that a bank file cannot hold is refused as it is typed: the
// field keeps what it had, and the session says why.
void CEditorWindow::refuseOrKeep(HWND field)
{
    const int index = field == m_bankName.hwnd() ? 0 : rowOfWindow(field) + 1;
    if (index < 0) return;
    auto& accepted = m_acceptedNames[static_cast<std::size_t>(index)];
    CControl edit(field);
    const std::wstring text = edit.text();
    if (m_session->acceptsName(narrow(text))) {
        accepted = text;
        return;
    }
    DWORD start = 0;
    SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
    const auto removed = static_cast<long>(text.size()) - static_cast<long>(accepted.size());
    const auto cursor = std::clamp<long>(static_cast<long>(start) - removed, 0, static_cast<long>(accepted.size()));
    m_drawing = true;
    SetWindowTextW(field, accepted.c_str());
    m_drawing = false;
    SendMessageW(field, EM_SETSEL, static_cast<WPARAM>(cursor), cursor);
}

int CEditorWindow::rowAt(POINT client) const
{
    for (int row = 0; row < CEditorSession::kRowCount; ++row) {
        const SlotRowControls& controls = m_rows[static_cast<std::size_t>(row)];
        if (controls.name.isVisible() && PtInRect(&controls.place, client) != FALSE) return row;
    }
    return -1;
}

DropTarget CEditorWindow::hover(const std::vector<std::string>& paths, POINT client)
{
    const DropTarget target = m_session->dropTarget(paths, rowAt(client));
    showDropTarget(target);
    return target;
}

void CEditorWindow::showDropTarget(const DropTarget& target)
{
    std::array<bool, CEditorSession::kRowCount> rows{};
    for (int row = 0; row < CEditorSession::kRowCount; ++row)
        rows[static_cast<std::size_t>(row)] = target.kind == DropTarget::Kind::slots && row >= target.firstRow &&
                                              row < target.firstRow + target.rowCount;
    const bool list = target.kind == DropTarget::Kind::bankFile;
    if (rows == m_litRows && list == m_listLit) return;
    m_litRows = rows;
    m_listLit = list;
    const COLORREF background = list ? m_litColor : GetSysColor(COLOR_WINDOW);
    ListView_SetBkColor(m_bankList.hwnd(), background);
    ListView_SetTextBkColor(m_bankList.hwnd(), background);
    RedrawWindow(hwnd(), nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

LRESULT CEditorWindow::colorOf(HDC dc, HWND control)
{
    const int row = rowOfWindow(control);
    if (row < 0 || !m_litRows[static_cast<std::size_t>(row)]) {
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    SetBkColor(dc, m_litColor);
    return reinterpret_cast<LRESULT>(m_litBrush);
}

// Files from Explorer: the drop is taken at once and handled once the drag
// has ended, so that the program they came from is not held by a question.
void CEditorWindow::takeDrop(std::vector<std::string> paths, POINT at)
{
    const int row = rowAt(at);
    if (paths.empty() || m_session->dropTarget(paths, row).kind == DropTarget::Kind::none) return;
    m_pendingDrop = std::move(paths);
    m_pendingDropRow = row;
    PostMessageW(hwnd(), kDropMessage, 0, 0);
}

// A row's menu: Play, Save Sample As..., Undo and Redo; elsewhere the
// window's: Undo, Redo and About.
void CEditorWindow::onContextMenu(HWND from, POINT at)
{
    if (at.x == -1 && at.y == -1) {
        RECT place{};
        GetWindowRect(from, &place);
        at = {place.left, place.bottom};
    }
    POINT client = at;
    ScreenToClient(hwnd(), &client);
    int row = rowOfWindow(from);
    if (row < 0) row = rowAt(client);
    const int undo = CMenus::idOf(Command::undo);
    const int redo = CMenus::idOf(Command::redo);
    if (row < 0 || !m_session->row(row).isSample) {
        CMenus::popup(hwnd(), *m_session, {undo, redo, 0, CMenus::idOf(Command::about)}, at);
        return;
    }
    commitFocusedName();
    const RowView view = m_session->row(row);
    HMENU menu = CreatePopupMenu();
    const std::wstring play = widen(view.play.text.empty() ? "Play" : view.play.text);
    AppendMenuW(menu, MF_STRING | (view.play.enabled ? MF_ENABLED : MF_GRAYED),
                static_cast<UINT_PTR>(kRowMenuIds + 3 * row), play.c_str());
    AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(kRowMenuIds + 3 * row + 1), L"Save Sample As...");
    AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(kRowMenuIds + 3 * row + 2), L"Import with Options...");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    for (const Command command : {Command::undo, Command::redo}) {
        const CommandState state = m_session->state(command);
        const std::wstring text = widen(state.text.empty() ? (command == Command::undo ? "&Undo" : "&Redo") : state.text);
        AppendMenuW(menu, MF_STRING | (state.enabled ? MF_ENABLED : MF_GRAYED),
                    static_cast<UINT_PTR>(CMenus::idOf(command)), text.c_str());
    }
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd(), nullptr);
    DestroyMenu(menu);
}

} // namespace win32
