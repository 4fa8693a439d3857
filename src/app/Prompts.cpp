#include "app/Prompts.h"

namespace vantor {

Answer SilentPrompts::message(const std::string&, const std::string&, Buttons buttons, Icon,
                              const void*) {
    switch (buttons) {
        case Buttons::YesNo:
        case Buttons::YesNoCancel:
            return Answer::Yes;
        default:
            return Answer::Ok;
    }
}

}  // namespace vantor
