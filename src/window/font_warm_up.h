#pragma once

namespace window {

// Loads the system's font configuration and font cache, the first and slowest step of Qt's first
// use of a font. Meant for a thread of its own at start-up, while Qt connects to the display.
void warmUpFonts();

} // namespace window
