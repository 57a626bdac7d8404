// Geometry built in code: boxes, upright quads, subdivided panels and rooms of panels, and the search
// for a free object id that generated objects use. Main (scene) thread only, between frames.
#pragma once

#include "scene/object.h"

// A panel larger than this many cells is refused: the caller's counts are scene constants, and a wild
// one must not ask for more triangles than a part may hold.
constexpr int64_t GEN_PANEL_MAX_CELLS = TRI_COUNT_LIMIT / 2;

// Part 0: the unit box scaled to sx x sy x sz, centred on the origin, with every face mapping the whole
// texture. Ids below 1 store nothing.
void gen_box(ObjectId id, float sx, float sy, float sz);
void gen_box_tex(ObjectId id, float sx, float sy, float sz, TextureId texture);
// Part 0: a box whose top face (top_x x top_z at y = top_h / 2) and bottom face (bottom_x x bottom_z
// at y = -bottom_h / 2) differ in size.
void gen_tapered_box(ObjectId id, float top_x, float top_h, float top_z, float bottom_x, float bottom_h,
                     float bottom_z, TextureId texture);
// Part 0: an upright quad standing on y = 0, centred on x = 0, in the plane z = 0.
void gen_quad(ObjectId id, TextureId texture, float width, float height);

// A width x height rectangle in the plane z = 0, centred on the origin, cut into columns x rows cells
// of two triangles, written into `part` with texture 0. u runs 0..1 across, v from 1 at the bottom
// edge to 0 at the top. Nothing is stored for id < 1, part < 0 or no cells.
void gen_panel(ObjectId id, int part, float width, float height, int columns, int rows);
// The fixed subdivisions the room builders use.
void gen_panel_rows(ObjectId id, int part, float width, float height, int rows);        // 1 x rows
void gen_panel_columns(ObjectId id, int part, float width, float height, int columns);  // columns x 1
void gen_panel_tenths(ObjectId id, int part, float width, float height, int rows);      // 10 x rows

// Boxes of five panels: front (part 0), top (1), back (2), left (4) and right (5); part 3, the floor,
// stays empty. A non-zero merge then joins every part into part 0.
void gen_cube_panels(ObjectId id, int a, int b, int c, int merge);
void gen_room(ObjectId id, int across, int deep, float width, float height, float depth, int merge);
void gen_room_fine(ObjectId id, int across, int deep, float width, float height, float depth, int merge);
// How a tiled panel's texture repeats: once every `tile` (world units), over cells of tile / split.
struct PanelTiles {
    float tile;  // world units per repeat of the texture
    int split;   // cells per repeat along each edge, at least 1
};
// The room's five panels with their textures at a fixed world scale instead of once across each panel:
// a texture repeats every sides.tile on the front, back, left and right, every top.tile on the top
// (the last repeat cut short at an edge). v runs down from each side's top edge, so a picture with
// courses keeps them level on all four sides. Parts as gen_room's; nothing for a tile or split of 0.
void gen_room_tiled(ObjectId id, float width, float height, float depth, PanelTiles sides, PanelTiles top,
                    int merge);
void gen_small_cube(ObjectId id);
