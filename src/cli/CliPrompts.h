#pragma once

#include <iosfwd>

#include "base/Prompts.h"

namespace vantor::cli {

// Messages go to standard error as "caption: text". A question (Yes/No) is
// asked on the terminal when `input` is given and answered Yes only by "y";
// with assumeYes it is answered Yes at once; otherwise it takes the first
// button's answer.
class CliPrompts : public Prompts {
public:
    explicit CliPrompts(std::ostream& err, std::istream* input = nullptr)
        : err_(err), input_(input) {}
    Answer message(const std::string& text, const std::string& caption, Buttons buttons, Icon icon,
                   const void* owner) override;
    int messageCount() const { return count_; }
    void setAssumeYes(bool yes) { assumeYes_ = yes; }
    void setInput(std::istream* input) { input_ = input; }

private:
    std::ostream& err_;
    std::istream* input_;
    bool assumeYes_ = false;
    int count_ = 0;
};

}  // namespace vantor::cli
