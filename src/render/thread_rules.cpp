// The thread-count rules. Starting and joining a thread costs tens of microseconds, so every rule
// keeps small passes on fewer threads than the machine has: the thresholds below are the amounts of
// work under which the extra threads would cost more than they save.
#include "render/thread_rules.h"

#include <algorithm>

#include "core/workers.h"
#include "render/render_config.h"

namespace {

// The update and motion passes spread their objects modulo the thread count; beyond four shares the
// per-object work is too small to gain from more.
constexpr int LIST_WORKER_PASS_MAX = 4;
// Fewer objects and particles than these finish on one thread before a second would have started.
constexpr int UPDATE_SPLIT_MIN_OBJECTS = 1500;
constexpr int64_t UPDATE_SPLIT_MIN_PARTICLES = 1500;
// Below these, two threads already take all there is to gain.
constexpr int UPDATE_WIDE_MIN_OBJECTS = 6000;
constexpr int64_t UPDATE_WIDE_MIN_PARTICLES = 4000;
// The motion pass compares every mover with its neighbours: a few dozen movers are done at once.
constexpr int MOTION_SPLIT_MIN_OBJECTS = 64;
// The transform step's work estimate (about one unit per triangle rebuilt) under which each number of
// threads is the most that still pays: the estimate saturates at 35000.
struct TransformStep {
    int below_estimate;
    int max_threads;
};
constexpr TransformStep TRANSFORM_STEPS[] = {{40000, 8}, {30000, 6}, {20000, 4}};
constexpr int TRANSFORM_SINGLE_BELOW = 7000;  // one thread below this estimate
constexpr int TRANSFORM_PAIR_BELOW = 10000;   // two threads from 7000 up to this estimate
// Rows of a slice below which one more slice than processors no longer evens out the slices' loads.
constexpr int RASTER_EXTRA_SLICE_ROWS = 500;
constexpr int RASTER_SECOND_EXTRA_SLICE_ROWS = 1500;
// Frames from this many pixels double their bottom half on a second thread.
constexpr int64_t DOUBLING_SPLIT_MIN_PIXELS = 500001;

}  // namespace

int apply_thread_cap(int t) {
    const int cap = render_config.thread_cap;
    if (cap > 0 && t > cap) t = cap;
    return t < 1 ? 1 : t;
}

int update_thread_count(int cpu_count, int list_count, int64_t particle_total) {
    if (list_count < 1) return 0;
    if (list_count < 2) return 1;
    int t = apply_thread_cap(std::min(cpu_count, LIST_WORKER_PASS_MAX));
    if (t < 2 || (particle_total < UPDATE_SPLIT_MIN_PARTICLES && list_count < UPDATE_SPLIT_MIN_OBJECTS))
        return 1;
    if (t != 2 && list_count < UPDATE_WIDE_MIN_OBJECTS && particle_total < UPDATE_WIDE_MIN_PARTICLES) t = 2;
    return t;
}

int motion_thread_count(int cpu_count, int list_count) {
    if (list_count > MOTION_SPLIT_MIN_OBJECTS && cpu_count >= 2)
        return apply_thread_cap(std::min(cpu_count, LIST_WORKER_PASS_MAX));
    return 1;
}

int transform_thread_count(int cpu_count, int estimate) {
    const int mode = render_config.transform_thread_mode;
    int t = cpu_count < 1 ? 1 : cpu_count;
    if (mode == 0) {
        t = std::min(t, LIST_WORKER_PASS_MAX);
    } else if (cpu_count >= 3) {
        // The scenes that ask for more transform threads than processors have many parts whose
        // workers wait on memory; on two processors the extra threads would only compete.
        t = mode == 2 ? t * 2 : mode == 3 ? t * 3 : t + 2;
        t = std::min(t, WORKER_PASS_MAX);
    }
    t = apply_thread_cap(t);
    for (const TransformStep& s : TRANSFORM_STEPS)
        if (estimate < s.below_estimate) t = std::min(t, s.max_threads);
    if (estimate < TRANSFORM_PAIR_BELOW) t = std::min(t, estimate >= TRANSFORM_SINGLE_BELOW ? 2 : 1);
    return t;
}

int raster_thread_count(int cpu_count, int rendered_height) {
    if (cpu_count <= 1) return 1;
    const RenderConfig& rc = render_config;
    int cpus = cpu_count;
    // Three processors rasterise as four slices: one slice per processor leaves the busiest one alone
    // at the end of the frame, while the fourth slice evens the load out.
    if (cpus == 3 && rc.raster_thread_boost && (rc.thread_cap == 0 || rc.thread_cap >= 4)) cpus = 4;
    int t = cpus;
    if (rc.raster_thread_boost && cpus >= 4) {
        if (rc.raster_split_mode == 2) {
            t = cpus * 2;  // interleaved triangles: shares are uneven, more of them balance better
        } else if (rc.raster_split_mode == 1) {
            t = cpus * 4;  // whole parts: the largest part sets the pass's length unless parts are many
        } else if (rc.raster_split_mode == 0) {
            if (rendered_height > RASTER_EXTRA_SLICE_ROWS) ++t;
            if (rendered_height > RASTER_SECOND_EXTRA_SLICE_ROWS && cpus > 8) ++t;
        }
    }
    t = std::min(t, WORKER_PASS_MAX);
    return apply_thread_cap(t);
}

int bounds_thread_count(int cpu_count) {
    // The bounds pass only reads boxes: with two processors the second is busier presenting.
    return cpu_count >= 3 ? std::min(cpu_count, WORKER_PASS_MAX) : 1;
}

int lighting_thread_count(int cpu_count) {
    return apply_thread_cap(std::min(cpu_count, LIST_WORKER_PASS_MAX));
}

int dirty_list_split(int cpu_count) {
    // With two processors the pipeline thread scans alone: the helpers' starts would eat what splitting
    // a scan this short could save.
    return cpu_count >= 3 ? 4 : 0;
}

int doubling_thread_count(int cpu_count, int64_t pixels) {
    return cpu_count >= 2 && pixels >= DOUBLING_SPLIT_MIN_PIXELS ? 2 : 1;
}
