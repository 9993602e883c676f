#pragma once

#include <optional>
#include <string>
#include <vector>

// Every question the editor asks the user goes through this interface, so
// that tests answer file dialogs and message boxes without a display and
// every window asks the same questions in the same words. Texts and paths
// are UTF-8.
class IPrompt {
public:
    enum class Icon { Information, Warning, Question };
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, ResetCancel, SaveDiscardCancel };
    enum class Answer { Ok, Cancel, Yes, No, Reset, Save, Discard };

    // What a file dialog shows and where it starts.
    struct FileDialog {
        std::string title;
        std::vector<std::string> filters; // "Bank files (*.mid)"; none lists every file
        std::string directory;            // the folder the dialog opens in
        std::string suggestedName;        // saving: the name proposed, without a folder
        std::string defaultSuffix;        // saving: appended to a name typed without one ("mid")
    };

    virtual ~IPrompt() = default;

    // A path, or nothing when the user cancelled.
    virtual std::optional<std::string> openFileName(const FileDialog& dialog) = 0;
    // A folder, or nothing when the user cancelled.
    virtual std::optional<std::string> folderName(const FileDialog& dialog) = 0;
    // The save dialog asks itself before replacing an existing file.
    virtual std::optional<std::string> saveFileName(const FileDialog& dialog) = 0;
    virtual Answer message(Icon icon, const std::string& caption, const std::string& text, Buttons buttons) = 0;
    // A question answered by one of the given buttons ("Into S05", "Into
    // S06"); a last button "Cancel" is added by the window. The index of the
    // button chosen, or nothing for Cancel, Escape or the close box.
    virtual std::optional<std::size_t> choose(Icon icon, const std::string& caption, const std::string& text,
                                              const std::vector<std::string>& buttons) = 0;
};
