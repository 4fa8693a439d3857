#include "app/Prompts.h"

namespace vantor {

Answer firstButtonAnswer(Buttons buttons) {
    switch (buttons) {
        case Buttons::YesNo:
        case Buttons::YesNoCancel:
            return Answer::Yes;
        default:
            return Answer::Ok;
    }
}

}  // namespace vantor
