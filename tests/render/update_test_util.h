// Helpers of the update-pass tests: a fresh engine, a hand-made particle emitter and a small figure
// whose triangles sit on the bones of rig 1.
#pragma once

#include <vector>

#include "pipeline_test_util.h"
#include "render/update/particles.h"

namespace utest {

inline void reset(int cpus) {
    ptest::reset_engine(cpus);
    particle_state = ParticleState{};
    set_resolution(64, 48);
}

// An emitter of count particles as the builders lay it out: quads at the origin, a white shade, records
// not yet emitted (far away) with the given age.
inline void make_emitter(ObjectId id, int count, float life, float age) {
    std::vector<float> shade(static_cast<size_t>(count) * 2 * TRI_SHADE_FLOATS, 1.0f);
    obj_set_part_triangles(id, 0, nullptr, nullptr, shade.data(), 0, count * 2);
    ObjectTable& t = obj_table;
    t.particle_count[id] = count;
    t.particle_life[id] = life;
    t.particle_size[id] = 0.5f;
    std::vector<float>& rec = t.particles[static_cast<size_t>(id)];
    rec.assign(static_cast<size_t>(count) * PARTICLE_FLOATS, 0.0f);
    for (int i = 0; i < count; ++i) {
        float* p = rec.data() + static_cast<size_t>(i) * PARTICLE_FLOATS;
        p[0] = p[1] = p[2] = -1e13f;
        p[PARTICLE_RED] = 1.0f;
        p[PARTICLE_RED + 1] = 0.5f;
        p[PARTICLE_RED + 2] = 0.25f;
        p[PARTICLE_AGE] = age;
    }
}

// A thin triangle around the point (x, y, z) in model space.
inline void add_marker(std::vector<float>& out, float x, float y, float z) {
    const float t[9] = {x, y, z, x + 0.01f, y, z, x, y + 0.01f, z};
    out.insert(out.end(), t, t + 9);
}

// A rig-1 figure: markers on the left shin, the right shin, the chest (bound to nothing) and the left
// forearm. Triangle 0 is the left shin.
inline void make_figure(ObjectId id, unsigned clip) {
    std::vector<float> tris;
    add_marker(tris, 0.11f, 0.3f, 0.0f);
    add_marker(tris, -0.11f, 0.3f, 0.0f);
    add_marker(tris, 0.0f, 1.2f, 0.0f);
    add_marker(tris, 0.255f, 1.0f, 0.0f);
    obj_set_part_triangles(id, 0, tris.data(), nullptr, nullptr, 0, static_cast<int>(tris.size() / 9));
    obj_table.anim_type[id] = 1;
    obj_table.anim_clip[id] = clip;
    obj_table.anim_playing[id] = 1;
}

}  // namespace utest
