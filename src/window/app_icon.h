#pragma once

#include <QIcon>
#include <QImage>

namespace window {

// The program's icon, drawn in code at 16 x 16 and 32 x 32: a small camera with a clock face
// as its lens.
QIcon appIcon();

// One size of it, also written to a file for the desktop entry at build time.
QImage drawAppIcon(int size);

} // namespace window
