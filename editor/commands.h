#pragma once

#include <string>
#include <vector>

// Every command of the editor that a menu, a button or a key can give. The
// session decides whether each is possible now; the windows only show it.
enum class Command {
    open,          // File > Open...
    save,          // File > Save
    saveSample,    // File > Save Sample As... (the row that has the focus, else the first sample row)
    importKit,     // File > Import Kit from Folder... (a folder's files into the bank's slots)
    quit,          // File > Quit
    undo,          // Edit > Undo
    redo,          // Edit > Redo
    reset,         // Edit > Reset to Default
    send,          // Machine > Send
    stop,          // Machine > Stop
    refreshPorts,  // Machine > Refresh Ports
    forget,        // Machine > Forget What Was Sent to This Port
    interfaceTest, // Machine > MIDI Interface Test
    receive,       // the "Receive from VARNO" button (no menu entry)
    about,         // Help > About
};

// A key with its modifiers, as every window's accelerator tables can name it.
struct Shortcut {
    enum class Key { letter, enter, f1, f5 };
    Key key = Key::letter;
    char letter = 0; // upper case, for Key::letter
    bool ctrl = false;
    bool shift = false;
    // "Ctrl+Shift+Z", "F5": as menus show it.
    std::string text() const;
};

struct MenuItem {
    Command command;
    std::string text; // with '&' before the mnemonic: "&Open..."
    std::vector<Shortcut> shortcuts; // the first is shown in the menu
    bool separatorBefore = false;
};

struct Menu {
    std::string title; // "&File"
    std::vector<MenuItem> items;
};

// File, Edit, Machine and Help, in that order, for every window.
const std::vector<Menu>& editorMenus();

// Whether a command is possible now, and when not, the sentence why (the
// tooltip of a disabled button). text is what a menu entry reads now, for
// example "&Undo Import clap.wav into CLAP"; empty: the entry's fixed text.
struct CommandState {
    bool enabled = false;
    std::string reason;
    std::string text;
};
