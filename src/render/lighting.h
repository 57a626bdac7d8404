// The light table and the lighting passes of the frame: scene bounds, light grid, light changes,
// collision grid and vertex lighting. Written by the pipeline thread and, during a pass, by its workers
// on disjoint shares. The passes are entry points the pipeline calls in its fixed order; lights are not
// filled in yet, so with no lights they have nothing to do.
#pragma once

#include <vector>

#include "scene/vec.h"

struct LightState {
    int light_count = 0;                 // highest light index set + 1
    int light_enabled_count = 0;         // enabled lights
    std::vector<int> light_enabled;      // per light: non-zero shines; new: 0
    std::vector<int> light_changed;      // per light: changed this frame; new: 0
    std::vector<Vec3> light_center;      // current sphere; new: 0
    std::vector<float> light_radius;     // new: 0
    std::vector<Vec3> light_old_center;  // sphere as entered in the light grid; new: 0
    std::vector<float> light_old_radius;
    int collision_grid_changed = 0;  // geometry must be re-entered in the collision grid
    int bounds_pending = 0;          // the scene-bounds pass must run on the next frame
    Vec3i scene_min{0, 0, 0};        // bounds of the integer world boxes of drawn parts
    Vec3i scene_max{0, 0, 0};
    int scene_bounds_valid = 0;  // 1 when some part contributed to the bounds
};

extern LightState light_state;

// Frames between periodic relighting: max(4, round(rendered_fps / 6)).
int lighting_period();

// Bounds of the world boxes of every visible part of enabled objects with geometry, over the share
// thread_index of thread_count; scene_bounds_finish combines the shares after the join.
void scene_bounds_pass(int thread_index, int thread_count);
void scene_bounds_finish(int thread_count);
void light_grid_setup();
void light_grid_update();
void light_change_pass(int thread_index, int thread_count);
void collision_grid_maintain();
void vertex_lighting_pass(int thread_index, int thread_count);
void collision_grid_update(int thread_index, int thread_count);

// End of a frame: every listed changed light takes its new sphere as its old one and is unmarked.
void lighting_end_frame(const int* changed_lights, int count);

void lighting_reset();
