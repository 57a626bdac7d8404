// Textured ellipsoids (UV spheres) and the set-up of particle emitters: the emitter's quads and its
// particle records, which the object update pass then advances. Main (scene) thread only.
#pragma once

#include "scene/object.h"

// Segments above this are refused: 2 x n x n triangles must fit one part.
constexpr int GEN_SPHERE_MAX_SEGMENTS = 2048;
// Particles per emitter above this are refused (two triangles each must fit one part).
constexpr int EMITTER_MAX_PARTICLES = TRI_COUNT_LIMIT / 2;

// The particle array holds this many floats beyond the records: slack the update pass may read.
constexpr int PARTICLE_SLACK_FLOATS = 4;

// Part 0: an ellipsoid of radii rx, ry, rz from `segments` rings (raised to 3), 2 x n x n triangles
// from the bottom pole up, with `texture`. Ids below 1 store nothing.
void gen_sphere(ObjectId id, int segments, TextureId texture, float rx, float ry, float rz);

// Makes (or, with the same count, only moves and re-parameterises) an emitter of `count` particles.
// (vx, vy, vz) land in the records' colour fields, where the update pass reads each particle's tint;
// the particles' own velocities come from the spread at every emission.
void emitter_setup(ObjectId id, TextureId texture, int count, float x, float y, float z, float sx, float sy,
                   float sz, float vx, float vy, float vz, float life, float extra);
// The general form: particle_flags becomes `mode`, and with fixed_velocity 0 every (vx, vy, vz)
// component of a new particle is randomised around half the given value.
void emitter_setup_ex(ObjectId id, float x, float y, float z, float sx, float sy, float sz, int mode,
                      float vx, float vy, float vz, float life, TextureId texture, float extra, int count,
                      int fixed_velocity);
