#include "camera/frozen_watch.h"

#include <cstring>

namespace camera {

namespace {

constexpr std::size_t RowsLooked = 48;
constexpr auto LookEvery = std::chrono::milliseconds(250);

std::uint64_t mix(std::uint64_t hash, std::uint64_t word) {
    hash ^= word;
    hash *= 0x100000001b3ull;
    return hash ^ (hash >> 29);
}

} // namespace

std::uint64_t frameFingerprint(const std::uint8_t* data, std::size_t size, std::size_t rowBytes) {
    std::uint64_t hash = mix(0xcbf29ce484222325ull, size);
    if (data == nullptr || size == 0) return hash;
    if (rowBytes == 0 || rowBytes > size) rowBytes = size;
    const std::size_t rows = size / rowBytes;
    const std::size_t step = rows > RowsLooked ? rows / RowsLooked : 1;
    for (std::size_t row = 0; row < rows; row += step) {
        const std::uint8_t* p = data + row * rowBytes;
        std::size_t i = 0;
        for (; i + 8 <= rowBytes; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, p + i, 8);
            hash = mix(hash, word);
        }
        for (; i < rowBytes; ++i)
            hash = mix(hash, p[i]);
    }
    return hash;
}

FrozenWatch::FrozenWatch(std::chrono::seconds after, std::optional<std::uint64_t> frozeOn)
    : after_(after), frozeOn_(frozeOn) {}

bool FrozenWatch::wants(Clock::time_point now) const {
    return enabled() && (!seen_ || now - lastLook_ >= LookEvery);
}

FrozenWatch::Verdict FrozenWatch::see(std::uint64_t fingerprint, Clock::time_point now) {
    if (!enabled()) return Verdict::Fine;
    lastLook_ = now;
    if (!seen_ || fingerprint != last_) {
        seen_ = true;
        last_ = fingerprint;
        sameSince_ = now;
        told_ = false;
        // The picture the last process froze on, from this one too: the scene stands still.
        if (frozeOn_ && fingerprint == *frozeOn_) {
            told_ = true;
            return Verdict::StillScene;
        }
        return Verdict::Fine;
    }
    if (told_ || now - sameSince_ < after_) return Verdict::Fine;
    told_ = true;
    return Verdict::Frozen;
}

} // namespace camera
