// The frame order: render_scene runs the 3D passes in their fixed sequence over the object table, each
// pass's workers started and joined around it, and ends the frame's bookkeeping. The pipeline thread
// (the main thread) owns all of this; workers read the slice table and write only their share.
#pragma once

#include <cstdint>

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
};

struct PipelineState {
    int scene_drawn = 0;    // 1 while the current frame is drawn, 0 when the empty-scene shortcut applied
    int clear_pending = 0;  // the last frame left an image (a scene or a merged overlay) to clear before an
                            // empty frame is kept
    int motion_phase = 0;   // phase the motion workers of the running pass run
    int clear_full = 0;     // the running frame clear covers every row (the planes are new)
    PassThreads threads;    // of the last rendered frame
};

extern PipelineState pipeline_state;

// The 3D passes in their fixed order; returns the colour plane.
uint8_t* render_scene();

// Every list, counter, flag and worker slot of the passes back to its start state (tests). Leaves the
// object table, the frame buffer and the configuration alone.
void pipeline_reset();
