// Particle emitters: the per-frame particle step that moves, re-emits and turns every particle into a
// camera-facing quad, the forces shared by all emitters, and the compaction of triangle lists. The step
// runs on every update worker, each on its own blocks of 32 particles; the settings are written by the
// scene thread between frames.
#pragma once

#include "scene/object.h"

constexpr int PARTICLE_BLOCK = 32;  // particles per share unit of the update workers
constexpr int PARTICLE_FLAG_GROWTH = 7;
constexpr int PARTICLE_FLAG_FADE_IN = 1 << 7;
constexpr int PARTICLE_FLAG_UPRIGHT = 1 << 8;

struct ParticleForce {
    Vec3 position;    // world position
    float radius_sq;  // squared reach; 0 or less: no force
    float strength;   // world units per second at the centre, falling to 0 at the reach
};

struct ParticleState {
    Vec3 particle_wind{0, 0, 0};  // world units per second, on every emitter without particle_no_wind
    ParticleForce particle_attractor{{0, 0, 0}, 0, 0};
    ParticleForce particle_repeller{{0, 0, 0}, 0, 0};
};

extern ParticleState particle_state;

void particle_set_wind(float x, float y, float z);
void particle_set_attractor(float x, float y, float z, float radius_sq, float strength);
void particle_set_repeller(float x, float y, float z, float radius_sq, float strength);

// World box of the quads one worker wrote for one emitter.
struct ParticleBox {
    Vec3 lo, hi;
    int any;  // some quad was written
};

// Advances the particles of emitter id whose block (index / 32 + id) modulo thread_count is
// thread_index, and writes their two triangles each into part 0's world triangles and shade; box
// receives the extent of what was drawn.
void particle_step(ObjectId id, double dt, int thread_index, int thread_count, ParticleBox& box);

// The alpha of a particle at age / life = ratio: 1 - ratio (not below 0), or with fade-in and a ratio
// below 0.1, ratio x 9.
float particle_alpha(float ratio, int flags);

// Drops the degenerate triangles (two corners the same) of a part and shrinks its arrays to the new
// count; clears compact_pending and marks the part for a rebuild.
void part_compact(ObjectId id, int part);
// Installs part_compact as the object table's compaction hook.
void particles_install();
