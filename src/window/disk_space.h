#pragma once

#include <QSize>
#include <QString>
#include <cstdint>
#include <functional>

namespace window {

// Bytes free for a new file at `path`; the path need not exist yet (its nearest existing parent
// is asked). -1 when unknown.
std::int64_t freeBytesAt(const QString& path);

// How the window learns the free space: freeBytesAt() in the program, simulated in tests.
using FreeSpace = std::function<std::int64_t(const QString& path)>;

// A run stops while there is still room for this many pictures, so that the disk never fills
// and what is saved stays whole.
inline constexpr int ReservePictures = 10;

} // namespace window
