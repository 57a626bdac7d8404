// The frame buffer's allocation. Main thread only.
#include "display/framebuffer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

FrameBuffer frame_buffer;

namespace {

void* alloc_malloc(size_t bytes) {
    return std::malloc(bytes);
}

FbAllocFn fb_alloc = alloc_malloc;

// Bytes of width x height elements of elem_bytes with slack, or 0 when that does not fit in size_t
// (an i386 build must refuse what a 64-bit build could allocate, not wrap around).
size_t plane_bytes(int width, int height, int slack_columns, int slack_rows, size_t elem_bytes) {
    uint64_t count = static_cast<uint64_t>(width + static_cast<int64_t>(slack_columns)) *
                     static_cast<uint64_t>(height + static_cast<int64_t>(slack_rows));
    if (count > SIZE_MAX / elem_bytes) return 0;
    return static_cast<size_t>(count) * elem_bytes;
}

}  // namespace

void set_resolution(int width, int height) {
    FrameBuffer& fb = frame_buffer;
    if (width == fb.fb_width && height == fb.fb_height) return;
    if (width <= 0 || height <= 0) return;

    size_t pixel_bytes = plane_bytes(width, height, FB_PIXEL_SLACK_COLUMNS, FB_PIXEL_SLACK_ROWS, 3);
    size_t depth_bytes = plane_bytes(width, height, FB_DEPTH_SLACK_COLUMNS, FB_DEPTH_SLACK_ROWS, 4);
    if (pixel_bytes == 0 || depth_bytes == 0) return;
    auto* pixels = static_cast<uint8_t*>(fb_alloc(pixel_bytes));
    if (pixels == nullptr) return;
    auto* depth = static_cast<uint32_t*>(fb_alloc(depth_bytes));
    if (depth == nullptr) {
        std::free(pixels);
        return;
    }
    std::free(fb.fb_pixels);
    std::free(fb.fb_depth);
    fb.fb_pixels = pixels;
    fb.fb_depth = depth;

    // Only the very first frame can be shown before the pipeline's clear has run; later planes are
    // covered by fb_needs_clear.
    if (!fb.fb_allocated_once) {
        fb.fb_allocated_once = 1;
        std::memset(pixels, 0, 3 * static_cast<size_t>(width + 1) * static_cast<size_t>(height + 1));
        size_t depth_count = static_cast<size_t>(width + 2) * static_cast<size_t>(height + 2);
        for (size_t i = 0; i < depth_count; ++i) depth[i] = FB_DEPTH_FAR;
    }

    fb.fb_width = width;
    fb.fb_height = height;
    fb.fb_inv_width = 1.0f / static_cast<float>(width);
    fb.fb_inv_height = 1.0f / static_cast<float>(height);
    fb.fb_needs_clear = 1;
}

void fb_set_allocator(FbAllocFn alloc) {
    fb_alloc = alloc != nullptr ? alloc : alloc_malloc;
}

void fb_reset() {
    FrameBuffer& fb = frame_buffer;
    std::free(fb.fb_pixels);
    std::free(fb.fb_depth);
    fb.fb_pixels = nullptr;
    fb.fb_depth = nullptr;
    fb.fb_width = 0;
    fb.fb_height = 0;
    fb.fb_inv_width = 0;
    fb.fb_inv_height = 0;
    fb.fb_needs_clear = 0;
    fb.fb_allocated_once = 0;
}
