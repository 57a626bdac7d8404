// The glyph sources of overlay text and the glyph cache built from them: the built-in 10 x 10 Latin-1
// glyphs (two styles), the 16 x 16 Unicode font table read from the data folder, and the white,
// alpha-inked glyph textures made from either once per class and code. The cache and the font are used
// by the compositor's build pass and by the main thread before a frame starts (text_prepare_glyphs), never
// both at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/ids.h"

// Built-in 8-bit glyphs: codes 32..255, cell x cell pixels.
constexpr int LATIN1_CELL = 10;
constexpr int LATIN1_FIRST = 32;
constexpr int LATIN1_LAST = 255;
constexpr int LATIN1_SHEET_GLYPHS_PER_ROW = 8;  // glyphs side by side in one string of the sheet
enum Latin1Style : int { LATIN1_STYLE_PLAIN = 0, LATIN1_STYLE_SECOND = 1 };

// Whether pixel (row, column) of the built-in glyph `code` in `style` is ink; false outside the cell or
// the covered codes.
bool latin1_glyph_ink(int style, int code, int row, int column);

// The Unicode font: 65536 glyphs of 16 rows, 2 bytes a row (byte 2r columns 0-7, byte 2r + 1 columns
// 8-15), bit k of a byte = column k mod 8 (least significant bit leftmost); a set bit is ink.
constexpr int UNIFONT_CELL = 16;
constexpr int UNIFONT_GLYPHS = 65536;
constexpr int UNIFONT_GLYPH_BYTES = 32;
constexpr size_t UNIFONT_TABLE_BYTES = static_cast<size_t>(UNIFONT_GLYPHS) * UNIFONT_GLYPH_BYTES;
// Where the build puts the table, relative to the executable's folder (start-up changes into it).
constexpr char UNIFONT_FILE[] = "data/unifont16.bin";

struct UnicodeFont {
    std::vector<uint8_t> table;  // UNIFONT_TABLE_BYTES, or empty: no font (Unicode text draws nothing)
    int font_tried = 0;          // the file has been read once, with or without success
};

extern UnicodeFont unicode_font;

// Reads the table from `path` in place of the current one. A file that cannot be read or is not exactly
// UNIFONT_TABLE_BYTES long is refused whole: no table. Returns 1 when a table was taken.
int font_load(const char* path);
// The 32 bytes of glyph `code` (0..65535), reading UNIFONT_FILE on first use; null without a table.
const uint8_t* font_glyph(int code);
// Whether pixel (row, column) of a 32-byte glyph is ink.
bool font_glyph_ink(const uint8_t* glyph, int row, int column);
// Forgets the table; the next font_glyph reads the file again (tests).
void font_reset();

// Glyph classes of the cache: which source and style a glyph comes from.
enum GlyphClass : int {
    GLYPH_CLASS_PLAIN = 0,    // built-in, plain style (text encoding 0)
    GLYPH_CLASS_UNICODE = 1,  // the Unicode font (text encoding 1)
    GLYPH_CLASS_STYLE2 = 2,   // built-in, second style (text encoding 3)
    GLYPH_CLASS_COUNT = 3,
};

// The shape byte measured once per glyph.
constexpr uint8_t GLYPH_HALF = 1;           // Unicode: no ink in columns 9..15
constexpr uint8_t GLYPH_THREE_QUARTER = 2;  // Unicode: no ink in columns 13..15
constexpr uint8_t GLYPH_DROP_FIFTH = 4;     // 8-bit: drawn 0.2 cell below the pen line (g p q ,)
constexpr uint8_t GLYPH_DROP_TENTH = 8;     // 8-bit: drawn 0.1 cell below the pen line (0xED)
constexpr uint8_t GLYPH_BLANK = 16;         // no ink: no texture, no draw command
constexpr uint8_t GLYPH_MADE = 128;         // the glyph has been made

struct GlyphCacheClass {
    std::vector<TextureId> texture;  // per code: the glyph's texture; 0 while not made or blank
    std::vector<uint8_t*> pixels;    // per code: cell x cell RGBA, white with ink alpha 255; blank: shared
    std::vector<uint8_t> shape;      // per code: GLYPH_* bits; 0 while not made
};

struct GlyphCache {
    GlyphCacheClass classes[GLYPH_CLASS_COUNT];  // sized on first use: 256 codes, 65536 for Unicode
    std::vector<uint8_t> blank;                  // the zero-filled buffer every blank glyph shares
};

extern GlyphCache glyph_cache;

// Cell size in pixels of a class: 16 for Unicode, 10 for the built-in glyphs.
int glyph_cell(int glyph_class);
// Makes glyph (class, code) when it is not made yet; returns its shape byte, 0 for a class or code out
// of range.
uint8_t glyph_make(int glyph_class, int code);
// The texture of a made glyph; 0 for blank, unmade or out-of-range glyphs.
TextureId glyph_texture(int glyph_class, int code);
// Releases the glyphs' texture slots (those still holding their buffers) and frees the buffers (tests;
// call before tex_reset).
void glyph_cache_reset();

// Makes, on the calling thread, every glyph the visible text elements use. The main thread calls it
// before the compositor's build pass starts beside the 3D passes, so that the build pass never adds
// texture slots (which may grow the table) while the renderer reads the texture table.
void text_prepare_glyphs();
