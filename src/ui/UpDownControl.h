#pragma once

#include <QWidget>

class QToolButton;

namespace vantor {

// A pair of arrows with no buddy: it only reports steps, as the up-down
// control's position-change notification does. The upper arrow (and the Up
// key) reports a delta of -1, the lower one (and the Down key) +1; the owner
// decides what a step does.
class UpDownControl : public QWidget {
    Q_OBJECT
public:
    explicit UpDownControl(QWidget* parent = nullptr);
    QSize sizeHint() const override;

    QToolButton* upArrow() const { return up_; }
    QToolButton* downArrow() const { return down_; }

signals:
    void deltaPos(int delta);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* up_;
    QToolButton* down_;
};

}  // namespace vantor
