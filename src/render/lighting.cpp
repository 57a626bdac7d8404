// The scene-bounds pass and the end-of-frame bookkeeping of the lights. The pipeline thread calls the
// passes in order; workers write only their own share (a bounds line of their own).
#include "render/lighting.h"

#include <climits>
#include <cmath>

#include "render/motion.h"
#include "render/workers.h"
#include "scene/object.h"
#include "shell/frame_stats.h"

LightState light_state;

namespace {

// One line per share so that the workers of the bounds pass never write the same cache line.
struct alignas(64) BoundsShare {
    Vec3i lo, hi;
    int any;
};
BoundsShare bounds_share[WORKER_PASS_MAX];

}  // namespace

int lighting_period() {
    const double n = std::round(frame_stats.rendered_fps / 6.0);
    return n > 4.0 && n < 1e9 ? static_cast<int>(n) : 4;
}

void scene_bounds_pass(int thread_index, int thread_count) {
    if (thread_count < 1 || thread_index < 0 || thread_index >= thread_count ||
        thread_index >= WORKER_PASS_MAX)
        return;
    const ObjectTable& t = obj_table;
    BoundsShare s{{INT_MAX, INT_MAX, INT_MAX}, {INT_MIN, INT_MIN, INT_MIN}, 0};
    for (ObjectId id = thread_index; id < t.object_capacity; id += thread_count) {
        if (!t.enabled[id] || !t.has_geometry[id]) continue;
        const PartArrays& pa = t.parts[static_cast<size_t>(id)];
        const int n = t.part_count[id] < t.part_capacity[id] ? t.part_count[id] : t.part_capacity[id];
        for (int p = 0; p < n; ++p) {
            if (!pa.visible[static_cast<size_t>(p)]) continue;
            const Vec3i lo = pa.world_min_i[static_cast<size_t>(p)],
                        hi = pa.world_max_i[static_cast<size_t>(p)];
            s.lo.x = lo.x < s.lo.x ? lo.x : s.lo.x;
            s.lo.y = lo.y < s.lo.y ? lo.y : s.lo.y;
            s.lo.z = lo.z < s.lo.z ? lo.z : s.lo.z;
            s.hi.x = hi.x > s.hi.x ? hi.x : s.hi.x;
            s.hi.y = hi.y > s.hi.y ? hi.y : s.hi.y;
            s.hi.z = hi.z > s.hi.z ? hi.z : s.hi.z;
            s.any = 1;
        }
    }
    bounds_share[thread_index] = s;
}

void scene_bounds_finish(int thread_count) {
    if (thread_count > WORKER_PASS_MAX) thread_count = WORKER_PASS_MAX;
    LightState& ls = light_state;
    int any = 0;
    Vec3i lo{INT_MAX, INT_MAX, INT_MAX}, hi{INT_MIN, INT_MIN, INT_MIN};
    for (int i = 0; i < thread_count; ++i) {
        const BoundsShare& s = bounds_share[i];
        if (!s.any) continue;
        any = 1;
        lo.x = s.lo.x < lo.x ? s.lo.x : lo.x;
        lo.y = s.lo.y < lo.y ? s.lo.y : lo.y;
        lo.z = s.lo.z < lo.z ? s.lo.z : lo.z;
        hi.x = s.hi.x > hi.x ? s.hi.x : hi.x;
        hi.y = s.hi.y > hi.y ? s.hi.y : hi.y;
        hi.z = s.hi.z > hi.z ? s.hi.z : hi.z;
    }
    ls.scene_bounds_valid = any;
    if (any) {
        ls.scene_min = lo;
        ls.scene_max = hi;
    }
}

void scene_bounds_check(const int* objects, const int* parts, int count) {
    LightState& ls = light_state;
    const ObjectTable& t = obj_table;
    // The bounds only grow here: a scene that shrinks keeps a coarser grid that still covers it until the
    // pass runs for another reason.
    for (int i = 0; i < count && !ls.bounds_pending; ++i) {
        const ObjectId id = objects[i];
        const int part = parts[i];
        if (!obj_valid(id) || !t.enabled[id] || !t.has_geometry[id]) continue;
        const int n = t.part_count[id] < t.part_capacity[id] ? t.part_count[id] : t.part_capacity[id];
        if (part < 0 || part >= n) continue;
        const PartArrays& pa = t.parts[static_cast<size_t>(id)];
        const size_t p = static_cast<size_t>(part);
        if (!pa.visible[p]) continue;
        const Vec3i lo = pa.world_min_i[p], hi = pa.world_max_i[p];
        const Vec3i smin = ls.scene_min, smax = ls.scene_max;
        if (!ls.scene_bounds_valid || lo.x < smin.x || lo.y < smin.y || lo.z < smin.z || hi.x > smax.x ||
            hi.y > smax.y || hi.z > smax.z)
            ls.bounds_pending = 1;
    }
}

void lighting_end_frame(const int* changed_lights, int count) {
    LightState& ls = light_state;
    for (int i = 0; i < count; ++i) {
        const int l = changed_lights[i];
        if (l < 0 || l >= ls.light_count || static_cast<size_t>(l) >= ls.light_changed.size()) continue;
        const size_t li = static_cast<size_t>(l);
        ls.light_changed[li] = 0;
        ls.light_old_center[li] = ls.light_center[li];
        ls.light_old_radius[li] = ls.light_radius[li];
    }
}

void lighting_reset() {
    light_state = LightState{};
    motion_reset();
}
