#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "base/Prompts.h"

namespace vantor::test {

struct RecordedMessage {
    std::string text;
    std::string caption;
    Buttons buttons;
    const void* owner;
    Icon icon = Icon::None;
};

// Records every message and answers from a script (first button when empty).
class RecordingPrompts : public Prompts {
public:
    Answer message(const std::string& text, const std::string& caption, Buttons buttons, Icon icon,
                   const void* owner) override;
    // File choices are recorded and answered from fileAnswers (cancelled when empty).
    std::optional<std::string> chooseOpenFile(const FileChoice& choice) override;
    std::optional<std::string> chooseSaveFile(const FileChoice& choice) override;
    std::optional<std::string> chooseFolder(const FileChoice& choice) override;
    void beep() override { ++beeps; }
    void setWaitCursor(bool on) override { waitCursor += on ? 1 : -1; }

    std::vector<RecordedMessage> messages;
    std::deque<Answer> answers;
    std::vector<FileChoice> fileChoices;
    std::deque<std::optional<std::string>> fileAnswers;
    int beeps = 0;
    int waitCursor = 0;  // shown while above 0
};

}  // namespace vantor::test
