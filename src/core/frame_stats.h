// Frame statistics derived from the engine clock: the measured frame rate and the per-frame time step
// of every simulation, and the two measuring windows that produce them. Written once per presented
// frame on the main thread (frame_statistics_update), read everywhere.
#pragma once

struct FrameStats {
    double frames_per_second = 60.0;             // measured frame rate
    double frame_seconds = 1.0 / 600.0;          // simulation step: 1 / frames_per_second, capped
    double frame_seconds_uncapped = 1.0 / 60.0;  // 1 / frames_per_second
    double max_frame_seconds = 0.33333;          // cap of frame_seconds: a stall never becomes a leap
    double rendered_fps = 0.0;                   // frames that ran the 3D passes, over 2-second windows
};

extern FrameStats frame_stats;

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
