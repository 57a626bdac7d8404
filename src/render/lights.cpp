// Lights: the light table setters, the light grid, the shadow voxels and the per-vertex lighting of
// shaded parts. Setters run on the scene thread between frames; the grid on the pipeline thread; the
// voxel and vertex passes on up to four workers, each writing only its own lights or vertices.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "render/geometry.h"
#include "render/lighting.h"
#include "render/pipeline.h"

namespace {

// Grid sizes by number of enabled lights: the first entry whose bound exceeds the count wins.
struct GridStep {
    int below;
    int n;
};
const GridStep GRID_STEPS[] = {{10, 3},    {21, 4},    {31, 5},    {101, 6},   {301, 7},
                               {601, 8},   {1001, 9},  {2001, 10}, {3001, 11}, {4001, 12},
                               {7001, 13}, {9001, 14}, {12001, 15}};
constexpr int GRID_N_MAX = 38;
// Beyond the table one more cell per axis for every further this many lights.
constexpr int GRID_LIGHTS_PER_STEP = 4000;

constexpr float OLD_RADIUS_MIN = 0.0001f;  // an old sphere smaller than this was never entered
constexpr float NEW_RADIUS_MIN = 0.001f;   // a light smaller than this lights nothing
constexpr float BYTE_TO_UNIT = 0.00392156863f;
// Vertex sharing: a vertex equal to one of this many before it (in the same worker's run) copies its
// colour; unindexed meshes repeat each corner in the neighbouring triangles.
constexpr int SHARE_WINDOW = 17;
constexpr int64_t VERTEX_BLOCK_FLOATS = 4096;

// Shadow rays start this many voxels behind the caster's surface, so that its lit side does not shade
// itself, and step this many voxels at a time.
constexpr float SHADOW_START = 1.5f;
constexpr float SHADOW_STEP = 0.7f;
// Samples per triangle edge are bounded so that a huge caster costs a bounded amount per light.
constexpr int SHADOW_SAMPLES_MAX = 64;

struct CellRange {
    int lo[3], hi[3];
};

CellRange cells_of(const LightState& ls, Vec3 c, float r) {
    CellRange cr{};
    const float cc[3] = {c.x, c.y, c.z};
    const float o[3] = {ls.grid_origin.x, ls.grid_origin.y, ls.grid_origin.z};
    const float s[3] = {ls.grid_scale.x, ls.grid_scale.y, ls.grid_scale.z};
    for (int k = 0; k < 3; ++k) {
        cr.lo[k] = std::max(0, trunc_to_int((cc[k] - r - o[k]) * s[k]));
        cr.hi[k] = std::min(ls.grid_n - 1, trunc_to_int((cc[k] + r - o[k]) * s[k]));
    }
    return cr;
}

template <typename F>
void for_cells(const LightState& ls, const CellRange& cr, F f) {
    const int n = ls.grid_n;
    for (int z = cr.lo[2]; z <= cr.hi[2]; ++z)
        for (int y = cr.lo[1]; y <= cr.hi[1]; ++y)
            for (int x = cr.lo[0]; x <= cr.hi[0]; ++x) f(static_cast<size_t>((z * n + y) * n + x));
}

void grid_remove(LightState& ls, int light, Vec3 c, float r) {
    for_cells(ls, cells_of(ls, c, r), [&](size_t cell) {
        std::vector<int>& list = ls.grid_cells[cell];
        for (size_t i = 0; i < list.size(); ++i) {
            if (list[i] != light) continue;
            list[i] = list.back();
            list.pop_back();
            break;
        }
        if (list.empty()) std::vector<int>().swap(list);
    });
}

void grid_add(LightState& ls, int light, Vec3 c, float r) {
    for_cells(ls, cells_of(ls, c, r), [&](size_t cell) {
        std::vector<int>& list = ls.grid_cells[cell];
        if (std::find(list.begin(), list.end(), light) == list.end()) list.push_back(light);
    });
}

void grow_lights(LightState& ls, int index) {
    if (index < ls.light_capacity) return;
    ls.light_capacity = index + 128;
    const size_t n = static_cast<size_t>(ls.light_capacity);
    ls.light_enabled.resize(n, 0);
    ls.light_changed.resize(n, 0);
    ls.light_color.resize(n, Vec3{0, 0, 0});
    ls.light_center.resize(n, Vec3{0, 0, 0});
    ls.light_radius.resize(n, 0.0f);
    ls.light_old_center.resize(n, Vec3{0, 0, 0});
    ls.light_old_radius.resize(n, 0.0f);
    ls.light_shadow_size.resize(n, 0);
    ls.light_shadow_voxels.resize(n);
    ls.light_voxels_stale.resize(n, 0);
}

bool same(Vec3 a, Vec3 b) {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

// The voxel of p in a light's grid of size s, or -1 outside it.
int64_t voxel_index(const float p[3], Vec3 c, float radius, int s) {
    const int half = s / 2;
    const float cc[3] = {c.x, c.y, c.z};
    int v[3];
    for (int k = 0; k < 3; ++k) {
        v[k] = trunc_to_int((p[k] - cc[k]) * static_cast<float>(half) / radius + static_cast<float>(half));
        if (v[k] < 0 || v[k] >= s) return -1;
    }
    return v[0] + static_cast<int64_t>(s) * (v[1] + static_cast<int64_t>(s) * v[2]);
}

// Marks the voxels behind one caster point, seen from the light, out to the edge of the grid.
void cast_shadow(std::vector<uint8_t>& vox, const float p[3], Vec3 c, float radius, int s) {
    float d[3] = {p[0] - c.x, p[1] - c.y, p[2] - c.z};
    const float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    if (!(len > 0.0f)) return;
    const float voxel = radius / static_cast<float>(s / 2 > 0 ? s / 2 : 1);
    for (float& x : d) x /= len;
    const int steps = static_cast<int>(2.0f * static_cast<float>(s) / SHADOW_STEP) + 2;
    for (int i = 0; i < steps; ++i) {
        const float t = (SHADOW_START + SHADOW_STEP * static_cast<float>(i)) * voxel;
        const float q[3] = {p[0] + d[0] * t, p[1] + d[1] * t, p[2] + d[2] * t};
        const int64_t v = voxel_index(q, c, radius, s);
        if (v < 0) return;
        vox[static_cast<size_t>(v)] = 1;
    }
}

bool box_meets_cube(Vec3 lo, Vec3 hi, Vec3 c, float r) {
    return lo.x <= c.x + r && hi.x >= c.x - r && lo.y <= c.y + r && hi.y >= c.y - r && lo.z <= c.z + r &&
           hi.z >= c.z - r;
}

// Rebuilds one light's voxels from every caster part (shade_age non-zero) within its reach.
void fill_voxels(int light) {
    LightState& ls = light_state;
    const size_t l = static_cast<size_t>(light);
    const int s = ls.light_shadow_size[l];
    std::vector<uint8_t>& vox = ls.light_shadow_voxels[l];
    if (s <= 0 || vox.size() < static_cast<size_t>(s) * s * s) return;
    std::fill(vox.begin(), vox.end(), 0);
    const Vec3 c = ls.light_center[l];
    const float r = ls.light_radius[l];
    if (!(r >= NEW_RADIUS_MIN)) return;
    const float voxel = r / static_cast<float>(s / 2 > 0 ? s / 2 : 1);
    const ObjectTable& t = obj_table;
    for (ObjectId id = 1; id < t.object_capacity; ++id) {
        if (!t.enabled[id] || !t.has_geometry[id]) continue;
        const PartArrays& pa = t.parts[static_cast<size_t>(id)];
        const int parts = std::min(t.part_count[id], t.part_capacity[id]);
        for (int part = 0; part < parts; ++part) {
            const size_t p = static_cast<size_t>(part);
            if (!pa.shade_age[p] || !pa.visible[p]) continue;
            if (!box_meets_cube(pa.world_min[p], pa.world_max[p], c, r)) continue;
            const std::vector<float>& w = pa.tri_world[p];
            const size_t tris = std::min(static_cast<size_t>(std::max(pa.tri_count[p], 0)), w.size() / 9);
            for (size_t i = 0; i < tris; ++i) {
                const float* a = w.data() + i * 9;
                const float* b = a + 3;
                const float* e = a + 6;
                float longest = 0;
                for (int k = 0; k < 3; ++k) {
                    longest = std::max(longest, std::fabs(b[k] - a[k]));
                    longest = std::max(longest, std::fabs(e[k] - a[k]));
                    longest = std::max(longest, std::fabs(e[k] - b[k]));
                }
                // Two samples per voxel along the longest edge leave no gaps between samples.
                const float want = std::ceil(longest / voxel * 2.0f) + 1.0f;
                const int m =
                    want < SHADOW_SAMPLES_MAX ? std::max(1, static_cast<int>(want)) : SHADOW_SAMPLES_MAX;
                for (int u = 0; u <= m; ++u) {
                    for (int v = 0; u + v <= m; ++v) {
                        const float fu = static_cast<float>(u) / m, fv = static_cast<float>(v) / m;
                        const float q[3] = {a[0] + (b[0] - a[0]) * fu + (e[0] - a[0]) * fv,
                                            a[1] + (b[1] - a[1]) * fu + (e[1] - a[1]) * fv,
                                            a[2] + (b[2] - a[2]) * fu + (e[2] - a[2]) * fv};
                        cast_shadow(vox, q, c, r, s);
                    }
                }
            }
        }
    }
}

}  // namespace

void light_set(int index, int enabled, float red, float green, float blue, float radius, float x, float y,
               float z) {
    if (index < 0 || index >= LIGHT_INDEX_LIMIT) return;
    LightState& ls = light_state;
    grow_lights(ls, index);
    const size_t l = static_cast<size_t>(index);
    const int on = enabled != 0;
    const Vec3 color{red, green, blue}, center{x, y, z};
    if (on != (ls.light_enabled[l] != 0)) {
        ls.light_enabled_count += on ? 1 : -1;
        ls.light_changed[l] = 1;
    } else if (on && (!same(color, ls.light_color[l]) || !same(center, ls.light_center[l]) ||
                      radius != ls.light_radius[l])) {
        ls.light_changed[l] = 1;
    }
    if (ls.light_changed[l]) ls.light_voxels_stale[l] = 1;
    ls.light_enabled[l] = on;
    ls.light_color[l] = color;
    ls.light_center[l] = center;
    ls.light_radius[l] = radius;
    ls.light_count = std::max(ls.light_count, index + 1);
}

void light_shadow_size(int index, int s) {
    LightState& ls = light_state;
    if (index < 0 || index >= ls.light_count) return;
    const size_t l = static_cast<size_t>(index);
    if (s <= 0) {
        std::vector<uint8_t>().swap(ls.light_shadow_voxels[l]);
        ls.light_shadow_size[l] = 0;
        return;
    }
    s = std::min(s, LIGHT_SHADOW_MAX);
    if (s == ls.light_shadow_size[l]) return;
    const size_t side = static_cast<size_t>(s) + 1;
    ls.light_shadow_voxels[l].assign(side * side * side, 0);
    ls.light_shadow_size[l] = s;
    ls.light_voxels_stale[l] = 1;
}

void set_ambient(float red, float green, float blue) {
    light_state.ambient_color = Vec3{red, green, blue};
}

int light_grid_size_for(int enabled_lights) {
    for (const GridStep& g : GRID_STEPS)
        if (enabled_lights < g.below) return g.n;
    const int64_t extra = (static_cast<int64_t>(enabled_lights) - 12001) / GRID_LIGHTS_PER_STEP + 1;
    return static_cast<int>(std::min<int64_t>(GRID_N_MAX, 15 + extra));
}

void light_grid_setup() {
    LightState& ls = light_state;
    const int n = light_grid_size_for(ls.light_enabled_count);
    Vec3 origin{0, 0, 0}, scale{static_cast<float>(n), static_cast<float>(n), static_cast<float>(n)};
    if (ls.scene_bounds_valid) {
        const Vec3i lo = ls.scene_min, hi = ls.scene_max;
        origin = Vec3{static_cast<float>(lo.x), static_cast<float>(lo.y), static_cast<float>(lo.z)};
        // A flat extent still spans one unit: the integer boxes are at least that thick.
        const auto per_unit = [n](int a, int b) {
            const double ext = static_cast<double>(b) - a;
            return static_cast<float>(n / (ext > 0 ? ext : 1.0));
        };
        scale = Vec3{per_unit(lo.x, hi.x), per_unit(lo.y, hi.y), per_unit(lo.z, hi.z)};
    }
    // The cells of every entered sphere depend on the extent as much as on the size: when either
    // changes the grid starts over, or lights would stay listed in cells they no longer touch.
    if (n == ls.grid_n && same(origin, ls.grid_origin) && same(scale, ls.grid_scale)) return;
    ls.grid_n = n;
    ls.grid_origin = origin;
    ls.grid_scale = scale;
    ls.grid_cells.clear();
    ls.grid_cells.resize(static_cast<size_t>(n) * n * n);
    ls.grid_rebuilt = 1;
}

void light_grid_update() {
    LightState& ls = light_state;
    const GeometryState& g = geometry_state;
    const bool all = ls.grid_rebuilt || g.relight_all;
    for (int light = 0; light < ls.light_count; ++light) {
        const size_t l = static_cast<size_t>(light);
        if (!all && !ls.light_changed[l]) continue;
        if (!ls.grid_rebuilt && ls.light_old_radius[l] >= OLD_RADIUS_MIN)
            grid_remove(ls, light, ls.light_old_center[l], ls.light_old_radius[l]);
        if (ls.light_enabled[l] && ls.light_radius[l] >= NEW_RADIUS_MIN)
            grid_add(ls, light, ls.light_center[l], ls.light_radius[l]);
        // After the first entry the grid holds the current sphere: make it the old one now, so a
        // later removal finds it even if the end of this frame does not list the light.
        ls.light_old_center[l] = ls.light_center[l];
        ls.light_old_radius[l] = ls.light_enabled[l] ? ls.light_radius[l] : 0.0f;
    }
    ls.grid_rebuilt = 0;

    // A caster that moved or changed makes every shadow stale.
    bool casters_changed = g.relight_all != 0;
    for (int i = 0; i < g.dirty_count && !casters_changed; ++i) {
        const ObjectId id = g.dirty_objects[static_cast<size_t>(i)];
        const int part = g.dirty_parts[static_cast<size_t>(i)];
        if (obj_valid(id) && part >= 0 && part < obj_table.part_capacity[id] &&
            obj_table.parts[static_cast<size_t>(id)].shade_age[static_cast<size_t>(part)])
            casters_changed = true;
    }
    if (casters_changed)
        for (int light = 0; light < ls.light_count; ++light)
            if (ls.light_shadow_size[static_cast<size_t>(light)] > 0)
                ls.light_voxels_stale[static_cast<size_t>(light)] = 1;
}

void light_change_pass(int thread_index, int thread_count) {
    LightState& ls = light_state;
    if (thread_count < 1) thread_count = 1;
    for (int light = thread_index; light < ls.light_count; light += thread_count) {
        const size_t l = static_cast<size_t>(light);
        if (!ls.light_voxels_stale[l] || ls.light_shadow_size[l] <= 0) continue;
        ls.light_voxels_stale[l] = 0;
        fill_voxels(light);
    }
}

void light_part(int id, int part, int thread_index, int thread_count) {
    if (!obj_valid(id) || part < 0 || part >= obj_table.part_capacity[id]) return;
    if (thread_count < 1) thread_count = 1;
    PartArrays& pa = obj_table.parts[static_cast<size_t>(id)];
    const size_t p = static_cast<size_t>(part);
    const uint8_t state = pa.shade_state[p];
    if (state == 0) return;
    if (state == 2 && !geometry_state.relight_all && pipeline_state.frame_counter % lighting_period() != 0)
        return;
    const std::vector<float>& world = pa.tri_world[p];
    std::vector<float>& shade = pa.tri_shade[p];
    size_t tris = pa.tri_count[p] > 0 ? static_cast<size_t>(pa.tri_count[p]) : 0;
    tris = std::min(tris, world.size() / TRI_WORLD_FLOATS);
    tris = std::min(tris, shade.size() / TRI_SHADE_FLOATS);
    if (tris == 0) return;

    const LightState& ls = light_state;
    const int base[3] = {trunc_to_int(ls.ambient_color.x * 255.0f), trunc_to_int(ls.ambient_color.y * 255.0f),
                         trunc_to_int(ls.ambient_color.z * 255.0f)};
    const bool test_shadow = pa.has_shade[p] != 0;
    const int n = ls.grid_n;
    const bool grid = n > 0 && ls.grid_cells.size() == static_cast<size_t>(n) * n * n;
    const float origin[3] = {ls.grid_origin.x, ls.grid_origin.y, ls.grid_origin.z};
    const float scale[3] = {ls.grid_scale.x, ls.grid_scale.y, ls.grid_scale.z};

    const size_t vertices = tris * 3;
    int run = 0;  // vertices of this worker since another worker's block last intervened
    for (size_t v = 0; v < vertices; ++v) {
        const int64_t block = static_cast<int64_t>(v * 3) / VERTEX_BLOCK_FLOATS;
        if ((block + part + id) % thread_count != thread_index) {
            run = 0;
            continue;
        }
        const float* q = world.data() + v * 3;
        float* out = shade.data() + v * 4;
        bool shared = false;
        for (int k = 1; k <= std::min(run, SHARE_WINDOW); ++k) {
            const float* u = q - 3 * k;
            if (std::memcmp(u, q, 3 * sizeof(float)) != 0) continue;
            std::memcpy(out, out - 4 * k, 3 * sizeof(float));
            shared = true;
            break;
        }
        ++run;
        if (shared) continue;

        int64_t rgb[3] = {base[0], base[1], base[2]};
        if (grid) {
            int cell[3];
            for (int k = 0; k < 3; ++k)
                cell[k] = std::clamp(trunc_to_int((q[k] - origin[k]) * scale[k]), 0, n - 1);
            const std::vector<int>& list =
                ls.grid_cells[static_cast<size_t>((cell[2] * n + cell[1]) * n + cell[0])];
            for (const int light : list) {
                const size_t l = static_cast<size_t>(light);
                if (!ls.light_enabled[l]) continue;
                const Vec3 c = ls.light_center[l];
                const float radius = ls.light_radius[l];
                const float dx = q[0] - c.x, dy = q[1] - c.y, dz = q[2] - c.z;
                const float d = std::sqrt(dx * dx + dy * dy + dz * dz);
                if (!(d < radius)) continue;
                const int s = ls.light_shadow_size[l];
                if (test_shadow && s > 0) {
                    const int64_t vi = voxel_index(q, c, radius, s);
                    if (vi >= 0 && ls.light_shadow_voxels[l][static_cast<size_t>(vi)]) continue;
                }
                // Integer division of truncated values; in doubles (exact below 2^53) so that no
                // radius overflows a 32-bit type, and with a divisor of at least 1 for tiny lights.
                const double num = std::floor(static_cast<double>(d) * 65500.0);
                const double den = std::max(1.0, std::floor(256.0 * static_cast<double>(radius)));
                const int intensity = 255 - static_cast<int>(std::floor(num / den));
                const Vec3 col = ls.light_color[l];
                rgb[0] += trunc_to_int(col.x * static_cast<float>(intensity));
                rgb[1] += trunc_to_int(col.y * static_cast<float>(intensity));
                rgb[2] += trunc_to_int(col.z * static_cast<float>(intensity));
            }
        }
        for (int k = 0; k < 3; ++k)
            out[k] = static_cast<float>(std::clamp<int64_t>(rgb[k], 0, 255)) * BYTE_TO_UNIT;
    }
}

void vertex_lighting_pass(int thread_index, int thread_count) {
    const LightState& ls = light_state;
    const GeometryState& g = geometry_state;
    const bool periodic = pipeline_state.frame_counter % lighting_period() == 0;
    // Parts that only move are relit on the periodic frames too, or they would keep the light of the
    // place they left until a light changes.
    if (g.changed_light_count == 0 && !g.relight_all && !(ls.light_count > 0 && periodic)) return;
    const ObjectTable& t = obj_table;
    // Hidden objects too: nothing relights a part when its object is shown again, so it must not miss
    // the relighting that happened meanwhile.
    for (ObjectId id = 1; id < t.object_capacity; ++id) {
        if (!t.has_geometry[id]) continue;
        const PartArrays& pa = t.parts[static_cast<size_t>(id)];
        const int parts = std::min(t.part_count[id], t.part_capacity[id]);
        for (int part = 0; part < parts; ++part)
            if (pa.shade_state[static_cast<size_t>(part)]) light_part(id, part, thread_index, thread_count);
    }
}
