// The motion and collision pass and its collision grid: objects that move under their own velocity,
// fall under a global acceleration and come to rest on the parts below them. The grid is built on the
// pipeline thread; the pass runs its phases on up to four workers, each moving only its own objects.
#pragma once

#include <cstdint>
#include <vector>

#include "core/workers.h"
#include "scene/object.h"

// One collider part as it stood when the grid was built: the pass compares against these copies, never
// against boxes that another worker may be moving at the same time.
struct CollisionEntry {
    ObjectId id;
    int part;
    Vec3 lo, hi;  // the part's box
    int kind;     // 1: solid box; 2: surface (resting height from its triangles)
};

struct alignas(64) MotionShare {
    int moved = 0;  // a collider of this worker's objects left its place in the grid
};

struct MotionState {
    Vec3 motion_acceleration{0.0f, -9.81f, 0.0f};  // world units per second squared, on moving objects
    int grid_n = 0;                                // cells per axis; the pass runs only when above 1
    Vec3 grid_origin{0, 0, 0};
    Vec3 grid_scale{0, 0, 0};             // cells per world unit
    std::vector<CollisionEntry> entries;  // collider parts, grouped by object
    std::vector<std::vector<int>> cells;  // entry indices per cell, (z x n + y) x n + x
    std::vector<int> first_entry;         // per object id: its first entry, -1 none
    int built = 0;                        // the grid reflects the table at least once
    MotionShare share[WORKER_PASS_MAX];
};

extern MotionState motion_state;

void motion_set_acceleration(float x, float y, float z);
// One phase (0, 1 or 2) of the motion and collision pass over the motion list; the share of a worker is
// the objects whose id modulo thread_count is thread_index.
void motion_pass(int phase, int thread_index, int thread_count);
// Back to the start state (tests, pipeline reset). The grid itself is rebuilt by
// collision_grid_maintain (pipeline thread, every frame after the geometry pass) when collision
// geometry changed or colliders left their cells.
void motion_reset();
// Rebuilds the collision grid when collision geometry changed or colliders left their cells (pipeline
// thread, every frame after the geometry pass).
void collision_grid_maintain();
// The collision grid's worker share; the grid is rebuilt whole by collision_grid_maintain.
void collision_grid_update(int thread_index, int thread_count);
// The collision kind of a stored collision_mode (which carries +10 / -20 hand-over offsets).
int collision_kind(int mode);
