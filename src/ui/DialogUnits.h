#pragma once

#include <QFont>
#include <QSize>

class QWidget;

namespace vantor {

// Dialog templates give sizes and positions in dialog units: a quarter of the
// dialog font's average character width across, an eighth of its height down.
struct DialogBaseUnits {
    int x = 0;
    int y = 0;
};

DialogBaseUnits dialogBaseUnits(const QFont& font);

// Converts the geometry of a dialog built from a template in dialog units (the
// dialog's own size is its client area) to pixels for the dialog's font. A
// control whose text would not fit is widened, and the dialog with it, so no
// text is ever clipped.
void applyDialogUnits(QWidget* dialog);

// Whether a control's text is wider or taller than the control shows.
bool textIsClipped(const QWidget* control);

}  // namespace vantor
