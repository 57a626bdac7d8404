// How many threads each pass of the frame gets. Pure functions of the processor count, the pass's
// amount of work and the render configuration (thread_cap, raster_thread_boost and the modes); the
// pipeline thread asks them once per pass per frame.
#pragma once

#include <cstdint>

// The thread cap of the configuration applied to t, and never below 1.
int apply_thread_cap(int t);

// The object update pass over list_count objects with particle_total particles; 0 with an empty list.
int update_thread_count(int cpu_count, int list_count, int64_t particle_total);
// The motion and collision pass over list_count objects.
int motion_thread_count(int cpu_count, int list_count);
// The transform step of the geometry pass for a work estimate of the dirty list.
int transform_thread_count(int cpu_count, int estimate);
// The raster pass over rendered_height rows.
int raster_thread_count(int cpu_count, int rendered_height);
// The scene-bounds pass.
int bounds_thread_count(int cpu_count);
// The light-change and vertex-lighting passes.
int lighting_thread_count(int cpu_count);
// Helpers that scan quarters of the object table for the dirty list: 4 (three helpers) or 0 (none).
int dirty_list_split(int cpu_count);
// Threads of the half-height row doubling of a frame of the given size: 1 or 2.
int doubling_thread_count(int cpu_count, int64_t pixels);
