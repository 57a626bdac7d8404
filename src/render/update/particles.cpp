// The particle step and the compaction of triangle lists. Every update worker runs the step on its own
// blocks of particles of each emitter, so particle records, triangles and shade are never shared; the
// emitter settings, the shared forces and the camera are only read. Respawns draw from a generator of
// their own per particle, so no worker waits on or reorders another's random numbers.
#include "render/update/particles.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "render/frame_flags.h"
#include "scene/camera.h"

ParticleState particle_state;

namespace {

// Particles beyond this on x are parked (not yet emitted or sent away) and get no quad.
constexpr float FAR_AWAY = 200000.0f;
// Where parked emitters send respawned particles.
constexpr float PARKED_POSITION = -1e11f;
constexpr float SPREAD_MIN = 0.001f;  // spreads below this leave that velocity axis alone
constexpr float FADE_IN_END = 0.1f;   // fraction of the life over which a fading-in particle appears
constexpr float FADE_IN_SLOPE = 9.0f;
constexpr int QUAD_FLOATS = 2 * TRI_WORLD_FLOATS;
constexpr int QUAD_SHADE_FLOATS = 2 * TRI_SHADE_FLOATS;

// The random numbers of a respawn: a small generator of its own for each particle, seeded by the
// emitter, the particle and the frame. A generator shared by every worker would hand out its numbers in
// whatever order the threads happen to reach it, and which list order the update pass happens to have:
// the same frame would come out differently from run to run and from one pass of the demo to the next.
struct RespawnRandom {
    uint32_t state;
    RespawnRandom(ObjectId id, int64_t index, int64_t frame) {
        uint64_t h = static_cast<uint64_t>(id) * 0x9E3779B97F4A7C15ull ^
                     static_cast<uint64_t>(index) * 0xC2B2AE3D27D4EB4Full ^
                     static_cast<uint64_t>(frame) * 0x165667B19E3779F9ull;
        // The finaliser of a well-known 64-bit hash: every input bit reaches every output bit.
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDull;
        h ^= h >> 33;
        h *= 0xC4CEB9FE1A85EC53ull;
        h ^= h >> 33;
        state = static_cast<uint32_t>(h) | 1u;
    }
    // 0 .. |m| - 1, as rand() % m gives for any m but 0.
    int below(int m) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const uint32_t size = m < 0 ? 0u - static_cast<uint32_t>(m) : static_cast<uint32_t>(m);
        return static_cast<int>((state >> 1) % size);
    }
};

void respawn(float* p, const ObjectTable& t, ObjectId id, int64_t index, float life) {
    RespawnRandom random(id, index, frame_flags.frame_counter);
    p[PARTICLE_AGE] = life * static_cast<float>(random.below(500)) / 1500.0f;
    const Vec3 spread = t.particle_spread[id];
    const float s[3] = {spread.x, spread.y, spread.z};
    for (int k = 0; k < 3; ++k) {
        if (!(std::fabs(s[k]) > SPREAD_MIN)) continue;
        const int m = trunc_to_int(1000.0f * s[k]);  // at least 1 in size here
        p[PARTICLE_VX + k] = static_cast<float>(random.below(m)) / 1000.0f;
    }
    if (random.below(2)) p[PARTICLE_VX] = -p[PARTICLE_VX];
    if (random.below(2)) p[PARTICLE_VX + 2] = -p[PARTICLE_VX + 2];
    const Vec3 at =
        t.particle_parked[id] ? Vec3{PARKED_POSITION, PARKED_POSITION, PARKED_POSITION} : t.position[id];
    p[PARTICLE_X] = at.x;
    p[PARTICLE_X + 1] = at.y;
    p[PARTICLE_X + 2] = at.z;
}

// Pull (sign 1) or push (sign -1) of one force on a particle at p.
void add_force(const ParticleForce& f, const float* p, float sign, float acc[3]) {
    if (!(f.radius_sq > 0.0f)) return;
    const float d[3] = {f.position.x - p[0], f.position.y - p[1], f.position.z - p[2]};
    const float d2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    // At the centre itself there is no direction to pull along.
    if (!(d2 < f.radius_sq) || d2 <= 0.0f) return;
    const float k = sign * f.strength * (1.0f - d2 / f.radius_sq) / std::sqrt(d2);
    for (int i = 0; i < 3; ++i) acc[i] += d[i] * k;
}

void fold(ParticleBox& box, float x, float y, float z) {
    if (!box.any) {
        box.lo = box.hi = Vec3{x, y, z};
        box.any = 1;
        return;
    }
    box.lo.x = x < box.lo.x ? x : box.lo.x;
    box.lo.y = y < box.lo.y ? y : box.lo.y;
    box.lo.z = z < box.lo.z ? z : box.lo.z;
    box.hi.x = x > box.hi.x ? x : box.hi.x;
    box.hi.y = y > box.hi.y ? y : box.hi.y;
    box.hi.z = z > box.hi.z ? z : box.hi.z;
}

// The quad of one particle: corners (-s,-s), (+s,-s), (+s,+s), (-s,+s) turned to face the eye and moved
// to the particle. The turn is the one rotate_point gives with the negated pitch and yaw of
// look_at_angles (pitch 0 when upright); the corners are s times sums of the turned x and y axes, and
// those follow from the direction to the eye without any trigonometry: x turns to (cos yaw, 0, sin yaw)
// and y to (sin yaw sin pitch, cos pitch, -cos yaw sin pitch). The degenerate directions take the fixed
// angles that look_at_angles gives them.
void write_quad(const float* p, const Vec3& eye, float size, bool upright, float* tri, ParticleBox& box) {
    // The same thresholds as look_at_angles.
    constexpr float TINY = 0.00002f;
    const float dx = p[0] - eye.x, dy = p[1] - eye.y, dz = p[2] - eye.z;
    const float h = std::sqrt(dx * dx + dz * dz);
    float cy, sy;  // cos and sin of the yaw
    if (std::fabs(dx) > TINY) {
        cy = dz / h;
        sy = dx / h;
    } else {
        cy = dz >= 0 ? 1.0f : -1.0f;
        sy = 0.0f;
    }
    float cp = 1.0f, sp = 0.0f;  // cos and sin of the pitch
    if (!upright) {
        if (h > TINY) {
            const float len = std::sqrt(h * h + dy * dy);
            cp = h / len;
            sp = -dy / len;
        } else if (dy != 0.0f) {
            cp = 0.0f;
            sp = dy > 0 ? -1.0f : 1.0f;
        }
    }
    const float ex[3] = {cy, 0.0f, sy};
    const float ey[3] = {sy * sp, cp, -cy * sp};
    float corner[4][3];
    static const float SIGNS[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (int c = 0; c < 4; ++c) {
        const float sx = SIGNS[c][0] * size, sz = SIGNS[c][1] * size;
        for (int k = 0; k < 3; ++k) corner[c][k] = p[k] + (sx * ex[k] + sz * ey[k]);
        fold(box, corner[c][0], corner[c][1], corner[c][2]);
    }
    static const int ORDER[6] = {0, 1, 2, 0, 2, 3};
    for (int v = 0; v < 6; ++v) std::memcpy(tri + v * 3, corner[ORDER[v]], 3 * sizeof(float));
}

}  // namespace

void particle_set_wind(float x, float y, float z) {
    particle_state.particle_wind = Vec3{x, y, z};
}

void particle_set_attractor(float x, float y, float z, float radius_sq, float strength) {
    particle_state.particle_attractor = ParticleForce{{x, y, z}, radius_sq, strength};
}

void particle_set_repeller(float x, float y, float z, float radius_sq, float strength) {
    particle_state.particle_repeller = ParticleForce{{x, y, z}, radius_sq, strength};
}

float particle_alpha(float ratio, int flags) {
    if ((flags & PARTICLE_FLAG_FADE_IN) && ratio < FADE_IN_END) return ratio * FADE_IN_SLOPE;
    const float a = 1.0f - ratio;
    return a > 0.0f ? a : 0.0f;
}

void particle_step(ObjectId id, double dt_seconds, int thread_index, int thread_count, ParticleBox& box) {
    const ObjectTable& t = obj_table;
    if (!obj_valid(id) || t.particle_count[id] <= 0 || t.part_capacity[id] < 1) return;
    PartArrays& pa = obj_table.parts[static_cast<size_t>(id)];
    std::vector<float>& rec = obj_table.particles[static_cast<size_t>(id)];
    std::vector<float>& world = pa.tri_world[0];
    std::vector<float>& shade = pa.tri_shade[0];
    // Only particles that have both a record and a quad are simulated: an emitter whose geometry was
    // replaced keeps going with what is left instead of writing past its arrays.
    int64_t count = t.particle_count[id];
    count = std::min<int64_t>(count, static_cast<int64_t>(rec.size() / PARTICLE_FLOATS));
    count = std::min<int64_t>(count, static_cast<int64_t>(world.size() / QUAD_FLOATS));
    count = std::min<int64_t>(count, pa.tri_count[0] / 2);
    const bool shaded = shade.size() >= static_cast<size_t>(count) * QUAD_SHADE_FLOATS;
    if (thread_count < 1) thread_count = 1;

    const ParticleState& ps = particle_state;
    const float dt = static_cast<float>(dt_seconds);
    const float life = t.particle_life[id];
    const int flags = t.particle_flags[id];
    const bool parked = t.particle_parked[id] != 0;
    const float floor_y = t.particle_floor[id];
    const Vec3 wind = t.particle_no_wind[id] ? Vec3{0, 0, 0} : ps.particle_wind;
    const Vec3 base = t.particle_base_velocity[id];
    const float grow = static_cast<float>((((flags >> 1) + 1) & 3));
    const Vec3 eye = camera_state.camera_eye;

    const int64_t blocks = (count + PARTICLE_BLOCK - 1) / PARTICLE_BLOCK;
    for (int64_t b = 0; b < blocks; ++b) {
        if ((b + id) % thread_count != thread_index) continue;
        const int64_t end = std::min<int64_t>(count, (b + 1) * PARTICLE_BLOCK);
        for (int64_t i = b * PARTICLE_BLOCK; i < end; ++i) {
            float* p = rec.data() + i * PARTICLE_FLOATS;
            if (p[PARTICLE_AGE] > life) respawn(p, t, id, i, life);
            float acc[3] = {0, 0, 0};
            add_force(ps.particle_attractor, p, 1.0f, acc);
            add_force(ps.particle_repeller, p, -1.0f, acc);
            p[0] += (wind.x + p[PARTICLE_VX] + base.x + acc[0]) * dt;
            p[1] += (wind.y + p[PARTICLE_VX + 1] + base.y + acc[1]) * dt;
            p[2] += (wind.z + p[PARTICLE_VX + 2] + base.z + acc[2]) * dt;
            p[PARTICLE_AGE] += dt;
            if (floor_y != 0.0f && p[1] < floor_y) {
                p[1] = floor_y;
                p[PARTICLE_VX] = 0.0f;
                p[PARTICLE_VX + 2] = 0.0f;
            }
            // An emitter without a life would divide by zero: its particles count as newborn.
            const float ratio = life > 0.0f ? p[PARTICLE_AGE] / life : 0.0f;
            float size = t.particle_size[id];
            if (!parked && (flags & PARTICLE_FLAG_GROWTH)) size += ratio * grow;

            float* tri = world.data() + i * QUAD_FLOATS;
            if (!(p[0] >= -FAR_AWAY && p[0] <= FAR_AWAY)) {
                std::memset(tri, 0, QUAD_FLOATS * sizeof(float));
                continue;
            }
            write_quad(p, eye, size, (flags & PARTICLE_FLAG_UPRIGHT) != 0, tri, box);
            if (!shaded) continue;
            const float alpha = particle_alpha(ratio, flags);
            float* sh = shade.data() + i * QUAD_SHADE_FLOATS;
            for (int v = 0; v < 6; ++v) {
                sh[v * 4] = p[PARTICLE_RED];
                sh[v * 4 + 1] = p[PARTICLE_RED + 1];
                sh[v * 4 + 2] = p[PARTICLE_RED + 2];
                sh[v * 4 + 3] = alpha;
            }
        }
    }
}

void part_compact(ObjectId id, int part) {
    if (!obj_valid(id) || part < 0 || part >= obj_table.part_capacity[id]) return;
    PartArrays& pa = obj_table.parts[static_cast<size_t>(id)];
    const size_t p = static_cast<size_t>(part);
    pa.compact_pending[p] = 0;
    std::vector<float>& world = pa.tri_world[p];
    std::vector<float>& local = pa.tri_local[p];
    std::vector<float>& uv = pa.tri_uv[p];
    std::vector<float>& shade = pa.tri_shade[p];
    size_t count = pa.tri_count[p] > 0 ? static_cast<size_t>(pa.tri_count[p]) : 0;
    count = std::min(count, world.size() / TRI_WORLD_FLOATS);
    if (!local.empty()) count = std::min(count, local.size() / TRI_WORLD_FLOATS);
    if (!uv.empty()) count = std::min(count, uv.size() / TRI_UV_FLOATS);
    if (!shade.empty()) count = std::min(count, shade.size() / TRI_SHADE_FLOATS);
    // Degenerate in the owner's coordinates: the world copy may not have been built yet.
    const std::vector<float>& key = local.empty() ? world : local;

    auto move = [](std::vector<float>& a, size_t stride, size_t from, size_t to) {
        if (!a.empty())
            std::memmove(a.data() + to * stride, a.data() + from * stride, stride * sizeof(float));
    };
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) {
        const float* v = key.data() + i * TRI_WORLD_FLOATS;
        const size_t b = 3 * sizeof(float);
        if (!std::memcmp(v, v + 3, b) || !std::memcmp(v + 3, v + 6, b) || !std::memcmp(v, v + 6, b)) continue;
        if (kept != i) {
            move(world, TRI_WORLD_FLOATS, i, kept);
            move(local, TRI_WORLD_FLOATS, i, kept);
            move(uv, TRI_UV_FLOATS, i, kept);
            move(shade, TRI_SHADE_FLOATS, i, kept);
        }
        ++kept;
    }
    auto shrink = [kept](std::vector<float>& a, size_t stride) {
        if (a.empty()) return;
        a.resize(kept * stride);
        a.shrink_to_fit();
    };
    shrink(world, TRI_WORLD_FLOATS);
    shrink(local, TRI_WORLD_FLOATS);
    shrink(uv, TRI_UV_FLOATS);
    shrink(shade, TRI_SHADE_FLOATS);
    pa.tri_count[p] = static_cast<int>(kept);
    pa.tri_capacity[p] = static_cast<int>(kept);
    std::vector<uint8_t>& scratch = pa.scratch[p];
    if (!scratch.empty()) {
        scratch.assign(scratch_bytes(static_cast<int>(kept)), 0);
        scratch[0] = 255;  // the skinning binding no longer matches the vertices
    }
    pa.dirty[p] = 1;
}

void particles_install() {
    obj_table.part_compact = part_compact;
}
