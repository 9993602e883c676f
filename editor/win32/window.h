#pragma once

#include "editor/win32/win32.h"

#include <string>

// Thin wrappers over the Windows API's windows and controls: an HWND and the
// few calls this program makes on it, with wide-character texts.
namespace win32 {

// A top-level or custom window whose messages go to a C++ object: the
// object is found from the HWND through GWLP_USERDATA.
class CWindow {
public:
    CWindow() = default;
    virtual ~CWindow();
    CWindow(const CWindow&) = delete;
    CWindow& operator=(const CWindow&) = delete;

    HWND hwnd() const { return m_hwnd; }

protected:
    // Registers the class on first use (the arrow cursor, this background).
    static void registerClass(const wchar_t* className, HBRUSH background, UINT style = 0);
    bool create(const wchar_t* className, const std::wstring& title, DWORD style, DWORD exStyle, HWND parent,
                HMENU menuOrId, RECT placement);
    // Everything not handled goes to DefWindowProc.
    virtual LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND m_hwnd = nullptr;
};

// A child control. The parent owns the HWND; the wrapper only names it.
class CControl {
public:
    CControl() = default;
    explicit CControl(HWND hwnd) : m_hwnd(hwnd) {}

    void create(HWND parent, const wchar_t* className, const std::wstring& text, DWORD style, int id,
                DWORD exStyle = 0);
    HWND hwnd() const { return m_hwnd; }
    int id() const;

    void setText(const std::wstring& text); // only when it differs, so nothing flickers
    std::wstring text() const;
    void setEnabled(bool enabled);
    bool isEnabled() const;
    void setVisible(bool visible);
    bool isVisible() const;
    void setFont(HFONT font);
    void move(const RECT& place);
    RECT place() const; // in the parent's client coordinates

private:
    HWND m_hwnd = nullptr;
};

class CButton : public CControl {
public:
    using CControl::CControl;
    void setChecked(bool checked);
    bool isChecked() const;
};

class CComboBox : public CControl {
public:
    using CControl::CControl;
    // Replaces the items when they differ from the ones shown: true then.
    bool setItems(const std::wstring* first, std::size_t count);
    int count() const;
    std::wstring item(int index) const;
    int currentIndex() const;
    void setCurrentIndex(int index);
};

class CProgressBar : public CControl {
public:
    using CControl::CControl;
    void setValue(int percent);
    int value() const;
};

// One tooltip control for the window: a control's text shows over it
// whether the control is enabled or not (the system sends the mouse moves
// over a disabled control to its parent, so those are watched there too).
class CToolTips {
public:
    void create(HWND window);
    void set(HWND control, const std::wstring& text);
    std::wstring textOf(HWND control) const;
    // After a layout: the places the parent watches for disabled controls.
    void placesChanged();
    HWND hwnd() const { return m_hwnd; }

private:
    HWND m_hwnd = nullptr;
    HWND m_window = nullptr;
};

// The system's message font at this DPI (bold for the changed banks); the
// caller deletes it.
HFONT createMessageFont(int dpi, bool bold = false);

// Text extents in a font, for layouts that fit their texts.
class CTextMeasure {
public:
    explicit CTextMeasure(HFONT font);
    ~CTextMeasure();
    CTextMeasure(const CTextMeasure&) = delete;
    CTextMeasure& operator=(const CTextMeasure&) = delete;
    int width(const std::wstring& text) const; // mnemonic marks do not count
    int height() const;
    int averageCharWidth() const;

private:
    HDC m_dc;
    HGDIOBJ m_previous;
    TEXTMETRICW m_metrics{};
};

} // namespace win32
