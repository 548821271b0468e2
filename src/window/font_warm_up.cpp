#include "window/font_warm_up.h"

#include <fontconfig/fontconfig.h>

namespace window {

// Fontconfig initialises once per process, safely from any thread; Qt then finds it ready.
void warmUpFonts() {
    FcInit();
}

} // namespace window
