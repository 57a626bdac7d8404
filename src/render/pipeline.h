// The frame pipeline: render_frame and its 3D half render_scene, the per-frame lists and counters, the
// frame clear, half-height row doubling and the thread-count rule of every pass. The pipeline thread
// (the main thread) owns all of this; workers read the slice table and write only their share.
#pragma once

#include <cstdint>
#include <vector>

// Thread counts the passes of the last rendered frame ran on (0: the pass did not run).
struct PassThreads {
    int update = 0;
    int motion = 0;
    int transform = 0;
    int bounds = 0;
    int light_change = 0;
    int lighting = 0;
    int raster = 0;
    int doubling = 0;
    int merge = 0;
};

struct PipelineState {
    int scene_drawn = 0;        // 1 while the current frame is drawn, 0 when the empty-scene shortcut applied
    int clear_pending = 0;      // the last drawn frame left an image to clear before an empty frame is kept
    int64_t frame_counter = 0;  // rendered frames
    std::vector<int> update_list;  // object ids for the object update pass; update_capacity + 1 entries
    int update_count = 0;
    int update_capacity = 0;
    std::vector<int> motion_list;  // object ids for the motion pass
    int motion_count = 0;
    int motion_capacity = 0;
    int64_t particle_total = 0;  // particles of the emitters in the update list
    // The helper's half of the list scan of a large table, appended after the pipeline's own half.
    std::vector<int> partial_update, partial_motion;
    int partial_update_count = 0, partial_update_capacity = 0;
    int partial_motion_count = 0, partial_motion_capacity = 0;
    int64_t partial_particles = 0;
    int motion_phase = 0;     // phase the motion workers of the running pass run
    int clear_full = 0;       // the running frame clear covers every row (the planes are new)
    int overlay_visible = 0;  // the overlay preparation found a visible slot
    int headless = 0;         // render_frame leaves presentation out (tests, benchmarks)
    PassThreads threads;      // of the last rendered frame
};

extern PipelineState pipeline_state;

struct RenderedFrame {
    uint8_t* pixels;  // the frame buffer's colour plane
    int width;
    int height;
};

// One whole frame: overlay preparation beside the 3D passes, the overlay merge, the frame statistics
// and presentation.
RenderedFrame render_frame();
// The 3D passes in their fixed order; returns the colour plane.
uint8_t* render_scene();
// render_frame without presentation: frames stay in the FrameBuffer.
void render_set_headless(int flag);

// Thread-count rules (cpu_count processors; render_config supplies the cap, boost and modes).
int update_thread_count(int cpu_count, int list_count, int64_t particle_total);
int motion_thread_count(int cpu_count, int list_count);
int transform_thread_count(int cpu_count, int estimate);
int raster_thread_count(int cpu_count, int rendered_height);

// Fills the frame with the clear colour and the far depth: rows of the middle half in half-height mode,
// all rows when full is set.
void frame_clear(int full);
// Spreads the middle half of the rows over the whole frame, each rendered row shown twice; the bottom
// half on worker 2 when there are several processors and the frame is large.
void half_height_double(int cpu_count);

// Every list, counter and worker slot of the pipeline back to its start state (tests). Leaves the object
// table, the frame buffer and the configuration alone.
void pipeline_reset();
