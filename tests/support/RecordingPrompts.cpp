#include "RecordingPrompts.h"

namespace vantor::test {

Answer RecordingPrompts::message(const std::string& text, const std::string& caption,
                                 Buttons buttons, Icon, const void* owner) {
    messages.push_back({text, caption, buttons, owner});
    if (!answers.empty()) {
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    return firstButtonAnswer(buttons);
}

}  // namespace vantor::test
