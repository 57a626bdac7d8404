// The Unicode font table and the glyph cache: glyph textures made once per class and code and kept for
// the process. Touched by the compositor's build pass and by the main thread before a frame, in turn.
#include <cstdlib>
#include <cstring>

#include "assets/locator.h"
#include "assets/texture.h"
#include "overlay/glyphs.h"

UnicodeFont unicode_font;
GlyphCache glyph_cache;

namespace {

constexpr int RGBA = 4;

int class_codes(int glyph_class) {
    return glyph_class == GLYPH_CLASS_UNICODE ? UNIFONT_GLYPHS : 256;
}

bool glyph_ink(int glyph_class, const uint8_t* font, int code, int row, int column) {
    if (glyph_class == GLYPH_CLASS_UNICODE) return font != nullptr && font_glyph_ink(font, row, column);
    const int style = glyph_class == GLYPH_CLASS_STYLE2 ? LATIN1_STYLE_SECOND : LATIN1_STYLE_PLAIN;
    return latin1_glyph_ink(style, code, row, column);
}

// Unicode glyphs are measured from their ink: proportional text pulls the pen back after narrow ones.
uint8_t unicode_width(const uint8_t* font) {
    bool ink_from_9 = false, ink_from_13 = false;
    for (int r = 0; r < UNIFONT_CELL && font != nullptr; ++r) {
        for (int c = 9; c < UNIFONT_CELL; ++c) {
            if (!font_glyph_ink(font, r, c)) continue;
            ink_from_9 = true;
            if (c >= 13) ink_from_13 = true;
        }
    }
    if (!ink_from_9) return GLYPH_HALF;
    if (!ink_from_13) return GLYPH_THREE_QUARTER;
    return 0;
}

// 8-bit glyphs whose tails hang below the line: their patterns sit higher in the cell.
uint8_t latin1_drop(int code) {
    if (code == 'g' || code == 'p' || code == 'q' || code == ',') return GLYPH_DROP_FIFTH;
    if (code == 0xED) return GLYPH_DROP_TENTH;
    return 0;
}

void ensure_class(GlyphCacheClass& k, int glyph_class) {
    if (!k.shape.empty()) return;
    const size_t n = static_cast<size_t>(class_codes(glyph_class));
    k.texture.assign(n, 0);
    k.pixels.assign(n, nullptr);
    k.shape.assign(n, 0);
}

}  // namespace

int font_load(const char* path) {
    unicode_font.table.clear();
    unicode_font.table.shrink_to_fit();
    unicode_font.font_tried = 1;
    size_t size = 0;
    char* data = file_load(path, 1, &size);
    if (data == nullptr) return 0;
    // Anything but the exact size is a damaged or foreign file: a short table would hand out glyphs from
    // beyond its end, a long one is not this table.
    if (size == UNIFONT_TABLE_BYTES) {
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(data);
        unicode_font.table.assign(bytes, bytes + size);
    }
    std::free(data);
    return unicode_font.table.empty() ? 0 : 1;
}

const uint8_t* font_glyph(int code) {
    if (!unicode_font.font_tried) font_load(UNIFONT_FILE);
    if (code < 0 || code >= UNIFONT_GLYPHS || unicode_font.table.size() != UNIFONT_TABLE_BYTES)
        return nullptr;
    return unicode_font.table.data() + static_cast<size_t>(code) * UNIFONT_GLYPH_BYTES;
}

bool font_glyph_ink(const uint8_t* glyph, int row, int column) {
    if (glyph == nullptr || row < 0 || row >= UNIFONT_CELL || column < 0 || column >= UNIFONT_CELL)
        return false;
    return (glyph[2 * row + column / 8] >> (column % 8)) & 1;
}

void font_reset() {
    unicode_font = UnicodeFont{};
}

int glyph_cell(int glyph_class) {
    return glyph_class == GLYPH_CLASS_UNICODE ? UNIFONT_CELL : LATIN1_CELL;
}

uint8_t glyph_make(int glyph_class, int code) {
    if (glyph_class < 0 || glyph_class >= GLYPH_CLASS_COUNT || code < 0 || code >= class_codes(glyph_class)) {
        return 0;
    }
    GlyphCacheClass& k = glyph_cache.classes[glyph_class];
    ensure_class(k, glyph_class);
    const size_t at = static_cast<size_t>(code);
    if (k.shape[at] & GLYPH_MADE) return k.shape[at];

    const uint8_t* font = glyph_class == GLYPH_CLASS_UNICODE ? font_glyph(code) : nullptr;
    uint8_t shape = GLYPH_MADE;
    shape |= glyph_class == GLYPH_CLASS_UNICODE ? unicode_width(font) : latin1_drop(code);

    const int cell = glyph_cell(glyph_class);
    const size_t bytes = static_cast<size_t>(cell) * static_cast<size_t>(cell) * RGBA;
    bool any_ink = false;
    for (int r = 0; r < cell && !any_ink; ++r) {
        for (int c = 0; c < cell && !any_ink; ++c) any_ink = glyph_ink(glyph_class, font, code, r, c);
    }
    uint8_t* pixels = any_ink ? static_cast<uint8_t*>(std::malloc(bytes)) : nullptr;
    TextureId texture = 0;
    if (pixels != nullptr) {
        // White everywhere, so the element's colour tints it; only the alpha carries the shape.
        std::memset(pixels, 255, bytes);
        for (int r = 0; r < cell; ++r) {
            for (int c = 0; c < cell; ++c) {
                const size_t p =
                    (static_cast<size_t>(r) * static_cast<size_t>(cell) + static_cast<size_t>(c)) * RGBA;
                pixels[p + 3] = glyph_ink(glyph_class, font, code, r, c) ? 255 : 0;
            }
        }
        texture = tex_free_slot();
        if (texture != 0) tex_set_pixels(texture, 0, pixels, cell, cell, RGBA, TEX_BORROWED);
        if (texture != 0 && tex_has_pixels(texture)) {
            // A key no file name can have: a star, the class as a byte, the code's two bytes.
            const char key[5] = {'*', static_cast<char>(glyph_class), static_cast<char>(code & 0xFF),
                                 static_cast<char>((code >> 8) & 0xFF), 0};
            tex_set_name(texture, key);
        } else {
            std::free(pixels);
            pixels = nullptr;
            texture = 0;
        }
    }
    if (pixels == nullptr) {
        // No ink, or no memory or texture slot for it: drawn as nothing, with the same spacing.
        if (glyph_cache.blank.empty())
            glyph_cache.blank.assign(static_cast<size_t>(UNIFONT_CELL) * UNIFONT_CELL * RGBA, 0);
        pixels = glyph_cache.blank.data();
        shape |= GLYPH_BLANK;
    }
    k.texture[at] = texture;
    k.pixels[at] = pixels;
    k.shape[at] = shape;
    return shape;
}

TextureId glyph_texture(int glyph_class, int code) {
    if (glyph_class < 0 || glyph_class >= GLYPH_CLASS_COUNT || code < 0) return 0;
    const GlyphCacheClass& k = glyph_cache.classes[glyph_class];
    if (static_cast<size_t>(code) >= k.texture.size()) return 0;
    return k.texture[static_cast<size_t>(code)];
}

void glyph_cache_reset() {
    for (GlyphCacheClass& k : glyph_cache.classes) {
        for (size_t i = 0; i < k.shape.size(); ++i) {
            if (k.shape[i] & GLYPH_BLANK) continue;
            const TextureId t = k.texture[i];
            // The slot may have been emptied and reused since; only a slot still showing this buffer is ours.
            if (t > 0 && t < texture_table.capacity &&
                texture_table.pixels[static_cast<size_t>(t)] == k.pixels[i]) {
                tex_release(t);
            }
            std::free(k.pixels[i]);
        }
    }
    glyph_cache = GlyphCache{};
}
