// The object table: growth, new-slot and new-part values, filling and clearing parts, per-object and
// per-part attributes. Scene thread only (the frame passes read the table while no call here runs).
#include "scene/object.h"

#include <cstring>
#include <type_traits>
#include <utility>

ObjectTable obj_table;

namespace {

// Assigns a fresh copy of def, releasing whatever the slot owned (a vector's buffer is freed, not kept).
template <class Column, class Def>
void assign_default(Column& col, size_t i, const Def& def) {
    using Value = typename Column::value_type;
    col[i] = Value(def);
}

// The one list of per-object columns with their new-slot values. Growth, obj_slot_init and the test
// reset all go through it, so a column cannot be added without its default.
template <class F>
void for_each_object_column(ObjectTable& t, F&& f) {
    f(t.name, std::string());
    f(t.enabled, uint8_t{1});
    f(t.has_geometry, uint8_t{0});
    f(t.part_count, 0);
    f(t.part_capacity, 0);
    f(t.position, Vec3{0, 0, 0});
    f(t.rotation, Vec3{0, 0, 0});
    f(t.scale, Vec3{1, 1, 1});
    f(t.color, Color4{1, 1, 1, 1});
    f(t.span_limit, uint8_t{0});
    f(t.anim_type, 0u);
    f(t.anim_clip, 0u);
    f(t.anim_time, 0.0);
    f(t.anim_speed, 1.0f);
    f(t.anim_playing, uint8_t{0});
    f(t.anim_half_rate, uint8_t{0});
    f(t.pose_offset_scale, std::vector<float>());
    f(t.pose_cache_a, std::vector<float>());
    f(t.pose_cache_b, std::vector<float>());
    f(t.pose_cache_c, std::vector<float>());
    f(t.collides, uint8_t{0});
    f(t.moving, uint8_t{0});
    f(t.velocity, Vec3d{0, 0, 0});
    f(t.support_object, 0);
    f(t.support_part, -1);
    f(t.path_mode, 0);
    f(t.path_queue, std::vector<float>());
    f(t.path_queue_length, 0);
    f(t.path_speed, 0.0f);
    f(t.path_target, Vec3{0, 0, 0});
    f(t.path_heading, 0.0f);
    f(t.path_param_a, 0.0f);
    f(t.path_param_b, 0.0f);
    f(t.terrain_cols, 0);
    f(t.terrain_rows, 0);
    f(t.terrain_heights, std::vector<float>());
    f(t.terrain_colors, std::vector<float>());
    f(t.terrain_spacing, 0.0f);
    f(t.terrain_inv_spacing, 0.0f);
    f(t.terrain_u_step, 0.0f);
    f(t.terrain_v_step, 0.0f);
    f(t.terrain_texture, 0);
    f(t.particle_count, 0);
    f(t.particles, std::vector<float>());
    f(t.particle_life, 0.0f);
    f(t.particle_spread, Vec3{0, 0, 0});
    f(t.particle_base_velocity, Vec3{0, 0, 0});
    f(t.particle_size, 0.0f);
    f(t.particle_flags, 0);
    f(t.particle_floor, 0.0f);
    f(t.particle_parked, uint8_t{0});
    f(t.particle_no_wind, uint8_t{0});
    f(t.parts, PartArrays());
}

// The one list of per-part columns with their new-part values (growth and obj_clear_part).
template <class F>
void for_each_part_column(PartArrays& p, F&& f) {
    f(p.tri_world, std::vector<float>());
    f(p.tri_local, std::vector<float>());
    f(p.tri_uv, std::vector<float>());
    f(p.tri_shade, std::vector<float>());
    f(p.tri_count, 0);
    f(p.tri_capacity, 0);
    f(p.texture, 0);
    f(p.visible, uint8_t{1});
    f(p.dirty, uint8_t{0});
    f(p.compact_pending, uint8_t{0});
    f(p.part_color, Color4{1, 1, 1, 1});
    f(p.collision_mode, int8_t{0});
    f(p.collision_changed, uint8_t{0});
    f(p.collision_param_a, uint8_t{0});
    f(p.collision_param_b, uint8_t{0});
    f(p.shade_state, uint8_t{0});
    f(p.shade_age, uint8_t{0});
    f(p.has_shade, uint8_t{0});
    f(p.scratch, std::vector<uint8_t>());
    f(p.box_min, Vec3{0, 0, 0});
    f(p.box_max, Vec3{0, 0, 0});
    f(p.box_min_i, Vec3i{0, 0, 0});
    f(p.box_max_i, Vec3i{0, 0, 0});
    f(p.world_min, Vec3{0, 0, 0});
    f(p.world_max, Vec3{0, 0, 0});
    f(p.world_min_i, Vec3i{0, 0, 0});
    f(p.world_max_i, Vec3i{0, 0, 0});
    f(p.prev_world_min, Vec3{0, 0, 0});
    f(p.prev_world_max, Vec3{0, 0, 0});
    f(p.prev_world_min_i, Vec3i{0, 0, 0});
    f(p.prev_world_max_i, Vec3i{0, 0, 0});
}

}  // namespace

// Ids are sparse and large (scenes use fixed ranges up to the thousands), so the table grows in steps
// that widen with the id. Computed in 64 bits: an id near INT_MAX must not wrap.
int64_t obj_grown_capacity(int64_t id) {
    int64_t cap = id + 8;
    if (cap > 1000) cap = id + 520;
    if (cap > 10000) cap = id + 2568;
    if (cap > 50000) cap = id + 8568;
    if (cap > 200000) cap = id + 18568;
    return cap;
}

int64_t obj_grown_part_capacity(int64_t part, int64_t cap) {
    if (cap <= 4) return part + 1;
    if (cap <= 19) return part + 2;
    return part + cap / 4;
}

namespace {

void reset_part(PartArrays& pa, int part) {
    for_each_part_column(pa, [&](auto& col, const auto& def) { assign_default(col, part, def); });
}

// Applies fn(part) to one part (ensured) or, for a negative index, to every part in use.
template <class F>
bool for_parts(ObjectId id, int part, F&& fn) {
    if (part >= 0) {
        if (!obj_ensure(id, part)) return false;
        fn(part);
        return true;
    }
    if (!obj_ensure(id, 0)) return false;
    const int n = obj_table.part_count[id];
    for (int p = 0; p < n; ++p) fn(p);
    return true;
}

bool ends_with_nocase(const std::string& s, const char* suffix) {
    const size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = s[s.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

// A height grid larger than this is a corrupt size, not a terrain (the demo's largest is a few
// hundred cells on a side).
constexpr int64_t TERRAIN_CORNER_LIMIT = int64_t{1} << 26;

}  // namespace

bool obj_ensure(ObjectId id, int part) {
    if (id < 0 || part < 0) return false;
    ObjectTable& t = obj_table;
    int64_t new_capacity = t.object_capacity;
    if (id >= t.object_capacity) {
        new_capacity = obj_grown_capacity(id);
        if (new_capacity > OBJECT_CAPACITY_LIMIT) return false;
    }
    const int64_t part_cap = id < t.object_capacity ? t.part_capacity[id] : 0;
    int64_t new_part_cap = part_cap;
    if (part >= part_cap) {
        new_part_cap = obj_grown_part_capacity(part, part_cap);
        if (new_part_cap > PART_CAPACITY_LIMIT) return false;
    }
    // Both limits checked before anything changes: a refused call leaves the table as it was.
    if (new_capacity != t.object_capacity) {
        const size_t n = static_cast<size_t>(new_capacity);
        for_each_object_column(t, [&](auto& col, const auto& def) {
            using Value = typename std::decay_t<decltype(col)>::value_type;
            col.resize(n, Value(def));
        });
        t.object_capacity = static_cast<int>(new_capacity);
    }
    if (new_part_cap != part_cap) {
        const size_t n = static_cast<size_t>(new_part_cap);
        for_each_part_column(t.parts[id], [&](auto& col, const auto& def) {
            using Value = typename std::decay_t<decltype(col)>::value_type;
            col.resize(n, Value(def));
        });
        t.part_capacity[id] = static_cast<int>(new_part_cap);
    }
    return true;
}

void obj_slot_init(ObjectId id) {
    if (!obj_valid(id)) return;
    for_each_object_column(obj_table, [&](auto& col, const auto& def) { assign_default(col, id, def); });
}

void obj_table_reset_all() {
    ObjectTable& t = obj_table;
    for_each_object_column(t, [&](auto& col, const auto&) {
        using Column = std::decay_t<decltype(col)>;
        Column().swap(col);
    });
    t.object_capacity = 0;
    t.part_compact = nullptr;
}

void obj_set_part_triangles(ObjectId id, int part, const float* tris, const float* uvs, const float* shade,
                            TextureId texture, int count) {
    if (count < 0 || count > TRI_COUNT_LIMIT) return;
    if (!obj_ensure(id, part)) return;
    ObjectTable& t = obj_table;
    PartArrays& pa = t.parts[id];
    std::vector<float>& world = pa.tri_world[part];
    std::vector<float>& local = pa.tri_local[part];
    std::vector<float>& uv = pa.tri_uv[part];
    std::vector<float>& sh = pa.tri_shade[part];
    std::vector<uint8_t>& scratch = pa.scratch[part];
    const size_t n = static_cast<size_t>(count);

    if (pa.tri_capacity[part] < count) {
        world.resize(n * TRI_WORLD_FLOATS);
        local.resize(n * TRI_WORLD_FLOATS);
        if (uvs || !uv.empty()) uv.resize(n * TRI_UV_FLOATS);
        if (shade || !sh.empty()) sh.resize(n * TRI_SHADE_FLOATS);
        if (!scratch.empty()) scratch.resize(scratch_bytes(count));
        pa.tri_capacity[part] = count;
    }
    const size_t cap = static_cast<size_t>(pa.tri_capacity[part]);
    if (n > 0) {
        if (tris) {
            std::memcpy(world.data(), tris, n * TRI_WORLD_FLOATS * sizeof(float));
            std::memcpy(local.data(), tris, n * TRI_WORLD_FLOATS * sizeof(float));
        } else {
            std::memset(world.data(), 0, n * TRI_WORLD_FLOATS * sizeof(float));
            std::memset(local.data(), 0, n * TRI_WORLD_FLOATS * sizeof(float));
        }
        if (uvs) {
            if (uv.empty()) uv.resize(cap * TRI_UV_FLOATS);
            std::memcpy(uv.data(), uvs, n * TRI_UV_FLOATS * sizeof(float));
        }
        if (shade) {
            if (sh.empty()) sh.resize(cap * TRI_SHADE_FLOATS);
            std::memcpy(sh.data(), shade, n * TRI_SHADE_FLOATS * sizeof(float));
        }
    }
    pa.tri_count[part] = count;
    if (part >= t.part_count[id]) t.part_count[id] = part + 1;
    pa.dirty[part] = 1;
    pa.compact_pending[part] = 0;
    pa.texture[part] = texture;
    t.has_geometry[id] = 1;
    if (pa.collision_mode[part] != 0) pa.collision_changed[part] = 1;
    if (!scratch.empty()) {
        // The skinning binding writes 8 bytes per vertex of tri_count triangles: a buffer made for a
        // smaller count must follow, or the next binding runs past its end.
        if (scratch.size() < scratch_bytes(count)) scratch.resize(scratch_bytes(count));
        scratch[0] = 255;
    }
}

int obj_part_changed(ObjectId id, int part, const float* tris, const float* uvs, const float* shade,
                     TextureId texture, int count) {
    if (!obj_valid(id) || part < 0) return 0;
    const ObjectTable& t = obj_table;
    if (!t.has_geometry[id] || part >= t.part_count[id]) return 0;
    const PartArrays& pa = t.parts[id];
    if (pa.tri_count[part] != count || pa.texture[part] != texture) return 0;
    if (!tris || pa.tri_world[part].empty()) return 0;
    if ((!pa.tri_uv[part].empty() && !uvs) || (!pa.tri_shade[part].empty() && !shade)) return 0;
    const size_t n = static_cast<size_t>(count);
    // Only tri_local is what the owner gave: tri_world follows the object's transform, so new
    // triangles that happen to equal where a moved part now lies must still be stored.
    const size_t tri_bytes = n * TRI_WORLD_FLOATS * sizeof(float);
    if (pa.tri_local[part].empty() || std::memcmp(tris, pa.tri_local[part].data(), tri_bytes) != 0) return 0;
    if (uvs && (pa.tri_uv[part].empty() ||
                std::memcmp(uvs, pa.tri_uv[part].data(), n * TRI_UV_FLOATS * sizeof(float)) != 0))
        return 0;
    if (shade && (pa.tri_shade[part].empty() ||
                  std::memcmp(shade, pa.tri_shade[part].data(), n * TRI_SHADE_FLOATS * sizeof(float)) != 0))
        return 0;
    return 1;
}

void obj_clear_part(ObjectId id, int part) {
    if (!obj_valid(id) || part < 0 || part >= obj_table.part_capacity[id]) return;
    PartArrays& pa = obj_table.parts[id];
    // Triangles that were on screen must be taken off it: the frame passes notice the part only while
    // it is dirty.
    const bool was_drawn = pa.tri_count[part] > 0 && obj_table.enabled[id] && pa.visible[part];
    reset_part(pa, part);
    if (was_drawn) pa.dirty[part] = 1;
}

void obj_reset(ObjectId id) {
    if (!obj_ensure(id, 0)) return;
    ObjectTable& t = obj_table;
    t.enabled[id] = 1;
    t.particle_count[id] = 0;
    t.particle_parked[id] = 0;
    t.particle_base_velocity[id] = Vec3{0, 0, 0};
    t.particle_flags[id] = 0;
    t.particle_floor[id] = 0;
    std::vector<float>().swap(t.path_queue[id]);
    t.path_queue_length[id] = 0;
    t.path_speed[id] = 0;
    t.moving[id] = 0;
    t.collides[id] = 0;
    if (!t.has_geometry[id]) return;
    const int parts = t.part_capacity[id];
    for (int p = 0; p < parts; ++p) obj_clear_part(id, p);
    t.anim_type[id] = 0;
    t.anim_clip[id] = 0;
    t.anim_time[id] = 0;
    t.anim_half_rate[id] = 0;
    t.anim_speed[id] = 1;
    t.velocity[id] = Vec3d{0, 0, 0};
    t.support_object[id] = 0;
    std::vector<float>().swap(t.terrain_heights[id]);
    std::vector<float>().swap(t.terrain_colors[id]);
    t.terrain_cols[id] = 0;
    t.color[id] = Color4{1, 1, 1, 1};
    t.has_geometry[id] = 0;
}

void obj_set_part_collision(ObjectId id, int part, int mode, int param_a, int param_b, int param_c) {
    if (id < 0) return;
    if (mode < 0) mode = 0;
    if (mode > 2) mode = 2;
    const bool ok = for_parts(id, part, [&](int p) {
        PartArrays& pa = obj_table.parts[id];
        if (collision_mode_plain(pa.collision_mode[p]) != mode) {
            pa.collision_changed[p] = 1;
            if (pa.dirty[p] == 0) pa.dirty[p] = 2;
            pa.collision_mode[p] = static_cast<int8_t>(mode);
        }
        pa.collision_param_a[p] = static_cast<uint8_t>(param_a);
        pa.collision_param_b[p] = static_cast<uint8_t>(param_b);
    });
    if (ok && (mode != 0 || param_a != 0 || param_b != 0 || param_c != 0)) obj_table.collides[id] = 1;
}

bool obj_has_parts(ObjectId id) {
    return obj_valid(id) && obj_table.has_geometry[id] && obj_table.part_count[id] > 0;
}

void obj_set_part_shading(ObjectId id, int part, int state, int age, int keep_shade) {
    if (id < 0) return;
    for_parts(id, part, [&](int p) {
        PartArrays& pa = obj_table.parts[id];
        if ((state != 0) != (pa.shade_state[p] != 0)) pa.shade_state[p] = static_cast<uint8_t>(state);
        if ((age != 0) != (pa.shade_age[p] != 0)) pa.shade_age[p] = static_cast<uint8_t>(age);
        if (keep_shade) {
            pa.has_shade[p] = 1;
        } else {
            pa.has_shade[p] = 0;
            std::vector<float>().swap(pa.tri_shade[p]);
        }
    });
}

void obj_set_pose_offset_scale(ObjectId id, float ox, float oy, float oz, float sx, float sy, float sz) {
    if (!obj_ensure(id, 0)) return;
    std::vector<float>& rec = obj_table.pose_offset_scale[id];
    if (ox == 0 && oy == 0 && oz == 0 && sx == 1 && sy == 1 && sz == 1) {
        std::vector<float>().swap(rec);  // absent means identity: the update pass skips the pre-transform
        return;
    }
    rec.assign({ox, oy, oz, sx, sy, sz});
}

void obj_set_name(ObjectId id, const char* text) {
    if (id < 1 || !text || text[0] == 0) return;
    if (!obj_ensure(id, 0)) return;
    std::string name(text);
    const size_t line_end = name.find_first_of("\r\n");
    if (line_end != std::string::npos) name.resize(line_end);
    for (const char* ext : {".glm", ".obj", ".3ds"}) {
        if (ends_with_nocase(name, ext)) {
            name.resize(name.size() - 4);
            break;
        }
    }
    obj_table.name[id] = std::move(name);
}

void obj_set_color(ObjectId id, float r, float g, float b, float a) {
    if (!obj_ensure(id, 0)) return;
    obj_table.color[id] = Color4{r, g, b, a};
}

void obj_set_part_color(ObjectId id, int part, float r, float g, float b, float a) {
    if (id < 0) return;
    for_parts(id, part, [&](int p) { obj_table.parts[id].part_color[p] = Color4{r, g, b, a}; });
}

void obj_set_terrain_height(ObjectId id, int col, int row, float height) {
    if (!obj_valid(id)) return;
    ObjectTable& t = obj_table;
    const int cols = t.terrain_cols[id];
    const int rows = t.terrain_rows[id];
    if (cols <= 0 || rows <= 0 || col < 0 || row < 0 || col > cols || row > rows) return;
    const int64_t corners = (int64_t{cols} + 1) * (int64_t{rows} + 1);
    if (corners > TERRAIN_CORNER_LIMIT) return;
    std::vector<float>& heights = t.terrain_heights[id];
    if (heights.size() != static_cast<size_t>(corners)) heights.assign(static_cast<size_t>(corners), 0.0f);
    heights[static_cast<size_t>(row) * static_cast<size_t>(cols + 1) + static_cast<size_t>(col)] = height;
}

double obj_velocity_x(ObjectId id) {
    return id >= 1 && obj_valid(id) ? obj_table.velocity[id].x : 0.0;
}
double obj_velocity_y(ObjectId id) {
    return id >= 1 && obj_valid(id) ? obj_table.velocity[id].y : 0.0;
}
double obj_velocity_z(ObjectId id) {
    return id >= 1 && obj_valid(id) ? obj_table.velocity[id].z : 0.0;
}

void obj_set_velocity(ObjectId id, double x, double y, double z) {
    if (id < 1 || !obj_ensure(id, 0)) return;
    obj_table.velocity[id] = Vec3d{x, y, z};
}

FreeIdSearch free_id_search;

void obj_set_part0_texture(ObjectId id, TextureId texture) {
    if (id < 1 || texture < 0 || !obj_ensure(id, 0)) return;
    obj_table.parts[id].texture[0] = texture;
}

ObjectId obj_free_id() {
    FreeIdSearch& s = free_id_search;
    if (++s.calls >= 513) {
        s.start = 1;
        s.calls = 0;
    }
    if (s.start < 1) s.start = 1;
    // A table that cannot grow any further is searched once more from 1 before giving up.
    for (int pass = 0; pass < 2; ++pass) {
        for (ObjectId id = s.start;; ++id) {
            if (id >= obj_table.object_capacity && !obj_ensure(id, 0)) break;
            const size_t i = static_cast<size_t>(id);
            if (obj_table.name[i].empty() && !obj_table.has_geometry[i]) {
                s.start = id + 1;
                return id;
            }
        }
        if (s.start == 1) break;
        s.start = 1;
    }
    return 0;
}
