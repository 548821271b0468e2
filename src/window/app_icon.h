#pragma once

#include <QIcon>

namespace window {

// The program's icon, drawn in code at 16 x 16 and 32 x 32: a small camera with a clock face
// as its lens.
QIcon appIcon();

} // namespace window
