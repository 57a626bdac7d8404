// Terrain: the height-grid object set up from a colour picture and an optional height picture, cut into
// square tiles that become its parts, and the height query that keeps walkers on the ground. Building
// runs on the main thread; terrain_height_at is also called from the frame loop while no build runs.
#pragma once

#include <cstdint>

#include "scene/object.h"

// Grids with more cells are refused (no terrain): the pictures are untrusted, and a grid's heights,
// colours and six triangle arrays must stay within a 32-bit address space. The demo's grids are a few
// hundred cells on a side.
constexpr int64_t TERRAIN_MAX_CELLS = int64_t{1} << 20;

// How a grid of `cells` cells is cut into parts: square tiles of tile_cells cells a side, and after each
// tile (each band of tiles) the next part number modulo tile_gap (band_gap) is left empty.
struct TerrainTiling {
    int tile_cells;  // cells per side of a tile; 1 leaves no gaps
    int tile_gap;    // part numbers skipped after a tile: the next number modulo this
    int band_gap;    // part numbers skipped after a band of tiles: the next number modulo this
};
TerrainTiling terrain_tiling(int64_t cells);

// For id >= 1: ensures and resets the object; for cols, rows > 0 stores the grid fields and clears
// heights and colours.
void terrain_init(ObjectId id, int cols, int rows, TextureId texture, float spacing, float u_step,
                  float v_step);
// Colour of corner (col, row), 0 <= col <= cols, 0 <= row <= rows, components 0..1.
void terrain_set_color(ObjectId id, int col, int row, float r, float g, float b, float a);
// The grid from pictures in the texture table: one cell per pixel of the height picture, or of the
// colour picture when there is no height picture or the two sizes differ. Heights come from the height
// picture's first byte ((h - 128) / 128 x height_scale) or, without one, bluish colour pixels become
// water at -0.55 x height_scale with alpha 200. flip takes the pictures' rows from the bottom up.
void terrain_from_images(ObjectId id, TextureId color_tex, TextureId texture, TextureId height_tex,
                         float spacing, float u_step, float v_step, int flip, float height_scale);
// The grid as triangles, one part per tile; parts that already hold their tile are left alone.
void terrain_build_mesh(ObjectId id);
// 1 when (x, z) lies over the grid, y then being the surface height in world units; else 0 with y the
// object's own height (0 for an id outside the table).
int terrain_height_at(ObjectId id, float x, float z, float* y);
