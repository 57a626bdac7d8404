// The figure builder on plain pixel buffers: a front picture (and optionally a back picture) becomes a
// voxel body, hollowed, meshed and finished into two triangle lists, with what the silhouette analysis
// found. No tables are touched; figure_load wraps it with the texture and object tables.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "assets/figure_rig.h"

// Cells along every edge of the voxel cube. Small on purpose: a figure is meant to read as a chunky
// body, and the builder's cost grows with the cube.
constexpr int FIGURE_GRID = 25;
// The finished mesh's thickness relative to its width.
constexpr float FIGURE_DEPTH = 0.65f;
// Pictures whose working copy ((width + 1) x (height + 1) cells) would exceed this are refused: the
// image readers stop at 2^26 pixels, and this bound holds any picture they accept.
constexpr int64_t FIGURE_MAX_PICTURE_CELLS = int64_t{1} << 27;

// What one build may allocate by a picture's size; pictures are untrusted. The working copy takes 4
// bytes per cell ((width + 1) x (height + 1)), one picture at a time, and the texture painting 1 byte
// per pixel: at the default bound 512 MiB and 128 MiB at most. Everything else the builder allocates
// is sized by the grid. An allocation that fails within the bound refuses the picture as well.
struct FigureLimits {
    int64_t max_picture_cells = FIGURE_MAX_PICTURE_CELLS;
};

extern FigureLimits figure_limits;

// A picture as the texture table holds it: rows top first, 3 (RGB) or 4 (RGBA) bytes per pixel.
struct FigurePicture {
    const uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int channels = 0;
};

// The finished figure: unindexed triangles, 9 floats (x, y, z per corner) and 6 uv floats each. The
// back list is filled only when a back picture was given.
struct FigureMesh {
    std::vector<float> front_tris, front_uvs;
    std::vector<float> back_tris, back_uvs;
    FigureShape shape;
};

// One triangle of the mesher: the padded-grid cell index of each corner, in the order stored.
using FigureTriangle = std::array<int32_t, 3>;

// Builds the figure of `front` (and `back` when not null) for rig type `rig` (0, 1 or 2; the rig
// steers the analysis), into `out`. False, with `out` emptied, when the front picture is refused (no
// pixels, a size <= 0 or beyond figure_limits, channels other than 3 or 4, or no memory for its working
// copy); a refused back picture leaves a front-only figure. Never throws for a picture's size.
// `candidates`, when given, receives the mesher's triangles before duplicates are removed.
bool figure_build(const FigurePicture& front, const FigurePicture* back, unsigned rig, FigureMesh& out,
                  std::vector<FigureTriangle>* candidates = nullptr);

// The triangles of `tris` in order, each kept only the first time it occurs; a triangle whose corners
// are a rotation of an earlier one's is the same triangle, a reversed one is not. Hash-set lookup.
std::vector<FigureTriangle> figure_unique_triangles(const std::vector<FigureTriangle>& tris);
// The same by comparing every triangle with every kept one: the plain reference of the one above.
std::vector<FigureTriangle> figure_unique_triangles_reference(const std::vector<FigureTriangle>& tris);

// Paints opaque black every pixel with alpha <= 249 that lies within two pixels of a pixel with a
// higher alpha, so the colours hidden in transparent areas do not bleed into the silhouette's edge
// when the texture is filtered. Rows top first; 3-channel pictures are opaque and stay as they are,
// and so do pictures beyond figure_limits (or when the marks cannot be allocated).
void figure_paint_border(uint8_t* pixels, int width, int height, int channels);
