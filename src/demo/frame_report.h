// The frame-time report, the program's one diagnostic: when VELMORINE_FRAME_REPORT names a file, every
// frame's time is kept through the timeline's hooks and each pass appends its table to that file. Main
// thread. Without the variable nothing is installed and nothing is measured.
#pragma once

#include "demo/scene_cycle.h"

// Frames a pass keeps times for; past it they are still counted but not summarised. Room for 600 frames
// a second over a pass of about 218 s, in 512 KiB allocated once at start.
constexpr int FRAME_REPORT_CAPACITY = 1 << 17;

// Nearest-rank statistics of a scene's frame times (the median of an even count is the lower middle).
struct FrameTimeSummary {
    int frames = 0;  // times summarised
    float median_ms = 0;
    float p95_ms = 0;
    float p99_ms = 0;
    float max_ms = 0;
};

// Sorts ms[0..count) in place; all zero for an empty range.
FrameTimeSummary frame_times_summarise(float* ms, int count);

struct FrameReport {
    int enabled = 0;
    char path[1024] = {};              // the report file; longer names turn the report off
    float* times_ms = nullptr;         // FRAME_REPORT_CAPACITY frame times of the pass, scene after scene
    int used = 0;                      // times stored this pass
    int pass = 0;                      // passes finished
    int current = 0;                   // position of the running scene, 0 between scenes
    int awaiting_setup = 0;            // 1 until the running scene's first frame is shown
    int pass_has_frame = 0;            // a frame was shown this pass: the set-up frame runs from it
    double last_seconds = 0;           // monotonic time of the last shown frame (or the pass's start)
    int first[SCENE_COUNT] = {};       // index of each scene's first stored time
    int frames[SCENE_COUNT] = {};      // frames after the set-up frame, stored or not
    float setup_ms[SCENE_COUNT] = {};  // the set-up frame; -1 when the scene did not play
    int width[SCENE_COUNT] = {};       // frame buffer size at the scene's end
    int height[SCENE_COUNT] = {};
};

extern FrameReport frame_report;

// Reads VELMORINE_FRAME_REPORT; when it names a file that opens, empties it, allocates the buffer once
// and takes the timeline's scene hooks. Otherwise leaves everything as it is.
void frame_report_start();
// Appends the finished pass's table and starts the next; the hooks call it after the pass's last scene.
void frame_report_write_pass();
// Frees the buffer, gives the hooks back and forgets everything (tests).
void frame_report_reset();
