// The frame clear and the row doubling of the half-height mode. The clear and each half of the
// doubling write disjoint rows of the frame buffer; nothing else touches those rows meanwhile.
#include "render/frame_clear.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/workers.h"
#include "display/framebuffer.h"
#include "render/render_config.h"
#include "render/thread_rules.h"

namespace {

// The clear colour's 0..1 channels become bytes through this factor: 1.0 must give 255 after
// truncation despite float rounding.
constexpr float CLEAR_BYTE_SCALE = 255.01f;
// Every depth byte 127: the far value 0x7F7F7F7F, written by one memset.
constexpr int DEPTH_CLEAR_BYTE = 127;

void fill_rows(int first, int rows) {
    const FrameBuffer& fb = frame_buffer;
    if (!fb.fb_pixels || !fb.fb_depth || rows <= 0) return;
    const size_t width = static_cast<size_t>(fb.fb_width);
    const size_t pixels = width * static_cast<size_t>(rows);
    std::memset(fb.fb_depth + static_cast<size_t>(first) * width, DEPTH_CLEAR_BYTE,
                pixels * sizeof(uint32_t));
    uint8_t* color = fb.fb_pixels + static_cast<size_t>(first) * width * 3;
    uint8_t rgb[3];
    for (int k = 0; k < 3; ++k) {
        float c = render_config.clear_color[k] * CLEAR_BYTE_SCALE;
        // Colours beyond 0..1 saturate rather than wrap (a float outside the byte range has no byte).
        c = c > 0.0f ? (c < 255.0f ? c : 255.0f) : 0.0f;
        rgb[k] = static_cast<uint8_t>(c);
    }
    if (rgb[0] == rgb[1] && rgb[1] == rgb[2]) {
        std::memset(color, rgb[0], pixels * 3);
        return;
    }
    for (size_t i = 0; i < pixels; ++i, color += 3) {
        color[0] = rgb[0];
        color[1] = rgb[1];
        color[2] = rgb[2];
    }
}

void double_rows(int first, int end, int step) {
    const FrameBuffer& fb = frame_buffer;
    const int h = fb.fb_height;
    const size_t row_bytes = static_cast<size_t>(fb.fb_width) * 3;
    // The rendered rows: h/2 of them from h/4 (an odd height leaves the last output row one row short).
    const int top = h / 4, last = h / 4 + h / 2 - 1;
    for (int r = first; r != end; r += step) {
        int src = top + r / 2;
        if (src > last) src = last;
        if (src == r) continue;
        std::memcpy(fb.fb_pixels + static_cast<size_t>(r) * row_bytes,
                    fb.fb_pixels + static_cast<size_t>(src) * row_bytes, row_bytes);
    }
}

// Top half from the top and bottom half from the bottom: each copy reads a row that its own half has
// not overwritten yet, so the frame doubles in place.
void double_top(int) {
    double_rows(0, frame_buffer.fb_height / 2, 1);
}

void double_bottom(int) {
    double_rows(frame_buffer.fb_height - 1, frame_buffer.fb_height / 2 - 1, -1);
}

// The rows a frame renders into: all of them, or the middle half in half-height mode.
struct RenderedRows {
    int first, count;
};

RenderedRows rendered_rows(int full) {
    const int h = frame_buffer.fb_height;
    if (full || !render_config.half_height_mode) return RenderedRows{0, h};
    return RenderedRows{h / 4, h / 2};
}

}  // namespace

void frame_clear(int full) {
    const RenderedRows r = rendered_rows(full);
    fill_rows(r.first, r.count);
}

void frame_clear_region_rows(int first, int rows) {
    const RenderedRows r = rendered_rows(0);
    if (first < 0 || rows <= 0 || first >= r.count) return;
    fill_rows(r.first + first, std::min(rows, r.count - first));
}

void frame_clear_depth() {
    const FrameBuffer& fb = frame_buffer;
    if (!fb.fb_depth) return;
    const RenderedRows r = rendered_rows(0);
    const size_t width = static_cast<size_t>(fb.fb_width);
    std::memset(fb.fb_depth + static_cast<size_t>(r.first) * width, DEPTH_CLEAR_BYTE,
                width * static_cast<size_t>(r.count) * sizeof(uint32_t));
}

void half_height_fold() {
    const FrameBuffer& fb = frame_buffer;
    const int h = fb.fb_height;
    if (!render_config.half_height_mode || !fb.fb_pixels || h < 2) return;
    const size_t row_bytes = static_cast<size_t>(fb.fb_width) * 3;
    // Rendered row top + i was shown at rows 2i and 2i + 1.
    const int top = h / 4, rows = h / 2;
    auto fold = [&](int i) {
        if (2 * i < h && top + i != 2 * i)
            std::memmove(fb.fb_pixels + static_cast<size_t>(top + i) * row_bytes,
                         fb.fb_pixels + static_cast<size_t>(2 * i) * row_bytes, row_bytes);
    };
    // Row top + i takes row 2i. For i < top the source lies above (2i < top + i): walking upwards from
    // i = top - 1 reads each source before a later write can reach it. For i >= top the source lies below
    // or on it: walking downwards from i = top does the same.
    for (int i = top - 1; i >= 0; --i) fold(i);
    for (int i = top; i < rows; ++i) fold(i);
}

int half_height_double(int cpu_count) {
    const FrameBuffer& fb = frame_buffer;
    if (!fb.fb_pixels || fb.fb_width <= 0 || fb.fb_height < 2) return 0;
    const int64_t pixels = static_cast<int64_t>(fb.fb_width) * fb.fb_height;
    if (doubling_thread_count(cpu_count, pixels) == 2) {
        worker_start(2, double_bottom);
        double_top(0);
        worker_join(2);
        return 2;
    }
    double_top(0);
    double_bottom(0);
    return 1;
}
