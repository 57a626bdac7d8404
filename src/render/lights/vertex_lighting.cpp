// Per-vertex lighting: every shaded part's vertices lit by the ambient colour and the lights of their
// grid cell, with shadow voxels where the part asks for them. Up to four workers share each part by
// blocks of vertices, each writing only its own vertices' shading.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/frame_stats.h"
#include "render/frame_flags.h"
#include "render/geometry/geometry.h"
#include "render/lights/lights.h"
#include "render/lights/vertex_lighting.h"

namespace {

constexpr float BYTE_TO_UNIT = 0.00392156863f;
// Vertex sharing: a vertex equal to one of this many before it (in the same worker's run) copies its
// colour; unindexed meshes repeat each corner in the neighbouring triangles.
constexpr int SHARE_WINDOW = 17;
// Workers share a part's vertices by blocks of this many floats, so each works on long runs.
constexpr int64_t VERTEX_BLOCK_FLOATS = 4096;

}  // namespace

int lighting_period() {
    const double n = std::round(frame_stats.rendered_fps / 6.0);
    return n > 4.0 && n < 1e9 ? static_cast<int>(n) : 4;
}

void light_part(int id, int part, int thread_index, int thread_count) {
    if (!obj_valid(id) || part < 0 || part >= obj_table.part_capacity[id]) return;
    if (thread_count < 1) thread_count = 1;
    PartArrays& pa = obj_table.parts[static_cast<size_t>(id)];
    const size_t p = static_cast<size_t>(part);
    const uint8_t state = pa.shade_state[p];
    if (state == 0) return;
    if (state == 2 && !frame_flags.relight_all && frame_flags.frame_counter % lighting_period() != 0) return;
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
                    const int64_t vi = light_voxel_index(q, c, radius, s);
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
    const bool periodic = frame_flags.frame_counter % lighting_period() == 0;
    // Parts that only move are relit on the periodic frames too, or they would keep the light of the
    // place they left until a light changes.
    if (g.changed_lights.count == 0 && !frame_flags.relight_all && !(ls.light_count > 0 && periodic)) return;
    const ObjectTable& t = obj_table;
    // Hidden objects too: nothing relights a part when its object is shown again, so it must not miss
    // the relighting that happened meanwhile.
    for (ObjectId id = 1; id < t.object_capacity; ++id) {
        if (!t.has_geometry[id]) continue;
        const PartArrays& pa = t.parts[static_cast<size_t>(id)];
        const int parts = obj_part_limit(id);
        for (int part = 0; part < parts; ++part)
            if (pa.shade_state[static_cast<size_t>(part)]) light_part(id, part, thread_index, thread_count);
    }
}
