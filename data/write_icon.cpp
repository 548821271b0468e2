// Build step: writes the program's icon as a PNG for the desktop entry, from the same drawing
// the window uses.
#include "window/app_icon.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s icon.png\n", argv[0]);
        return 2;
    }
    return window::drawAppIcon(32).save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
