// The shared object transform and the setters that mark parts for the geometry pass. Setters run on
// the scene thread between frames; the transform helpers on any thread.
#include "scene/transform.h"

#include <cmath>

namespace {

// Marks every visible part in use that is not yet dirty with the given level; a part already marked
// for a full rebuild (1) must not be downgraded to a move (2).
void mark_visible_parts(ObjectId id, uint8_t level) {
    PartArrays& pa = obj_table.parts[id];
    const int n = obj_table.part_count[id];
    uint8_t* dirty = pa.dirty.data();
    const uint8_t* visible = pa.visible.data();
    if (level == 2) {
        for (int p = 0; p < n; ++p)
            if (visible[p] && dirty[p] == 0) dirty[p] = 2;
    } else {
        for (int p = 0; p < n; ++p)
            if (visible[p]) dirty[p] = level;
    }
}

bool in_preloaded_range(ObjectId id) {
    return (id >= 200 && id <= 299) || (id >= 2051 && id <= 2057);
}

void set_scenery_enabled(int flag) {
    const int end = obj_table.object_capacity < 2100 ? obj_table.object_capacity : 2100;
    for (ObjectId id = 1; id < end; ++id) {
        if (in_preloaded_range(id) || !obj_table.has_geometry[id] || obj_table.part_count[id] < 1) continue;
        obj_set_enabled(id, flag);
    }
}

}  // namespace

ObjectTransform object_transform_make(Vec3 position, Vec3 rotation, Vec3 scale) {
    ObjectTransform t{};
    t.position = position;
    t.scale = scale;
    t.scaled = scale.x != 1.0f || scale.y != 1.0f || scale.z != 1.0f;
    t.rotate_x = rotation.x != 0.0f;
    t.rotate_y = rotation.y != 0.0f;
    t.rotate_z = rotation.z != 0.0f;
    t.cos_x = static_cast<float>(std::cos(rotation.x * DEG_TO_RAD));
    t.sin_x = static_cast<float>(std::sin(rotation.x * DEG_TO_RAD));
    t.cos_y = static_cast<float>(std::cos(rotation.y * DEG_TO_RAD));
    t.sin_y = static_cast<float>(std::sin(rotation.y * DEG_TO_RAD));
    t.cos_z = static_cast<float>(std::cos(rotation.z * DEG_TO_RAD));
    t.sin_z = static_cast<float>(std::sin(rotation.z * DEG_TO_RAD));
    return t;
}

ObjectTransform object_transform_of(ObjectId id) {
    if (!obj_valid(id)) return object_transform_make(Vec3{0, 0, 0}, Vec3{0, 0, 0}, Vec3{1, 1, 1});
    return object_transform_make(obj_table.position[id], obj_table.rotation[id], obj_table.scale[id]);
}

void object_transform_triangles(const ObjectTransform& t, const float* src, float* dst, int count) {
    const size_t vertices = count > 0 ? static_cast<size_t>(count) * 3 : 0;
    for (size_t v = 0; v < vertices; ++v) {
        float x = src[v * 3], y = src[v * 3 + 1], z = src[v * 3 + 2];
        object_transform_apply(t, x, y, z);
        dst[v * 3] = x;
        dst[v * 3 + 1] = y;
        dst[v * 3 + 2] = z;
    }
}

void obj_set_position(ObjectId id, float x, float y, float z) {
    if (!obj_ensure(id, 0)) return;
    ObjectTable& t = obj_table;
    Vec3& pos = t.position[id];
    if (x == pos.x && y == pos.y && z == pos.z) return;
    // A hidden object is not re-transformed, but its boxes still follow it so that collision and
    // culling see it where it is when it reappears.
    if (t.enabled[id]) mark_visible_parts(id, 2);
    const float dx = x - pos.x, dy = y - pos.y, dz = z - pos.z;
    PartArrays& pa = t.parts[id];
    const int n = t.part_count[id];
    Vec3* bmin = pa.box_min.data();
    Vec3* bmax = pa.box_max.data();
    Vec3i* bmin_i = pa.box_min_i.data();
    Vec3i* bmax_i = pa.box_max_i.data();
    for (int p = 0; p < n; ++p) {
        // Through locals: the four arrays may not alias, but the compiler cannot know it.
        const Vec3 lo{bmin[p].x + dx, bmin[p].y + dy, bmin[p].z + dz};
        const Vec3 hi{bmax[p].x + dx, bmax[p].y + dy, bmax[p].z + dz};
        bmin[p] = lo;
        bmax[p] = hi;
        bmin_i[p] = Vec3i{trunc_to_int(lo.x), trunc_to_int(lo.y), trunc_to_int(lo.z)};
        bmax_i[p] = Vec3i{trunc_to_int_above(hi.x), trunc_to_int_above(hi.y), trunc_to_int_above(hi.z)};
    }
    pos = Vec3{x, y, z};
}

void obj_set_rotation(ObjectId id, float x, float y, float z) {
    if (!obj_ensure(id, 0)) return;
    Vec3& r = obj_table.rotation[id];
    if (obj_table.enabled[id] && (x != r.x || y != r.y || z != r.z)) mark_visible_parts(id, 1);
    r = Vec3{x, y, z};
}

void obj_set_scale(ObjectId id, float x, float y, float z) {
    if (!obj_ensure(id, 0)) return;
    Vec3& s = obj_table.scale[id];
    if (obj_table.enabled[id] && (x != s.x || y != s.y || z != s.z)) mark_visible_parts(id, 1);
    s = Vec3{x, y, z};
}

void obj_set_enabled(ObjectId id, int flag) {
    if (!obj_ensure(id, 0)) return;
    const uint8_t enabled = flag != 0;
    if (obj_table.enabled[id] == enabled) return;
    // Every part, visible or not: showing an object must rebuild what it missed while hidden.
    PartArrays& pa = obj_table.parts[id];
    const int n = obj_table.part_count[id];
    for (int p = 0; p < n; ++p) pa.dirty[p] = 1;
    obj_table.enabled[id] = enabled;
}

void obj_enable(ObjectId id) {
    obj_set_enabled(id, 1);
}

void obj_show_scenery() {
    set_scenery_enabled(1);
}
void obj_hide_scenery() {
    set_scenery_enabled(0);
}

void obj_set_anim_time(ObjectId id, double time) {
    if (!obj_ensure(id, 0)) return;
    double& current = obj_table.anim_time[id];
    if (time == current) return;
    if (obj_table.enabled[id]) mark_visible_parts(id, 1);
    current = time;
}

void obj_set_anim_time_fixed(double time) {
    obj_set_anim_time(179, time);
}
void obj_anim_time_one(ObjectId id) {
    obj_set_anim_time(id, 1.0);
}
void obj_anim_time_zero(ObjectId id) {
    obj_set_anim_time(id, 0.0);
}

void obj_move_forward(ObjectId id, float distance) {
    if (id < 1 || !obj_ensure(id, 0)) return;
    const Vec3 pos = obj_table.position[id];
    const Vec3 rot = obj_table.rotation[id];
    const double yaw = rot.y * DEG_TO_RAD;
    const double pitch = rot.x * DEG_TO_RAD;
    const double cos_pitch = std::cos(pitch);
    obj_set_position(id, static_cast<float>(pos.x + distance * cos_pitch * std::sin(yaw)),
                     static_cast<float>(pos.y + distance * std::sin(pitch)),
                     static_cast<float>(pos.z + distance * cos_pitch * std::cos(yaw)));
}
