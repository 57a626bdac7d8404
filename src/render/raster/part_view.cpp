// The box view test of the raster pass. Pure function; called concurrently by raster workers.
#include "render/raster/part_view.h"

#include "core/slices.h"

#include "scene/camera.h"

bool part_in_view(Vec3 eye, Vec3 angles, Vec3 box_min, Vec3 box_max, const float projection[3], int width,
                  int height, const float view_center[2], int slice_index, int slice_count) {
    if (eye.x >= box_min.x && eye.x <= box_max.x && eye.y >= box_min.y && eye.y <= box_max.y &&
        eye.z >= box_min.z && eye.z <= box_max.z)
        return true;

    // The rows of the slice; the last slice (or no slice at all) reaches the bottom.
    const RowRange rows = slice_rows(height, slice_index, slice_count);
    const float top = static_cast<float>(rows.first);
    const float bottom = static_cast<float>(rows.end);
    const float w = static_cast<float>(width);
    const ViewTransform view = view_transform_make(eye, angles, projection, view_center, width, height);

    int n = 0, left = 0, right = 0, above = 0, below = 0;
    for (int corner = 0; corner < 8; ++corner) {
        const float x = (corner & 4) ? box_max.x : box_min.x;
        const float y = (corner & 2) ? box_max.y : box_min.y;
        const float z = (corner & 1) ? box_max.z : box_min.z;
        const ProjectedPoint p = project_point(view, x, y, z);
        if (!(p.depth >= 0)) continue;
        ++n;
        // A corner counts on one side only while nothing has been seen on the opposite side: a box
        // with corners on both sides straddles the view.
        bool outside_x = false, outside_y = false;
        if (p.x < 0 && right == 0) {
            ++left;
            outside_x = true;
        }
        if (p.x > w && left == 0) {
            ++right;
            outside_x = true;
        }
        if (p.y < top && below == 0) {
            ++above;
            outside_y = true;
        }
        if (p.y > bottom && above == 0) {
            ++below;
            outside_y = true;
        }
        if (!outside_x && !outside_y) return true;
    }

    const float gy = projection[1] != 0 ? projection[1] : 0.5625f;
    const float gx = projection[0] != 0 ? projection[0] : 1.0f;
    const float g = gy > gx ? gy : gx;
    const bool near_eye = (box_min.x <= eye.x + g && box_max.x >= eye.x - g) ||
                          (box_min.y <= eye.y + g && box_max.y >= eye.y - g) ||
                          (box_min.z <= eye.z + g && box_max.z >= eye.z - g);
    if (near_eye) {
        if (left > 7 || right > 7 || above > 7 || below > 7 || n == 0) return false;
    } else {
        if (left >= n || right >= n || above >= n || below >= n) return false;
    }
    const int sides = (left != 0) + (right != 0) + (above != 0) + (below != 0);
    return n < 8 || sides >= 2;
}
