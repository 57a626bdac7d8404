// The motion and collision pass and the collision grid. The grid is rebuilt on the pipeline thread from
// the collider parts' boxes; the pass's workers move only their own objects (id modulo thread count)
// and read only the grid's copies and triangles that no pass writes meanwhile.
#include "render/update/motion.h"

#include <algorithm>
#include <cmath>

#include "core/frame_stats.h"
#include "render/frame_flags.h"
#include "render/geometry/geometry.h"
#include "render/update/particles.h"
#include "render/update/update_lists.h"
#include "render/update/update_pass.h"
#include "scene/transform.h"

MotionState motion_state;

namespace {

// Velocities this small are nearly at rest: they take a tenth of the step so resting objects settle.
constexpr double RESTING_SPEED = 0.00006;
// A component that reverses faster than this is a bounce; it is damped away instead.
constexpr double REVERSAL_LIMIT = 0.0001;
constexpr double REVERSAL_DAMPING = 0.01;
constexpr int GRID_N_MAX = 16;

bool overlaps(Vec3 alo, Vec3 ahi, Vec3 blo, Vec3 bhi) {
    return alo.x <= bhi.x && ahi.x >= blo.x && alo.y <= bhi.y && ahi.y >= blo.y && alo.z <= bhi.z &&
           ahi.z >= blo.z;
}

void cell_range(const MotionState& ms, Vec3 lo, Vec3 hi, int a[3], int b[3]) {
    const float l[3] = {lo.x, lo.y, lo.z}, h[3] = {hi.x, hi.y, hi.z};
    const float o[3] = {ms.grid_origin.x, ms.grid_origin.y, ms.grid_origin.z};
    const float s[3] = {ms.grid_scale.x, ms.grid_scale.y, ms.grid_scale.z};
    for (int k = 0; k < 3; ++k) {
        a[k] = std::max(0, trunc_to_int((l[k] - o[k]) * s[k]));
        b[k] = std::min(ms.grid_n - 1, trunc_to_int((h[k] - o[k]) * s[k]));
    }
}

void build_grid() {
    MotionState& ms = motion_state;
    const ObjectTable& t = obj_table;
    ms.entries.clear();
    ms.first_entry.assign(static_cast<size_t>(t.object_capacity), -1);
    Vec3 lo{0, 0, 0}, hi{0, 0, 0};
    for (ObjectId id = 1; id < t.object_capacity; ++id) {
        if (!t.enabled[id] || !t.has_geometry[id]) continue;
        const PartArrays& pa = t.parts[static_cast<size_t>(id)];
        const int parts = obj_part_limit(id);
        for (int part = 0; part < parts; ++part) {
            const size_t p = static_cast<size_t>(part);
            const int kind = collision_kind(pa.collision_mode[p]);
            if (kind == 0 || pa.tri_count[p] <= 0) continue;
            if (ms.first_entry[static_cast<size_t>(id)] < 0)
                ms.first_entry[static_cast<size_t>(id)] = static_cast<int>(ms.entries.size());
            const CollisionEntry e{id, part, pa.box_min[p], pa.box_max[p], kind};
            if (ms.entries.empty()) {
                lo = e.lo;
                hi = e.hi;
            }
            lo = Vec3{std::min(lo.x, e.lo.x), std::min(lo.y, e.lo.y), std::min(lo.z, e.lo.z)};
            hi = Vec3{std::max(hi.x, e.hi.x), std::max(hi.y, e.hi.y), std::max(hi.z, e.hi.z)};
            ms.entries.push_back(e);
        }
    }
    // Roughly two colliders per cell, but always more than one cell per axis: the pass needs a grid.
    const double per_axis = std::cbrt(static_cast<double>(ms.entries.size()) / 2.0);
    ms.grid_n = std::clamp(static_cast<int>(per_axis), 2, GRID_N_MAX);
    const int n = ms.grid_n;
    ms.grid_origin = lo;
    const auto per_unit = [n](float a, float b) {
        return b > a ? static_cast<float>(n / (static_cast<double>(b) - a)) : 1.0f;
    };
    ms.grid_scale = Vec3{per_unit(lo.x, hi.x), per_unit(lo.y, hi.y), per_unit(lo.z, hi.z)};
    ms.cells.assign(static_cast<size_t>(n) * n * n, std::vector<int>());
    for (size_t i = 0; i < ms.entries.size(); ++i) {
        int a[3], b[3];
        cell_range(ms, ms.entries[i].lo, ms.entries[i].hi, a, b);
        for (int z = a[2]; z <= b[2]; ++z)
            for (int y = a[1]; y <= b[1]; ++y)
                for (int x = a[0]; x <= b[0]; ++x)
                    ms.cells[static_cast<size_t>((z * n + y) * n + x)].push_back(static_cast<int>(i));
    }
    ms.built = 1;
}

// Height of the highest triangle of a surface part under (x, z) that is not above top; false when no
// triangle covers the point.
bool surface_height(const CollisionEntry& e, float x, float z, float top, float& height) {
    const PartArrays& pa = obj_table.parts[static_cast<size_t>(e.id)];
    const std::vector<float>& w = pa.tri_world[static_cast<size_t>(e.part)];
    const size_t tris = std::min(static_cast<size_t>(std::max(pa.tri_count[static_cast<size_t>(e.part)], 0)),
                                 w.size() / TRI_WORLD_FLOATS);
    bool found = false;
    for (size_t i = 0; i < tris; ++i) {
        const float* v = w.data() + i * TRI_WORLD_FLOATS;
        const float x0 = v[0], z0 = v[2], x1 = v[3], z1 = v[5], x2 = v[6], z2 = v[8];
        const float det = (z1 - z2) * (x0 - x2) + (x2 - x1) * (z0 - z2);
        if (det == 0.0f) continue;  // seen edge-on from above
        const float l0 = ((z1 - z2) * (x - x2) + (x2 - x1) * (z - z2)) / det;
        const float l1 = ((z2 - z0) * (x - x2) + (x0 - x2) * (z - z2)) / det;
        const float l2 = 1.0f - l0 - l1;
        if (l0 < 0.0f || l1 < 0.0f || l2 < 0.0f) continue;
        const float y = l0 * v[1] + l1 * v[4] + l2 * v[7];
        if (y > top || (found && y <= height)) continue;
        height = y;
        found = true;
    }
    return found;
}

void compact_parts(ObjectId id) {
    PartArrays& pa = obj_table.parts[static_cast<size_t>(id)];
    const int parts = obj_part_limit(id);
    for (int p = 0; p < parts; ++p) {
        if (!pa.compact_pending[static_cast<size_t>(p)]) continue;
        if (p == 0 && obj_table.particle_count[id] > 0) {
            pa.compact_pending[0] = 0;  // an emitter's quads are never compacted (see the update pass)
            continue;
        }
        part_compact(id, p);
    }
}

void integrate(ObjectId id) {
    ObjectTable& t = obj_table;
    const double dt = frame_stats.frame_seconds;
    Vec3d& v = t.velocity[id];
    const double sum = std::fabs(v.x) + std::fabs(v.y) + std::fabs(v.z);
    const double h = sum < RESTING_SPEED ? dt * 0.1 : dt;
    const Vec3 a = motion_state.motion_acceleration;
    double* c[3] = {&v.x, &v.y, &v.z};
    const float acc[3] = {a.x, a.y, a.z};
    for (int k = 0; k < 3; ++k) {
        const double old = *c[k];
        *c[k] += acc[k] * h;
        if (!std::isfinite(*c[k])) *c[k] = 0.0;
        if (old * *c[k] < 0.0)
            while (std::fabs(*c[k]) > REVERSAL_LIMIT) *c[k] *= REVERSAL_DAMPING;
    }
    const Vec3 p = t.position[id];
    obj_set_position(id, static_cast<float>(p.x + v.x * dt), static_cast<float>(p.y + v.y * dt),
                     static_cast<float>(p.z + v.z * dt));
}

void move_by(ObjectId id, float dx, float dy, float dz) {
    const Vec3 p = obj_table.position[id];
    obj_set_position(id, p.x + dx, p.y + dy, p.z + dz);
}

// Pushes the object out of every collider its colliding parts overlap; a push upwards is a resting
// contact and records what it rests on.
void resolve(ObjectId id, std::vector<int>& seen) {
    ObjectTable& t = obj_table;
    const MotionState& ms = motion_state;
    const int n = ms.grid_n;
    const int parts = obj_part_limit(id);
    for (int part = 0; part < parts; ++part) {
        const PartArrays& pa = t.parts[static_cast<size_t>(id)];
        const size_t p = static_cast<size_t>(part);
        if (!pa.collision_mode[p] || !pa.collision_param_a[p] || pa.tri_count[p] <= 0) continue;
        int a[3], b[3];
        cell_range(ms, pa.box_min[p], pa.box_max[p], a, b);
        seen.clear();
        for (int z = a[2]; z <= b[2]; ++z)
            for (int y = a[1]; y <= b[1]; ++y)
                for (int x = a[0]; x <= b[0]; ++x) {
                    const std::vector<int>& cell = ms.cells[static_cast<size_t>((z * n + y) * n + x)];
                    seen.insert(seen.end(), cell.begin(), cell.end());
                }
        std::sort(seen.begin(), seen.end());
        seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
        for (const int ei : seen) {
            const CollisionEntry& e = ms.entries[static_cast<size_t>(ei)];
            const Vec3 lo = pa.box_min[p], hi = pa.box_max[p];
            if (e.id == id || !overlaps(lo, hi, e.lo, e.hi)) continue;
            Vec3d& v = t.velocity[id];
            if (e.kind == 2) {
                float ground = 0.0f;
                const float cx = (lo.x + hi.x) * 0.5f, cz = (lo.z + hi.z) * 0.5f;
                if (!surface_height(e, cx, cz, hi.y, ground) || ground <= lo.y) continue;
                move_by(id, 0, ground - lo.y, 0);
                if (v.y < 0) v.y = 0;
                t.support_object[id] = e.id;
                t.support_part[id] = e.part;
                continue;
            }
            // Out along the axis of least overlap, away from the collider's middle.
            const float pen[3] = {std::min(hi.x - e.lo.x, e.hi.x - lo.x),
                                  std::min(hi.y - e.lo.y, e.hi.y - lo.y),
                                  std::min(hi.z - e.lo.z, e.hi.z - lo.z)};
            const int axis = pen[1] <= pen[0] && pen[1] <= pen[2] ? 1 : (pen[0] <= pen[2] ? 0 : 2);
            const float mid[3] = {(lo.x + hi.x) - (e.lo.x + e.hi.x), (lo.y + hi.y) - (e.lo.y + e.hi.y),
                                  (lo.z + hi.z) - (e.lo.z + e.hi.z)};
            const float push = mid[axis] >= 0 ? pen[axis] : -pen[axis];
            float d[3] = {0, 0, 0};
            d[axis] = push;
            move_by(id, d[0], d[1], d[2]);
            double* vc[3] = {&v.x, &v.y, &v.z};
            if (*vc[axis] * push < 0) *vc[axis] = 0;
            if (axis == 1 && push > 0) {
                t.support_object[id] = e.id;
                t.support_part[id] = e.part;
            }
        }
    }
}

// Whether one of the object's colliders no longer stands where the grid has it.
bool left_its_place(ObjectId id) {
    const MotionState& ms = motion_state;
    if (static_cast<size_t>(id) >= ms.first_entry.size()) return false;
    const int first = ms.first_entry[static_cast<size_t>(id)];
    if (first < 0) return false;
    const PartArrays& pa = obj_table.parts[static_cast<size_t>(id)];
    for (size_t i = static_cast<size_t>(first); i < ms.entries.size() && ms.entries[i].id == id; ++i) {
        const CollisionEntry& e = ms.entries[i];
        const Vec3 lo = pa.box_min[static_cast<size_t>(e.part)], hi = pa.box_max[static_cast<size_t>(e.part)];
        if (lo.x != e.lo.x || lo.y != e.lo.y || lo.z != e.lo.z || hi.x != e.hi.x || hi.y != e.hi.y ||
            hi.z != e.hi.z)
            return true;
    }
    return false;
}

}  // namespace

int collision_kind(int mode) {
    mode = collision_mode_plain(mode);
    return mode == 1 || mode == 2 ? mode : 0;
}

void motion_set_acceleration(float x, float y, float z) {
    motion_state.motion_acceleration = Vec3{x, y, z};
}

void motion_reset() {
    motion_state = MotionState{};
}

void motion_pass(int phase, int thread_index, int thread_count) {
    if (thread_count < 1) thread_count = 1;
    if (thread_index < 0 || thread_index >= thread_count || thread_index >= WORKER_PASS_MAX) return;
    const IdList& movers = update_lists.motion;
    const ObjectTable& t = obj_table;
    MotionState& ms = motion_state;
    const bool grid =
        ms.grid_n > 1 && ms.cells.size() == static_cast<size_t>(ms.grid_n) * ms.grid_n * ms.grid_n;
    std::vector<int> seen;
    for (int i = 0; i < movers.count; ++i) {
        const ObjectId id = movers.ids[static_cast<size_t>(i)];
        if (!obj_valid(id) || id % thread_count != thread_index) continue;
        if (phase == 0) compact_parts(id);
        if (!grid || !t.collides[id] || !t.moving[id] || !t.enabled[id] || !t.has_geometry[id]) continue;
        if (phase == 0) {
            integrate(id);
        } else {
            resolve(id, seen);
            if (phase == 2 && left_its_place(id)) ms.share[thread_index].moved = 1;
        }
    }
}

void collision_grid_maintain() {
    particles_install();
    MotionState& ms = motion_state;
    int moved = 0;
    for (MotionShare& s : ms.share) {
        moved |= s.moved;
        s.moved = 0;
    }
    if (moved) frame_flags.collision_grid_changed = 1;
    const bool any_motion = update_lists.motion.count > 0;
    if (!ms.built ? !any_motion && !frame_flags.collision_geometry_changed
                  : !moved && !frame_flags.collision_geometry_changed && !frame_flags.collision_grid_changed)
        return;
    build_grid();
}

// The grid is rebuilt whole by collision_grid_maintain on the pipeline thread; its workers have no
// share of their own left to update.
void collision_grid_update(int, int) {}
