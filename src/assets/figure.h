// Figures from pictures: a picture's opaque pixels taken as the front view of a body, thickened into a
// voxel figure, meshed and textured, and given an animation rig. Main thread, while loading.
#pragma once

#include "assets/figure_rig.h"
#include "core/ids.h"

// Builds the figure of picture `name` into object `id` (not stored for id <= 0). 1 when built (a
// picture without opaque pixels gives an empty figure), 0 when the picture has no pixels. A picture
// "name_backside.ext" beside "name.ext" gives the figure's back (part 1); "animal_" in the name makes
// a four-legged figure, "raw_" one without animation. The textures are painted (see
// figure_paint_border), so a later build of the same picture reloads them from their files.
int figure_load(ObjectId id, const char* name);

// What the analysis of the last figure built found, as handed to the rig.
const FigureShape& figure_last_shape();
