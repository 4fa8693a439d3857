#pragma once

#include <QIcon>
#include <QPixmap>

namespace vantor {

// The program's icon: a glider on a blue sky, drawn at every size asked for.
QIcon appIcon();
// The icon at one size, as the installed theme icons are drawn.
QPixmap appIconPixmap(int size);

}  // namespace vantor
