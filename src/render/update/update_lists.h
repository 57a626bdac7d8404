// The per-frame lists of the update and motion passes: which objects animate, walk or emit (the update
// list) and which move under their own velocity or have parts to compact (the motion list). Built by the
// pipeline thread at the start of each frame (a helper scans the upper half of a large table); read by
// the passes' workers.
#pragma once

#include <cstdint>

#include "core/id_list.h"

struct UpdateLists {
    IdList update;               // objects for the object update pass
    IdList motion;               // objects for the motion and collision pass
    int64_t particle_total = 0;  // particles of the emitters in the update list
    // The helper's half of the scan of a large table, appended after the pipeline thread's own half.
    IdList partial_update, partial_motion;
    int64_t partial_particles = 0;
};

extern UpdateLists update_lists;

// Lists the objects of this frame; with two or more processors a large table is scanned in two halves.
void update_lists_build(int cpu_count);
// Empties the lists for the next frame, keeping their storage.
void update_lists_end_frame();
// Frees the lists' storage (rebuilt by the next frame with the same growth rule).
void update_lists_release();
