#include "cli/CliPrompts.h"

#include <istream>
#include <ostream>
#include <string>

namespace vantor::cli {

Answer CliPrompts::message(const std::string& text, const std::string& caption, Buttons buttons,
                           Icon, const void*) {
    ++count_;
    const bool question = buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel;
    if (!caption.empty()) err_ << caption << ": ";
    err_ << text;
    if (question && !assumeYes_ && input_) {
        err_ << " [y/N] " << std::flush;
        std::string line;
        std::getline(*input_, line);
        return line == "y" || line == "Y" ? Answer::Yes : Answer::No;
    }
    err_ << '\n' << std::flush;
    return question && assumeYes_ ? Answer::Yes : firstButtonAnswer(buttons);
}

}  // namespace vantor::cli
