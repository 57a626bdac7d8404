// The frame-time report: the hooks time each frame from the previous shown one on the monotonic clock
// (a frame is what the viewer waits for, set-up and clean-up included), into a buffer allocated once,
// and the pass's end sorts each scene's times in place and appends one line per scene. It is written
// at the end of each pass, between the last scene and the next music start, rather than at quit: the
// quit paths end the process from inside a frame (keys, close, signals), and a pass end is a quiet
// point whose own cost falls in no measured frame. Main thread.
#include "demo/frame_report.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "demo/scene_skeleton.h"
#include "display/framebuffer.h"

FrameReport frame_report;

namespace {

double monotonic_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The rank-th smallest, 1-based, of n sorted times, with rank = ceil(percent * n / 100).
float nearest_rank(const float* sorted, int n, int percent) {
    // percent <= 100 and n <= FRAME_REPORT_CAPACITY: the product stays far inside int.
    int rank = (percent * n + 99) / 100;
    if (rank < 1) rank = 1;
    return sorted[rank - 1];
}

void clear_pass() {
    FrameReport& r = frame_report;
    r.used = 0;
    r.current = 0;
    r.awaiting_setup = 0;
    r.pass_has_frame = 0;
    for (int i = 0; i < SCENE_COUNT; ++i) {
        r.first[i] = 0;
        r.frames[i] = 0;
        r.setup_ms[i] = -1;
        r.width[i] = 0;
        r.height[i] = 0;
    }
}

void on_scene_started(int position) {
    FrameReport& r = frame_report;
    if (position < 1 || position > SCENE_COUNT) return;
    r.current = position;
    r.awaiting_setup = 1;
    r.first[position - 1] = r.used;
    r.frames[position - 1] = 0;
    if (!r.pass_has_frame) r.last_seconds = monotonic_seconds();
}

void on_frame_done() {
    FrameReport& r = frame_report;
    if (r.current == 0) return;
    const double now = monotonic_seconds();
    const float ms = static_cast<float>((now - r.last_seconds) * 1000.0);
    r.last_seconds = now;
    r.pass_has_frame = 1;
    const int i = r.current - 1;
    if (r.awaiting_setup) {
        r.setup_ms[i] = ms;
        r.awaiting_setup = 0;
        return;
    }
    // Counted even past the buffer, so the report shows how many went unsummarised.
    ++r.frames[i];
    if (r.used < FRAME_REPORT_CAPACITY) r.times_ms[r.used++] = ms;
}

void on_scene_ended(int position) {
    FrameReport& r = frame_report;
    if (position >= 1 && position <= SCENE_COUNT) {
        r.width[position - 1] = frame_buffer.fb_width;
        r.height[position - 1] = frame_buffer.fb_height;
    }
    r.current = 0;
    if (position >= scene_hooks.last || position >= SCENE_COUNT) frame_report_write_pass();
}

}  // namespace

FrameTimeSummary frame_times_summarise(float* ms, int count) {
    FrameTimeSummary s;
    if (ms == nullptr || count <= 0) return s;
    std::sort(ms, ms + count);
    s.frames = count;
    s.median_ms = nearest_rank(ms, count, 50);
    s.p95_ms = nearest_rank(ms, count, 95);
    s.p99_ms = nearest_rank(ms, count, 99);
    s.max_ms = ms[count - 1];
    return s;
}

void frame_report_start() {
    FrameReport& r = frame_report;
    const char* path = std::getenv("VELMORINE_FRAME_REPORT");
    if (r.enabled || path == nullptr || path[0] == '\0' || std::strlen(path) >= sizeof r.path) return;
    std::FILE* f = std::fopen(path, "w");
    if (f == nullptr) return;
    std::fprintf(f,
                 "# Velmorine frame times, one table a pass. Columns: scene position, set-up frame ms "
                 "(-1: not played), frames after it, median, p95, p99, max ms, frame buffer width, "
                 "height, name\n");
    std::fclose(f);
    r.times_ms = new (std::nothrow) float[FRAME_REPORT_CAPACITY];
    if (r.times_ms == nullptr) return;
    std::memcpy(r.path, path, std::strlen(path) + 1);
    r.enabled = 1;
    r.pass = 0;
    clear_pass();
    scene_hooks.scene_started = on_scene_started;
    scene_hooks.frame_done = on_frame_done;
    scene_hooks.scene_ended = on_scene_ended;
}

void frame_report_write_pass() {
    FrameReport& r = frame_report;
    if (!r.enabled) return;
    ++r.pass;
    std::FILE* f = std::fopen(r.path, "a");
    if (f != nullptr) {
        std::fprintf(f, "pass %d\n", r.pass);
        for (int i = 0; i < SCENE_COUNT; ++i) {
            if (r.setup_ms[i] < 0) continue;
            // A scene's times are stored from its first index on, until the buffer is full.
            const int stored = std::min(r.frames[i], FRAME_REPORT_CAPACITY - r.first[i]);
            const FrameTimeSummary s = frame_times_summarise(r.times_ms + r.first[i], stored);
            std::fprintf(f, "%2d %9.2f %6d %8.2f %8.2f %8.2f %8.2f %5d %5d  %s\n", i + 1,
                         static_cast<double>(r.setup_ms[i]), r.frames[i], static_cast<double>(s.median_ms),
                         static_cast<double>(s.p95_ms), static_cast<double>(s.p99_ms),
                         static_cast<double>(s.max_ms), r.width[i], r.height[i], scene_list[i].name);
        }
        std::fclose(f);
    }
    clear_pass();
}

void frame_report_reset() {
    FrameReport& r = frame_report;
    if (r.enabled) {
        scene_hooks.scene_started = nullptr;
        scene_hooks.frame_done = nullptr;
        scene_hooks.scene_ended = nullptr;
    }
    delete[] r.times_ms;
    r = FrameReport{};
}
