#pragma once

#include <string>

namespace vantor {

// Everything the core wants to tell or ask the user passes through this seam:
// the Qt program shows message boxes, the command line prints, tests record.
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
enum class Icon { None, Information, Warning, Error, Question };
enum class Answer { Ok, Cancel, Yes, No };

class Prompts {
public:
    virtual ~Prompts() = default;
    // owner is the window the box belongs to, or nullptr for none.
    virtual Answer message(const std::string& text, const std::string& caption,
                           Buttons buttons = Buttons::Ok, Icon icon = Icon::None,
                           const void* owner = nullptr) = 0;
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
