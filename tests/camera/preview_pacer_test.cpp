#include "camera/preview_pacer.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using camera::PreviewPacer;
using Clock = PreviewPacer::Clock;

// The arrival times of the frames the pacer lets through, out of `count` frames a camera sends
// every `period`, each off its beat by up to `jitter` (a fixed, repeatable wobble).
std::vector<Clock::time_point> shown(PreviewPacer& pacer, Clock::time_point start, int count,
                                     std::chrono::microseconds period,
                                     std::chrono::microseconds jitter = 0us) {
    static constexpr int wobble[] = {0, 3, -5, 4, -2, 5, -4, 1, -3, 2}; // tenths of `jitter`
    std::vector<Clock::time_point> times;
    for (int i = 0; i < count; ++i) {
        const Clock::time_point at = start + i * period + jitter * wobble[i % 10] / 5;
        if (pacer.admit(at)) times.push_back(at);
    }
    return times;
}

std::chrono::microseconds shortestGap(const std::vector<Clock::time_point>& times) {
    auto gap = std::chrono::microseconds::max();
    for (size_t i = 1; i < times.size(); ++i)
        gap = std::min(
            gap, std::chrono::duration_cast<std::chrono::microseconds>(times[i] - times[i - 1]));
    return gap;
}

const Clock::time_point t0 = Clock::time_point() + 1h;
constexpr std::chrono::microseconds frame30 = 33333us; // 30 frames a second

TEST(PreviewPacerTest, OffShowsNothingAndNoIntervalShowsEveryFrame) {
    PreviewPacer pacer;
    pacer.setInterval(0ms);
    EXPECT_TRUE(shown(pacer, t0, 30, frame30).empty()); // off until switched on

    pacer.setOn(true);
    EXPECT_EQ(shown(pacer, t0, 30, frame30).size(), 30u);
    pacer.setInterval(-5ms);
    EXPECT_EQ(shown(pacer, t0 + 1s, 30, 1ms).size(), 30u);

    pacer.setInterval(200ms);
    pacer.setOn(false);
    EXPECT_TRUE(shown(pacer, t0 + 2s, 30, frame30).empty());
}

TEST(PreviewPacerTest, ACameraWobblingAroundTheIntervalHasEveryFrameShown) {
    // Framerate=33 with a 30 fps camera: frames 33.3 ms apart, give or take 5 ms.
    PreviewPacer pacer;
    pacer.setOn(true);
    pacer.setInterval(33ms);
    EXPECT_EQ(shown(pacer, t0, 300, frame30, 5000us).size(), 300u);

    // An interval a little longer than the camera's: thinned to it over time, not halved.
    pacer.restart();
    pacer.setInterval(34ms);
    const auto times = shown(pacer, t0 + 1min, 300, frame30, 5000us); // 10 s
    EXPECT_LE(times.size(), 10000u / 34 + 1);
    EXPECT_GE(times.size(), 280u);
}

TEST(PreviewPacerTest, AFasterCameraIsThinnedToTheIntervalWithoutBursts) {
    PreviewPacer pacer;
    pacer.setOn(true);
    pacer.setInterval(200ms);
    auto times = shown(pacer, t0, 180, frame30, 3000us); // 6 s
    EXPECT_GE(times.size(), 29u);
    EXPECT_LE(times.size(), 31u);
    EXPECT_GE(shortestGap(times), 100ms);

    // After a pause the grid is far behind; that earns no run of frames in a row.
    times = shown(pacer, t0 + 10s, 30, frame30);
    EXPECT_LE(times.size(), 6u);
    EXPECT_GE(shortestGap(times), 100ms);
}

TEST(PreviewPacerTest, ARestartedStreamShowsItsFirstFrameAtOnce) {
    PreviewPacer pacer;
    pacer.setOn(true);
    pacer.setInterval(1000ms);
    EXPECT_TRUE(pacer.admit(t0));
    EXPECT_FALSE(pacer.admit(t0 + 100ms));
    pacer.restart();
    EXPECT_TRUE(pacer.admit(t0 + 150ms));
    // Then one a second on average, none within half a second.
    EXPECT_FALSE(pacer.admit(t0 + 600ms));
    EXPECT_TRUE(pacer.admit(t0 + 700ms));
    EXPECT_FALSE(pacer.admit(t0 + 1600ms));
    EXPECT_TRUE(pacer.admit(t0 + 1700ms));
}

} // namespace
