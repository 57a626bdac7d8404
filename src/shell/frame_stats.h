// Frame statistics derived from the engine clock: the measured frame rate and the per-frame time step
// of every simulation. Written once per presented frame by the frame pipeline, read everywhere.
#pragma once

struct FrameStats {
    double frames_per_second = 60.0;             // measured frame rate
    double frame_seconds = 1.0 / 600.0;          // simulation step: 1 / frames_per_second, capped
    double frame_seconds_uncapped = 1.0 / 60.0;  // 1 / frames_per_second
    double max_frame_seconds = 0.33333;          // cap of frame_seconds: a stall never becomes a leap
    double rendered_fps = 0.0;                   // frames that ran the 3D passes, over 2-second windows
};

extern FrameStats frame_stats;
