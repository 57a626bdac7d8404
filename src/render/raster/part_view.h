// The view test for a part's world box, used by the raster pass to skip whole parts before any
// triangle work. Pure: any worker may call it.
#pragma once

#include "scene/vec.h"

// True when the box (world space) may be visible from the eye (world space) with the given angles
// (degrees, as stored in camera_angles), projection and view centre, in an image of width x height.
// slice_count > 1 limits the test to that slice's rows; otherwise the whole height counts.
bool part_in_view(Vec3 eye, Vec3 angles, Vec3 box_min, Vec3 box_max, const float projection[3], int width,
                  int height, const float view_center[2], int slice_index, int slice_count);
