#pragma once

#include <iosfwd>

#include "app/Prompts.h"

namespace vantor::cli {

// Messages go to standard error as "caption: text"; questions take the
// first button's answer, since a script cannot be asked.
class CliPrompts : public Prompts {
public:
    explicit CliPrompts(std::ostream& err) : err_(err) {}
    Answer message(const std::string& text, const std::string& caption, Buttons buttons, Icon icon,
                   const void* owner) override;
    int messageCount() const { return count_; }

private:
    std::ostream& err_;
    int count_ = 0;
};

}  // namespace vantor::cli
