// Models: fills an object slot with the triangles of a model file (Wavefront OBJ, 3DS or the C-array
// ".glm" text); picture names become figures. Main thread only, while no frame is rendered.
#pragma once

#include "core/ids.h"

// Resets and names object `id`, reads `name` and hands each part on with its texture. 1 on success, 0
// when the file is missing, unreadable or yields no part (for a picture name: figure_load's result).
// With id <= 0 the file is read and discarded.
int model_load(ObjectId id, const char* name);
