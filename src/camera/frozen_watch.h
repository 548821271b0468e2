#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace camera {

// A cheap fingerprint of a frame's bytes: every byte of a few dozen rows spread over the
// picture, and the size. A real sensor's noise reaches every row, so two frames of a working
// camera practically never share it; a driver that hands out the same buffer again always does.
std::uint64_t frameFingerprint(const std::uint8_t* data, std::size_t size, std::size_t rowBytes);

// Tells a camera that keeps delivering the same picture from one that works, from the
// fingerprints of its frames. A stretch of identical frames `after` long is a frozen camera,
// once; the process that notices it is replaced. If the frames of the new process are the very
// picture the old one froze on, it is the scene that stands still (a black night, a lens cap),
// not the camera: that is said once, and nothing is reported again until a frame differs.
class FrozenWatch {
public:
    using Clock = std::chrono::steady_clock;
    enum class Verdict { Fine, Frozen, StillScene };

    // `after` zero or less: never frozen. `frozeOn`: the fingerprint the process before this
    // one was found frozen on.
    FrozenWatch(std::chrono::seconds after = std::chrono::seconds(0),
                std::optional<std::uint64_t> frozeOn = std::nullopt);

    bool enabled() const { return after_.count() > 0; }
    // Whether a frame arriving at `now` is worth a fingerprint: a few a second are enough.
    bool wants(Clock::time_point now) const;
    Verdict see(std::uint64_t fingerprint, Clock::time_point now);
    std::uint64_t fingerprint() const { return last_; }

private:
    std::chrono::seconds after_;
    std::optional<std::uint64_t> frozeOn_;
    bool seen_ = false;
    std::uint64_t last_ = 0;
    Clock::time_point sameSince_{};
    Clock::time_point lastLook_{};
    bool told_ = false; // this stretch of identical frames was reported
};

} // namespace camera
