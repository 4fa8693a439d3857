// Draws the program's icon into a hicolor theme tree for installing:
// OUTPUT_DIR/hicolor/SIZExSIZE/apps/NAME.png at the usual sizes.

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "ui/AppIcon.h"

int main(int argc, char** argv) {
    if (argc != 3 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: vantor-render-icon OUTPUT_DIR NAME\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1/hicolor/%2x%2/apps").arg(out).arg(size);
        if (!QDir().mkpath(dir) ||
            !vantor::appIconPixmap(size).save(QStringLiteral("%1/%2.png").arg(dir, name))) {
            std::fprintf(stderr, "vantor-render-icon: cannot write into %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
