#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vantor {

// Everything the core wants to tell or ask the user passes through this seam:
// the Qt program shows message boxes, the command line prints, tests record.
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Icon { None, Information, Warning, Error, Question };
enum class Answer { Ok, Cancel, Yes, No };

// What an open or save file dialog is asked for. The filter is in the
// program's own form: "description|patterns|" pairs ended by "|", patterns
// separated by ';' ("IGC Flight Log Files (*.igc)|*.igc||").
struct FileChoice {
    std::string title;
    std::string filter;
    std::string defaultExtension;  // without the dot; added when the name has none
    std::string initialName;
    std::string initialFolder;     // "\\My Documents\\" stands for the documents folder
    bool mustExist = false;        // open: the file must exist
    bool promptOverwrite = false;  // save: ask before replacing a file
    const void* owner = nullptr;
};

struct FileFilter {
    std::string description;
    std::vector<std::string> patterns;
};

// Splits the program's filter string into its entries; a malformed tail is dropped.
std::vector<FileFilter> parseFileFilter(const std::string& filter);

class Prompts {
public:
    virtual ~Prompts() = default;
    // owner is the window the box belongs to, or nullptr for none.
    virtual Answer message(const std::string& text, const std::string& caption,
                           Buttons buttons = Buttons::Ok, Icon icon = Icon::None,
                           const void* owner = nullptr) = 0;
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<std::string> chooseOpenFile(const FileChoice& /*choice*/) {
        return std::nullopt;
    }
    virtual std::optional<std::string> chooseSaveFile(const FileChoice& /*choice*/) {
        return std::nullopt;
    }
    // A folder (choice.title and choice.initialFolder are used), or nothing.
    virtual std::optional<std::string> chooseFolder(const FileChoice& /*choice*/) {
        return std::nullopt;
    }
    virtual void beep() {}
    virtual void setWaitCursor(bool /*on*/) {}
};

// The answer of a box's first button: what a front end that cannot ask gives.
Answer firstButtonAnswer(Buttons buttons);

// Says nothing and answers every question with its first button.
class SilentPrompts : public Prompts {
public:
    Answer message(const std::string&, const std::string&, Buttons buttons, Icon,
                   const void*) override {
        return firstButtonAnswer(buttons);
    }
};

// Shows the wait cursor for the lifetime of a scope.
class WaitCursor {
public:
    explicit WaitCursor(Prompts& prompts) : prompts_(prompts) { prompts_.setWaitCursor(true); }
    ~WaitCursor() { prompts_.setWaitCursor(false); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    Prompts& prompts_;
};

}  // namespace vantor
