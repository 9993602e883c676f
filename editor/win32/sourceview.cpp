#include "editor/win32/sourceview.h"

#include "audio/slotaudio.h"

#include <windowsx.h>

#include <algorithm>
#include <cmath>

namespace win32 {

namespace {
constexpr const wchar_t* kClassName = L"VARNO414SourceView";
}

void CSourceView::create(HWND parent, int id)
{
    registerClass(kClassName, nullptr, CS_HREDRAW | CS_VREDRAW);
    CWindow::create(kClassName, L"", WS_CHILD | WS_VISIBLE, WS_EX_CLIENTEDGE, parent,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), RECT{});
}

void CSourceView::setSource(std::span<const std::uint8_t> bytes, double rate)
{
    m_bytes.assign(bytes.begin(), bytes.end());
    m_rate = rate > 0 ? rate : 1.0;
    InvalidateRect(hwnd(), nullptr, FALSE);
}

void CSourceView::setMarks(double start, double end, double slotEnd)
{
    m_start = start;
    m_end = end;
    m_slotEnd = slotEnd;
    InvalidateRect(hwnd(), nullptr, FALSE);
}

double CSourceView::seconds() const
{
    return std::max<double>(1.0, static_cast<double>(m_bytes.size())) / m_rate;
}

int CSourceView::width() const
{
    RECT client{};
    GetClientRect(hwnd(), &client);
    return std::max<int>(1, client.right);
}

double CSourceView::secondsAt(int x) const
{
    return std::clamp(m_viewStart + static_cast<double>(x) / width() * seconds() / m_zoom, 0.0, seconds());
}

int CSourceView::xOf(double at) const
{
    return static_cast<int>(std::lround((at - m_viewStart) / (seconds() / m_zoom) * width()));
}

void CSourceView::dragTo(int x)
{
    m_position = secondsAt(x);
    const WORD code = m_drag == Drag::start ? kStartMoved : kEndMoved;
    SendMessageW(GetParent(hwnd()), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd()), code),
                 reinterpret_cast<LPARAM>(hwnd()));
}

LRESULT CSourceView::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
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
        return 1;
    case WM_LBUTTONDOWN: {
        const int x = GET_X_LPARAM(lParam);
        m_drag = std::abs(x - xOf(m_start)) <= std::abs(x - xOf(m_end)) ? Drag::start : Drag::end;
        SetCapture(hwnd());
        dragTo(x);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (m_drag != Drag::none) dragTo(GET_X_LPARAM(lParam));
        return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        m_drag = Drag::none;
        if (message == WM_LBUTTONUP) ReleaseCapture();
        return 0;
    case WM_MOUSEWHEEL: {
        POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ScreenToClient(hwnd(), &at);
        const double anchor = secondsAt(at.x);
        const double share = static_cast<double>(at.x) / width();
        m_zoom = std::clamp(GET_WHEEL_DELTA_WPARAM(wParam) > 0 ? m_zoom * 2 : m_zoom / 2, 1, 256);
        m_viewStart = std::clamp(anchor - share * seconds() / m_zoom, 0.0, seconds() - seconds() / m_zoom);
        InvalidateRect(hwnd(), nullptr, FALSE);
        return 0;
    }
    default:
        break;
    }
    return CWindow::onMessage(message, wParam, lParam);
}

void CSourceView::paint(HDC dc) const
{
    RECT client{};
    GetClientRect(hwnd(), &client);
    // Drawn off screen first, so that a drag does not flicker.
    HDC buffer = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
    HGDIOBJ previous = SelectObject(buffer, bitmap);
    FillRect(buffer, &client, GetSysColorBrush(COLOR_WINDOW));
    const int w = client.right;
    const int h = client.bottom;
    RECT before{0, 0, std::clamp(xOf(m_start), 0, w), h};
    RECT after{std::clamp(xOf(m_end), 0, w), 0, w, h};
    FillRect(buffer, &before, GetSysColorBrush(COLOR_BTNFACE));
    FillRect(buffer, &after, GetSysColorBrush(COLOR_BTNFACE));
    const int middle = h / 2;
    HPEN ink = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_WINDOWTEXT));
    HGDIOBJ pen = SelectObject(buffer, ink);
    const double perColumn = seconds() / m_zoom / w * m_rate;
    for (int x = 0; x < w; ++x) {
        const auto from = static_cast<std::size_t>(std::max(0.0, m_viewStart * m_rate + x * perColumn));
        const auto to = std::min(m_bytes.size(), static_cast<std::size_t>(from + std::max(1.0, perColumn)));
        if (from >= to) break;
        const auto [low, high] = std::minmax_element(m_bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                                     m_bytes.begin() + static_cast<std::ptrdiff_t>(to));
        MoveToEx(buffer, x, middle - (*high - audio::kZeroLevel) * (h / 2 - 2) / 128, nullptr);
        LineTo(buffer, x, middle - (*low - audio::kZeroLevel) * (h / 2 - 2) / 128 + 1);
    }
    const auto line = [&](double at, int style, int thickness, COLORREF colour) {
        HPEN mark = CreatePen(style, thickness, colour);
        HGDIOBJ old = SelectObject(buffer, mark);
        const int x = std::clamp(xOf(at), 1, w - 2);
        MoveToEx(buffer, x, 0, nullptr);
        LineTo(buffer, x, h);
        SelectObject(buffer, old);
        DeleteObject(mark);
    };
    line(m_slotEnd, PS_DASH, 1, RGB(232, 96, 28));
    line(m_start, PS_SOLID, 3, RGB(0, 150, 60));
    line(m_end, PS_SOLID, 3, RGB(200, 40, 40));
    SelectObject(buffer, pen);
    DeleteObject(ink);
    BitBlt(dc, 0, 0, w, h, buffer, 0, 0, SRCCOPY);
    SelectObject(buffer, previous);
    DeleteObject(bitmap);
    DeleteDC(buffer);
}

} // namespace win32
