// The frame counter and the flags the passes of one frame raise for the passes after them: every light
// must be redone, collision geometry changed, a collider left its place in the collision grid, the
// scene bounds must be measured again. Raised on the pipeline thread (by setters between frames, or by
// a pass after its workers are joined), never by a worker; cleared at the end of every frame.
#pragma once

#include <cstdint>

struct FrameFlags {
    int64_t frame_counter = 0;           // rendered frames
    int relight_all = 1;                 // every light counts as changed (the first frame lights all)
    int collision_geometry_changed = 0;  // a listed part has a collision mode
    int collision_grid_changed = 0;      // geometry must be entered in the collision grid again
    int bounds_pending = 0;              // the scene-bounds pass must run (raised before it in the frame)
};

extern FrameFlags frame_flags;

// The flags of a finished frame back to lowered; the frame counter runs on.
void frame_flags_end_frame();
