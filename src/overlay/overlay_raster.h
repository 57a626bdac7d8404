// What the fast tile loops and their plain reference share: the pixels of a tile, a command's set-up
// (corners in pixels, the texture and how it is sampled, the texture mapping), the covered pixels of a
// row, the occluder search, and the rule that writes one pixel. Private to the compositor.
#pragma once

#include <cstddef>
#include <cstdint>

#include "overlay/overlay.h"

namespace overlay_detail {

// Texture coordinates are 32.32 texels in 64 bits: a span steps up to a tile's width of pixels, and the
// rounding of the step must not move the last pixel of an image drawn at its own size onto the texel
// before it.
using fix32 = int64_t;
constexpr int FIX32_SHIFT = 32;
constexpr double FIX32_ONE = 4294967296.0;
// The bilinear weights are 8 bits: the top of the fraction.
constexpr int WEIGHT_SHIFT = FIX32_SHIFT - 8;

// Pixel alpha thresholds: at most 2 draws nothing, from 253 a pixel is replaced outright.
constexpr uint32_t ALPHA_NOTHING = 2;
constexpr uint32_t ALPHA_REPLACE = 253;
// Tint and opacity bytes from this value on leave the texel as it is.
constexpr uint32_t BYTE_FULL = 254;
// Textures up to this size on both sides (glyphs) are filtered; larger ones sample the nearest texel.
constexpr int FILTER_MAX_TEXELS = 24;

struct TileBounds {
    int x0, y0, x1, y1;  // pixel columns [x0, x1), rows [y0, y1)
};

// Tile (row, column) of the 8 x 8 grid on a width x height buffer.
inline TileBounds tile_bounds(int row, int column, int width, int height) {
    auto edge = [](int k, int size) {
        return static_cast<int>(static_cast<int64_t>(k) * size / OVERLAY_TILES);
    };
    return TileBounds{edge(column, width), edge(row, height), edge(column + 1, width), edge(row + 1, height)};
}

enum SampleMode : uint8_t {
    SAMPLE_SOLID = 0,     // the tint itself
    SAMPLE_NEAREST = 1,   // the nearest texel
    SAMPLE_BILINEAR = 2,  // the four nearest texels, weighted
    SAMPLE_COPY = 3,      // texel for texel from the rectangle's first pixel
};

struct CommandSetup {
    uint8_t drawable;    // 0: the command draws nothing (placeholder, bad texture, no area)
    uint8_t mode;        // SampleMode
    uint8_t clipped;     // the clip quad limits the pixels
    uint8_t occluder;    // opaque all over: may hide everything under it in a tile
    uint8_t solid_rect;  // unclipped axis-aligned solid rectangle
    uint8_t upright;     // axis-aligned rectangle (corners from x0, y0 to x1, y1), textured or not
    uint8_t red, green, blue, alpha;
    double px[4], py[4];  // corners in pixels, going round the image from its top-left
    double cx[4], cy[4];  // clip corners in pixels
    const uint8_t* tex;   // texels; null for a solid colour
    int tex_width, tex_height, tex_channels;
    // Texture mapping in texels at pixel (x, y): u = u_c + u_x x + u_y y, likewise v.
    double u_c, u_x, u_y, v_c, v_x, v_y;
    int copy_x, copy_y;  // SAMPLE_COPY: the pixel of texel (0, 0)
    // Pixels that may be covered, with a pixel to spare on every side: columns [box_x0, box_x1), rows
    // [box_y0, box_y1). Lets a tile skip the commands elsewhere on the screen.
    int box_x0, box_y0, box_x1, box_y1;
    // SAMPLE_BILINEAR with 4 channels (ink_known): per texel row, the first and last column whose alpha
    // is not 0 (first > last: none). A glyph is mostly empty, and a cell of four empty texels draws nothing.
    uint8_t ink_known;
    uint8_t ink_first[FILTER_MAX_TEXELS], ink_last[FILTER_MAX_TEXELS];
    // ink_known, and every texel has the first texel's colour (a glyph: white ink, the shape in the alpha
    // alone), so a filtered sample's colour is that colour and only its alpha needs mixing.
    uint8_t rgb_uniform;
};

// Fills `s` for command i of the draw list on a width x height buffer. `same`, when given, is an earlier
// set-up that may share the texture: its ink columns are taken instead of reading the texels again (an
// outlined character is nine commands on one glyph).
void command_setup(const DrawList& d, size_t i, int width, int height, CommandSetup& s,
                   const CommandSetup* same = nullptr);

// The pixels of row y that the command covers (and its clip allows), within [lo, hi): false for none.
bool command_row_span(const CommandSetup& s, int y, int lo, int hi, int& first, int& end);

struct RowFix {
    fix32 u, du, v, dv;  // texture coordinates at the span's first pixel and their step per pixel
};
// The texture coordinates of pixel (x, y) and the step to the next pixel of the row.
RowFix command_row_fix(const CommandSetup& s, int x, int y);
// command_row_fix(s, x, y).v for a command whose v does not change along a row (v_x zero): the same
// value for any x.
fix32 command_row_v(const CommandSetup& s, int y);

// An outlined character is eight faded copies of one glyph and the glyph on top, nine commands in a row.
constexpr int GROUP_MAX = 9;
// Whether the command may be drawn in a group (draw_group): an upright, unclipped, filtered RGBA image
// of one colour, v fixed along a row and u growing.
bool command_groupable(const CommandSetup& s);
// Widest tile drawn in groups (a frame up to 4096 pixels wide): the members' opacity lines of a row are
// kept on the stack.
constexpr int GROUP_WIDTH_MAX = 512;
// Draws `n` (up to GROUP_MAX) groupable commands, given in drawing order, into the tile's rows: the
// pixels the commands' one-by-one drawing gives, each pixel read and written once. False, having drawn
// nothing, for a tile wider than GROUP_WIDTH_MAX.
bool draw_group(uint8_t* buffer, int width, const CommandSetup* const* members, int n, const TileBounds& t);

// The command from which a tile is drawn: the occluder's index when one hides everything under it (or
// -1), and whether the tile is first filled with a solid rectangle's colour.
struct TileStart {
    int first;  // first command to draw
    int fill;   // fill the tile with `fill_index`'s colour at full coverage first
    int fill_index;
};
TileStart tile_start(const DrawList& d, const CommandSetup* setups, int count, const TileBounds& t);
// The same from the list of the `listed` drawable commands' indices, in order.
TileStart tile_start_listed(const CommandSetup* setups, const int* drawable, int listed, const TileBounds& t);

// Draw-list slots (draw_list.cpp): marks the tiles under the command stored in slot i, and empties a
// slot (zeros, no clip).
void draw_list_mark_stored(const DrawList& d, size_t i);
void draw_list_clear_slot(DrawList& d, size_t i);

// Writes one coloured pixel over the overlay pixel p (R, G, B, coverage).
inline void put_pixel(uint8_t* p, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    if (a <= ALPHA_NOTHING) return;
    if (a >= ALPHA_REPLACE || p[3] == 0) {
        p[0] = static_cast<uint8_t>(r);
        p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(b);
        p[3] = static_cast<uint8_t>(a);
        return;
    }
    const uint32_t rest = 255 - a;
    p[0] = static_cast<uint8_t>((p[0] * rest + r * a) >> 8);
    p[1] = static_cast<uint8_t>((p[1] * rest + g * a) >> 8);
    p[2] = static_cast<uint8_t>((p[2] * rest + b * a) >> 8);
    const uint32_t c = p[3] + a;
    p[3] = static_cast<uint8_t>(c > 255 ? 255 : c);
}

// Tint and opacity multipliers: a byte from 254 on multiplies by 256, which leaves the value unchanged.
inline uint32_t multiplier(uint8_t byte) {
    return byte < BYTE_FULL ? byte : 256u;
}

// The pixels of a span stepping by du > 0 from u before its coordinate reaches `to` > u: the least k with
// u + k du >= to. A 64-bit division per texel cell is slow (a library call on a 32-bit machine); the
// estimate from the reciprocal is off by a step at most and then corrected in integers.
inline fix32 steps_until(fix32 u, fix32 du, fix32 to, double per_du) {
    fix32 k = static_cast<fix32>(static_cast<double>(to - u) * per_du);
    if (k < 0) k = 0;
    while (u + k * du < to) ++k;
    while (k > 0 && u + (k - 1) * du >= to) --k;
    return k;
}

// The texel column (or row) of a 32.32 coordinate, clamped to the texture.
inline int texel_index(fix32 u, int size) {
    const fix32 t = u >> FIX32_SHIFT;
    return t < 0 ? 0 : (t >= size ? size - 1 : static_cast<int>(t));
}

}  // namespace overlay_detail
