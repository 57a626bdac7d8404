// The overlay compositor: the draw list the elements are turned into every frame, the 8 x 8 grid of
// dirty tiles, the persistent overlay buffer and its merge into the frame. overlay_build and
// overlay_rasterize run on one thread (the main thread or the pipeline's overlay worker, slot 32) and
// start the tile workers themselves; merge slices run on the pipeline thread and its workers, each on its
// own rows. (overlay_submit and quad_rotate, which text layout uses too, are declared in compositor.h.)
#pragma once

#include <cstdint>
#include <vector>

#include "overlay/compositor.h"

// The frame is redrawn in 8 x 8 tiles. The grid has a ninth row and column that take the marks of edges
// lying on or beyond the right or bottom border; they are cleared with the rest and never drawn.
constexpr int OVERLAY_TILES = 8;
constexpr int OVERLAY_GRID = OVERLAY_TILES + 1;
// Slice k (k >= 1) of the tile pass runs on worker slot k + 33; slots up to 48 for 16 slices.
constexpr int WORKER_SLOT_OVERLAY_TILES = 33;
constexpr int OVERLAY_TILE_THREADS_MAX = 16;
// A scene that submits without end must not grow the list without end. The list holds draw commands:
// one per rectangle or picture, and for each text element its glyphs padded to a multiple of 128, so
// 2048 short text elements fit, not 2048 captions (an outlined caption takes nine text elements per
// character, so about 227 characters in all). At the cap nothing is cut in half: a text element goes
// in whole or not at all, and so does an outlined caption with all its slots; what comes after still
// goes in while it fits.
constexpr int DRAW_LIST_MAX = 1 << 18;

// This frame's draw commands, one column per field; a slot keeps what was drawn at its index in the last
// frame that reached it, so the next frame can tell what changed. New slots: zeros, clip -100.
struct DrawList {
    int capacity = 0;           // slots in every column
    int count = 0;              // commands submitted this frame
    int previous_count = 0;     // commands of the last rasterised frame
    std::vector<int> texture;   // TextureId; 0 solid colour; DRAW_PLACEHOLDER draws and marks nothing
    std::vector<float> x0, y0;  // rectangle: top-left; quad: first corner
    std::vector<float> x1, y1;  // rectangle: bottom-right; quad: second corner
    std::vector<float> u_min, v_min, u_max, v_max;  // texture window, 0..1 across the texture
    std::vector<uint8_t> red, green, blue, alpha;   // tint and opacity, 0..255
    std::vector<int> quad;                          // 0 axis-aligned rectangle, else quadrilateral
    std::vector<float> x2, y2, x3, y3;              // quad: third and fourth corners
    std::vector<float> clip;       // 8 per command: clip quad x0 y0 .. x3 y3; first value below -1: none
    std::vector<uint8_t> padding;  // 1: the slot holds text padding as overlay_submit_placeholders stores it
};

// The screen-space effects the merge pass applies to the 3D image before laying the overlay over it, and
// how many threads redraw tiles. Set by the frame's owner (render settings) or by scenes directly.
struct OverlayEffects {
    int speckle = 0;              // replace lone near pixels along a row by their neighbours
    int edge_smooth = 0;          // average colours across depth steps of more than 15
    float glow_threshold = 1.0f;  // channel level (0..1) above which a pixel glows; >= 1 switches glow off
    float glow_width = 0.0f;      // glow window as a fraction of the frame width
    int glow_strength = 0;        // s: the glow adds average >> (16 - s) when average > 0xFFFF >> (s + 1)
    float projection_ratio =
        1.0f;                      // vertical / horizontal extent of the projection (scales horizontal radii)
    int depth_blur = 0;            // blur what lies deep; selects the combined effect path
    float blur_radius = 0.0f;      // fraction of the frame; <= 0: a four-tap average of every pixel
    float blur_depth = 0.0f;       // view depth from which pixels are blurred
    float blur_near_depth = 0.0f;  // view depth below which the radius is halved
    int second_effect = 0;         // selects the combined effect path
    int thread_mode = 0;           // tile threads: 0 up to 8; 1 processors + 2; 2 processors x 2 (up to 16)
};

struct OverlayState {
    std::vector<uint8_t> buffer;  // R, G, B, coverage per pixel; room for (W + 2) x (H + 2); empty: none
    int buffer_width = 0;
    int buffer_height = 0;
    int overlay_content = 0;  // the last prepared frame had a visible slot
    DrawList draw;
    uint8_t dirty[OVERLAY_GRID * OVERLAY_GRID] = {};  // tile (row, column) at row * OVERLAY_GRID + column
    // Tile (row, column) at row * OVERLAY_TILES + column holds no coverage at all, as the tile pass last
    // drew it; 0: not known. The merge skips such tiles: a caption covers a few of the 64.
    uint8_t tile_empty[OVERLAY_TILES * OVERLAY_TILES] = {};
    OverlayEffects effects;
    float trail_seconds = 0;     // > 0: the frame keeps a fading copy of the previous frames
    int trail_initialised = 0;   // the trail buffer holds the previous frame
    std::vector<uint8_t> trail;  // R, G, B per pixel, trail_width x trail_height; sized before the merge
    int trail_width = 0;
    int trail_height = 0;
    std::vector<uint8_t> blur_source;  // the frame's colours before the merge, while the depth blur is on
    int blur_ready = 0;                // blur_source holds this frame (width x height as the frame buffer)
    int trail_new_weight = 0;          // this frame's weights of the frame and the trail, 16.16; 0: no trail
    int trail_old_weight = 0;
    int tile_slices = 0;       // slices of the running tile pass (read by its workers)
    int tiles_drawn = 0;       // tiles redrawn by the last overlay_rasterize (one thread counts)
    int tile_threads = 0;      // threads of the last tile pass; 0 when none ran
    int headless = 0;          // overlay_present leaves presentation out (tests, benchmarks)
    int opteron_six_core = 0;  // the machine has two six-core Opterons (set by the shell from its probe)
};

extern OverlayState overlay_state;

// Turns every visible slot (from 1) and its visible children into this frame's draw list, after their
// animation step; returns whether any slot, slot 0 included, is visible.
int overlay_build();
// Brings the overlay buffer up to date from the draw list: redraws the dirty tiles, then clears the marks
// and this frame's count.
void overlay_rasterize();
// Redraws the dirty tiles of slice `slice` of `slices` (slices < 2: every dirty tile).
void overlay_rasterize_slice(int slice, int slices);
// The same with the plain per-pixel loops (tests hold the two to the same pixels).
void overlay_rasterize_slice_reference(int slice, int slices);
// The overlay's part of a frame before the merge, on the overlay worker: build; rasterise when a slot is
// visible; when none is but an effect or the trail still merges, clear the buffer once. Returns whether a
// slot was visible.
int overlay_frame_prepare();

void dirty_mark_rect(float x0, float y0, float x1, float y1);
void dirty_mark_quad(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3);
void dirty_mark_all();
// Makes the overlay buffer width x height, cleared, with every tile dirty, when it is not that size.
void overlay_buffer_ensure(int width, int height);
// Zeroes the overlay buffer and marks every tile dirty.
void overlay_buffer_clear();

// Whether a screen-space post effect or the trail asks for a merge even without visible slots.
int overlay_effects_on();
// Number of row slices the merge of a width x height frame is split into on cpu_count processors
// (overlay_state.opteron_six_core changes it on one kind of machine).
int overlay_merge_slice_count(int cpu_count, int width, int height);
// Before the merge slices of a width x height frame start (pipeline thread): sizes the trail buffer,
// fixes this frame's trail weights and, for the depth blur, keeps a copy of the frame buffer's colours
// (the blur reads rows of other slices). After they are joined: overlay_merge_finish.
void overlay_merge_prepare(int width, int height);
void overlay_merge_finish();
// Applies the post effects to rows of slice `slice` of `slices` of the 24-bit frame, merges the overlay
// buffer over them and blends the trail. The sizes must agree; a mismatch is fatal: the program prints
// its message and ends with status 1 at once, from whichever slice found it, without running exit
// handlers or static destructors.
void overlay_merge(uint8_t* frame, int frame_width, int frame_height, const uint8_t* buffer, int buffer_width,
                   int buffer_height, int slice, int slices);
// Rows are merged eight pixels at a time where the processor has AVX2, four otherwise: the tests and
// benchmarks turn the eight off (and on again, where the processor has it) to compare the two.
void overlay_set_wide_merge(bool on);
bool overlay_wide_merge();
// The overlay merge of rows [first, end) alone, as plain per-pixel code (tests).
void overlay_merge_rows_reference(uint8_t* frame, const uint8_t* buffer, int width, int first, int end);
// Replaces rows of slice `slice` of `slices` of the frame by the overlay buffer's colour.
void overlay_copy_out(const uint8_t* buffer, int width, int height, uint8_t* frame, int slice, int slices);
// The overlay alone over the previous image (start-up and loading): build, rasterise, copy out, present.
void overlay_present();
// Trail time in seconds; 0 or less switches the trail off.
void overlay_set_trail(float seconds);

void overlay_reset();
