// Runs the Qt tests offscreen, with the settings in a scratch folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vantor-util"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
