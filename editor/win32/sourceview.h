#pragma once

#include "editor/win32/window.h"

#include <cstdint>
#include <span>
#include <vector>

namespace win32 {

// The whole source of an import, drawn large at the machine's rate, the
// part outside the start and end shaded, a dashed line where the slot is
// full. A drag moves the nearer handle and tells the parent (WM_COMMAND
// with kStartMoved or kEndMoved; position() says where); the wheel zooms.
class CSourceView : public CWindow {
public:
    enum Notification : WORD { kStartMoved = 1, kEndMoved = 2 };

    void create(HWND parent, int id);
    void setSource(std::span<const std::uint8_t> bytes, double rate);
    void setMarks(double start, double end, double slotEnd);
    double position() const { return m_position; }

protected:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void paint(HDC dc) const;
    double seconds() const;
    double secondsAt(int x) const;
    int xOf(double at) const;
    int width() const;
    void dragTo(int x);

    std::vector<std::uint8_t> m_bytes;
    double m_rate = 1.0;
    double m_start = 0.0, m_end = 0.0, m_slotEnd = 0.0;
    int m_zoom = 1;
    double m_viewStart = 0.0;
    double m_position = 0.0;
    enum class Drag { none, start, end } m_drag = Drag::none;
};

} // namespace win32
