#include "app/UtilityApp.h"

#include <QFileInfo>

#include "app/AppSettings.h"
#include "app/MainDialog.h"
#include "ui/AppIcon.h"
#include "ui/QtPrompts.h"

namespace vantor {

UtilityApp::UtilityApp(int& argc, char** argv) : QApplication(argc, argv) {
    // Message boxes without a caption of their own show the program's file name.
    setApplicationName(QFileInfo(applicationFilePath()).completeBaseName());
    setWindowIcon(appIcon());
}

int UtilityApp::run() {
    AppSettings::loadLinkRates();
    QtPrompts prompts;
    prompts.setLastFolder(loadLastFolder());
    prompts.onLastFolderChanged(saveLastFolder);
    MainDialog dialog(prompts);
    dialog.exec();
    // No transfer runs any more: the program does not exit under one.
    AppSettings::saveLinkRates();
    return 0;
}

}  // namespace vantor
