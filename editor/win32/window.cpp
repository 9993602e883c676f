#include "editor/win32/window.h"

#include "editor/win32/text.h"

#include <vector>

namespace win32 {

CWindow::~CWindow()
{
    if (m_hwnd != nullptr) {
        // Messages of the destruction no longer reach a half-destroyed object.
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hwnd);
    }
}

void CWindow::registerClass(const wchar_t* className, HBRUSH background, UINT style)
{
    WNDCLASSEXW known{};
    known.cbSize = sizeof(known);
    if (GetClassInfoExW(GetModuleHandleW(nullptr), className, &known) != FALSE) return;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = style;
    windowClass.lpfnWndProc = &CWindow::procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = className;
    windowClass.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    RegisterClassExW(&windowClass);
}

bool CWindow::create(const wchar_t* className, const std::wstring& title, DWORD style, DWORD exStyle, HWND parent,
                     HMENU menuOrId, RECT placement)
{
    m_hwnd = CreateWindowExW(exStyle, className, title.c_str(), style, placement.left, placement.top,
                             placement.right - placement.left, placement.bottom - placement.top, parent, menuOrId,
                             GetModuleHandleW(nullptr), this);
    return m_hwnd != nullptr;
}

LRESULT CWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(m_hwnd, message, wParam, lParam);
}

LRESULT CALLBACK CWindow::procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* owner = static_cast<CWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        owner->m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    }
    auto* owner = reinterpret_cast<CWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (owner == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        owner->m_hwnd = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return owner->onMessage(message, wParam, lParam);
}

void CControl::create(HWND parent, const wchar_t* className, const std::wstring& text, DWORD style, int id,
                      DWORD exStyle)
{
    m_hwnd = CreateWindowExW(exStyle, className, text.c_str(), style | WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

int CControl::id() const
{
    return GetDlgCtrlID(m_hwnd);
}

void CControl::setText(const std::wstring& text)
{
    if (this->text() != text) SetWindowTextW(m_hwnd, text.c_str());
}

std::wstring CControl::text() const
{
    const int length = GetWindowTextLengthW(m_hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(m_hwnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got));
    return text;
}

void CControl::setEnabled(bool enabled)
{
    if (isEnabled() != enabled) EnableWindow(m_hwnd, enabled ? TRUE : FALSE);
}

bool CControl::isEnabled() const
{
    return IsWindowEnabled(m_hwnd) != FALSE;
}

void CControl::setVisible(bool visible)
{
    if (isVisible() != visible) ShowWindow(m_hwnd, visible ? SW_SHOWNA : SW_HIDE);
}

bool CControl::isVisible() const
{
    return (GetWindowLongW(m_hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
}

void CControl::setFont(HFONT font)
{
    SendMessageW(m_hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void CControl::move(const RECT& place)
{
    MoveWindow(m_hwnd, place.left, place.top, place.right - place.left, place.bottom - place.top, TRUE);
}

RECT CControl::place() const
{
    RECT place{};
    GetWindowRect(m_hwnd, &place);
    MapWindowPoints(HWND_DESKTOP, GetParent(m_hwnd), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

void CButton::setChecked(bool checked)
{
    SendMessageW(hwnd(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool CButton::isChecked() const
{
    return SendMessageW(hwnd(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool CComboBox::setItems(const std::wstring* first, std::size_t count)
{
    bool same = static_cast<std::size_t>(this->count()) == count;
    for (std::size_t i = 0; same && i < count; ++i) same = item(static_cast<int>(i)) == first[i];
    if (same) return false;
    SendMessageW(hwnd(), CB_RESETCONTENT, 0, 0);
    for (std::size_t i = 0; i < count; ++i)
        SendMessageW(hwnd(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(first[i].c_str()));
    return true;
}

int CComboBox::count() const
{
    return static_cast<int>(SendMessageW(hwnd(), CB_GETCOUNT, 0, 0));
}

std::wstring CComboBox::item(int index) const
{
    const auto length = SendMessageW(hwnd(), CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(hwnd(), CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

int CComboBox::currentIndex() const
{
    return static_cast<int>(SendMessageW(hwnd(), CB_GETCURSEL, 0, 0));
}

void CComboBox::setCurrentIndex(int index)
{
    if (currentIndex() != index) SendMessageW(hwnd(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void CProgressBar::setValue(int percent)
{
    if (value() != percent) SendMessageW(hwnd(), PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

int CProgressBar::value() const
{
    return static_cast<int>(SendMessageW(hwnd(), PBM_GETPOS, 0, 0));
}

void CToolTips::create(HWND window)
{
    m_window = window;
    m_hwnd = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0,
                             0, 0, window, nullptr, GetModuleHandleW(nullptr), nullptr);
    SendMessageW(m_hwnd, TTM_SETMAXTIPWIDTH, 0, 600);
}

namespace {

// Tool 1 follows the control itself; tool 2 its place on the parent, where
// the mouse moves over it go while it is disabled.
TTTOOLINFOW toolOf(HWND window, HWND control, bool onParent, const std::wstring* text)
{
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    if (onParent) {
        tool.uFlags = TTF_SUBCLASS;
        tool.hwnd = window;
        tool.uId = static_cast<UINT_PTR>(GetDlgCtrlID(control));
        GetWindowRect(control, &tool.rect);
        MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&tool.rect), 2);
    } else {
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window;
        tool.uId = reinterpret_cast<UINT_PTR>(control);
    }
    tool.lpszText = text != nullptr ? const_cast<wchar_t*>(text->c_str()) : nullptr;
    return tool;
}

} // namespace

void CToolTips::set(HWND control, const std::wstring& text)
{
    if (textOf(control) == text) return;
    for (const bool onParent : {false, true}) {
        TTTOOLINFOW tool = toolOf(m_window, control, onParent, &text);
        SendMessageW(m_hwnd, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        if (!text.empty()) SendMessageW(m_hwnd, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

std::wstring CToolTips::textOf(HWND control) const
{
    std::vector<wchar_t> buffer(1024, L'\0');
    TTTOOLINFOW tool = toolOf(m_window, control, false, nullptr);
    tool.lpszText = buffer.data();
    if (SendMessageW(m_hwnd, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)) == FALSE) return {};
    return tool.lpszText != nullptr ? std::wstring(tool.lpszText) : std::wstring();
}

void CToolTips::placesChanged()
{
    const auto count = static_cast<int>(SendMessageW(m_hwnd, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        if (SendMessageW(m_hwnd, TTM_ENUMTOOLSW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&tool)) == FALSE)
            continue;
        if ((tool.uFlags & TTF_IDISHWND) != 0) continue;
        HWND control = GetDlgItem(m_window, static_cast<int>(tool.uId));
        if (control == nullptr) continue;
        GetWindowRect(control, &tool.rect);
        MapWindowPoints(HWND_DESKTOP, m_window, reinterpret_cast<POINT*>(&tool.rect), 2);
        SendMessageW(m_hwnd, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

HFONT createMessageFont(int dpi, bool bold)
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, static_cast<UINT>(dpi));
    if (bold) metrics.lfMessageFont.lfWeight = FW_BOLD;
    return CreateFontIndirectW(&metrics.lfMessageFont);
}

CTextMeasure::CTextMeasure(HFONT font) : m_dc(CreateCompatibleDC(nullptr)), m_previous(SelectObject(m_dc, font))
{
    GetTextMetricsW(m_dc, &m_metrics);
}

CTextMeasure::~CTextMeasure()
{
    SelectObject(m_dc, m_previous);
    DeleteDC(m_dc);
}

int CTextMeasure::width(const std::wstring& text) const
{
    const std::wstring drawn = withoutMnemonic(text);
    SIZE size{};
    GetTextExtentPoint32W(m_dc, drawn.c_str(), static_cast<int>(drawn.size()), &size);
    return size.cx;
}

int CTextMeasure::height() const
{
    return m_metrics.tmHeight;
}

int CTextMeasure::averageCharWidth() const
{
    return m_metrics.tmAveCharWidth;
}

} // namespace win32
