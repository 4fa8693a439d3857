#include "RecordingPrompts.h"

namespace vantor::test {

Answer RecordingPrompts::message(const std::string& text, const std::string& caption,
                                 Buttons buttons, Icon icon, const void* owner) {
    messages.push_back({text, caption, buttons, owner, icon});
    if (!answers.empty()) {
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    return firstButtonAnswer(buttons);
}

namespace {
std::optional<std::string> nextFile(RecordingPrompts& p, const FileChoice& choice) {
    p.fileChoices.push_back(choice);
    if (p.fileAnswers.empty()) return std::nullopt;
    auto answer = p.fileAnswers.front();
    p.fileAnswers.pop_front();
    return answer;
}
}  // namespace

std::optional<std::string> RecordingPrompts::chooseOpenFile(const FileChoice& choice) {
    return nextFile(*this, choice);
}

std::optional<std::string> RecordingPrompts::chooseSaveFile(const FileChoice& choice) {
    return nextFile(*this, choice);
}

std::optional<std::string> RecordingPrompts::chooseFolder(const FileChoice& choice) {
    return nextFile(*this, choice);
}

}  // namespace vantor::test
