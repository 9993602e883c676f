#include "editor/win32/waveform.h"

#include <algorithm>

namespace win32 {

namespace {
constexpr const wchar_t* kClassName = L"VARNO414Waveform";
}

void CWaveform::create(HWND parent, int id)
{
    registerClass(kClassName, nullptr, CS_HREDRAW | CS_VREDRAW);
    CWindow::create(kClassName, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, parent,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), RECT{});
}

void CWaveform::setSamples(std::span<const std::uint8_t> bytes)
{
    if (std::ranges::equal(bytes, m_bytes)) return;
    m_bytes.assign(bytes.begin(), bytes.end());
    m_peakColumns = 0;
    InvalidateRect(hwnd(), nullptr, TRUE);
}

void CWaveform::activate()
{
    SendMessageW(GetParent(hwnd()), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd()), BN_CLICKED),
                 reinterpret_cast<LPARAM>(hwnd()));
}

LRESULT CWaveform::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd(), &ps);
        paint(dc);
        EndPaint(hwnd(), &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // paint() fills everything
    case WM_LBUTTONDOWN:
        SetFocus(hwnd());
        activate();
        return 0;
    case WM_KEYDOWN:
        // A held key repeats; only its first press plays or stops.
        if (wParam == VK_SPACE && (lParam & (1L << 30)) == 0) {
            activate();
            return 0;
        }
        break;
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
        InvalidateRect(hwnd(), nullptr, TRUE);
        return 0;
    default:
        break;
    }
    return CWindow::onMessage(message, wParam, lParam);
}

void CWaveform::paint(HDC dc) const
{
    RECT area{};
    GetClientRect(hwnd(), &area);
    const bool enabled = IsWindowEnabled(hwnd()) != FALSE;
    FillRect(dc, &area, GetSysColorBrush(enabled ? COLOR_WINDOW : COLOR_BTNFACE));
    FrameRect(dc, &area, GetSysColorBrush(COLOR_BTNSHADOW));
    if (GetFocus() == hwnd()) {
        RECT focus = area;
        InflateRect(&focus, -1, -1);
        DrawFocusRect(dc, &focus);
    }
    RECT plot = area;
    InflateRect(&plot, -2, -2);
    const int width = std::max(0, static_cast<int>(plot.right - plot.left));
    const int height = std::max(0, static_cast<int>(plot.bottom - plot.top));
    if (width == 0 || height == 0) return;
    if (m_peakColumns != static_cast<std::size_t>(width)) {
        m_peaks = audio::slotPeaks(m_bytes, static_cast<std::size_t>(width));
        m_peakColumns = static_cast<std::size_t>(width);
    }
    const int middle = plot.top + height / 2;
    HPEN axis = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
    HPEN ink = CreatePen(PS_SOLID, 1, GetSysColor(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
    HGDIOBJ previous = SelectObject(dc, axis);
    MoveToEx(dc, plot.left, middle, nullptr);
    LineTo(dc, plot.right, middle);
    SelectObject(dc, ink);
    for (std::size_t c = 0; c < m_peaks.size(); ++c) {
        const int x = plot.left + static_cast<int>(c);
        const int top = middle - (m_peaks[c].high - audio::kZeroLevel) * height / 2 / 128;
        const int bottom = middle - (m_peaks[c].low - audio::kZeroLevel) * height / 2 / 128;
        MoveToEx(dc, x, top, nullptr);
        LineTo(dc, x, std::max(bottom, top) + 1);
    }
    SelectObject(dc, previous);
    DeleteObject(axis);
    DeleteObject(ink);
}

} // namespace win32
