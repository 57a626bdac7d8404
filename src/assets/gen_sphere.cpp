// Spheres and particle emitter set-up. Main (scene) thread only; the emitter's records are advanced
// later by the object update pass, which reads the layout written here.
#include "assets/gen_sphere.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "scene/transform.h"

namespace {

constexpr double PI = 3.14159265358979323846;

// Texture coordinates of one particle's two triangles.
constexpr float PARTICLE_UV[12] = {0, 1, 1, 1, 1, 0, 0, 1, 1, 0, 0, 0};

// (r mod 100) / 100 x 0.5 + c x 0.5: half the given speed plus up to half a unit at random.
float random_component(float c) {
    const int r = std::rand() % 100;
    return static_cast<float>(r) / 100.0f * 0.5f + c * 0.5f;
}

void build_emitter(ObjectId id, int count) {
    if (obj_valid(id)) obj_reset(id);
    const size_t n = static_cast<size_t>(count) * 2;
    std::vector<float> uv(n * TRI_UV_FLOATS);
    for (size_t i = 0; i < uv.size(); ++i) uv[i] = PARTICLE_UV[i % 12];
    const std::vector<float> shade(n * TRI_SHADE_FLOATS, 1.0f);
    // Corners at the origin: the update pass places every quad each frame.
    obj_set_part_triangles(id, 0, nullptr, uv.data(), shade.data(), 0, count * 2);
    obj_table.particles[static_cast<size_t>(id)].assign(
        static_cast<size_t>(count) * PARTICLE_FLOATS + PARTICLE_SLACK_FLOATS, 0.0f);
}

}  // namespace

void gen_sphere(ObjectId id, int segments, TextureId texture, float rx, float ry, float rz) {
    if (segments < 3) segments = 3;
    if (segments > GEN_SPHERE_MAX_SEGMENTS) return;
    const size_t n = static_cast<size_t>(segments);
    const size_t row = n + 1;
    // Every point is computed once and shared by all triangles that touch it, so neighbouring
    // triangles meet on identical corners.
    std::vector<float> pts(row * row * 3), tex(row * row * 2);
    for (size_t i = 0; i <= n; ++i) {
        const double phi = PI * static_cast<double>(i) / static_cast<double>(n);
        // sin(pi) is not exactly 0 in floating point: the top ring would be a tiny open polygon
        // instead of one point, so both poles are made exact.
        const double sp = i == 0 || i == n ? 0.0 : std::sin(phi);
        const double y = std::sin(phi - PI / 2) * ry;
        for (size_t j = 0; j <= n; ++j) {
            float* p = &pts[(i * row + j) * 3];
            if (j == n) {
                // The seam point repeats the first one exactly (only its u differs), so the seam closes.
                const float* first = &pts[(i * row) * 3];
                p[0] = first[0];
                p[1] = first[1];
                p[2] = first[2];
            } else {
                const double theta = 2 * PI * static_cast<double>(j) / static_cast<double>(n);
                p[0] = static_cast<float>(std::cos(theta) * sp * rx);
                p[1] = static_cast<float>(y);
                p[2] = static_cast<float>(std::sin(theta) * sp * rz);
            }
            tex[(i * row + j) * 2] = static_cast<float>(j) / static_cast<float>(n);
            tex[(i * row + j) * 2 + 1] = 1.0f - static_cast<float>(i) / static_cast<float>(n);
        }
    }
    if (id < 1) return;
    const size_t count = 2 * n * n;
    std::vector<float> tris(count * TRI_WORLD_FLOATS), uvs(count * TRI_UV_FLOATS);
    float* t = tris.data();
    float* uv = uvs.data();
    auto put = [&](size_t i, size_t j) {
        const size_t k = i * row + j;
        *t++ = pts[k * 3];
        *t++ = pts[k * 3 + 1];
        *t++ = pts[k * 3 + 2];
        *uv++ = tex[k * 2];
        *uv++ = tex[k * 2 + 1];
    };
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = 0; j < n; ++j) {
            put(i, j);
            put(i, j + 1);
            put(i + 1, j + 1);
            put(i + 1, j);
            put(i, j);
            put(i + 1, j + 1);
        }
    }
    obj_set_part_triangles(id, 0, tris.data(), uvs.data(), nullptr, texture, static_cast<int>(count));
}

void emitter_setup_ex(ObjectId id, float x, float y, float z, float sx, float sy, float sz, int mode,
                      float vx, float vy, float vz, float life, TextureId texture, float extra, int count,
                      int fixed_velocity) {
    if (count < 1 || count > EMITTER_MAX_PARTICLES || !obj_ensure(id, 0)) return;
    const size_t o = static_cast<size_t>(id);
    ObjectTable& t = obj_table;
    const size_t record_floats = static_cast<size_t>(count) * PARTICLE_FLOATS;
    // The same count keeps the running particles: only the emitter moves and takes new parameters.
    const bool keep = t.particle_count[o] == count && t.particles[o].size() >= record_floats;
    if (!keep) build_emitter(id, count);
    t.particle_flags[o] = mode;
    obj_set_position(id, x, y, z);
    t.particle_spread[o] = Vec3{sx, sy, sz};
    t.particle_life[o] = life;
    t.particle_size[o] = extra;
    t.particle_count[o] = count;
    t.parts[o].texture[0] = texture;
    if (keep) return;
    float* p = t.particles[o].data();
    for (int i = 0; i < count; ++i, p += PARTICLE_FLOATS) {
        p[PARTICLE_X] = p[PARTICLE_Y] = p[PARTICLE_Z] = PARTICLE_UNEMITTED;
        if (fixed_velocity) {
            p[PARTICLE_RED] = vx;
            p[PARTICLE_GREEN] = vy;
            p[PARTICLE_BLUE] = vz;
        } else {
            p[PARTICLE_RED] = random_component(vx);
            p[PARTICLE_GREEN] = random_component(vy);
            p[PARTICLE_BLUE] = random_component(vz);
        }
        // Staggered ages: the particles are emitted one after another rather than in one burst.
        const int r = std::rand() % 10000;
        p[PARTICLE_AGE] = life * static_cast<float>(r) / 10000.0f;
        p[PARTICLE_VX] = p[PARTICLE_VY] = p[PARTICLE_VZ] = 0.0f;
    }
}

void emitter_setup(ObjectId id, TextureId texture, int count, float x, float y, float z, float sx, float sy,
                   float sz, float vx, float vy, float vz, float life, float extra) {
    emitter_setup_ex(id, x, y, z, sx, sy, sz, 0, vx, vy, vz, life, texture, extra, count, 1);
}
