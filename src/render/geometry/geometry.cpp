// The dirty-part list and the transform step of rigid parts. The list is built on the pipeline thread
// (three helpers fill partial lists of their own); the transform runs on up to 16 workers, each on its
// own list entries, writing only the parts it was given.
#include "render/geometry/geometry.h"

#include <algorithm>
#include <cstring>

#include "core/id_list.h"
#include "core/workers.h"
#include "render/frame_flags.h"
#include "render/geometry/skinning.h"
#include "render/lights/lights.h"

GeometryState geometry_state;

namespace {

void list_append(std::vector<int>& a, std::vector<int>& b, int& count, int& capacity, int x, int y) {
    id_list_make_room(count, capacity, a, b);
    a[static_cast<size_t>(count)] = x;
    b[static_cast<size_t>(count)] = y;
    ++count;
}

// Where one scan writes: the main list or a helper's partial list.
struct ListTarget {
    std::vector<int>* objects;
    std::vector<int>* parts;
    int* count;
    int* capacity;
    IdList* lights;
    int* estimate;
    int* collision_changed;
};

ListTarget main_target(int& estimate) {
    GeometryState& g = geometry_state;
    return ListTarget{&g.dirty_objects,
                      &g.dirty_parts,
                      &g.dirty_count,
                      &g.dirty_capacity,
                      &g.changed_lights,
                      &estimate,
                      &frame_flags.collision_geometry_changed};
}

ListTarget partial_target(GeometryPartial& q) {
    return ListTarget{&q.objects,          &q.parts, &q.count, &q.capacity, &q.lights, &q.estimate,
                      &q.collision_changed};
}

void scan_objects(ObjectId first, ObjectId end, const ListTarget& out) {
    ObjectTable& t = obj_table;
    for (ObjectId id = first; id < end; ++id) {
        PartArrays& pa = t.parts[static_cast<size_t>(id)];
        const int n = obj_part_limit(id);
        for (int part = 0; part < n; ++part) {
            const size_t p = static_cast<size_t>(part);
            if (pa.shade_age[p] == 1 || pa.shade_age[p] == 2) ++pa.shade_age[p];
            if (pa.shade_state[p]) {
                if (pa.tri_shade[p].empty()) {
                    pa.tri_shade[p].assign(static_cast<size_t>(pa.tri_capacity[p]) * TRI_SHADE_FLOATS, 1.0f);
                    pa.shade_state[p] = 4;
                } else if (pa.shade_state[p] == 4) {
                    pa.shade_state[p] = 2;
                }
            }
            bool listed = false;
            if (pa.dirty[p]) {
                if (pa.collision_mode[p]) *out.collision_changed = 1;
                if (pa.collision_mode[p] > 11)
                    pa.collision_mode[p] = static_cast<int8_t>(pa.collision_mode[p] - 20);
                listed = true;
            } else if (pa.collision_mode[p] > 11) {
                pa.collision_mode[p] = static_cast<int8_t>(pa.collision_mode[p] - 20);
                listed = true;
            }
            if (!listed) continue;
            list_append(*out.objects, *out.parts, *out.count, *out.capacity, id, part);
            if (*out.estimate < GEOMETRY_WORK_LIMIT && !pa.tri_world[p].empty())
                *out.estimate += pa.tri_capacity[p] * TRI_WORLD_FLOATS;
        }
    }
}

void scan_lights(int first, int end, const ListTarget& out) {
    const LightState& ls = light_state;
    const int relight = frame_flags.relight_all;
    end = std::min(end, static_cast<int>(ls.light_changed.size()));
    for (int l = first; l < end; ++l)
        if (ls.light_changed[static_cast<size_t>(l)] || relight) id_list_append(*out.lights, l);
}

// Quarter q of the ids (from id 1) and of the lights.
void scan_quarter(int q, const ListTarget& out) {
    const int cap = obj_table.object_capacity;
    const int lights = light_state.light_count;
    ObjectId first = static_cast<ObjectId>(static_cast<int64_t>(cap) * q / 4);
    const ObjectId end = static_cast<ObjectId>(static_cast<int64_t>(cap) * (q + 1) / 4);
    if (first < 1) first = 1;
    scan_objects(first, end, out);
    scan_lights(static_cast<int>(static_cast<int64_t>(lights) * q / 4),
                static_cast<int>(static_cast<int64_t>(lights) * (q + 1) / 4), out);
}

void scan_quarter_worker(int slot) {
    const int q = worker_slice(slot).thread_index;
    if (q < 1 || q > 3) return;
    scan_quarter(q, partial_target(geometry_state.partial[q]));
}

// Appends n entries after the main list, growing it to the needed size plus a margin.
void append_entries(std::vector<int>& a, std::vector<int>* b, int& count, int& capacity,
                    const std::vector<int>& sa, const std::vector<int>* sb, int n) {
    if (n <= 0) return;
    if (count + n > capacity || a.empty()) {
        capacity = count + n + 1024;
        a.resize(static_cast<size_t>(capacity) + 1);
        if (b) b->resize(static_cast<size_t>(capacity) + 1);
    }
    std::copy_n(sa.begin(), n, a.begin() + count);
    if (b) std::copy_n(sb->begin(), n, b->begin() + count);
    count += n;
}

void zero_boxes(PartArrays& pa, size_t p) {
    const Vec3 z{0, 0, 0};
    const Vec3i zi{0, 0, 0};
    pa.world_min[p] = pa.world_max[p] = pa.box_min[p] = pa.box_max[p] = z;
    pa.world_min_i[p] = pa.world_max_i[p] = pa.box_min_i[p] = pa.box_max_i[p] = zi;
}

// A box that is flat in one axis is given a hair of thickness there, so the box tests that divide by
// or compare against its extent still see a volume.
void widen_flat(Vec3& lo, Vec3& hi) {
    constexpr float HAIR = 0.0001f;
    const bool fx = lo.x == hi.x, fy = lo.y == hi.y, fz = lo.z == hi.z;
    if (!fx && !fy && !fz) return;
    if (fx && !fy && !fz) {
        lo.x -= HAIR;
        hi.x += HAIR;
    } else if (fy && !fx && !fz) {
        lo.y -= HAIR;
        hi.y += HAIR;
    } else if (fz && !fx) {
        lo.z -= HAIR;
        hi.z += HAIR;
    }
}

void transform_rigid(PartArrays& pa, size_t p, const ObjectTransform& tr, bool fold, Vec3& lo, Vec3& hi,
                     bool& started) {
    std::vector<float>& world = pa.tri_world[p];
    const std::vector<float>& local = pa.tri_local[p];
    size_t count = pa.tri_count[p] > 0 ? static_cast<size_t>(pa.tri_count[p]) : 0;
    count = std::min(count, world.size() / TRI_WORLD_FLOATS);
    // Without a local copy the world triangles are transformed in place (their owner keeps them so).
    const bool has_local = !local.empty();
    if (has_local) count = std::min(count, local.size() / TRI_WORLD_FLOATS);
    const float* src = has_local ? local.data() : world.data();
    float* dst = world.data();
    const size_t vertices = count * 3;
    for (size_t v = 0; v < vertices; ++v) {
        float x = src[v * 3], y = src[v * 3 + 1], z = src[v * 3 + 2];
        object_transform_apply(tr, x, y, z);
        dst[v * 3] = x;
        dst[v * 3 + 1] = y;
        dst[v * 3 + 2] = z;
        if (!fold) continue;
        if (!started) {
            lo = hi = Vec3{x, y, z};
            started = true;
            continue;
        }
        lo.x = x < lo.x ? x : lo.x;
        lo.y = y < lo.y ? y : lo.y;
        lo.z = z < lo.z ? z : lo.z;
        hi.x = x > hi.x ? x : hi.x;
        hi.y = y > hi.y ? y : hi.y;
        hi.z = z > hi.z ? z : hi.z;
    }
}

}  // namespace

int build_dirty_list(int split) {
    GeometryState& g = geometry_state;
    g.dirty_count = 0;
    g.changed_lights.count = 0;
    for (GeometryPartial& q : g.partial) {
        q.count = 0;
        q.lights.count = 0;
        q.estimate = 0;
        q.collision_changed = 0;
    }
    int estimate = 0;
    const ListTarget out = main_target(estimate);
    const int cap = obj_table.object_capacity;
    const int lights = light_state.light_count;

    // Quarters pay off only for mid-sized tables: small ones are scanned faster than threads start, and
    // very large ones are mostly empty slots.
    bool quarters = split == 4;
    if (cap <= 8000 && lights <= 4096) quarters = false;
    if (cap >= 10000 || lights >= 10000) quarters = false;

    if (!quarters) {
        scan_objects(1, cap, out);
        scan_lights(0, lights, out);
        return estimate;
    }
    for (int q = 1; q < 4; ++q) worker_state.slices[q] = WorkerSlice{q, 4};
    for (int q = 1; q < 4; ++q) worker_start(q, scan_quarter_worker);
    scan_quarter(0, out);
    for (int q = 1; q < 4; ++q) {
        worker_join(q);
        GeometryPartial& part = g.partial[q];
        append_entries(g.dirty_objects, &g.dirty_parts, g.dirty_count, g.dirty_capacity, part.objects,
                       &part.parts, part.count);
        append_entries(g.changed_lights.ids, nullptr, g.changed_lights.count, g.changed_lights.capacity,
                       part.lights.ids, nullptr, part.lights.count);
        // The same saturation as one scan, at the grain of the quarters.
        if (estimate < GEOMETRY_WORK_LIMIT) estimate += part.estimate;
        if (part.collision_changed) frame_flags.collision_geometry_changed = 1;
    }
    return estimate;
}

void transform_part(ObjectId id, int part) {
    ObjectTable& t = obj_table;
    if (!obj_valid(id) || part < 0 || part >= t.part_capacity[id]) return;
    PartArrays& pa = t.parts[static_cast<size_t>(id)];
    const size_t p = static_cast<size_t>(part);
    const uint8_t dirty = pa.dirty[p];
    if (!dirty) return;

    pa.prev_world_min[p] = pa.world_min[p];
    pa.prev_world_max[p] = pa.world_max[p];
    pa.prev_world_min_i[p] = pa.world_min_i[p];
    pa.prev_world_max_i[p] = pa.world_max_i[p];

    if (pa.tri_world[p].empty()) {
        zero_boxes(pa, p);
    } else {
        // A moved-only part keeps the box obj_set_position already moved: folding the vertices again
        // would only reproduce it.
        const bool fold = dirty != 2;
        Vec3 lo{0, 0, 0}, hi{0, 0, 0};
        bool started = false;
        if (!fold) {
            lo = pa.box_min[p];
            hi = pa.box_max[p];
            started = true;
        }
        const ObjectTransform tr = object_transform_of(id);
        if (t.anim_type[id] == 0 || !skin_part(id, part, tr, fold, lo, hi, started))
            transform_rigid(pa, p, tr, fold, lo, hi, started);
        widen_flat(lo, hi);
        const Vec3i lo_i{trunc_to_int(lo.x), trunc_to_int(lo.y), trunc_to_int(lo.z)};
        const Vec3i hi_i{trunc_to_int_above(hi.x), trunc_to_int_above(hi.y), trunc_to_int_above(hi.z)};
        pa.world_min[p] = pa.box_min[p] = lo;
        pa.world_max[p] = pa.box_max[p] = hi;
        pa.world_min_i[p] = pa.box_min_i[p] = lo_i;
        pa.world_max_i[p] = pa.box_max_i[p] = hi_i;
    }
    // The offset tells the list builder and the collision pass that this part's geometry is new.
    if (pa.tri_count[p] != 0 && pa.collision_mode[p] >= 2)
        pa.collision_mode[p] = static_cast<int8_t>(pa.collision_mode[p] + 10);
}

void transform_pass(int thread_index, int thread_count) {
    const GeometryState& g = geometry_state;
    const int n = g.dirty_count;
    for (int i = 0; i < n; ++i) {
        if (thread_count >= 2 && i % thread_count != thread_index) continue;
        transform_part(g.dirty_objects[static_cast<size_t>(i)], g.dirty_parts[static_cast<size_t>(i)]);
    }
}

void geometry_release_lists() {
    GeometryState& g = geometry_state;
    std::vector<int>().swap(g.dirty_objects);
    std::vector<int>().swap(g.dirty_parts);
    id_list_release(g.changed_lights);
    g.dirty_count = g.dirty_capacity = 0;
    for (GeometryPartial& q : g.partial) q = GeometryPartial{};
}

void geometry_reset() {
    geometry_state = GeometryState{};
}
