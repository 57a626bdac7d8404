// Helpers of the renderer tests: an in-memory target, a camera that maps world units to pixels, and
// triangle builders in screen coordinates.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "render/raster/fill.h"

namespace rtest {

// Depth of a cleared frame: every byte 127.
constexpr uint32_t CLEARED_DEPTH = 0x7F7F7F7Fu;

struct Canvas {
    int width, height;
    std::vector<uint8_t> color;
    std::vector<uint32_t> depth;

    Canvas(int w, int h)
        : width(w),
          height(h),
          color(static_cast<size_t>(w) * h * 3, 0),
          depth(static_cast<size_t>(w) * h, CLEARED_DEPTH) {}
    const uint8_t* pixel(int x, int y) const { return &color[(static_cast<size_t>(y) * width + x) * 3]; }
    uint32_t depth_at(int x, int y) const { return depth[static_cast<size_t>(y) * width + x]; }
    bool written(int x, int y) const { return depth_at(x, y) != CLEARED_DEPTH; }
};

// Success when a and b hold the same depths and colours; else where they first differ.
inline ::testing::AssertionResult same_image(const Canvas& a, const Canvas& b) {
    if (a.width != b.width || a.height != b.height) return ::testing::AssertionFailure() << "sizes differ";
    for (size_t i = 0; i < a.depth.size(); ++i)
        if (a.depth[i] != b.depth[i])
            return ::testing::AssertionFailure()
                   << "depth differs at pixel " << i << ": " << a.depth[i] << " against " << b.depth[i];
    for (size_t i = 0; i < a.color.size(); ++i)
        if (a.color[i] != b.color[i])
            return ::testing::AssertionFailure()
                   << "colour differs at pixel " << i / 3 << ", channel " << i % 3 << ": " << int{a.color[i]}
                   << " against " << int{b.color[i]};
    return ::testing::AssertionSuccess();
}

// Parameters whose camera maps world (x, -y, z) to screen (x, y) at view depth z: the eye at the
// origin looking along +z, extents equal to the image size, no perspective, centre at the corner.
inline FillParams pixel_params(Canvas& c) {
    FillParams p;
    p.color = c.color.data();
    p.depth = c.depth.data();
    p.width = c.width;
    p.height = c.height;
    p.extent_x = static_cast<float>(c.width);
    p.extent_y = static_cast<float>(c.height);
    p.depth_factor = 0;
    p.view_center_x = -0.5f;
    p.view_center_y = -0.5f;
    return p;
}

// A triangle given in screen pixels at one depth, appended as world coordinates for pixel_params.
inline void add_tri(std::vector<float>& out, float x0, float y0, float x1, float y1, float x2, float y2,
                    float depth) {
    const float t[9] = {x0, -y0, depth, x1, -y1, depth, x2, -y2, depth};
    out.insert(out.end(), t, t + 9);
}

}  // namespace rtest
