// Models: fills an object slot with the triangles of a model file (Wavefront OBJ, 3DS or the C-array
// ".glm" text); picture names become figures. Main thread only, while no frame is rendered.
#pragma once

#include <cstdint>

#include "core/ids.h"

// What one model load may make. A file describes triangles far more cheaply than memory holds them
// (a face line of 254 characters fans into about 125 triangles of 96 bytes each), so the bound is on
// the triangles: the import buffer's room for them, checked before it grows. A load past it gives no
// model.
struct ModelLimits {
    // Triangles over all parts of one load: 2,097,152. No model of the demo comes near it; at the
    // bound the import buffer and the object table hold 192 MiB each, which a 32-bit process can
    // still find.
    int64_t max_triangles = int64_t{1} << 21;
};

extern ModelLimits model_limits;

// Resets and names object `id`, reads `name` and hands each part on with its texture. 1 on success, 0
// when the file is missing, unreadable or yields no part (for a picture name: figure_load's result).
// With id <= 0 the file is read and discarded.
int model_load(ObjectId id, const char* name);
