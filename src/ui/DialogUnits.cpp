#include "ui/DialogUnits.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace vantor {

namespace {

// Dialog units to pixels, rounded as the Windows dialog manager's MulDiv does.
int toPixels(int units, int base, int divisor) {
    return (units * base + divisor / 2) / divisor;
}

QString shownText(const QWidget* w) {
    if (const auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text();
    if (const auto* l = qobject_cast<const QLabel*>(w)) return l->text();
    if (const auto* g = qobject_cast<const QGroupBox*>(w)) return g->title();
    return {};
}

// The text as shown: "&&" is one ampersand, a single "&" marks the mnemonic.
QString withoutMnemonics(QString text) {
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

// The room a control needs to show all of its text.
QSize neededSize(const QWidget* w) {
    const QFontMetrics fm(w->font());
    if (const auto* g = qobject_cast<const QGroupBox*>(w)) {
        // A frame needs its title; what it holds is placed by the template.
        return {fm.horizontalAdvance(g->title()) + 2 * fm.averageCharWidth(), fm.height()};
    }
    if (const auto* l = qobject_cast<const QLabel*>(w)) {
        const QRect r =
            fm.boundingRect(QRect(0, 0, 100000, 100000),
                            static_cast<int>(l->alignment()) | Qt::TextShowMnemonic, l->text());
        return {r.width() + 2 * l->margin(), r.height() + 2 * l->margin()};
    }
    if (qobject_cast<const QPushButton*>(w)) {
        const int margin = w->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, w) +
                           w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, w);
        return {fm.horizontalAdvance(withoutMnemonics(shownText(w))) + 2 * margin, fm.height()};
    }
    // Radio buttons and check boxes: indicator, spacing and text.
    return {w->sizeHint().width(), fm.height()};
}

}  // namespace

DialogBaseUnits dialogBaseUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const int width = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(width / 26 + 1) / 2, fm.height()};
}

void applyDialogUnits(QWidget* dialog) {
    const DialogBaseUnits base = dialogBaseUnits(dialog->font());
    auto convert = [&](const QRect& r) {
        const int left = toPixels(r.x(), base.x, 4);
        const int top = toPixels(r.y(), base.y, 8);
        return QRect(left, top, toPixels(r.x() + r.width(), base.x, 4) - left,
                     toPixels(r.y() + r.height(), base.y, 8) - top);
    };
    QSize client(toPixels(dialog->width(), base.x, 4), toPixels(dialog->height(), base.y, 8));
    const int margin = toPixels(4, base.x, 4);
    // Templates place every control directly on the dialog; the insides of
    // compound controls are theirs to lay out.
    for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        QRect r = convert(child->geometry());
        if (!shownText(child).isEmpty()) {
            const QSize need = neededSize(child);
            if (need.width() > r.width()) r.setWidth(need.width());
            if (need.height() > r.height() && !qobject_cast<QGroupBox*>(child)) {
                r.setHeight(need.height());
            }
        }
        child->setGeometry(r);
    }
    // Children are placed relative to their parent; only the dialog's own
    // children decide its size.
    for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isHidden() && !child->testAttribute(Qt::WA_WState_ExplicitShowHide)) continue;
        client = client.expandedTo(
            QSize(child->geometry().right() + 1 + margin, child->geometry().bottom() + 1));
    }
    dialog->setFixedSize(client);
}

bool textIsClipped(const QWidget* control) {
    if (shownText(control).isEmpty()) return false;
    const QSize need = neededSize(control);
    return need.width() > control->width() || need.height() > control->height();
}

}  // namespace vantor
