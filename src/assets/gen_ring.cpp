// Rings, the fixed hoop ring, baking and the wheel. Main (scene) thread only.
#include "assets/gen_ring.h"

#include <cmath>
#include <vector>

#include "assets/gen_box.h"
#include "scene/transform.h"

namespace {

struct RingPoint {
    float x, y;
};

// Triangles of a ring whose steps run between consecutive angles (degrees, angles.size() - 1 steps).
// The points on each step boundary are computed once and shared by both steps that meet there, and a
// closing angle of 360 reuses the points at 0, so the ring has no crack at its seam.
std::vector<float> build_ring(const std::vector<double>& angles, float outer, float inner, float thickness) {
    const size_t steps = angles.size() - 1;
    std::vector<RingPoint> po(angles.size()), pi(angles.size());
    for (size_t k = 0; k < angles.size(); ++k) {
        if (k == steps && k > 0 && angles[k] == angles[0] + 360.0) {
            po[k] = po[0];
            pi[k] = pi[0];
            continue;
        }
        const double a = angles[k] * DEG_TO_RAD;
        const float s = static_cast<float>(std::sin(a)), c = static_cast<float>(std::cos(a));
        po[k] = RingPoint{s * outer, c * outer};
        pi[k] = RingPoint{s * inner, c * inner};
    }
    const bool thick = thickness != 0.0f;
    const bool hollow = thick && inner != 0.0f;
    const size_t per_step = hollow ? 8 : thick ? 6 : 2;
    std::vector<float> tris;
    tris.reserve(steps * per_step * TRI_WORLD_FLOATS);
    auto put = [&](RingPoint p, float z) {
        tris.push_back(p.x);
        tris.push_back(p.y);
        tris.push_back(z);
    };
    const float front = thickness * 0.5f, back = -thickness * 0.5f;
    for (size_t k = 0; k < steps; ++k) {
        const RingPoint o0 = po[k], i0 = pi[k], o1 = po[k + 1], i1 = pi[k + 1];
        put(o0, front), put(i0, front), put(o1, front);
        put(i0, front), put(o1, front), put(i1, front);
        if (!thick) continue;
        put(o0, back), put(i0, back), put(o1, back);
        put(i0, back), put(o1, back), put(i1, back);
        put(o0, front), put(o1, front), put(o1, back);
        put(o0, front), put(o1, back), put(o0, back);
        if (!hollow) continue;
        put(i0, front), put(i1, front), put(i1, back);
        put(i0, front), put(i1, back), put(i0, back);
    }
    return tris;
}

}  // namespace

void gen_ring(ObjectId id, int part, float outer, float inner, float thickness, int segments) {
    if (segments < 1 || segments > GEN_RING_MAX_SEGMENTS || id < 1 || part < 0) return;
    std::vector<double> angles(static_cast<size_t>(segments) + 1);
    const double step = 360.0 / segments;
    for (int k = 0; k <= segments; ++k) angles[static_cast<size_t>(k)] = k == segments ? 360.0 : k * step;
    const std::vector<float> tris = build_ring(angles, outer, inner, thickness);
    obj_set_part_triangles(id, part, tris.data(), nullptr, nullptr, 0,
                           static_cast<int>(tris.size() / TRI_WORLD_FLOATS));
}

void gen_hoop_ring(ObjectId id) {
    if (id < 1) return;
    // Whole-degree steps: 22, 45, 67, 90, ... 337, 360.
    std::vector<double> angles(17);
    for (int k = 0; k <= 16; ++k) angles[static_cast<size_t>(k)] = static_cast<int>(22.5 * k);
    const std::vector<float> tris = build_ring(angles, 0.3f, 0.27f, 0.05f);
    obj_set_part_triangles(id, 0, tris.data(), nullptr, nullptr, 0,
                           static_cast<int>(tris.size() / TRI_WORLD_FLOATS));
}

void gen_wheel(ObjectId id, float hub) {
    gen_ring(id, 0, hub, 0, 0.05f, 20);
    gen_ring(id, 1, 0.33f, 0.3f, 0.02f, 20);
    if (id < 1) return;
    const ObjectId scratch = obj_free_id();
    if (scratch < 1 || scratch == id) return;
    // Each box crosses the centre, so twelve of them at 15 degrees give 24 spokes.
    for (int k = 0; k < 12; ++k) {
        gen_box(scratch, 0.63f, hub, 0.02f);
        obj_set_rotation(scratch, 0, 0, static_cast<float>(k * 15));
        obj_bake(id, scratch);
        obj_reset(scratch);
    }
    // obj_reset keeps the transform; the slot goes back to the free pool and must not hand its last
    // rotation to the next user.
    obj_set_rotation(scratch, 0, 0, 0);
}
