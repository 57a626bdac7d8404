// Flat rings and discs, baking placed objects into one composite, and the spoked wheel built from both.
// Main (scene) thread only.
#pragma once

#include "scene/object.h"

// Steps above this are refused (8 triangles each must fit one part).
constexpr int GEN_RING_MAX_SEGMENTS = TRI_COUNT_LIMIT / 8;

// A ring between the two radii (a disc for inner 0) in the plane z = 0, `segments` equal steps, written
// into `part` without texture coordinates. With a thickness the front lies at z = +thickness / 2, a
// back face and the outer edge are added, and with an inner radius also the inner edge: 2, 6 or 8
// triangles per step. Nothing for segments < 1, id < 1 or part < 0.
void gen_ring(ObjectId id, int part, float outer, float inner, float thickness, int segments);
// Part 0: the fixed thick ring (radii 0.3 and 0.27, thickness 0.05) in 16 steps of whole degrees.
void gen_hoop_ring(ObjectId id);
// Hub disc (part 0), rim (part 1) and 24 spokes of width `hub` baked in after them.
void gen_wheel(ObjectId id, float hub);
