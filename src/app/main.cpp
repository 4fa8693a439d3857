#include "app/UtilityApp.h"

int main(int argc, char** argv) {
    vantor::UtilityApp app(argc, argv);
    return app.run();
}
