// The triangle filler: projects a part's world triangles and fills them scanline by scanline into a
// colour and depth region. Reentrant: each raster worker calls it with its own share.
#pragma once

#include <cstdint>

// 16.16 fixed point for colours and texture coordinates; depth is view depth x 1024.
using fix16 = int32_t;
constexpr int FIX16_SHIFT = 16;
constexpr float FIX16_ONE = 65536.0f;
constexpr float DEPTH_SCALE = 1024.0f;

// Everything one call draws. Fields follow the filler's historical parameter order; the last fields
// are not among them (see shared_target and band_top).
struct FillParams {
    uint8_t* color = nullptr;   // first pixel of the region: R, G, B, rows top to bottom
    uint32_t* depth = nullptr;  // first depth value of the same region
    int width = 0;              // region size in pixels
    int height = 0;
    int bytes_per_pixel = 3;  // anything else draws nothing
    float eye_x = 0;          // camera_eye with y negated
    float neg_eye_y = 0;
    float eye_z = 0;
    float pitch = 0;  // camera_angles in degrees, yaw negated
    float neg_yaw = 0;
    float roll = 0;
    float extent_x = 0.5f;  // projection: horizontal extent, vertical extent, depth factor
    float extent_y = 0.25f;
    float depth_factor = 2.0f;
    int64_t tri_count = 0;
    const float* tris = nullptr;   // 9 floats per triangle, world space
    const float* uvs = nullptr;    // 6 floats per triangle, or null
    const float* shade = nullptr;  // 12 floats per triangle (rgba per vertex, 0..1), or null
    // Per-triangle texture overrides (one entry per triangle) or null; a null pixel entry keeps the
    // part's texture.
    const uint8_t* const* tri_tex_pixels = nullptr;
    const int* tri_tex_width = nullptr;
    const int* tri_tex_height = nullptr;
    const uint8_t* tri_tex_channels = nullptr;
    const uint8_t* tex_pixels = nullptr;  // null: untextured
    int tex_width = 0;
    int tex_height = 0;
    int tex_channels = 3;                           // 3 RGB, 4 RGBA; 0 counts as 3
    float red = 1, green = 1, blue = 1, alpha = 1;  // object colour x part colour, 0..1
    const int* tri_outline = nullptr;               // per triangle, non-zero: span limit 1 for it; or null
    int span_limit = 0;                             // longest span in pixels, 0 none
    float view_center_x = 0;                        // projection centre offset, fractions of width and height
    float view_center_y = 0;
    int no_depth_write = 0;  // emitters: depth is tested but not stored
    // slice_count > 1: only rows slice_index * (height / slice_count) up to the next slice's first row
    // (the last slice reaches height). slice_count < 0: all rows, but only the triangles slice_index,
    // slice_index - slice_count, slice_index - 2 * slice_count, ...
    int slice_index = 0;
    int slice_count = 1;
    // Other threads may draw the same pixels during this call (parts and interleave splits): pixel
    // accesses then go through relaxed atomics so that overlapping draws stay well-defined.
    int shared_target = 0;
    // band_bottom > band_top: only the rows [band_top, band_bottom) of the share are drawn. The pixels
    // of those rows are the ones the whole share would give them, so a caller may draw a share band by
    // band, running every call for each band, and keep the order of draws per pixel.
    int band_top = 0;
    int band_bottom = 0;
    // 9 floats per triangle or null: each vertex's screen x, y and depth as fill_project_triangles gives
    // them for this call's view and triangles. The filler then reads them instead of projecting.
    const float* projected = nullptr;
    // Non-null: only the triangles at these indices (increasing; entries not below tri_count are
    // skipped), instead of every one of the share. For callers that know which triangles reach the rows
    // drawn; any triangle left out must draw nothing there. Not with slice_count < 0.
    const uint32_t* tri_list = nullptr;
    int64_t tri_list_count = 0;
};

// Banding: a region is drawn a band of rows at a time where triangles overdraw each other, so that the
// band's colour and depth (7 bytes a pixel) stay in the cache while every triangle reaching it is drawn.
// A band takes about this many bytes: half of a 1 MiB second-level cache, the other half left to the
// textures. Of 256 and 512 KiB, this size ran the standard workloads in the fewest instructions.
constexpr int FILL_BAND_BYTES = 512 * 1024;
// Narrow regions still get bands this tall: shorter ones cost more in per-band set-up than they save.
constexpr int FILL_BAND_MIN_ROWS = 8;

// Rows of one band of a region width pixels wide.
inline int fill_band_rows(int width) {
    const int rows = width > 0 ? FILL_BAND_BYTES / (width * 7) : FILL_BAND_MIN_ROWS;
    return rows > FILL_BAND_MIN_ROWS ? rows : FILL_BAND_MIN_ROWS;
}

// Draws the triangles of one part.
void fill_part_triangles(const FillParams& p);

// Spans are drawn sixteen pixels at a time where the processor can (AVX-512), eight where it has AVX2,
// four otherwise: the picture is the same. The widest by default; the tests ask for narrower ones to check
// every loop, and are given the widest the processor has of those at most as wide as asked (4, 8 or 16).
void fill_set_span_width(int pixels);
// The widest span loop in use.
int fill_span_width();

// Screen x, y and depth of the vertices of the triangles [first, end) of p.tris in p's view, into out
// (9 floats per triangle, triangle first at out): bit for bit what the filler computes for them itself,
// so that threads drawing the same part in different rows can share one projection.
void fill_project_triangles(const FillParams& p, int64_t first, int64_t end, float* out);

// Deferred drawing for one thread. Between fill_defer_begin and fill_defer_end, fill_part_triangles
// calls of this thread whose rows lie within [row_top, row_bottom) only project and set up their
// triangles; the kept triangles are drawn band by band (band_rows rows each), every band running its
// triangles in the order of the calls, when too many are kept and at fill_defer_end. Each pixel sees
// the same triangles in the same order as with immediate drawing, but the target is visited one band
// at a time, which keeps it in the cache however the triangles are spread over the frame. The targets
// of the calls must stay valid until fill_defer_end.
void fill_defer_begin(int row_top, int row_bottom, int band_rows);
void fill_defer_end();

// The same result, written plainly with every decision taken per pixel; the fast filler is checked
// against it.
void fill_part_triangles_reference(const FillParams& p);
// Pixels the plain filler has written (colour stored) since the last reset, over every thread: the
// measure of a frame's real work that the benchmarks print beside its rate.
int64_t fill_reference_written();
void fill_reference_written_reset();
