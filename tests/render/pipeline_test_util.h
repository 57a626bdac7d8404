// Helpers of the pipeline tests: a clean engine state and a camera that maps world (x, -y, z) to
// screen pixels (x, y) at depth z, so scenes can be placed in pixels.
#pragma once

#include <cstdint>
#include <vector>

#include "assets/texture.h"
#include "core/cpu.h"
#include "core/frame_stats.h"
#include "core/workers.h"
#include "display/framebuffer.h"
#include "display/window.h"
#include "render/pipeline.h"
#include "render/render_config.h"
#include "scene/camera.h"
#include "scene/object.h"

namespace ptest {

// Everything the pipeline reads back to its start; cpus is the processor count the rules see.
inline void reset_engine(int cpus) {
    pipeline_reset();
    obj_table_reset_all();
    tex_reset();
    camera_reset_all();
    fb_reset();
    frame_statistics_reset();
    render_config = RenderConfig{};
    cpu_count_set(cpus);
}

inline void pixel_camera(int width, int height) {
    camera_eye_put(0, 0, 0);
    camera_angles_put(0, 0, 0);
    projection_put(static_cast<float>(width), static_cast<float>(height), 0);
    view_center_put(-0.5f, -0.5f);
}

// A triangle in screen pixels at one depth, as world coordinates for pixel_camera.
inline void add_tri(std::vector<float>& out, float x0, float y0, float x1, float y1, float x2, float y2,
                    float depth) {
    const float t[9] = {x0, -y0, depth, x1, -y1, depth, x2, -y2, depth};
    out.insert(out.end(), t, t + 9);
}

// Two triangles covering the pixel rectangle x0..x1, y0..y1.
inline void add_rect(std::vector<float>& out, float x0, float y0, float x1, float y1, float depth) {
    add_tri(out, x0, y0, x1, y0, x0, y1, depth);
    add_tri(out, x1, y0, x1, y1, x0, y1, depth);
}

inline std::vector<uint8_t> frame_pixels() {
    const FrameBuffer& fb = frame_buffer;
    return std::vector<uint8_t>(fb.fb_pixels,
                                fb.fb_pixels + static_cast<size_t>(fb.fb_width) * fb.fb_height * 3);
}

inline const uint8_t* pixel(int x, int y) {
    return frame_buffer.fb_pixels + (static_cast<size_t>(y) * frame_buffer.fb_width + x) * 3;
}

}  // namespace ptest
