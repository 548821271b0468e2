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

// How long the disk holds pictures of `pictureBytes` taken every `intervalSeconds` with
// `freeBytes` free, up to the reserve above: "about 3 days", "about 5 hours", "less than an
// hour", "more than a year"; "unknown" when the free space (-1) or the picture's size (0 or less)
// is not known, "never (no timed pictures)" for an interval of 0 or less.
QString diskFullText(std::int64_t freeBytes, std::int64_t pictureBytes,
                     std::int64_t intervalSeconds);

} // namespace window
