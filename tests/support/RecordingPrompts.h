#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/Prompts.h"

namespace vantor::test {

struct RecordedMessage {
    std::string text;
    std::string caption;
    Buttons buttons;
    const void* owner;
};

// Records every message and answers from a script (first button when empty).
class RecordingPrompts : public Prompts {
public:
    Answer message(const std::string& text, const std::string& caption, Buttons buttons, Icon icon,
                   const void* owner) override;
    void beep() override { ++beeps; }

    std::vector<RecordedMessage> messages;
    std::deque<Answer> answers;
    int beeps = 0;
};

}  // namespace vantor::test
