#include "editor/commands.h"

std::string Shortcut::text() const
{
    std::string text;
    if (ctrl) text += "Ctrl+";
    if (shift) text += "Shift+";
    switch (key) {
    case Key::letter: text += letter; break;
    case Key::enter: text += "Return"; break;
    case Key::f1: text += "F1"; break;
    case Key::f5: text += "F5"; break;
    }
    return text;
}

const std::vector<Menu>& editorMenus()
{
    static const std::vector<Menu> menus = {
        {"&File",
         {{Command::open, "&Open...", {{Shortcut::Key::letter, 'O', true, false}}},
          {Command::save, "&Save", {{Shortcut::Key::letter, 'S', true, false}}},
          {Command::saveSample, "Save Sample &As...", {}},
          {Command::importKit, "Import &Kit from Folder...", {}},
          {Command::quit, "&Quit", {{Shortcut::Key::letter, 'Q', true, false}}, true}}},
        {"&Edit",
         {{Command::undo, "&Undo", {{Shortcut::Key::letter, 'Z', true, false}}},
          {Command::redo, "&Redo", {{Shortcut::Key::letter, 'Z', true, true}, {Shortcut::Key::letter, 'Y', true, false}}},
          {Command::reset, "Reset to &Default", {}, true}}},
        {"&Machine",
         {{Command::send, "&Send", {{Shortcut::Key::enter, 0, true, false}}},
          {Command::stop, "S&top", {}},
          {Command::refreshPorts, "&Refresh Ports", {{Shortcut::Key::f5, 0, false, false}}, true},
          {Command::forget, "&Forget What Was Sent to This Port", {}},
          {Command::interfaceTest, "MIDI &Interface Test", {}}}},
        {"&Help", {{Command::about, "&About VARNO414Editor...", {{Shortcut::Key::f1, 0, false, false}}}}},
    };
    return menus;
}
