#include "ui/UpDownControl.h"

#include <QKeyEvent>
#include <QToolButton>

namespace vantor {

UpDownControl::UpDownControl(QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
    setFocusPolicy(Qt::StrongFocus);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
    }
    connect(up_, &QToolButton::clicked, this, [this] { emit deltaPos(-1); });
    connect(down_, &QToolButton::clicked, this, [this] { emit deltaPos(1); });
}

QSize UpDownControl::sizeHint() const {
    return {16, 24};
}

void UpDownControl::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up) {
        emit deltaPos(-1);
    } else if (event->key() == Qt::Key_Down) {
        emit deltaPos(1);
    } else {
        QWidget::keyPressEvent(event);
    }
}

void UpDownControl::resizeEvent(QResizeEvent*) {
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
}

}  // namespace vantor
