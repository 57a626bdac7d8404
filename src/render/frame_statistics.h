// The frame statistics clock: two windows over engine_time that measure the frame rate (short window)
// and the rate of rendered frames (long window), and derive the simulation step from them. Main
// thread, once per presented frame.
#pragma once

struct FrameStatsWindow {
    int phase = 0;          // 0 before the first frame; then counts closed windows (short: up to 3)
    int count = 0;          // frames in the open window
    long double start = 0;  // engine_time at the window's start
};

struct FrameStatsClock {
    FrameStatsWindow short_window;  // 0.2 s windows: frames_per_second and the step
    FrameStatsWindow long_window;   // 2 s windows (the first 0.1 s): rendered_fps
    int fps_smoothing = 0;          // a sudden drop is halved instead of taken at once
};

extern FrameStatsClock frame_stats_clock;

void frame_statistics_update();
// Longest simulation step: 1 / n seconds (n below 1 is ignored).
void frame_statistics_set_min_rate(int n);
void frame_statistics_set_smoothing(int flag);
// Both windows and the statistics back to their start values (tests).
void frame_statistics_reset();
