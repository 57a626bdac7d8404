// The raster pass: walks the object table, culls whole parts against the view and fills the rest into
// the FrameBuffer. raster_pass runs on the pipeline thread and its raster workers at once, each with
// its own share; the statistics are gathered on the pipeline thread after the join.
#pragma once

#include <cstdint>

// Raster workers counted in the statistics table; the pipeline never starts more than 16.
constexpr int RASTER_MAX_THREADS = 64;

struct RasterState {
    int polys_drawn = 0;   // triangles handed to the filler this frame; reset by the pipeline
    int polys_culled = 0;  // triangles of parts skipped by the box test this frame
    // Counts of the current pass, one line per worker so that workers that all keep statistics (the
    // parts split) never write the same memory; raster_collect_statistics adds them up.
    struct alignas(64) Share {
        int drawn = 0;
        int culled = 0;
    };
    Share share[RASTER_MAX_THREADS];
    // 1: the plain path, which the tests hold the fast one to: every share projects its own triangles
    // and the plain filler draws them, with no shared projection, bands or deferral.
    int plain = 0;
    // 1: the pass fills the rows it draws with the clear colour and far depth (frame_clear_region_rows)
    // just before drawing into them, each band while it is in the cache, instead of a frame clear
    // before the pass. Set by the pipeline for a pass that raster_clears_rows allows.
    int clear_rows = 0;
};

extern RasterState raster_state;

// Triangles of the visible parts of enabled objects (what a frame hands the filler), counted until the
// count exceeds limit.
int64_t raster_frame_triangles(int64_t limit);

// Whether a pass of thread_count shares can clear its own rows: each row is then drawn by one share
// only (the slices split, not the plain path).
bool raster_clears_rows(int thread_count);

// Draws this worker's share of every visible part; the split follows render_config.raster_split_mode.
void raster_pass(int thread_index, int thread_count);

// The shared projection. In the slices split every slice draws the triangles that cross its rows, so
// the parts that reach several slices would be projected once per slice; instead every vertex of the
// parts some slice draws is projected once, before the slices rasterise, the work split across the
// same workers, and the slices only read it. raster_projection_prepare runs on the pipeline thread
// before a raster pass of thread_count shares: it lists the parts and returns true when
// raster_projection_pass is to run (as a pass of the same thread_count) before the raster pass; each
// share projects its part of the listed triangles. When some slice is drawn band by band, each share
// also lists its triangles per band of rows they reach, and each slice then walks only the triangles
// listed for its bands. raster_projection_release, after the raster pass's join, ends the frame's
// projection; a raster pass without one projects its own triangles.
bool raster_projection_prepare(int thread_count);
void raster_projection_pass(int thread_index, int thread_count);
void raster_projection_release();

// After every worker of the pass has been joined: adds the workers' counts to polys_drawn and
// polys_culled and clears them.
void raster_collect_statistics();

// Zeroes polys_drawn, polys_culled and the workers' counts (start of a frame).
void raster_reset_statistics();
