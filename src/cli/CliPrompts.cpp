#include "cli/CliPrompts.h"

#include <ostream>

namespace vantor::cli {

Answer CliPrompts::message(const std::string& text, const std::string& caption, Buttons buttons,
                           Icon, const void*) {
    ++count_;
    if (caption.empty()) {
        err_ << text << '\n';
    } else {
        err_ << caption << ": " << text << '\n';
    }
    err_.flush();
    return firstButtonAnswer(buttons);
}

}  // namespace vantor::cli
