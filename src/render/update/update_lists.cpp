// The update and motion lists. Pipeline thread, plus one helper that writes only the partial lists.
#include "render/update/update_lists.h"

#include <algorithm>

#include "core/workers.h"
#include "scene/object.h"

UpdateLists update_lists;

namespace {

// Below this many table slots one scan of the lists costs less than starting a helper for half of it.
constexpr int LIST_SPLIT_MIN_SLOTS = 10000;

struct ScanTarget {
    IdList* update;
    IdList* motion;
    int64_t* particles;
};

void scan_objects(ObjectId first, ObjectId end, const ScanTarget& out) {
    const ObjectTable& t = obj_table;
    for (ObjectId id = first; id < end; ++id) {
        bool moves = t.collides[id] != 0;
        if (!moves) {
            const PartArrays& pa = t.parts[static_cast<size_t>(id)];
            const int n = obj_part_limit(id);
            for (int p = 0; p < n && !moves; ++p) moves = pa.compact_pending[static_cast<size_t>(p)] != 0;
        }
        if (moves) id_list_append(*out.motion, id);
        const bool emitter = t.particle_count[id] > 0;
        if (emitter) *out.particles += t.particle_count[id];
        if (emitter || t.anim_type[id] != 0 || t.path_speed[id] != 0.0f) id_list_append(*out.update, id);
    }
}

void scan_upper_half(int) {
    UpdateLists& l = update_lists;
    scan_objects(obj_table.object_capacity / 2, obj_table.object_capacity,
                 ScanTarget{&l.partial_update, &l.partial_motion, &l.partial_particles});
}

void append_all(IdList& list, const IdList& src) {
    for (int i = 0; i < src.count; ++i) id_list_append(list, src.ids[static_cast<size_t>(i)]);
}

}  // namespace

void update_lists_build(int cpu_count) {
    UpdateLists& l = update_lists;
    l.update.count = l.motion.count = 0;
    l.partial_update.count = l.partial_motion.count = 0;
    l.particle_total = l.partial_particles = 0;
    const ScanTarget own{&l.update, &l.motion, &l.particle_total};
    const int cap = obj_table.object_capacity;
    if (cap < LIST_SPLIT_MIN_SLOTS || cpu_count < 2) {
        scan_objects(1, cap, own);
        return;
    }
    worker_start(1, scan_upper_half);
    scan_objects(1, cap / 2, own);
    worker_join(1);
    append_all(l.update, l.partial_update);
    append_all(l.motion, l.partial_motion);
    l.particle_total += l.partial_particles;
}

void update_lists_end_frame() {
    update_lists.update.count = 0;
    update_lists.motion.count = 0;
}

void update_lists_release() {
    UpdateLists& l = update_lists;
    id_list_release(l.update);
    id_list_release(l.motion);
    id_list_release(l.partial_update);
    id_list_release(l.partial_motion);
}
