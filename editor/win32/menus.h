#pragma once

#include "editor/commands.h"
#include "editor/win32/win32.h"

#include <optional>

class CEditorSession;

namespace win32 {

// The session's menus as a Windows menu bar with the same accelerators.
// Each command is a WM_COMMAND id of its own.
class CMenus {
public:
    CMenus();
    ~CMenus();
    CMenus(const CMenus&) = delete;
    CMenus& operator=(const CMenus&) = delete;

    static constexpr int kFirstId = 40000;
    static int idOf(Command command) { return kFirstId + static_cast<int>(command); }
    static std::optional<Command> commandOf(int id);

    HMENU bar() const { return m_bar; } // owned by the window once set
    HACCEL accelerators() const { return m_accelerators; }
    // Enabled states and texts ("&Undo Rename S05") from the session.
    void show(const CEditorSession& session);
    // A context menu of these commands (0 in the list: a separator), at a
    // point on the screen; the command chosen goes to the window.
    static void popup(HWND window, const CEditorSession& session, std::initializer_list<int> ids, POINT at);

private:
    HMENU m_bar;
    HACCEL m_accelerators;
};

} // namespace win32
