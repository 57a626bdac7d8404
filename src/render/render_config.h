// The frame pipeline's configuration switches. Written on the main thread between frames (start-up,
// hot keys, scenes); read by the pipeline and its workers during a frame.
#pragma once

struct RenderConfig {
    int thread_cap = 0;                   // upper bound on threads per pass; 0: no bound
    int raster_thread_boost = 1;          // allows more raster threads than processors
    int transform_thread_mode = 0;        // 0 normal; 2 doubles, 3 triples, other non-zero adds 2
    int raster_split_mode = 0;            // 0 horizontal slices, 1 whole parts, 2 interleaved triangles
    int half_height_mode = 0;             // render the scene at half height and double its rows
    int motion_phases = 3;                // 3 runs the middle phase of the motion pass
    int frame_clear = 1;                  // 0: scenes that paint over the last frame keep it uncleared
    float clear_color[4] = {0, 0, 0, 0};  // background red, green, blue (0..1) and a fourth value
};

extern RenderConfig render_config;

// The scenes pass a fourth value that no thread rule uses; it is accepted and has no effect.
void render_threads_config(int cap, int boost, int transform_mode, int reserved);
void raster_split(int mode);
void half_height(int flag);
void set_clear_color(float r, float g, float b);
void motion_middle_phase(int value);
