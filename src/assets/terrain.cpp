// Terrain grids: set-up from pictures in the texture table, tiling into parts, and the height query.
// Building: main thread only. terrain_height_at only reads the table (frame loop, while no build runs).
#include "assets/terrain.h"

#include <cmath>
#include <vector>

#include "assets/texture.h"

namespace {

// Tile sizes by cell count: bigger grids get bigger tiles so the part count stays moderate. Each row
// applies below its limit.
struct TilingRow {
    int64_t below;
    TerrainTiling tiling;
};
constexpr TilingRow TILING_TABLE[] = {
    {257, {1, 1, 2}},         {3601, {2, 1, 2}},        {8101, {3, 1, 3}},        {22501, {4, 1, 3}},
    {40001, {5, 2, 3}},       {160001, {6, 2, 4}},      {302501, {7, 2, 4}},      {490001, {8, 2, 4}},
    {640001, {9, 2, 5}},      {902501, {10, 3, 5}},     {1210001, {11, 3, 5}},    {2250001, {12, 3, 6}},
    {4000001, {13, 3, 6}},    {9000001, {14, 3, 6}},    {16000001, {15, 4, 7}},   {25000001, {16, 4, 7}},
    {36000001, {17, 4, 7}},   {49000001, {18, 4, 8}},   {64000001, {19, 4, 8}},   {100000001, {20, 5, 8}},
    {144000001, {21, 5, 9}},  {182250001, {22, 5, 9}},  {210250001, {23, 5, 9}},  {225000001, {24, 5, 10}},
    {256000001, {25, 6, 10}}, {272250001, {26, 6, 10}}, {289000001, {27, 6, 11}}, {306250001, {28, 6, 11}},
    {324000001, {29, 6, 11}}, {361000001, {30, 7, 12}},
};

// Water: a colour pixel whose blue clearly dominates.
constexpr double WATER_BLUE_RATIO = 1.15;
constexpr float WATER_DEPTH = -0.55f;  // times height_scale
constexpr uint8_t WATER_ALPHA = 200;
// Shade records are handed on only when some corner colour is visibly not white.
constexpr float SHADE_NEUTRAL_TOLERANCE = 0.0002f;
// Floats of 2^24 and beyond have no fractional part left to keep small; such coordinates are kept.
constexpr float UV_REDUCE_LIMIT = 16777216.0f;

// A picture of the texture table that terrain can read: pixels present, 3 or 4 channels, a size
// within the grid limit.
struct Picture {
    const uint8_t* pixels = nullptr;
    int width = 0, height = 0, channels = 0;
};

bool picture_of(TextureId tex, Picture& p) {
    const TextureTable& t = texture_table;
    if (tex < 1 || tex >= t.capacity) return false;
    const size_t i = static_cast<size_t>(tex);
    if (t.pixels[i] == nullptr || t.width[i] < 1 || t.height[i] < 1) return false;
    if (t.channels[i] != 3 && t.channels[i] != 4) return false;
    if (int64_t{t.width[i]} * t.height[i] > TERRAIN_MAX_CELLS) return false;
    p.pixels = t.pixels[i];
    p.width = t.width[i];
    p.height = t.height[i];
    p.channels = t.channels[i];
    return true;
}

const uint8_t* pixel_at(const Picture& p, int col, int row) {
    return p.pixels + (static_cast<size_t>(row) * static_cast<size_t>(p.width) + static_cast<size_t>(col)) *
                          static_cast<size_t>(p.channels);
}

// True when the object holds a grid whose cell count is within the limit.
bool has_grid(ObjectId id) {
    if (!obj_valid(id)) return false;
    const int cols = obj_table.terrain_cols[static_cast<size_t>(id)];
    const int rows = obj_table.terrain_rows[static_cast<size_t>(id)];
    return cols > 0 && rows > 0 && int64_t{cols} * rows <= TERRAIN_MAX_CELLS;
}

// Drops the object's grid: whatever the object held before must not survive as a terrain when the new
// one could not be made (obj_reset keeps the grid of an object that has no geometry yet).
void clear_grid(ObjectId id) {
    ObjectTable& t = obj_table;
    const size_t o = static_cast<size_t>(id);
    t.terrain_cols[o] = 0;
    t.terrain_rows[o] = 0;
    std::vector<float>().swap(t.terrain_heights[o]);
    std::vector<float>().swap(t.terrain_colors[o]);
}

// Takes whole units off both coordinates of a cell edge while either exceeds 1.01, so a repeating
// texture keeps small coordinates. Done in one step: below 2^24 subtracting whole numbers is exact, so
// this equals subtracting 1 at a time.
void reduce_units(float& lo, float& hi) {
    const float m = lo > hi ? lo : hi;
    if (!(m > 1.01) || !(m < UV_REDUCE_LIMIT)) return;
    const float k = static_cast<float>(std::ceil(static_cast<double>(m) - 1.01));
    lo -= k;
    hi -= k;
}

// One tile's triangles, texture coordinates and shade records.
struct TileMesh {
    std::vector<float> tris, uvs, shade;
    int count = 0;
    bool shade_needed = false;
};

void build_tile(ObjectId id, int c0, int r0, int c1, int r1, TileMesh& m) {
    const ObjectTable& t = obj_table;
    const size_t o = static_cast<size_t>(id);
    const int cols = t.terrain_cols[o];
    const int rows = t.terrain_rows[o];
    const size_t stride = static_cast<size_t>(cols) + 1;
    const float spacing = t.terrain_spacing[o];
    const float u_step = t.terrain_u_step[o];
    const float v_step = t.terrain_v_step[o];
    const std::vector<float>& hv = t.terrain_heights[o];
    const std::vector<float>& cv = t.terrain_colors[o];
    const bool heights = hv.size() == stride * (static_cast<size_t>(rows) + 1);
    const bool colors = cv.size() >= stride * (static_cast<size_t>(rows) + 1) * 4;

    m.count = (c1 - c0) * (r1 - r0) * 2;
    const size_t n = static_cast<size_t>(m.count);
    m.tris.resize(n * TRI_WORLD_FLOATS);
    m.uvs.resize(n * TRI_UV_FLOATS);
    m.shade.resize(colors ? n * TRI_SHADE_FLOATS : 0);
    m.shade_needed = false;
    float* tp = m.tris.data();
    float* up = m.uvs.data();
    float* sp = m.shade.data();
    for (int r = r0; r < r1; ++r) {
        for (int c = c0; c < c1; ++c) {
            float u0 = u_step * static_cast<float>(c), u1 = u_step * static_cast<float>(c + 1);
            float v0 = v_step * static_cast<float>(r), v1 = v_step * static_cast<float>(r + 1);
            reduce_units(u0, u1);
            reduce_units(v0, v1);
            // Corners (c, r), (c + 1, r), (c + 1, r + 1) then (c, r), (c + 1, r + 1), (c, r + 1).
            const int dc[6] = {0, 1, 1, 0, 1, 0};
            const int dr[6] = {0, 0, 1, 0, 1, 1};
            for (int k = 0; k < 6; ++k) {
                const int cc = c + dc[k], rr = r + dr[k];
                const size_t corner = static_cast<size_t>(rr) * stride + static_cast<size_t>(cc);
                *tp++ = spacing * static_cast<float>(cc);
                *tp++ = heights ? hv[corner] : 0.0f;
                *tp++ = spacing * static_cast<float>(rr);
                *up++ = dc[k] ? u1 : u0;
                *up++ = dr[k] ? v1 : v0;
                if (colors) {
                    for (int q = 0; q < 4; ++q) {
                        const float v = cv[corner * 4 + static_cast<size_t>(q)];
                        if (std::fabs(v - 1.0f) > SHADE_NEUTRAL_TOLERANCE) m.shade_needed = true;
                        *sp++ = v;
                    }
                }
            }
        }
    }
}

// Writes a tile into `part` unless the part already holds exactly this tile.
void write_tile(ObjectId id, int part, const TileMesh& m) {
    const float* shade = m.shade_needed ? m.shade.data() : nullptr;
    const TextureId tex = obj_table.terrain_texture[static_cast<size_t>(id)];
    if (obj_part_changed(id, part, m.tris.data(), m.uvs.data(), shade, tex, m.count) == 1) return;
    obj_clear_part(id, part);
    obj_set_part_triangles(id, part, m.tris.data(), m.uvs.data(), shade, tex, m.count);
}

// Clears and skips `n` part numbers from `part`; returns the next number to hand out.
int skip_parts(ObjectId id, int part, int n) {
    for (int k = 0; k < n; ++k) obj_clear_part(id, part + k);
    return part + n;
}

}  // namespace

TerrainTiling terrain_tiling(int64_t cells) {
    for (const TilingRow& row : TILING_TABLE)
        if (cells < row.below) return row.tiling;
    const int a = static_cast<int>(std::sqrt(static_cast<double>(cells) / 390000.0));
    return TerrainTiling{a, a / 5 + 1, a / 3 + 2};
}

void terrain_init(ObjectId id, int cols, int rows, TextureId texture, float spacing, float u_step,
                  float v_step) {
    if (id < 1 || !obj_ensure(id, 0)) return;
    obj_reset(id);
    if (cols < 1 || rows < 1) return;
    if (int64_t{cols} * rows > TERRAIN_MAX_CELLS) {
        clear_grid(id);
        return;
    }
    ObjectTable& t = obj_table;
    const size_t o = static_cast<size_t>(id);
    t.terrain_cols[o] = cols;
    t.terrain_rows[o] = rows;
    t.terrain_spacing[o] = spacing;
    // A zero spacing has no reciprocal; 0 stands for "none" rather than an infinity.
    t.terrain_inv_spacing[o] = spacing != 0.0f ? 1.0f / spacing : 0.0f;
    t.terrain_u_step[o] = u_step;
    t.terrain_v_step[o] = v_step;
    t.terrain_texture[o] = texture;
    std::vector<float>().swap(t.terrain_heights[o]);
    std::vector<float>().swap(t.terrain_colors[o]);
}

void terrain_set_color(ObjectId id, int col, int row, float r, float g, float b, float a) {
    if (!has_grid(id)) return;
    ObjectTable& t = obj_table;
    const size_t o = static_cast<size_t>(id);
    const int cols = t.terrain_cols[o];
    const int rows = t.terrain_rows[o];
    if (col < 0 || row < 0 || col > cols || row > rows) return;
    std::vector<float>& cv = t.terrain_colors[o];
    // One corner more on each side than the grid has, all white until written.
    const size_t corners = (static_cast<size_t>(cols) + 2) * (static_cast<size_t>(rows) + 2);
    if (cv.size() != corners * 4) cv.assign(corners * 4, 1.0f);
    float* c =
        &cv[(static_cast<size_t>(row) * (static_cast<size_t>(cols) + 1) + static_cast<size_t>(col)) * 4];
    c[0] = r;
    c[1] = g;
    c[2] = b;
    c[3] = a;
}

void terrain_from_images(ObjectId id, TextureId color_tex, TextureId texture, TextureId height_tex,
                         float spacing, float u_step, float v_step, int flip, float height_scale) {
    if (id < 1 || !obj_ensure(id, 0)) return;
    obj_reset(id);
    Picture color, height;
    const bool has_color = picture_of(color_tex, color);
    bool has_height = picture_of(height_tex, height);
    if (has_color && has_height && (color.width != height.width || color.height != height.height))
        has_height = false;
    if (!has_color && !has_height) {
        clear_grid(id);
        return;
    }
    const Picture& shape = has_height ? height : color;
    const int w = shape.width, h = shape.height;
    terrain_init(id, w, h, texture, spacing, u_step, v_step);
    if (!has_grid(id)) return;

    for (int row = 0; row <= h; ++row) {
        // The extra last row and column of corners repeat the last pixel row and column.
        const int pr = row < h ? row : h - 1;
        const int prow = flip ? h - 1 - pr : pr;
        for (int col = 0; col <= w; ++col) {
            const int pcol = col < w ? col : w - 1;
            uint8_t r = 255, g = 255, b = 255, a = 255;
            if (has_color) {
                const uint8_t* px = pixel_at(color, pcol, prow);
                r = px[0];
                g = px[1];
                b = px[2];
                a = color.channels == 4 ? px[3] : 255;
            }
            float y = 0.0f;
            if (has_height) {
                y = height_scale * static_cast<float>(pixel_at(height, pcol, prow)[0] - 128) / 128.0f;
            } else if (b > WATER_BLUE_RATIO * g && b > WATER_BLUE_RATIO * r) {
                y = WATER_DEPTH * height_scale;
                a = WATER_ALPHA;
            }
            obj_set_terrain_height(id, col, row, y);
            terrain_set_color(id, col, row, r / 255.0f, g / 255.0f, b / 255.0f, a / 255.0f);
        }
    }
}

void terrain_build_mesh(ObjectId id) {
    if (id < 1 || !has_grid(id)) return;
    const size_t o = static_cast<size_t>(id);
    const int cols = obj_table.terrain_cols[o];
    const int rows = obj_table.terrain_rows[o];
    const int64_t cells = int64_t{cols} * rows;
    const TerrainTiling tl = terrain_tiling(cells);
    const int a = tl.tile_cells;
    const int64_t parts = cells / (int64_t{a} * a);
    if (!obj_ensure(id, parts > 0 ? static_cast<int>(parts - 1) : 0)) return;

    TileMesh m;
    int part = 0;
    for (int r0 = 0; r0 < rows; r0 += a) {
        const int r1 = rows - r0 < a ? rows : r0 + a;
        for (int c0 = 0; c0 < cols; c0 += a) {
            const int c1 = cols - c0 < a ? cols : c0 + a;
            build_tile(id, c0, r0, c1, r1, m);
            write_tile(id, part, m);
            ++part;
            // Gaps in the part numbering between tiles and between bands.
            if (a >= 2) part = skip_parts(id, part, part % tl.tile_gap);
        }
        if (a >= 2) part = skip_parts(id, part, part % tl.band_gap);
    }
}

int terrain_height_at(ObjectId id, float x, float z, float* y) {
    float out = 0.0f;
    int over = 0;
    if (obj_valid(id)) {
        const ObjectTable& t = obj_table;
        const size_t o = static_cast<size_t>(id);
        const Vec3 pos = t.position[o];
        out = pos.y;
        const int cols = t.terrain_cols[o];
        const int rows = t.terrain_rows[o];
        const float spacing = t.terrain_spacing[o];
        const std::vector<float>& hv = t.terrain_heights[o];
        const size_t stride = static_cast<size_t>(cols > 0 ? cols : 0) + 1;
        const bool grid =
            cols > 0 && rows > 0 && spacing != 0.0f && hv.size() == stride * (static_cast<size_t>(rows) + 1);
        if (grid) {
            const float fx = (x - pos.x) / spacing;
            const float fz = (z - pos.z) / spacing;
            // Written so that NaNs and infinities fall outside.
            if (fx >= 0.0f && fz >= 0.0f && fx <= static_cast<float>(cols) &&
                fz <= static_cast<float>(rows)) {
                int i = static_cast<int>(fx);
                int j = static_cast<int>(fz);
                // A point exactly on the far edge belongs to the last cell, with fraction 1.
                if (i == cols) --i;
                if (j == rows) --j;
                const float s = fx - static_cast<float>(i);
                const float tt = fz - static_cast<float>(j);
                const size_t c00 = static_cast<size_t>(j) * stride + static_cast<size_t>(i);
                const float h00 = hv[c00], h10 = hv[c00 + 1];
                const float h01 = hv[c00 + stride], h11 = hv[c00 + stride + 1];
                // The two triangles of the cell meet on the diagonal from (i, j) to (i + 1, j + 1).
                const float hgt = s >= tt ? h00 + s * (h10 - h00) + tt * (h11 - h10)
                                          : h00 + s * (h11 - h01) + tt * (h01 - h00);
                out = hgt + pos.y;
                over = 1;
            }
        }
    }
    if (y) *y = out;
    return over;
}
