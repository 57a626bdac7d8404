// Text elements into draw commands: one textured quad per visible glyph, proportional spacing, rotation
// and zoom, the placeholder padding that keeps later commands' indices; and the outlined, waving captions
// built from one-glyph slots. Layout runs in the compositor's build pass; captions on the main thread.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "display/framebuffer.h"
#include "overlay/compositor.h"
#include "overlay/elements.h"
#include "overlay/glyphs.h"
#include "overlay/overlay.h"
#include "overlay/text.h"

namespace {

constexpr double DEGREES_TO_RADIANS = 0.017453292519943295;
// A text's commands end on a multiple of this, so a caption that changes length leaves the indices of the
// elements after it alone and their commands still compare equal.
constexpr int PAD_COMMANDS = 128;
// A text whose glyphs fit below the cap then has room for its padding too.
static_assert(DRAW_LIST_MAX % PAD_COMMANDS == 0);
// Texture window of a half-width Unicode glyph under fixed pitch: its ink fills the cell.
constexpr float HALF_GLYPH_U_MAX = 0.7f;
constexpr int SLOTS_PER_CHARACTER = 10;
// The waving captions' fixed shape.
constexpr float WAVE_GLYPH_WIDTH = 0.5f;
constexpr float WAVE_OUTLINE = 0.01f;
constexpr float WAVE_AMPLITUDE = 0.014f;
constexpr float WAVE_STEP = 30.0f;

// 8-bit letters narrower than the cell: the pen is pulled back before and after them by these parts
// of a cell.
bool narrow_letter(int c) {
    return c == 'i' || c == 'j' || c == 'I' || c == 'l' || c == 't' || c == '!' || c == '.' || c == ':' ||
           c == 'f' || c == 0xCD || c == 0xED;
}
bool medium_letter(int c) {
    return c == 'a' || (c >= 'b' && c <= 'e') || c == 'g' || c == 'h' || c == 'k' || (c >= 'n' && c <= 's') ||
           c == 'u' || c == 'v' || (c >= 'x' && c <= 'z') || c == 0xE1 || c == 0xF3 || c == 0xF5 ||
           c == 0xF6 || c == 0xFA || c == 0xFB;
}
constexpr float NARROW_BEFORE = 0.18f, NARROW_AFTER = 0.2f;
constexpr float MEDIUM_BEFORE = 0.06f, MEDIUM_AFTER = 0.06f;
// Unicode glyphs are measured: half-width ones (Latin) give back most of the cell, three-quarter ones less.
constexpr float HALF_PULL = 0.455f, THREE_QUARTER_PULL = 0.215f;

int glyph_class_of(int encoding) {
    if (encoding == TEXT_UTF16) return GLYPH_CLASS_UNICODE;
    if (encoding == TEXT_LATIN1_STYLE2) return GLYPH_CLASS_STYLE2;
    return GLYPH_CLASS_PLAIN;
}

// Glyphs in a stored text: UTF-16 units up to the first zero unit, else bytes up to the first zero byte.
size_t glyph_count(const std::vector<uint8_t>& text, int encoding) {
    size_t n = 0;
    if (encoding == TEXT_UTF16) {
        while (2 * n + 1 < text.size() && (text[2 * n] != 0 || text[2 * n + 1] != 0)) ++n;
    } else {
        while (n < text.size() && text[n] != 0) ++n;
    }
    return n;
}

int glyph_code(const std::vector<uint8_t>& text, int encoding, size_t k) {
    if (encoding == TEXT_UTF16) return text[2 * k] | (text[2 * k + 1] << 8);
    return text[k];
}

float frame_aspect() {
    const int w = frame_buffer.fb_width, h = frame_buffer.fb_height;
    return w > 0 && h > 0 ? static_cast<float>(w) / static_cast<float>(h) : 1.0f;
}

struct Corners {
    float x[4], y[4];  // top-left, bottom-left, bottom-right, top-right
};

Corners box_corners(float x0, float y0, float x1, float y1) {
    return Corners{{x0, x0, x1, x1}, {y0, y1, y1, y0}};
}

void turn(Corners& q, float degrees, float aspect, float scale, float cx, float cy) {
    quad_rotate(q.x[0], q.y[0], q.x[1], q.y[1], q.x[2], q.y[2], q.x[3], q.y[3], degrees, aspect, scale, cx,
                cy);
}

// The parent box a child's text lives in, and how it turns.
struct ParentBox {
    float x, y, width, height;
    float rotation, scale;
    bool turned;
};

// The level and index of slot `slot`'s text (child < 0) or of its child `child`; null for an index
// outside the table.
const OverlayElements* text_element(int slot, int child, size_t& e) {
    const OverlayTable& table = overlay_table;
    if (slot < 0 || slot >= table.slots.count) return nullptr;
    if (child < 0) {
        e = static_cast<size_t>(slot);
        return &table.slots;
    }
    if (static_cast<size_t>(slot) >= table.children.size() ||
        child >= table.children[static_cast<size_t>(slot)].count) {
        return nullptr;
    }
    e = static_cast<size_t>(child);
    return &table.children[static_cast<size_t>(slot)];
}

// The glyphs of a text that become draw commands: those with a texture (a blank has none).
int64_t inked_glyphs(const OverlayElements& level, size_t e) {
    const std::vector<uint8_t>& text = level.text[e];
    const int encoding = level.text_encoding[e];
    const int glyph_class = glyph_class_of(encoding);
    const size_t n = glyph_count(text, encoding);
    int64_t inked = 0;
    for (size_t k = 0; k < n; ++k) {
        const int code = glyph_code(text, encoding, k);
        glyph_make(glyph_class, code);
        if (glyph_texture(glyph_class, code) != 0) ++inked;
    }
    return inked;
}

}  // namespace

int64_t text_command_count(int slot, int child, int64_t count) {
    size_t e = 0;
    const OverlayElements* level = text_element(slot, child, e);
    if (level == nullptr || glyph_count(level->text[e], level->text_encoding[e]) == 0) return 0;
    const int64_t inked = inked_glyphs(*level, e);
    return inked + (PAD_COMMANDS - (count + inked) % PAD_COMMANDS) % PAD_COMMANDS;
}

void text_layout(int slot, int child) {
    OverlayTable& table = overlay_table;
    size_t e = 0;
    const OverlayElements* found = text_element(slot, child, e);
    if (found == nullptr) return;
    const bool is_child = child >= 0;
    const OverlayElements& level = *found;
    const std::vector<uint8_t>& text = level.text[e];
    const int encoding = level.text_encoding[e];
    const size_t n = glyph_count(text, encoding);
    if (n == 0) return;
    // At the list's cap the text goes in whole or not at all: half a line, or an outline without its
    // ink, would show as a broken caption.
    if (overlay_state.draw.count + inked_glyphs(level, e) > DRAW_LIST_MAX) return;

    const int glyph_class = glyph_class_of(encoding);
    const bool unicode = glyph_class == GLYPH_CLASS_UNICODE;
    const float s = level.glyph_size[e] <= 0.0001f ? 0.005f : level.glyph_size[e];
    const float w = level.glyph_width[e] <= 0.0001f ? 1.0f : level.glyph_width[e];
    const float z = level.zoom[e] <= -1.0f ? 1.0f : level.zoom[e] + 1.0f;
    const float rotation = level.rotation[e];
    const bool turned = rotation != 0.0f || level.zoom[e] != 0.0f;
    const float aspect = frame_aspect();
    const bool proportional = level.fixed_pitch[e] == 0;

    float pen_x = level.x[e], pen_y = level.y[e];
    float scale = 1.0f;  // a child's text grows with its parent's height, keeping its proportions
    const float* clip = &level.clip[e * OVERLAY_CLIP_FLOATS];
    float child_clip[OVERLAY_CLIP_FLOATS];
    ParentBox parent{};
    if (is_child) {
        const OverlayElements& p = table.slots;
        const size_t ps = static_cast<size_t>(slot);
        parent = ParentBox{p.x[ps],
                           p.y[ps],
                           p.width[ps],
                           p.height[ps],
                           p.rotation[ps],
                           p.zoom[ps] + 1.0f,
                           p.rotation[ps] != 0.0f || p.zoom[ps] != 0.0f};
        pen_x = parent.x + pen_x * parent.width;
        pen_y = parent.y + pen_y * parent.height;
        scale = parent.height;
        if (clip[0] > -1.0f) {
            Corners q{};
            for (int k = 0; k < 4; ++k) {
                q.x[k] = parent.x + clip[2 * k] * parent.width;
                q.y[k] = parent.y + clip[2 * k + 1] * parent.height;
            }
            if (parent.turned) {
                turn(q, parent.rotation, aspect, parent.scale, parent.x + parent.width * 0.5f,
                     parent.y + parent.height * 0.5f);
            }
            for (int k = 0; k < 4; ++k) {
                child_clip[2 * k] = q.x[k];
                child_clip[2 * k + 1] = q.y[k];
            }
            clip = child_clip;
        } else {
            clip = nullptr;
        }
    }

    const float opacity = overlay_opacity(level.alpha[e]);
    const float red = level.red[e], green = level.green[e], blue = level.blue[e];
    const float glyph_w = s * w * scale;
    const float glyph_h = s * scale;
    // One cell along the text's direction; y in normalised units stretches by the frame's aspect.
    const double radians = rotation * DEGREES_TO_RADIANS;
    const float advance = z * w * s * scale;
    const float step_x = static_cast<float>(std::cos(radians)) * advance;
    const float step_y = static_cast<float>(std::sin(radians)) * advance * aspect;
    auto pull_back = [&](float part) {
        pen_x -= part * step_x;
        pen_y -= part * step_y;
    };

    for (size_t k = 0; k < n; ++k) {
        const int code = glyph_code(text, encoding, k);
        const uint8_t shape = glyph_make(glyph_class, code);
        float after = 0.0f;
        if (proportional && !unicode) {
            if (narrow_letter(code)) {
                pull_back(NARROW_BEFORE);
                after = NARROW_AFTER;
            } else if (medium_letter(code)) {
                pull_back(MEDIUM_BEFORE);
                after = MEDIUM_AFTER;
            }
        } else if (proportional) {
            if (shape & GLYPH_HALF) {
                after = HALF_PULL;
            } else if (shape & GLYPH_THREE_QUARTER) {
                after = THREE_QUARTER_PULL;
            }
        }

        const TextureId texture = glyph_texture(glyph_class, code);
        if (texture != 0) {
            float drop = 0.0f;
            if (shape & GLYPH_DROP_FIFTH) drop = 0.2f * glyph_h;
            if (shape & GLYPH_DROP_TENTH) drop = 0.1f * glyph_h;
            const float u_max = unicode && !proportional && (shape & GLYPH_HALF) ? HALF_GLYPH_U_MAX : 1.0f;
            const float x0 = pen_x, y0 = pen_y + drop;
            if (!turned && !is_child) {
                overlay_submit(x0, y0, x0 + glyph_w, y0 + glyph_h, 0, 0, u_max, 1, texture, red, green, blue,
                               opacity, 0, 0, 0, 0, 0, 1, 0, clip);
            } else {
                Corners q = box_corners(x0, y0, x0 + glyph_w, y0 + glyph_h);
                if (turned) turn(q, rotation, aspect, z, pen_x, pen_y);
                if (is_child && parent.turned) {
                    turn(q, parent.rotation, aspect, parent.scale, parent.x + parent.width * 0.5f,
                         parent.y + parent.height * 0.5f);
                }
                overlay_submit(q.x[0], q.y[0], q.x[1], q.y[1], 0, 0, u_max, 1, texture, red, green, blue,
                               opacity, 1, q.x[2], q.y[2], q.x[3], q.y[3], 1, 0, clip);
            }
        }
        pen_x += step_x;
        pen_y += step_y;
        if (after != 0.0f) pull_back(after);
    }

    const int count = overlay_state.draw.count;
    overlay_submit_placeholders((PAD_COMMANDS - count % PAD_COMMANDS) % PAD_COMMANDS);
}

void text_prepare_glyphs() {
    const OverlayTable& table = overlay_table;
    auto prepare = [](const OverlayElements& level, size_t e) {
        const int encoding = level.text_encoding[e];
        const std::vector<uint8_t>& text = level.text[e];
        const size_t n = glyph_count(text, encoding);
        const int glyph_class = glyph_class_of(encoding);
        for (size_t k = 0; k < n; ++k) glyph_make(glyph_class, glyph_code(text, encoding, k));
    };
    for (int slot = 1; slot < table.slots.count; ++slot) {
        const size_t s = static_cast<size_t>(slot);
        if (table.slots.visible[s] <= 0) continue;
        prepare(table.slots, s);
        if (s >= table.children.size()) continue;
        const OverlayElements& children = table.children[s];
        for (int c = 0; c < children.count; ++c) {
            if (children.visible[static_cast<size_t>(c)] > 0) prepare(children, static_cast<size_t>(c));
        }
    }
}

int caption_outlined(int first, const char* text, float x, float y, float ink_red, float ink_green,
                     float ink_blue, float outline_red, float outline_blue, float outline_green, float alpha,
                     float glyph_size, float glyph_width, float advance, float outline_offset,
                     float wave_amplitude, float wave_step, float wave_phase, int wave_moves) {
    const uint16_t* units = utf8_to_utf16(text);
    if (units == nullptr) return 0;
    const float d = outline_offset * glyph_size;
    // Outline copies, drawn under the ink: the four sides at half the alpha, the corners at a quarter.
    struct Copy {
        int slot;  // from the character's base slot
        float dx, dy, alpha;
    };
    static const Copy COPIES[] = {
        {8, -1, 0, 0.5f},  {7, 1, 0, 0.5f},    {6, 0, 1, 0.5f},  {5, 0, -1, 0.5f},
        {4, -1, 1, 0.25f}, {3, -1, -1, 0.25f}, {2, 1, 1, 0.25f}, {1, 1, -1, 0.25f},
    };
    int k = 0;
    for (; units[k] != 0; ++k) {
        // Slot numbers past the int range have no element: the caption ends there.
        const int64_t last = static_cast<int64_t>(first) + int64_t{SLOTS_PER_CHARACTER} * k + 9;
        if (last > INT32_MAX) break;
        const int base = static_cast<int>(last - 9);
        const double angle = (static_cast<double>(k) * wave_step + wave_phase) * DEGREES_TO_RADIANS;
        const float a = static_cast<float>(std::sin(angle)) * wave_amplitude;
        const float g = glyph_size + a;
        const float px = wave_moves ? x - a * 0.25f : x;
        const float py = wave_moves ? y - a * 0.5f : y;
        // One character as a UTF-16 text of its own: the unit's two bytes and the terminating zero unit.
        const char glyph[4] = {static_cast<char>(units[k] & 0xFF), static_cast<char>(units[k] >> 8), 0, 0};
        if (base >= 0 && base < overlay_table.slots.count) overlay_hide(base);
        overlay_set_text(base + 9, glyph, TEXT_UTF16, px, py, ink_red, ink_green, ink_blue, alpha, g,
                         glyph_width, 0);
        for (const Copy& c : COPIES) {
            overlay_set_text(base + c.slot, glyph, TEXT_UTF16, px + c.dx * d, py + c.dy * d, outline_red,
                             outline_green, outline_blue, alpha * c.alpha, g, glyph_width, 0);
        }
        x += glyph_size * advance;
    }
    // The compositor draws the caption's slots whole or not at all (see overlay_build).
    if (k > 0 && first >= 1 && first < overlay_table.slots.count) {
        overlay_table.slots.caption_slots[static_cast<size_t>(first)] = SLOTS_PER_CHARACTER * k;
    }
    return k;
}

// The scenes' waving captions: white ink, a coloured outline, the same wave everywhere.
int caption_wave(int first, const char* text, float x, float y, float c1, float c2, float c3, float alpha,
                 float glyph_size, float advance, float wave_phase) {
    return caption_outlined(first, text, x, y, 1, 1, 1, c1, c2, c3, alpha, glyph_size, WAVE_GLYPH_WIDTH,
                            advance, WAVE_OUTLINE, WAVE_AMPLITUDE, WAVE_STEP, wave_phase, 1);
}

int caption_wave_a(const char* text, float x, float y, float c1, float c2, float alpha, float glyph_size,
                   float advance, float wave_phase) {
    return caption_outlined(1000, text, x, y, 1, 1, 1, 1, c1, c2, alpha, glyph_size, WAVE_GLYPH_WIDTH,
                            advance, WAVE_OUTLINE, WAVE_AMPLITUDE, WAVE_STEP, wave_phase, 1);
}

int caption_wave_b(const char* text, float x, float y, float c1, float c2, float alpha, float glyph_size,
                   float advance, float wave_amplitude, float wave_phase) {
    return caption_outlined(1500, text, x, y, 1, 1, 1, 1, c1, c2, alpha, glyph_size, WAVE_GLYPH_WIDTH,
                            advance, WAVE_OUTLINE, wave_amplitude, WAVE_STEP, wave_phase, 1);
}

int caption_wave_c(const char* text, float x, float y, float c1, float c2, float c3, float alpha,
                   float glyph_size, float advance, float wave_amplitude, float wave_phase) {
    return caption_outlined(2000, text, x, y, 1, 1, 1, c1, c2, c3, alpha, glyph_size, WAVE_GLYPH_WIDTH,
                            advance, WAVE_OUTLINE, wave_amplitude, WAVE_STEP, wave_phase, 1);
}
