// Boxes, quads, panels, rooms of panels and the free-id search. Main (scene) thread only: every
// builder writes the object table through obj_set_part_triangles, which copies what it is given.
#include "assets/gen_box.h"

#include <cmath>
#include <vector>

namespace {

struct Corner {
    float x, y, z;
};

// The unit box: x and z in -0.5..0.5, y in 0..1; faces bottom, top, z = +0.5, x = +0.5, z = -0.5,
// x = -0.5, two triangles each.
constexpr Corner BOX_TEMPLATE[36] = {
    {0.5f, 0, -0.5f},  {-0.5f, 0, -0.5f}, {-0.5f, 0, 0.5f},  {-0.5f, 0, 0.5f},  {0.5f, 0, 0.5f},
    {0.5f, 0, -0.5f},  {0.5f, 1, -0.5f},  {0.5f, 1, 0.5f},   {-0.5f, 1, 0.5f},  {-0.5f, 1, 0.5f},
    {-0.5f, 1, -0.5f}, {0.5f, 1, -0.5f},  {0.5f, 1, 0.5f},   {0.5f, 0, 0.5f},   {-0.5f, 0, 0.5f},
    {-0.5f, 0, 0.5f},  {-0.5f, 1, 0.5f},  {0.5f, 1, 0.5f},   {0.5f, 1, -0.5f},  {0.5f, 0, -0.5f},
    {0.5f, 0, 0.5f},   {0.5f, 0, 0.5f},   {0.5f, 1, 0.5f},   {0.5f, 1, -0.5f},  {-0.5f, 1, -0.5f},
    {-0.5f, 0, -0.5f}, {0.5f, 0, -0.5f},  {0.5f, 0, -0.5f},  {0.5f, 1, -0.5f},  {-0.5f, 1, -0.5f},
    {-0.5f, 1, 0.5f},  {-0.5f, 0, 0.5f},  {-0.5f, 0, -0.5f}, {-0.5f, 0, -0.5f}, {-0.5f, 1, -0.5f},
    {-0.5f, 1, 0.5f},
};
constexpr int BOX_TRIANGLES = 12;

// Every face maps the whole texture: (0, 0), (0, 1), (1, 1) then (1, 1), (1, 0), (0, 0).
constexpr float FACE_UV[12] = {0, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0, 0};

// The upright quad: the box's z = +0.5 face.
constexpr Corner QUAD_TEMPLATE[6] = {
    {0.5f, 1, 0.5f}, {0.5f, 0, 0.5f}, {-0.5f, 0, 0.5f}, {-0.5f, 0, 0.5f}, {-0.5f, 1, 0.5f}, {0.5f, 1, 0.5f},
};

std::vector<float> box_uvs() {
    std::vector<float> uv(static_cast<size_t>(BOX_TRIANGLES) * TRI_UV_FLOATS);
    for (int f = 0; f < BOX_TRIANGLES / 2; ++f)
        for (int i = 0; i < 12; ++i) uv[static_cast<size_t>(f) * 12 + static_cast<size_t>(i)] = FACE_UV[i];
    return uv;
}

// A panel's triangles and texture coordinates in the plane z = 0.
struct PanelMesh {
    std::vector<float> tris;
    std::vector<float> uvs;
    int count = 0;
};

// Cells row by row from the bottom, left to right within a row. Cell edges are computed once per
// column and row so that neighbouring cells share their corners exactly (no cracks between them).
bool build_panel(PanelMesh& m, float width, float height, int columns, int rows) {
    if (columns < 1 || rows < 1) return false;
    if (int64_t{columns} * rows > GEN_PANEL_MAX_CELLS) return false;
    std::vector<float> xs(static_cast<size_t>(columns) + 1), us(xs.size());
    std::vector<float> ys(static_cast<size_t>(rows) + 1), vs(ys.size());
    for (int c = 0; c <= columns; ++c) {
        const float f = static_cast<float>(c) / static_cast<float>(columns);
        xs[static_cast<size_t>(c)] = -width * 0.5f + width * f;
        us[static_cast<size_t>(c)] = f;
    }
    for (int r = 0; r <= rows; ++r) {
        const float f = static_cast<float>(r) / static_cast<float>(rows);
        ys[static_cast<size_t>(r)] = -height * 0.5f + height * f;
        vs[static_cast<size_t>(r)] = 1.0f - f;
    }
    m.count = columns * rows * 2;
    m.tris.assign(static_cast<size_t>(m.count) * TRI_WORLD_FLOATS, 0.0f);
    m.uvs.assign(static_cast<size_t>(m.count) * TRI_UV_FLOATS, 0.0f);
    float* t = m.tris.data();
    float* uv = m.uvs.data();
    auto put = [&](size_t c, size_t r) {
        *t++ = xs[c];
        *t++ = ys[r];
        *t++ = 0.0f;
        *uv++ = us[c];
        *uv++ = vs[r];
    };
    for (size_t r = 0; r < static_cast<size_t>(rows); ++r) {
        for (size_t c = 0; c < static_cast<size_t>(columns); ++c) {
            put(c, r);
            put(c + 1, r);
            put(c + 1, r + 1);
            put(c, r);
            put(c + 1, r + 1);
            put(c, r + 1);
        }
    }
    return true;
}

// One axis of a tiled panel: cells of tile / split, the last one cut short at the panel's edge.
struct TileAxis {
    float length, tile;
    int split, cells;
};

bool tile_axis(float length, const PanelTiles& t, TileAxis& a) {
    if (!(length > 0) || !(t.tile > 0) || t.split < 1 || t.split > GEN_PANEL_MAX_CELLS) return false;
    const double cells = std::ceil(static_cast<double>(length) * t.split / t.tile - 0.001);
    if (!(cells <= static_cast<double>(GEN_PANEL_MAX_CELLS))) return false;
    a = {length, t.tile, t.split, cells < 1 ? 1 : static_cast<int>(cells)};
    return true;
}

// Distance of cell edge i from the axis's start: whole tiles plus whole cells, so that the corners
// neighbouring cells share come out as the same float.
float tile_edge(const TileAxis& a, int i) {
    if (i >= a.cells) return a.length;
    const float cell = a.tile / static_cast<float>(a.split);
    return a.tile * static_cast<float>(i / a.split) + cell * static_cast<float>(i % a.split);
}

// Texture coordinate of edge i within the tile of cell c (c or c + 1 == i): 0 at the tile's start.
float tile_coord(const TileAxis& a, int c, int i) {
    const int k = c / a.split;
    const float local = static_cast<float>(i - k * a.split) / static_cast<float>(a.split);
    const float rest = (a.length - a.tile * static_cast<float>(k)) / a.tile;
    return local < rest ? local : rest;
}

// A panel whose texture repeats every tile: each cell maps its part of one repeat. u runs from the
// panel's left edge (or, swapped, its bottom edge), v down from its top edge (or, swapped, from its
// right edge: the side panels' x becomes the box's height). Cells and corner order as build_panel's.
bool build_panel_tiled(PanelMesh& m, float width, float height, const PanelTiles& tiles, bool swap) {
    TileAxis across, down;
    if (!tile_axis(swap ? height : width, tiles, across) || !tile_axis(swap ? width : height, tiles, down))
        return false;
    if (int64_t{across.cells} * down.cells > GEN_PANEL_MAX_CELLS) return false;
    m.count = across.cells * down.cells * 2;
    m.tris.assign(static_cast<size_t>(m.count) * TRI_WORLD_FLOATS, 0.0f);
    m.uvs.assign(static_cast<size_t>(m.count) * TRI_UV_FLOATS, 0.0f);
    float* t = m.tris.data();
    float* uv = m.uvs.data();
    for (int j = 0; j < down.cells; ++j) {
        const float b0 = tile_edge(down, j), b1 = tile_edge(down, j + 1);
        const float v0 = tile_coord(down, j, j), v1 = tile_coord(down, j, j + 1);
        for (int i = 0; i < across.cells; ++i) {
            const float a0 = tile_edge(across, i), a1 = tile_edge(across, i + 1);
            const float u0 = tile_coord(across, i, i), u1 = tile_coord(across, i, i + 1);
            // The cell in the panel's x and y, low to high, with the coordinates of each end.
            float x[2] = {}, y[2] = {}, xu[2] = {}, xv[2] = {}, yu[2] = {}, yv[2] = {};
            if (!swap) {
                x[0] = -width * 0.5f + a0, x[1] = -width * 0.5f + a1;
                y[0] = height * 0.5f - b1, y[1] = height * 0.5f - b0;
                xu[0] = u0, xu[1] = u1, yv[0] = v1, yv[1] = v0;
            } else {
                y[0] = -height * 0.5f + a0, y[1] = -height * 0.5f + a1;
                x[0] = width * 0.5f - b1, x[1] = width * 0.5f - b0;
                yu[0] = u0, yu[1] = u1, xv[0] = v1, xv[1] = v0;
            }
            auto put = [&](int cx, int cy) {
                *t++ = x[cx];
                *t++ = y[cy];
                *t++ = 0.0f;
                *uv++ = swap ? yu[cy] : xu[cx];
                *uv++ = swap ? xv[cx] : yv[cy];
            };
            put(0, 0);
            put(1, 0);
            put(1, 1);
            put(0, 0);
            put(1, 1);
            put(0, 1);
        }
    }
    return true;
}

// How a panel is moved into its place in a box.
enum PanelPlace { PLACE_FRONT, PLACE_TOP, PLACE_BACK, PLACE_LEFT, PLACE_RIGHT };

void place_panel(PanelMesh& m, PanelPlace place, float width, float height, float depth) {
    float* t = m.tris.data();
    const size_t corners = static_cast<size_t>(m.count) * 3;
    for (size_t i = 0; i < corners; ++i, t += 3) {
        const float x = t[0], y = t[1];
        switch (place) {
            case PLACE_FRONT:
                t[2] = -depth * 0.5f;
                break;
            case PLACE_BACK:
                t[2] = depth * 0.5f;
                break;
            case PLACE_TOP:  // the panel's height direction runs along z
                t[1] = height * 0.5f;
                t[2] = y;
                break;
            case PLACE_LEFT:
                t[0] = -width * 0.5f;
                t[1] = x;
                t[2] = y;
                break;
            case PLACE_RIGHT:
                t[0] = width * 0.5f;
                t[1] = x;
                t[2] = y;
                break;
        }
    }
}

struct PanelSpec {
    float w, h;
    int columns, rows;
};

// Five panels in parts 0, 1, 2, 4 and 5 of a width x height x depth box, then the optional merge.
void build_panel_box(ObjectId id, PanelSpec front, PanelSpec top, PanelSpec side, float width, float height,
                     float depth, int merge) {
    if (id < 1) return;
    struct Face {
        int part;
        PanelPlace place;
        PanelSpec spec;
    };
    const Face faces[5] = {{0, PLACE_FRONT, front},
                           {1, PLACE_TOP, top},
                           {2, PLACE_BACK, front},
                           {4, PLACE_LEFT, side},
                           {5, PLACE_RIGHT, side}};
    for (const Face& f : faces) {
        PanelMesh m;
        if (!build_panel(m, f.spec.w, f.spec.h, f.spec.columns, f.spec.rows)) continue;
        place_panel(m, f.place, width, height, depth);
        obj_set_part_triangles(id, f.part, m.tris.data(), m.uvs.data(), nullptr, 0, m.count);
    }
    // Source -1: every other part into part 0 (a source of 0 would name part 0 itself).
    if (merge != 0 && obj_valid(id) && obj_table.has_geometry[id]) obj_merge_parts(id, 0, -1);
}

// The unit box mapped corner by corner into part 0 (nothing stored for ids below 1).
template <class Map>
void write_box(ObjectId id, TextureId texture, Map&& map) {
    float tris[BOX_TRIANGLES * TRI_WORLD_FLOATS];
    for (int i = 0; i < BOX_TRIANGLES * 3; ++i) map(BOX_TEMPLATE[i], &tris[i * 3]);
    if (id < 1) return;
    const std::vector<float> uv = box_uvs();
    obj_set_part_triangles(id, 0, tris, uv.data(), nullptr, texture, BOX_TRIANGLES);
}

}  // namespace

void gen_box_tex(ObjectId id, float sx, float sy, float sz, TextureId texture) {
    write_box(id, texture, [&](const Corner& c, float* out) {
        out[0] = c.x * sx;
        out[1] = (c.y - 0.5f) * sy;
        out[2] = c.z * sz;
    });
}

void gen_box(ObjectId id, float sx, float sy, float sz) {
    gen_box_tex(id, sx, sy, sz, 0);
}

void gen_tapered_box(ObjectId id, float top_x, float top_h, float top_z, float bottom_x, float bottom_h,
                     float bottom_z, TextureId texture) {
    write_box(id, texture, [&](const Corner& c, float* out) {
        const float x = c.x * (c.y < 0.01f ? bottom_x : top_x);
        const float ty = c.y - 0.5f;
        const float y = ty * (ty < 0.01f ? bottom_h : top_h);
        out[0] = x;
        out[1] = y;
        out[2] = c.z * (y < 0.01f ? bottom_z : top_z);
    });
}

void gen_quad(ObjectId id, TextureId texture, float width, float height) {
    float tris[2 * TRI_WORLD_FLOATS];
    for (int i = 0; i < 6; ++i) {
        tris[i * 3 + 0] = QUAD_TEMPLATE[i].x * width;
        tris[i * 3 + 1] = QUAD_TEMPLATE[i].y * height;
        tris[i * 3 + 2] = QUAD_TEMPLATE[i].z - 0.5f;
    }
    if (id < 1) return;
    obj_set_part_triangles(id, 0, tris, FACE_UV, nullptr, texture, 2);
}

void gen_panel(ObjectId id, int part, float width, float height, int columns, int rows) {
    if (id < 1 || part < 0) return;
    PanelMesh m;
    if (!build_panel(m, width, height, columns, rows)) return;
    obj_set_part_triangles(id, part, m.tris.data(), m.uvs.data(), nullptr, 0, m.count);
}

void gen_panel_rows(ObjectId id, int part, float width, float height, int rows) {
    gen_panel(id, part, width, height, 1, rows);
}

void gen_panel_columns(ObjectId id, int part, float width, float height, int columns) {
    gen_panel(id, part, width, height, columns, 1);
}

void gen_panel_tenths(ObjectId id, int part, float width, float height, int rows) {
    gen_panel(id, part, width, height, 10, rows);
}

void gen_cube_panels(ObjectId id, int a, int b, int c, int merge) {
    build_panel_box(id, {1, 1, a, b}, {1, 1, a, c}, {1, 1, b, c}, 1, 1, 1, merge);
}

void gen_room(ObjectId id, int across, int deep, float width, float height, float depth, int merge) {
    build_panel_box(id, {width, height, across, 1}, {width, depth, across, deep}, {height, depth, 1, deep},
                    width, height, depth, merge);
}

void gen_room_fine(ObjectId id, int across, int deep, float width, float height, float depth, int merge) {
    build_panel_box(id, {width, height, 10, across}, {width, depth, 10, deep}, {height, depth, across, deep},
                    width, height, depth, merge);
}

void gen_room_tiled(ObjectId id, float width, float height, float depth, PanelTiles sides, PanelTiles top,
                    int merge) {
    if (id < 1) return;
    struct Face {
        int part;
        PanelPlace place;
        float w, h;
        const PanelTiles& tiles;
        bool swap;
    };
    const Face faces[5] = {{0, PLACE_FRONT, width, height, sides, false},
                           {1, PLACE_TOP, width, depth, top, false},
                           {2, PLACE_BACK, width, height, sides, false},
                           {4, PLACE_LEFT, height, depth, sides, true},
                           {5, PLACE_RIGHT, height, depth, sides, true}};
    for (const Face& f : faces) {
        PanelMesh m;
        if (!build_panel_tiled(m, f.w, f.h, f.tiles, f.swap)) continue;
        place_panel(m, f.place, width, height, depth);
        obj_set_part_triangles(id, f.part, m.tris.data(), m.uvs.data(), nullptr, 0, m.count);
    }
    if (merge != 0 && obj_valid(id) && obj_table.has_geometry[id]) obj_merge_parts(id, 0, -1);
}

void gen_small_cube(ObjectId id) {
    const PanelSpec one = {0.2f, 0.2f, 1, 1};
    build_panel_box(id, one, one, one, 0.2f, 0.2f, 0.2f, 0);
}
