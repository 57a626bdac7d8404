// The object update pass. Each listed object is owned by one worker (its list position modulo the
// thread count), which compacts, walks and animates it; every worker also runs its own blocks of each
// emitter's particles. Emitters move on the pipeline thread after the join, since all workers read
// their position while re-emitting.
#include "render/update/update_pass.h"

#include <algorithm>

#include "core/frame_stats.h"
#include "core/workers.h"
#include "render/update/animation.h"
#include "render/update/particles.h"
#include "render/update/paths.h"
#include "render/update/update_lists.h"

namespace {

// Quad boxes of one worker, one entry per update-list position; one cache line apart per worker.
struct alignas(64) WorkerBoxes {
    std::vector<ParticleBox> boxes;
};
WorkerBoxes worker_boxes[WORKER_PASS_MAX];

bool has_dirty_part(ObjectId id) {
    const PartArrays& pa = obj_table.parts[static_cast<size_t>(id)];
    const int n = obj_part_limit(id);
    for (int p = 0; p < n; ++p)
        if (pa.dirty[static_cast<size_t>(p)]) return true;
    return false;
}

// One object's turn: its pending compactions, then its path and animation time, then its current pose.
void advance_object(ObjectId id, double dt) {
    ObjectTable& t = obj_table;
    PartArrays& pa = t.parts[static_cast<size_t>(id)];
    const int n = obj_part_limit(id);
    const bool emitter = t.particle_count[id] > 0;
    for (int p = 0; p < n; ++p) {
        if (!pa.compact_pending[static_cast<size_t>(p)]) continue;
        // An emitter's quads start out all at one point: compacting would delete its particles.
        if (emitter && p == 0) {
            pa.compact_pending[0] = 0;
            continue;
        }
        part_compact(id, p);
    }
    if (t.anim_type[id] == 0 && t.path_speed[id] == 0.0f) return;
    path_step(dt, id);
    anim_step(id, dt);
    if (t.anim_type[id] == 0) return;
    anim_prepare_poses(id);
    if (has_dirty_part(id)) anim_update_pose(id);
}

}  // namespace

void object_update_pass(int thread_index, int thread_count) {
    if (thread_count < 1) thread_count = 1;
    if (thread_index < 0 || thread_index >= thread_count || thread_index >= WORKER_PASS_MAX) return;
    const IdList& list = update_lists.update;
    const ObjectTable& t = obj_table;
    const double dt = frame_stats.frame_seconds;
    std::vector<ParticleBox>& boxes = worker_boxes[thread_index].boxes;
    if (boxes.size() < static_cast<size_t>(list.count)) boxes.resize(static_cast<size_t>(list.count));
    for (int i = 0; i < list.count; ++i) {
        const ObjectId id = list.ids[static_cast<size_t>(i)];
        boxes[static_cast<size_t>(i)].any = 0;
        if (!obj_valid(id) || !t.has_geometry[id]) continue;
        const bool emitter = t.particle_count[id] > 0;
        if (emitter) {
            particle_step(id, dt, thread_index, thread_count, boxes[static_cast<size_t>(i)]);
        } else if (i % thread_count == thread_index) {
            advance_object(id, dt);
        }
    }
}

void object_update_finish(int thread_count) {
    particles_install();
    if (thread_count > WORKER_PASS_MAX) thread_count = WORKER_PASS_MAX;
    const IdList& list = update_lists.update;
    ObjectTable& t = obj_table;
    const double dt = frame_stats.frame_seconds;
    for (int i = 0; i < list.count; ++i) {
        const ObjectId id = list.ids[static_cast<size_t>(i)];
        if (!obj_valid(id) || !t.has_geometry[id] || t.particle_count[id] <= 0) continue;
        advance_object(id, dt);
        if (t.part_capacity[id] < 1) continue;
        ParticleBox box{{0, 0, 0}, {0, 0, 0}, 0};
        for (int k = 0; k < thread_count; ++k) {
            const std::vector<ParticleBox>& b = worker_boxes[k].boxes;
            if (static_cast<size_t>(i) >= b.size() || !b[static_cast<size_t>(i)].any) continue;
            const ParticleBox& q = b[static_cast<size_t>(i)];
            if (!box.any) {
                box = q;
                continue;
            }
            box.lo = Vec3{std::min(box.lo.x, q.lo.x), std::min(box.lo.y, q.lo.y), std::min(box.lo.z, q.lo.z)};
            box.hi = Vec3{std::max(box.hi.x, q.hi.x), std::max(box.hi.y, q.hi.y), std::max(box.hi.z, q.hi.z)};
        }
        // With nothing drawn the box shrinks to the emitter itself, so culling drops the part cheaply.
        if (!box.any) box.lo = box.hi = t.position[id];
        PartArrays& pa = t.parts[static_cast<size_t>(id)];
        pa.world_min[0] = pa.box_min[0] = box.lo;
        pa.world_max[0] = pa.box_max[0] = box.hi;
        const Vec3i lo_i{trunc_to_int(box.lo.x), trunc_to_int(box.lo.y), trunc_to_int(box.lo.z)};
        const Vec3i hi_i{trunc_to_int_above(box.hi.x), trunc_to_int_above(box.hi.y),
                         trunc_to_int_above(box.hi.z)};
        pa.world_min_i[0] = pa.box_min_i[0] = lo_i;
        pa.world_max_i[0] = pa.box_max_i[0] = hi_i;
        // The quads are already in world space: a transform of part 0 would put them back at the origin.
        pa.dirty[0] = 0;
    }
}
