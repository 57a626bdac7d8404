// The frame statistics clock. Main thread only; the values it writes are read by every simulation.
#include "core/frame_stats.h"

#include <cmath>

#include "core/clock.h"

FrameStats frame_stats;
FrameStatsClock frame_stats_clock;

namespace {

constexpr long double SHORT_WINDOW_SECONDS = 0.2L;
constexpr long double LONG_WINDOW_SECONDS = 2.0L;
// The first long window closes early so that a rate is known almost from the start.
constexpr long double FIRST_LONG_WINDOW_SECONDS = 0.1L;
// The step follows the measured rate only once two short windows have closed: the first frames of a
// run are dominated by start-up work.
constexpr int SHORT_PHASE_MEASURED = 3;

void short_window_step(long double now) {
    FrameStatsWindow& w = frame_stats_clock.short_window;
    FrameStats& fs = frame_stats;
    if (w.phase == 0) {
        w.start = now;
        w.phase = 1;
        w.count = 1;
        return;
    }
    ++w.count;
    const long double dt = now - w.start;
    if (std::fabs(dt) > SHORT_WINDOW_SECONDS) {
        const float measured = static_cast<float>(w.count / dt);
        const double old = fs.frames_per_second;
        if (frame_stats_clock.fps_smoothing && old > 2.0 * measured) {
            fs.frames_per_second = (old + measured) * 0.5;
        } else {
            fs.frames_per_second = measured;
        }
        w.count = 0;
        w.start = now;
        w.phase = w.phase + 1 < SHORT_PHASE_MEASURED ? w.phase + 1 : SHORT_PHASE_MEASURED;
    }
    if (w.phase == SHORT_PHASE_MEASURED) {
        fs.frame_seconds_uncapped = fs.frames_per_second > 0.0001 ? 1.0 / fs.frames_per_second : 10000.0;
        fs.frame_seconds = fs.frame_seconds_uncapped < fs.max_frame_seconds ? fs.frame_seconds_uncapped
                                                                            : fs.max_frame_seconds;
    }
}

void long_window_step(long double now) {
    FrameStatsWindow& w = frame_stats_clock.long_window;
    if (w.phase == 0) {
        w.start = now;
        w.phase = 1;
        w.count = 1;
        return;
    }
    ++w.count;
    const long double dt = now - w.start;
    const long double elapsed = std::fabs(dt);
    if (elapsed > LONG_WINDOW_SECONDS || (w.phase == 1 && elapsed > FIRST_LONG_WINDOW_SECONDS)) {
        frame_stats.rendered_fps = static_cast<float>(w.count / dt);
        w.count = 0;
        w.start = now;
        w.phase = 2;
    }
}

}  // namespace

void frame_statistics_update() {
    const long double now = engine_time();
    short_window_step(now);
    long_window_step(now);
}

void frame_statistics_set_min_rate(int n) {
    // A rate of 0 would make the cap infinite and a negative one would stop every simulation.
    if (n < 1) return;
    frame_stats.max_frame_seconds = 1.0 / n;
}

void frame_statistics_set_smoothing(int flag) {
    frame_stats_clock.fps_smoothing = flag;
}

void frame_statistics_reset() {
    frame_stats_clock = FrameStatsClock{};
    frame_stats = FrameStats{};
}
