#include "editor/win32/banklist.h"

namespace win32 {

namespace {

// The mark of a changed bank: a dot in the program's colour; an unchanged
// bank gets an empty image, so every name starts at the same place.
HBITMAP markBitmap(int size, bool changed)
{
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    RECT all{0, 0, size, size};
    FillRect(dc, &all, GetSysColorBrush(COLOR_WINDOW));
    if (changed) {
        HBRUSH dot = CreateSolidBrush(RGB(232, 96, 28));
        HGDIOBJ brush = SelectObject(dc, dot);
        HGDIOBJ pen = SelectObject(dc, GetStockObject(NULL_PEN));
        const int inset = size * 15 / 100;
        Ellipse(dc, inset, inset, size - inset + 1, size - inset + 1);
        SelectObject(dc, pen);
        SelectObject(dc, brush);
        DeleteObject(dot);
    }
    SelectObject(dc, previous);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return bitmap;
}

} // namespace

void CBankList::create(HWND parent, int id)
{
    CControl::create(parent, WC_LISTVIEWW, L"",
                     WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SHOWSELALWAYS, id);
    ListView_SetExtendedListViewStyle(hwnd(), LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP | LVS_EX_DOUBLEBUFFER);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = 100;
    ListView_InsertColumn(hwnd(), 0, &column);
}

void CBankList::setMarkSize(int pixels)
{
    HIMAGELIST marks = ImageList_Create(pixels, pixels, ILC_COLOR32, 2, 0);
    for (const bool changed : {false, true}) {
        HBITMAP bitmap = markBitmap(pixels, changed);
        ImageList_Add(marks, bitmap, nullptr);
        DeleteObject(bitmap);
    }
    ListView_SetImageList(hwnd(), marks, LVSIL_SMALL);
    if (m_marks != nullptr) ImageList_Destroy(m_marks);
    m_marks = marks;
}

void CBankList::setCount(int count)
{
    while (this->count() > count) ListView_DeleteItem(hwnd(), this->count() - 1);
    while (this->count() < count) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = this->count();
        item.pszText = const_cast<wchar_t*>(L"");
        ListView_InsertItem(hwnd(), &item);
    }
}

int CBankList::count() const
{
    return ListView_GetItemCount(hwnd());
}

void CBankList::setItem(int index, const std::wstring& text, bool changed)
{
    if (itemText(index) == text && isChanged(index) == changed) return;
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.iImage = changed ? 1 : 0;
    ListView_SetItem(hwnd(), &item);
}

std::wstring CBankList::itemText(int index) const
{
    wchar_t buffer[256] = {};
    ListView_GetItemText(hwnd(), index, 0, buffer, 256);
    return buffer;
}

bool CBankList::isChanged(int index) const
{
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    ListView_GetItem(hwnd(), &item);
    return item.iImage == 1;
}

int CBankList::current() const
{
    return ListView_GetNextItem(hwnd(), -1, LVNI_FOCUSED);
}

void CBankList::setCurrent(int index)
{
    if (current() == index && ListView_GetItemState(hwnd(), index, LVIS_SELECTED) != 0) return;
    ListView_SetItemState(hwnd(), -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemState(hwnd(), index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(hwnd(), index, FALSE);
}

std::vector<int> CBankList::selection() const
{
    std::vector<int> selected;
    for (int index = ListView_GetNextItem(hwnd(), -1, LVNI_SELECTED); index >= 0;
         index = ListView_GetNextItem(hwnd(), index, LVNI_SELECTED))
        selected.push_back(index);
    return selected;
}

void CBankList::fitColumn()
{
    RECT client{};
    GetClientRect(hwnd(), &client);
    ListView_SetColumnWidth(hwnd(), 0, client.right - client.left);
}

LRESULT CBankList::customDraw(NMLVCUSTOMDRAW* draw, HFONT bold) const
{
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        if (isChanged(static_cast<int>(draw->nmcd.dwItemSpec))) {
            SelectObject(draw->nmcd.hdc, bold);
            return CDRF_NEWFONT;
        }
        return CDRF_DODEFAULT;
    default:
        return CDRF_DODEFAULT;
    }
}

} // namespace win32
