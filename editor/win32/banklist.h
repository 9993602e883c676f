#pragma once

#include "editor/win32/window.h"

#include <string>
#include <vector>

namespace win32 {

// The bank list: a list view of one column, several banks selectable, the
// current one focused. A changed bank has a dot before its name and is bold.
class CBankList : public CControl {
public:
    void create(HWND parent, int id);
    // Rebuilds the marks for this font (after a DPI change).
    void setMarkSize(int pixels);
    void setItem(int index, const std::wstring& text, bool changed);
    void setCount(int count);
    int count() const;
    std::wstring itemText(int index) const;
    bool isChanged(int index) const;
    int current() const;
    void setCurrent(int index); // selects it alone when it is not selected yet
    std::vector<int> selection() const;
    void fitColumn();
    // NM_CUSTOMDRAW from the list: a changed bank's name is bold.
    LRESULT customDraw(NMLVCUSTOMDRAW* draw, HFONT bold) const;

private:
    HIMAGELIST m_marks = nullptr;
};

} // namespace win32
