#include "ui/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace vantor {

namespace {

QPixmap drawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    QLinearGradient sky(0, 0, 0, s);
    sky.setColorAt(0, QColor(0x2a, 0x6f, 0xd6));
    sky.setColorAt(1, QColor(0x8c, 0xc4, 0xf5));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);

    // A glider seen from above: long slender wing, fuselage, tailplane.
    p.setBrush(Qt::white);
    QPainterPath wing;
    wing.moveTo(s * 0.04, s * 0.44);
    wing.quadTo(s * 0.5, s * 0.36, s * 0.96, s * 0.44);
    wing.lineTo(s * 0.96, s * 0.48);
    wing.quadTo(s * 0.5, s * 0.44, s * 0.04, s * 0.48);
    wing.closeSubpath();
    p.drawPath(wing);
    p.drawRoundedRect(QRectF(s * 0.475, s * 0.22, s * 0.05, s * 0.62), s * 0.025, s * 0.025);
    p.drawRoundedRect(QRectF(s * 0.36, s * 0.8, s * 0.28, s * 0.045), s * 0.02, s * 0.02);
    return pixmap;
}

}  // namespace

QPixmap appIconPixmap(int size) {
    return drawIcon(size);
}

QIcon appIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(drawIcon(size));
    return icon;
}

}  // namespace vantor
