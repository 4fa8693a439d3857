#include "base/Prompts.h"

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

std::vector<FileFilter> parseFileFilter(const std::string& filter) {
    std::vector<std::string> fields;
    std::string field;
    for (char c : filter) {
        if (c == '|') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    std::vector<FileFilter> out;
    for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
        if (fields[i].empty()) break;  // the closing "|"
        FileFilter f{fields[i], {}};
        std::string pattern;
        for (char c : fields[i + 1] + ";") {
            if (c == ';') {
                if (!pattern.empty()) f.patterns.push_back(pattern);
                pattern.clear();
            } else if (c != ' ') {
                pattern += c;
            }
        }
        if (f.patterns.empty()) f.patterns.push_back("*");
        out.push_back(std::move(f));
    }
    return out;
}

}  // namespace vantor
