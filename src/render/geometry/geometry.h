// The geometry pass: the list of dirty parts (and changed lights) built once per frame, and the
// transform step that rebuilds the listed parts' world triangles and boxes. The lists are written by
// the pipeline thread (and its three list helpers, into partial lists); the transform step by up to 16
// workers, each on its own list entries.
#pragma once

#include <vector>

#include "core/id_list.h"
#include "scene/object.h"
#include "scene/transform.h"

// Work estimate at which the transform thread count saturates.
constexpr int GEOMETRY_WORK_LIMIT = 35000;

// Entries collected by one list helper (a quarter of the ids and of the lights).
struct GeometryPartial {
    std::vector<int> objects, parts;  // listed parts
    int count = 0;
    int capacity = 0;
    IdList lights;              // changed lights
    int estimate = 0;           // work estimate of this quarter
    int collision_changed = 0;  // a listed part has a collision mode
};

struct GeometryState {
    std::vector<int> dirty_objects;  // object id of each listed part; dirty_capacity + 1 entries
    std::vector<int> dirty_parts;    // part index of each listed part
    int dirty_count = 0;             // entries in use
    int dirty_capacity = 0;          // entries allocated
    IdList changed_lights;           // indices of lights whose data changed
    GeometryPartial partial[4];      // quarters 1..3 of a split scan (0 unused)
};

extern GeometryState geometry_state;

// Lists the dirty parts and changed lights; split 4 lets three helpers scan quarters of a mid-sized
// table. Returns the work estimate (0 to about GEOMETRY_WORK_LIMIT).
int build_dirty_list(int split);
// Rebuilds the listed parts whose list position modulo thread_count is thread_index (all of them when
// thread_count < 2).
void transform_pass(int thread_index, int thread_count);
// Rebuilds one part now (the transform step for one entry).
void transform_part(ObjectId id, int part);

// Frees the dirty-part and changed-light lists and their partial lists (rebuilt on the next frame).
void geometry_release_lists();
void geometry_reset();
