#include "render/frame_flags.h"

FrameFlags frame_flags;

void frame_flags_end_frame() {
    FrameFlags& f = frame_flags;
    f.relight_all = 0;
    f.collision_geometry_changed = 0;
    f.collision_grid_changed = 0;
    f.bounds_pending = 0;
}
