// The frame buffer: the colour and depth planes that the renderer and the overlay draw into.
// Replaced only on the main thread (set_resolution) while no pass or present reads it.
#pragma once

#include <cstddef>
#include <cstdint>

struct FrameBuffer {
    int fb_width = 0;              // render resolution in pixels; 0 before the first set_resolution
    int fb_height = 0;             // render resolution in pixels
    uint8_t* fb_pixels = nullptr;  // R, G, B per pixel, rows top to bottom, stride fb_width * 3
    uint32_t* fb_depth = nullptr;  // view depth x 1024 per pixel, smaller is nearer, stride fb_width
    float fb_inv_width = 0;        // 1 / fb_width
    float fb_inv_height = 0;       // 1 / fb_height
    int fb_needs_clear = 0;        // 1 after the planes were replaced; the pipeline clears and resets it
    int fb_allocated_once = 0;     // 1 after the first allocation of the process (only that one is filled)
};

extern FrameBuffer frame_buffer;

// Slack beyond the visible area: readers of 4-byte words at the last 3-byte pixel and the rasteriser's
// one-past edge writes stay inside the allocation.
constexpr int FB_PIXEL_SLACK_COLUMNS = 1;
constexpr int FB_PIXEL_SLACK_ROWS = 2;
constexpr int FB_DEPTH_SLACK_COLUMNS = 2;
constexpr int FB_DEPTH_SLACK_ROWS = 3;
// Depth of the first allocation's cleared plane: farther than anything the renderer draws.
constexpr uint32_t FB_DEPTH_FAR = 0xFFFF0000u;

// Replaces both planes with width x height ones (plus slack); does nothing when the size is unchanged,
// not positive, or an allocation fails (the old planes and sizes stay in force).
void set_resolution(int width, int height);

// Test seams: the allocator behind set_resolution (nullptr restores malloc), and a reset that frees the
// planes and forgets the first allocation, so every test starts from a process-start state.
using FbAllocFn = void* (*)(size_t bytes);
void fb_set_allocator(FbAllocFn alloc);
void fb_reset();
