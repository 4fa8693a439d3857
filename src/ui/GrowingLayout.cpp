#include "ui/GrowingLayout.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFontMetrics>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace vantor {

GrowingLayout::GrowingLayout(QWidget* dialog) : QObject(dialog), dialog_(dialog) {
    // Controls laid out for the template size; a wider caption only adds room.
    const QSize laidOut = dialog->size();
    for (QWidget* w : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!w->isWindow()) controls_[w] = {w->geometry(), Anchor{0.5, 0, 0, 0}};
    }
    templateSize_ = laidOut;
    const int extra = std::max(0, captionWidth(dialog) - laidOut.width());
    dialog->setMinimumSize(laidOut.width() + extra, laidOut.height());
    dialog->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    dialog->resize(dialog->minimumSize());
    if (auto* d = qobject_cast<QDialog*>(dialog)) d->setSizeGripEnabled(true);
    dialog->installEventFilter(this);
    place();
}

void GrowingLayout::setAnchor(QWidget* control, Anchor anchor) {
    auto it = controls_.find(control);
    if (it == controls_.end()) return;
    it->second.second = anchor;
    place();
}

int GrowingLayout::captionWidth(const QWidget* window) {
    // Title bars use a bold face of about the application font's size; the
    // icon and up to three buttons take about a line height each, twice over
    // for their padding, and the frame a little more.
    QFont bold = QApplication::font();
    bold.setBold(true);
    const QFontMetrics fm(bold);
    return fm.horizontalAdvance(window->windowTitle()) + 9 * fm.height();
}

bool GrowingLayout::eventFilter(QObject* watched, QEvent* event) {
    if (watched == dialog_ && event->type() == QEvent::Resize) place();
    return QObject::eventFilter(watched, event);
}

void GrowingLayout::place() {
    const int dw = std::max(0, dialog_->width() - templateSize_.width());
    const int dh = std::max(0, dialog_->height() - templateSize_.height());
    auto share = [](double part, int growth) {
        return static_cast<int>(std::lround(part * growth));
    };
    for (const auto& [w, placed] : controls_) {
        const auto& [r, a] = placed;
        w->setGeometry(r.x() + share(a.x, dw), r.y() + share(a.y, dh),
                       r.width() + share(a.width, dw), r.height() + share(a.height, dh));
    }
}

}  // namespace vantor
