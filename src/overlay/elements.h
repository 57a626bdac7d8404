// Overlay elements: the retained 2D elements drawn over the 3D image (solid rectangles, images and
// text captions), as top-level slots each with its own list of children, and the operations that set
// them. Written by the main thread between frames; read by the compositor's build pass.
#pragma once

#include <cstdint>
#include <vector>

#include "core/ids.h"

// Clip value of an element without a clip quad.
constexpr float OVERLAY_NO_CLIP = -100.0f;
constexpr int OVERLAY_CLIP_FLOATS = 8;

// Text encodings of an element.
enum TextEncoding : int {
    TEXT_LATIN1 = 0,        // 8-bit text, built-in glyphs, plain style
    TEXT_UTF16 = 1,         // UTF-16 little-endian units from the Unicode font
    TEXT_UTF8 = 2,          // accepted by the setters only: converted and stored as TEXT_UTF16
    TEXT_LATIN1_STYLE2 = 3  // 8-bit text, built-in glyphs, second style
};

// One level of elements (the slots, or the children of one slot): a column per field, `count`
// entries in each. Coordinates are normalised frame units (x 0..1 left to right, y 0..1 top to bottom).
struct OverlayElements {
    int count = 0;                    // elements in every column
    std::vector<int> visible;         // drawn when > 0; new: 0
    std::vector<TextureId> texture;   // image of a non-text element, 0 a solid rectangle; new: 0
    std::vector<float> x, y;          // current top-left corner; new: 0
    std::vector<float> red, green, blue;  // current colour 0..1; new: 0
    std::vector<float> alpha;             // current opacity on the 0..3 scale; new: 0
    std::vector<float> target_x, target_y;  // new: 0
    std::vector<float> speed;               // units per second; <= 0.002 no animation; new: 0
    std::vector<float> width, height;       // new: 0
    std::vector<float> target_red, target_green, target_blue, target_alpha;  // <= -1: not animated; new: 0
    std::vector<float> rotation;         // degrees, exactly 0: not rotated; new: 0
    std::vector<float> rotation_rate;    // degrees per second, animates while > 0; new: 0
    std::vector<float> rotation_target;  // new: 0
    std::vector<float> zoom;             // scale factor - 1, exactly 0: not zoomed; new: 0
    std::vector<float> zoom_rate;        // factor units per second, animates while > 0; new: 0
    std::vector<float> zoom_target;      // factor - 1; new: -1
    std::vector<float> clip;             // OVERLAY_CLIP_FLOATS per element: corners x0 y0 .. x3 y3; new: -100
    std::vector<std::vector<uint8_t>> text;  // the text followed by four zero bytes; empty: no text; new: empty
    std::vector<int> text_encoding;          // TextEncoding (never TEXT_UTF8); new: 0
    std::vector<float> glyph_size;           // glyph cell height; <= 0.0001 reads as 0.005; new: 0
    std::vector<float> glyph_width;          // horizontal stretch; <= 0.0001 reads as 1; new: 1
    std::vector<uint8_t> fixed_pitch;        // non-zero: no proportional spacing; new: 0
    std::vector<uint8_t> redraw;             // one-shot: redraw next frame; new: 0
    // At an outlined caption's first slot: how many slots from it the caption takes (10 per character),
    // which reach the draw list together or not at all; 0 elsewhere and for children; new: 0.
    std::vector<int> caption_slots;
};

struct OverlayTable {
    OverlayElements slots;                  // slot 0 exists but is never animated or drawn
    std::vector<OverlayElements> children;  // children[slot], as many entries as slots.count
};

extern OverlayTable overlay_table;

// Opacity to draw with, from the 0..3 alpha scale: alpha below 2, else 3 - alpha.
float overlay_opacity(float alpha);

void overlay_ensure(int slot);
void overlay_child_ensure(int slot, int child);
// Empties the table (tests).
void overlay_table_reset();

void overlay_set_visible(int slot, int value);
int overlay_is_visible(int slot);
void overlay_set_texture(int slot, TextureId texture);
TextureId overlay_get_texture(int slot);
void overlay_set_pos(int slot, float x, float y);
void overlay_child_set_pos(int slot, int child, float x, float y);
void overlay_set_size(int slot, float width, float height);
void overlay_set_color(int slot, float r, float g, float b, float a);
void overlay_child_set_color(int slot, int child, float r, float g, float b, float a);
void overlay_move_to(int slot, float x, float y, float speed, float r, float g, float b, float a);
void overlay_child_move_to(int slot, int child, float x, float y, float speed, float r, float g, float b, float a);
void overlay_set_zoom(int slot, float factor, float rate);
void overlay_child_set_zoom(int slot, int child, float factor, float rate);
void overlay_set_rotation(int slot, float degrees, float rate);
void overlay_child_set_rotation(int slot, int child, float degrees, float rate);
float overlay_get_rotation(int slot);
void overlay_set_clip(int slot, int enable, float x0, float y0, float x1, float y1, float x2, float y2, float x3,
                      float y3);
void overlay_child_set_clip(int slot, int child, int enable, float x0, float y0, float x1, float y1, float x2,
                            float y2, float x3, float y3);
void overlay_reset_transform(int slot);
void overlay_child_reset_transform(int slot, int child);
void overlay_reset_transforms_from(int first);
void overlay_touch(int slot);
void overlay_set_text(int slot, const char* text, int encoding, float x, float y, float r, float g, float b, float a,
                      float glyph_size, float glyph_width, int fixed_pitch);
void overlay_set_text_ex(int slot, const char* text, float x, float y, float r, float g, float b, float a,
                         float glyph_size, int encoding, float glyph_width, int fixed_pitch);
void overlay_child_set_text(int slot, int child, const char* text, float x, float y, float r, float g, float b,
                            float a, float glyph_size, int encoding, float glyph_width, int fixed_pitch);
void overlay_hide(int slot);
void overlay_hide_ex(int slot, int reset_transform, int hide_children);
void overlay_hide_from(int first, int reset_transform);
void overlay_child_hide(int slot, int child, int reset_transform);
void overlay_set_image(int slot, float x, float y, float width, float height, const char* image);
void overlay_set_image_color(int slot, float x, float y, float width, float height, const char* image, float r,
                             float g, float b, float a);
void overlay_child_set_image(int slot, int child, float x, float y, float width, float height, const char* image,
                             float r, float g, float b, float a);
int overlay_hit(int slot);
void overlay_set_fade(float alpha);
void loading_progress(int percent);
float overlay_get_x(int slot);
float overlay_get_y(int slot);
float overlay_get_width(int slot);
float overlay_get_height(int slot);
float overlay_get_red(int slot);
float overlay_get_green(int slot);
float overlay_get_blue(int slot);
float overlay_get_alpha(int slot);

// The per-frame animation step of one element (position, colour, rotation, zoom), run by the
// compositor's build pass before the element is turned into draw commands.
void overlay_animate(OverlayElements& level, int index);

// One UTF-8 character at `p`: its code point, and in *bytes how many bytes it took (0 for null).
// Bad bytes decode as a space (32).
uint32_t utf8_decode_char(const uint8_t* p, int* bytes);
// `text` (zero-terminated UTF-8) as zero-terminated 16-bit units in a process-wide buffer, valid until
// the next call; null for null.
const uint16_t* utf8_to_utf16(const char* text);
