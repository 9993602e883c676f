#include "editor/win32/menus.h"

#include "editor/editorsession.h"
#include "editor/win32/text.h"

#include <vector>

namespace win32 {

namespace {

WORD virtualKey(const Shortcut& shortcut)
{
    switch (shortcut.key) {
    case Shortcut::Key::enter: return VK_RETURN;
    case Shortcut::Key::f1: return VK_F1;
    case Shortcut::Key::f5: return VK_F5;
    case Shortcut::Key::letter: break;
    }
    return static_cast<WORD>(shortcut.letter);
}

const MenuItem* itemOf(Command command)
{
    for (const Menu& menu : editorMenus())
        for (const MenuItem& item : menu.items)
            if (item.command == command) return &item;
    return nullptr;
}

// What an entry reads now, with its first shortcut after a tab.
std::wstring entryText(const MenuItem& item, const CommandState& state)
{
    std::wstring text = widen(state.text.empty() ? item.text : state.text);
    if (!item.shortcuts.empty()) text += L'\t' + widen(item.shortcuts.front().text());
    return text;
}

void showEntry(HMENU menu, int id, const std::wstring& text, bool enabled)
{
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING | MIIM_STATE;
    info.dwTypeData = const_cast<wchar_t*>(text.c_str());
    info.fState = enabled ? MFS_ENABLED : MFS_DISABLED;
    SetMenuItemInfoW(menu, static_cast<UINT>(id), FALSE, &info);
}

} // namespace

CMenus::CMenus() : m_bar(CreateMenu())
{
    std::vector<ACCEL> keys;
    for (const Menu& menu : editorMenus()) {
        HMENU popup = CreatePopupMenu();
        for (const MenuItem& item : menu.items) {
            if (item.separatorBefore) AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(popup, MF_STRING, static_cast<UINT_PTR>(idOf(item.command)),
                        entryText(item, {}).c_str());
            for (const Shortcut& shortcut : item.shortcuts) {
                BYTE flags = FVIRTKEY;
                if (shortcut.ctrl) flags |= FCONTROL;
                if (shortcut.shift) flags |= FSHIFT;
                keys.push_back({flags, virtualKey(shortcut), static_cast<WORD>(idOf(item.command))});
            }
        }
        AppendMenuW(m_bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), widen(menu.title).c_str());
    }
    m_accelerators = CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
}

CMenus::~CMenus()
{
    DestroyAcceleratorTable(m_accelerators);
}

std::optional<Command> CMenus::commandOf(int id)
{
    for (const Menu& menu : editorMenus())
        for (const MenuItem& item : menu.items)
            if (idOf(item.command) == id) return item.command;
    return std::nullopt;
}

void CMenus::show(const CEditorSession& session)
{
    for (const Menu& menu : editorMenus())
        for (const MenuItem& item : menu.items) {
            const CommandState state = session.state(item.command);
            showEntry(m_bar, idOf(item.command), entryText(item, state), state.enabled);
        }
}

void CMenus::popup(HWND window, const CEditorSession& session, std::initializer_list<int> ids, POINT at)
{
    HMENU menu = CreatePopupMenu();
    for (const int id : ids) {
        if (id == 0) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        const auto command = commandOf(id);
        const MenuItem* item = command ? itemOf(*command) : nullptr;
        if (item == nullptr) continue;
        const CommandState state = session.state(*command);
        AppendMenuW(menu, MF_STRING | (state.enabled ? MF_ENABLED : MF_GRAYED), static_cast<UINT_PTR>(id),
                    entryText(*item, state).c_str());
    }
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr);
    DestroyMenu(menu);
}

} // namespace win32
