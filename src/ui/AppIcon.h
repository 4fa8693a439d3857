#pragma once

#include <QIcon>

namespace vantor {

// The program's icon: a glider on a blue sky, drawn at every size asked for.
QIcon appIcon();

}  // namespace vantor
