#pragma once

#include <QObject>
#include <QRect>
#include <QSize>
#include <map>

class QWidget;

namespace vantor {

// Lets a dialog laid out from its template grow: the template size (after the
// dialog units are applied) becomes its minimum, widened where needed so the
// window manager can show the whole caption, and each control follows the
// growth by the share its anchor gives. A control without an anchor keeps its
// size and moves right by half the growth, so what has nothing to grow stays
// centred.
class GrowingLayout : public QObject {
    Q_OBJECT
public:
    // Shares of the growth: x and y move the control by that part of the
    // added width and height, width and height widen it by that part.
    struct Anchor {
        double x = 0;
        double y = 0;
        double width = 0;
        double height = 0;
    };
    static constexpr Anchor kKeepLeftTop{0, 0, 0, 0};
    static constexpr Anchor kGrow{0, 0, 1, 1};
    static constexpr Anchor kGrowWidth{0, 0, 1, 0};
    static constexpr Anchor kMoveDown{0, 1, 0, 0};
    static constexpr Anchor kMoveDownWiden{0, 1, 1, 0};
    static constexpr Anchor kMoveRightDown{1, 1, 0, 0};

    // Call after applyDialogUnits.
    explicit GrowingLayout(QWidget* dialog);

    void setAnchor(QWidget* control, Anchor anchor);
    QSize templateSize() const { return templateSize_; }

    // The width a window needs for the window manager to show this caption
    // whole, with the icon and the buttons of its title bar.
    static int captionWidth(const QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    QWidget* dialog_;
    QSize templateSize_;
    std::map<QWidget*, std::pair<QRect, Anchor>> controls_;
};

}  // namespace vantor
