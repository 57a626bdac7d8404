// The scene-bounds pass: the extent of the light grid, measured over the world boxes of the drawn
// parts. Workers write only their own share (a bounds line of their own); the pipeline thread combines them.
#include "render/lights/lights.h"

#include <climits>
#include <cmath>

#include "core/frame_stats.h"
#include "core/workers.h"
#include "render/frame_flags.h"
#include "render/lights/scene_bounds.h"
#include "scene/object.h"

namespace {

// One line per share so that the workers of the bounds pass never write the same cache line.
struct alignas(64) BoundsShare {
    Vec3i lo, hi;
    int any;
};
BoundsShare bounds_share[WORKER_PASS_MAX];

}  // namespace

void scene_bounds_pass(int thread_index, int thread_count) {
    if (thread_count < 1 || thread_index < 0 || thread_index >= thread_count ||
        thread_index >= WORKER_PASS_MAX)
        return;
    const ObjectTable& t = obj_table;
    BoundsShare s{{INT_MAX, INT_MAX, INT_MAX}, {INT_MIN, INT_MIN, INT_MIN}, 0};
    for (ObjectId id = thread_index; id < t.object_capacity; id += thread_count) {
        if (!t.enabled[id] || !t.has_geometry[id]) continue;
        const PartArrays& pa = t.parts[static_cast<size_t>(id)];
        const int n = obj_part_limit(id);
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
    const LightState& ls = light_state;
    const ObjectTable& t = obj_table;
    // The bounds only grow here: a scene that shrinks keeps a coarser grid that still covers it until the
    // pass runs for another reason.
    for (int i = 0; i < count && !frame_flags.bounds_pending; ++i) {
        const ObjectId id = objects[i];
        const int part = parts[i];
        if (!obj_valid(id) || !t.enabled[id] || !t.has_geometry[id]) continue;
        if (part < 0 || part >= obj_part_limit(id)) continue;
        const PartArrays& pa = t.parts[static_cast<size_t>(id)];
        const size_t p = static_cast<size_t>(part);
        if (!pa.visible[p]) continue;
        const Vec3i lo = pa.world_min_i[p], hi = pa.world_max_i[p];
        const Vec3i smin = ls.scene_min, smax = ls.scene_max;
        if (!ls.scene_bounds_valid || lo.x < smin.x || lo.y < smin.y || lo.z < smin.z || hi.x > smax.x ||
            hi.y > smax.y || hi.z > smax.z)
            frame_flags.bounds_pending = 1;
    }
}
