// The light table, the light grid and the shadow voxels. The scene bounds (scene_bounds.h) give the grid
// its extent; vertex lighting (vertex_lighting.h) reads the grid. Lights are set by the scene thread between
// frames; the passes are run by the pipeline thread and its workers, each worker on a disjoint share.
#pragma once

#include <cstdint>
#include <vector>

#include "scene/vec.h"

struct LightState {
    int light_count = 0;                  // highest light index set + 1
    int light_capacity = 0;               // lights allocated in every column below
    int light_enabled_count = 0;          // enabled lights (drives the grid size)
    std::vector<int> light_enabled;       // per light: non-zero shines; new: 0
    std::vector<int> light_changed;       // per light: changed this frame; new: 0
    std::vector<Vec3> light_color;        // multiplier of the 0..255 intensity per channel; new: 0
    std::vector<Vec3> light_center;       // current sphere; new: 0
    std::vector<float> light_radius;      // new: 0
    std::vector<Vec3> light_old_center;   // sphere as entered in the light grid; new: 0
    std::vector<float> light_old_radius;  // new: 0
    std::vector<int> light_shadow_size;   // voxel grid resolution s, 0 none, at most 256; new: 0
    std::vector<std::vector<uint8_t>> light_shadow_voxels;  // (s+1)^3 bytes, non-zero blocks; new: none
    std::vector<uint8_t> light_voxels_stale;                // the voxels must be filled again; new: 0
    Vec3 ambient_color{1, 1, 1};  // base light of every lit vertex, 0..1 per channel

    // The light grid: grid_n cells per axis over the scene bounds; per cell the lights touching it.
    int grid_n = 0;
    Vec3 grid_origin{0, 0, 0};
    Vec3 grid_scale{0, 0, 0};                  // cells per world unit
    std::vector<std::vector<int>> grid_cells;  // (z x n + y) x n + x
    int grid_rebuilt = 0;                      // the grid was emptied: every light must be entered again

    Vec3i scene_min{0, 0, 0};  // bounds of the integer world boxes of drawn parts
    Vec3i scene_max{0, 0, 0};
    int scene_bounds_valid = 0;  // 1 when some part contributed to the bounds
};

extern LightState light_state;

// Chooses the grid size from the enabled lights and empties the grid when its size or extent changed.
void light_grid_setup();
// Moves every changed light (every light after a rebuild or with relight_all) from the cells of its old
// sphere to the cells of its new one.
void light_grid_update();
// Refills the shadow voxels of the lights whose index modulo thread_count is thread_index.
void light_change_pass(int thread_index, int thread_count);

// End of a frame: every listed changed light takes its new sphere as its old one and is unmarked.
void lighting_end_frame(const int* changed_lights, int count);

void lighting_reset();

// Lights (scene thread, between frames).
constexpr int LIGHT_INDEX_LIMIT = 1 << 20;  // light indices beyond this are refused
constexpr int LIGHT_SHADOW_MAX = 256;
// Sets light index (growing the table); marks it changed when it was switched or, while enabled,
// when any value differs.
void light_set(int index, int enabled, float red, float green, float blue, float radius, float x, float y,
               float z);
// Gives light index a shadow voxel grid of s^3 cells (s capped at 256; 0 or less removes it).
void light_shadow_size(int index, int s);
void set_ambient(float red, float green, float blue);
// Grid size for a number of enabled lights.
int light_grid_size_for(int enabled_lights);
// The voxel of p (world space) in the shadow grid of size s of the light at c with the given radius,
// or -1 outside it.
int64_t light_voxel_index(const float p[3], Vec3 c, float radius, int s);
