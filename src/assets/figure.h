// Figures from pictures: a picture's opaque pixels taken as the front view of a body, thickened into a
// voxel figure, meshed and textured, and given an animation rig. Main thread, while loading.
#pragma once

#include "core/ids.h"

// Builds the figure of picture `name` into object `id` (not stored for id <= 0). 1 when built (a
// picture without opaque pixels gives an empty figure), 0 when the picture has no pixels.
int figure_load(ObjectId id, const char* name);
