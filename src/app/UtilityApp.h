#pragma once

#include <QApplication>

namespace vantor {

// The application: builds the main dialog, runs it and ends when it closes.
class UtilityApp : public QApplication {
public:
    UtilityApp(int& argc, char** argv);
    int run();
};

}  // namespace vantor
