// The animation rig of a figure built from a picture: fits the rig's joints to what the silhouette
// analysis found. Main thread, while loading.
#pragma once

#include "core/ids.h"

// What the silhouette analysis found, in normalised picture units: x across and y up, 0..1 over the
// voxel grid (a cell (x, y) of the middle slice is at x / N, y / N). Index 0 is the left of the
// picture, 1 the right. A position of 0 means "not found".
struct FigureShape {
    unsigned rig = 0;      // 0 not animated ("raw_"), 1 two-legged, 2 four-legged ("animal_")
    float top = 0;         // top row of the figure / N
    float bottom = 0;      // lowest row holding a solid cell / N
    float belly = 0;       // belly row / N
    float shoulder_x = 0;  // the shoulder point on the centre column
    float shoulder_y = 0;
    float leg_x[2] = {};   // the solid cells beside the gap between the legs
    float hand_x[2] = {};  // the hands found by the rays
    float hand_y[2] = {};
    float elbow_x[2] = {};  // halfway between shoulder and hand, moved onto the figure
    float elbow_y[2] = {};
    float head_x = 0;  // the middle of the highest row's solid cells: where an animal's head is
    // The finishing transform from normalised units to the finished mesh:
    // mesh x = (x - centre) * aspect, mesh y = y - y_shift.
    float centre = 0;
    float aspect = 1;
    float y_shift = 0;
};

// Sets anim_type, anim_clip, the pose offset and scale and the pose tables of object `id` (ids below 1
// and ids outside the table are ignored).
void figure_rig(ObjectId id, const FigureShape& shape);
