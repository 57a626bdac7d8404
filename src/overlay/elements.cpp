// The overlay element table (slots and their children), the setters callers use between frames, the
// per-frame animation step and UTF-8 decoding. Main thread only, except overlay_animate, which the
// compositor's build pass runs while the main thread leaves the table alone.
#include "overlay/elements.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <functional>
#include <string>

#include "assets/texture.h"
#include "core/frame_stats.h"
#include "display/input.h"

OverlayTable overlay_table;

namespace {

OverlayTable& T = overlay_table;

// Highest slot or child index plus one that the table accepts. The demo uses a few hundred slots; an
// index from a wild caller (2^30) must not make every column allocate gigabytes, so it reads as
// beyond the count: setters do nothing and getters return 0. A slot costs under 1 KiB with its empty
// child table, so the largest table stays below 64 MiB.
constexpr int OVERLAY_MAX_INDEX = 1 << 16;

constexpr size_t CLIP_FLOATS = static_cast<size_t>(OVERLAY_CLIP_FLOATS);

// Values of a new element that are not zero.
constexpr float NEW_ZOOM_TARGET = -1.0f;
constexpr float NEW_GLYPH_WIDTH = 1.0f;

// Speeds up to this switch position and colour animation off.
constexpr float MIN_SPEED = 0.002f;

// A colour target at or below this is not animated; move_to leaves a target alone when given exactly it.
constexpr float NO_TARGET = -1.0f;

// The UTF-16 buffer is started anew when a long caption grew it beyond this many units, so that one
// huge text does not keep its memory for the life of the process.
constexpr size_t UTF16_KEEP_UNITS = 100000;

// The process-wide result of utf8_to_utf16; its size is the capacity in units.
std::vector<uint16_t> utf16_buffer;

size_t at(int index) {
    return static_cast<size_t>(index);
}

// Whether p lies in the `bytes` bytes from `begin`; std::less orders pointers into different objects.
bool points_into(const void* p, const void* begin, size_t bytes) {
    const auto* b = static_cast<const uint8_t*>(begin);
    const std::less<const void*> before;
    return b != nullptr && !before(p, b) && before(p, b + bytes);
}

// Grows `e` so that index n exists (n + 4 elements, or n + 64 past 1024), every new element with its
// defaults. False when n is negative or above the limit.
bool grow(OverlayElements& e, int n) {
    if (n < 0 || n >= OVERLAY_MAX_INDEX) return false;
    if (e.count > n) return true;
    const int grown = e.count > 1024 ? n + 64 : n + 4;
    const size_t size = at(grown);
    e.visible.resize(size, 0);
    e.texture.resize(size, 0);
    e.x.resize(size, 0.0f);
    e.y.resize(size, 0.0f);
    e.red.resize(size, 0.0f);
    e.green.resize(size, 0.0f);
    e.blue.resize(size, 0.0f);
    e.alpha.resize(size, 0.0f);
    e.target_x.resize(size, 0.0f);
    e.target_y.resize(size, 0.0f);
    e.speed.resize(size, 0.0f);
    e.width.resize(size, 0.0f);
    e.height.resize(size, 0.0f);
    e.target_red.resize(size, 0.0f);
    e.target_green.resize(size, 0.0f);
    e.target_blue.resize(size, 0.0f);
    e.target_alpha.resize(size, 0.0f);
    e.rotation.resize(size, 0.0f);
    e.rotation_rate.resize(size, 0.0f);
    e.rotation_target.resize(size, 0.0f);
    e.zoom.resize(size, 0.0f);
    e.zoom_rate.resize(size, 0.0f);
    e.zoom_target.resize(size, NEW_ZOOM_TARGET);
    e.clip.resize(size * CLIP_FLOATS, OVERLAY_NO_CLIP);
    e.text.resize(size);
    e.text_encoding.resize(size, TEXT_LATIN1);
    e.glyph_size.resize(size, 0.0f);
    e.glyph_width.resize(size, NEW_GLYPH_WIDTH);
    e.fixed_pitch.resize(size, 0);
    e.redraw.resize(size, 0);
    e.caption_slots.resize(size, 0);
    e.count = grown;
    return true;
}

bool ensure_slot(int slot) {
    if (!grow(T.slots, slot)) return false;
    T.children.resize(at(T.slots.count));
    return true;
}

bool slot_exists(int slot) {
    return slot >= 0 && slot < T.slots.count;
}

// The child level of `slot` grown so that `child` exists; null when either index is refused.
OverlayElements* ensure_child(int slot, int child) {
    if (child < 0 || child >= OVERLAY_MAX_INDEX || !ensure_slot(slot)) return nullptr;
    OverlayElements& level = T.children[at(slot)];
    if (!grow(level, child)) return nullptr;
    return &level;
}

void free_text(OverlayElements& e, size_t i) {
    std::vector<uint8_t>().swap(e.text[i]);
}

void set_pos(OverlayElements& e, size_t i, float x, float y) {
    e.x[i] = e.target_x[i] = x;
    e.y[i] = e.target_y[i] = y;
}

void set_color(OverlayElements& e, size_t i, float r, float g, float b, float a) {
    e.red[i] = e.target_red[i] = r;
    e.green[i] = e.target_green[i] = g;
    e.blue[i] = e.target_blue[i] = b;
    e.alpha[i] = e.target_alpha[i] = a;
}

void move_to(OverlayElements& e, size_t i, float x, float y, float speed, float r, float g, float b,
             float a) {
    e.target_x[i] = x;
    e.target_y[i] = y;
    e.speed[i] = speed;
    if (r != NO_TARGET) e.target_red[i] = r;
    if (g != NO_TARGET) e.target_green[i] = g;
    if (b != NO_TARGET) e.target_blue[i] = b;
    if (a != NO_TARGET) e.target_alpha[i] = a;
}

// A rate of 0 or less sets the value at once; 0 or more animates towards it (exactly 0 does both,
// leaving a value that no longer moves).
void set_animated(float& value, float& rate_field, float& target, float v, float rate) {
    if (rate <= 0.0f) value = v;
    if (rate >= 0.0f) {
        rate_field = rate;
        target = v;
    }
}

void set_clip(OverlayElements& e, size_t i, int enable, const float (&corners)[OVERLAY_CLIP_FLOATS]) {
    float* clip = &e.clip[i * CLIP_FLOATS];
    for (int k = 0; k < OVERLAY_CLIP_FLOATS; ++k) clip[k] = enable != 0 ? corners[k] : OVERLAY_NO_CLIP;
}

void reset_transform(OverlayElements& e, size_t i) {
    e.zoom[i] = 0.0f;
    e.zoom_rate[i] = 0.0f;
    e.zoom_target[i] = NEW_ZOOM_TARGET;
    e.rotation[i] = 0.0f;
    e.rotation_rate[i] = 0.0f;
    e.rotation_target[i] = 0.0f;
}

void hide_element(OverlayElements& e, size_t i, int reset) {
    e.visible[i] = 0;
    if (reset != 0) reset_transform(e, i);
    free_text(e, i);
}

// Caller text in its stored form: UTF-8 converted to UTF-16, then measured. UTF-16 ends at the first
// zero unit (two zero bytes at an even offset), everything else at the first zero byte.
struct TextBytes {
    const uint8_t* bytes = nullptr;
    size_t length = 0;
    int encoding = TEXT_LATIN1;
};

TextBytes measure_text(const char* text, int encoding) {
    TextBytes t;
    if (text == nullptr) return t;
    if (encoding == TEXT_UTF8) {
        t.bytes = reinterpret_cast<const uint8_t*>(utf8_to_utf16(text));
        encoding = TEXT_UTF16;
    } else {
        t.bytes = reinterpret_cast<const uint8_t*>(text);
    }
    t.encoding = encoding;
    if (encoding == TEXT_UTF16) {
        while (t.bytes[t.length] != 0 || t.bytes[t.length + 1] != 0) t.length += 2;
    } else {
        t.length = std::strlen(reinterpret_cast<const char*>(t.bytes));
    }
    return t;
}

// The stored copy: the text and four zero bytes, so that a reader of either width finds its end. A
// caller may pass the element's own stored text, which must be copied out before it is overwritten.
void store_text(std::vector<uint8_t>& out, const TextBytes& t) {
    if (points_into(t.bytes, out.data(), out.size())) {
        std::vector<uint8_t> copy(t.bytes, t.bytes + t.length);
        copy.resize(t.length + 4, 0);
        out.swap(copy);
        return;
    }
    out.assign(t.bytes, t.bytes + t.length);
    out.resize(t.length + 4, 0);
}

// Everything a text element takes from its setter but its size (slots clear it, children keep it).
bool set_text(OverlayElements& e, size_t i, const char* text, int encoding, float x, float y, float r,
              float g, float b, float a, float glyph_size, float glyph_width, int fixed_pitch) {
    e.caption_slots[i] = 0;  // a slot given other content no longer starts a caption
    const TextBytes t = measure_text(text, encoding);
    if (t.length == 0) {
        free_text(e, i);
        return false;
    }
    set_pos(e, i, x, y);
    set_color(e, i, r, g, b, a);
    e.speed[i] = 0.0f;
    e.visible[i] = 1;
    e.glyph_size[i] = glyph_size;
    e.glyph_width[i] = glyph_width;
    e.fixed_pitch[i] = fixed_pitch != 0 ? 1 : 0;  // 256 must not wrap to 0
    e.text_encoding[i] = t.encoding;
    store_text(e.text[i], t);
    return true;
}

void set_image(OverlayElements& e, size_t i, float x, float y, float width, float height, const char* image,
               float r, float g, float b, float a) {
    e.caption_slots[i] = 0;
    set_pos(e, i, x, y);
    e.speed[i] = 0.0f;
    set_color(e, i, r, g, b, a);
    e.width[i] = width;
    e.height[i] = height;
    e.visible[i] = 1;
    e.texture[i] = image != nullptr ? tex_load(image) : 0;
    free_text(e, i);
}

// A full-width solid rectangle of the loading bar or the fade.
void set_solid(int slot, float y, float width, float height, float r, float g, float b, float a) {
    if (!ensure_slot(slot)) return;
    OverlayElements& e = T.slots;
    const size_t i = at(slot);
    e.caption_slots[i] = 0;
    set_pos(e, i, 0.0f, y);
    e.speed[i] = 0.0f;
    set_color(e, i, r, g, b, a);
    e.width[i] = width;
    e.height[i] = height;
    e.visible[i] = 1;
    e.texture[i] = 0;
    free_text(e, i);
}

// One step of `value` towards `target`, landing on it when the step would reach or pass it.
void step_towards(float& value, float target, float step) {
    if (value > target) {
        value -= step;
    } else if (value < target) {
        value += step;
    }
    if (std::fabs(target - value) <= step) value = target;
}

// Rotation and zoom: step = rate / frames_per_second, never passing the target. A clock that has not
// measured a rate yet gives no step size, so the value goes straight to the target.
void turn_towards(float& value, float target, float rate) {
    const double fps = frame_stats.frames_per_second;
    if (!(fps > 0.0)) {
        value = target;
        return;
    }
    const float step = static_cast<float>(static_cast<double>(rate) / fps);
    if (value < target) {
        value += step;
        if (value > target) value = target;
    } else if (value > target) {
        value -= step;
        if (value < target) value = target;
    }
}

float slot_field(const std::vector<float>& column, int slot) {
    return slot_exists(slot) ? column[at(slot)] : 0.0f;
}

}  // namespace

float overlay_opacity(float alpha) {
    return alpha < 2.0f ? alpha : 3.0f - alpha;
}

void overlay_ensure(int slot) {
    ensure_slot(slot);
}

void overlay_child_ensure(int slot, int child) {
    ensure_child(slot, child);
}

void overlay_table_reset() {
    T = OverlayTable{};
}

void overlay_set_visible(int slot, int value) {
    if (ensure_slot(slot)) T.slots.visible[at(slot)] = value;
}

int overlay_is_visible(int slot) {
    return ensure_slot(slot) ? T.slots.visible[at(slot)] : 0;
}

void overlay_set_texture(int slot, TextureId texture) {
    if (ensure_slot(slot) && T.slots.visible[at(slot)] != 0) T.slots.texture[at(slot)] = texture;
}

TextureId overlay_get_texture(int slot) {
    return slot_exists(slot) ? T.slots.texture[at(slot)] : 0;
}

void overlay_set_pos(int slot, float x, float y) {
    if (ensure_slot(slot)) set_pos(T.slots, at(slot), x, y);
}

void overlay_child_set_pos(int slot, int child, float x, float y) {
    if (OverlayElements* level = ensure_child(slot, child)) set_pos(*level, at(child), x, y);
}

void overlay_set_size(int slot, float width, float height) {
    if (!ensure_slot(slot)) return;
    T.slots.width[at(slot)] = width;
    T.slots.height[at(slot)] = height;
}

void overlay_set_color(int slot, float r, float g, float b, float a) {
    if (ensure_slot(slot)) set_color(T.slots, at(slot), r, g, b, a);
}

void overlay_child_set_color(int slot, int child, float r, float g, float b, float a) {
    if (OverlayElements* level = ensure_child(slot, child)) set_color(*level, at(child), r, g, b, a);
}

void overlay_move_to(int slot, float x, float y, float speed, float r, float g, float b, float a) {
    if (ensure_slot(slot)) move_to(T.slots, at(slot), x, y, speed, r, g, b, a);
}

void overlay_child_move_to(int slot, int child, float x, float y, float speed, float r, float g, float b,
                           float a) {
    if (OverlayElements* level = ensure_child(slot, child))
        move_to(*level, at(child), x, y, speed, r, g, b, a);
}

void overlay_set_zoom(int slot, float factor, float rate) {
    if (!ensure_slot(slot)) return;
    OverlayElements& e = T.slots;
    const size_t i = at(slot);
    set_animated(e.zoom[i], e.zoom_rate[i], e.zoom_target[i], factor - 1.0f, rate);
}

void overlay_child_set_zoom(int slot, int child, float factor, float rate) {
    OverlayElements* level = ensure_child(slot, child);
    if (level == nullptr) return;
    const size_t i = at(child);
    set_animated(level->zoom[i], level->zoom_rate[i], level->zoom_target[i], factor - 1.0f, rate);
}

void overlay_set_rotation(int slot, float degrees, float rate) {
    if (!ensure_slot(slot)) return;
    OverlayElements& e = T.slots;
    const size_t i = at(slot);
    set_animated(e.rotation[i], e.rotation_rate[i], e.rotation_target[i], degrees, rate);
}

void overlay_child_set_rotation(int slot, int child, float degrees, float rate) {
    OverlayElements* level = ensure_child(slot, child);
    if (level == nullptr) return;
    const size_t i = at(child);
    set_animated(level->rotation[i], level->rotation_rate[i], level->rotation_target[i], degrees, rate);
}

float overlay_get_rotation(int slot) {
    return slot_field(T.slots.rotation, slot);
}

void overlay_set_clip(int slot, int enable, float x0, float y0, float x1, float y1, float x2, float y2,
                      float x3, float y3) {
    if (ensure_slot(slot)) set_clip(T.slots, at(slot), enable, {x0, y0, x1, y1, x2, y2, x3, y3});
}

void overlay_child_set_clip(int slot, int child, int enable, float x0, float y0, float x1, float y1, float x2,
                            float y2, float x3, float y3) {
    if (OverlayElements* level = ensure_child(slot, child)) {
        set_clip(*level, at(child), enable, {x0, y0, x1, y1, x2, y2, x3, y3});
    }
}

void overlay_reset_transform(int slot) {
    if (slot_exists(slot)) reset_transform(T.slots, at(slot));
}

void overlay_child_reset_transform(int slot, int child) {
    if (!slot_exists(slot) || child < 0) return;
    OverlayElements& level = T.children[at(slot)];
    if (child < level.count) reset_transform(level, at(child));
}

void overlay_reset_transforms_from(int first) {
    for (int s = first > 0 ? first : 0; s < T.slots.count; ++s) reset_transform(T.slots, at(s));
}

void overlay_touch(int slot) {
    if (slot_exists(slot)) T.slots.redraw[at(slot)] = 1;
}

void overlay_set_text(int slot, const char* text, int encoding, float x, float y, float r, float g, float b,
                      float a, float glyph_size, float glyph_width, int fixed_pitch) {
    if (!ensure_slot(slot)) return;
    const size_t i = at(slot);
    if (set_text(T.slots, i, text, encoding, x, y, r, g, b, a, glyph_size, glyph_width, fixed_pitch)) {
        T.slots.width[i] = 0.0f;
        T.slots.height[i] = 0.0f;
    }
}

void overlay_set_text_ex(int slot, const char* text, float x, float y, float r, float g, float b, float a,
                         float glyph_size, int encoding, float glyph_width, int fixed_pitch) {
    overlay_set_text(slot, text, encoding, x, y, r, g, b, a, glyph_size, glyph_width, fixed_pitch);
}

void overlay_child_set_text(int slot, int child, const char* text, float x, float y, float r, float g,
                            float b, float a, float glyph_size, int encoding, float glyph_width,
                            int fixed_pitch) {
    // The vector keeps its buffer when the new text fits, and a failed allocation throws rather than
    // being retried forever.
    if (OverlayElements* level = ensure_child(slot, child)) {
        set_text(*level, at(child), text, encoding, x, y, r, g, b, a, glyph_size, glyph_width, fixed_pitch);
    }
}

void overlay_hide(int slot) {
    if (ensure_slot(slot)) overlay_hide_ex(slot, 1, 1);
}

void overlay_hide_ex(int slot, int reset, int hide_children) {
    if (!slot_exists(slot)) return;
    const size_t i = at(slot);
    T.slots.visible[i] = 0;
    if (reset != 0) reset_transform(T.slots, i);
    if (hide_children != 0) {
        OverlayElements& level = T.children[i];
        // Children without a text are pictures or rectangles the caller shows again with the slot.
        for (int c = 0; c < level.count; ++c) {
            if (!level.text[at(c)].empty()) hide_element(level, at(c), reset);
        }
    }
    free_text(T.slots, i);
}

void overlay_hide_from(int first, int reset) {
    for (int s = first > 0 ? first : 0; s < T.slots.count; ++s) overlay_hide_ex(s, reset, 1);
}

void overlay_child_hide(int slot, int child, int reset) {
    if (!slot_exists(slot) || child < 0) return;
    OverlayElements& level = T.children[at(slot)];
    if (child < level.count) hide_element(level, at(child), reset);
}

void overlay_set_image(int slot, float x, float y, float width, float height, const char* image) {
    overlay_set_image_color(slot, x, y, width, height, image, 1.0f, 1.0f, 1.0f, 1.0f);
}

void overlay_set_image_color(int slot, float x, float y, float width, float height, const char* image,
                             float r, float g, float b, float a) {
    if (ensure_slot(slot)) set_image(T.slots, at(slot), x, y, width, height, image, r, g, b, a);
}

void overlay_child_set_image(int slot, int child, float x, float y, float width, float height,
                             const char* image, float r, float g, float b, float a) {
    if (OverlayElements* level = ensure_child(slot, child)) {
        set_image(*level, at(child), x, y, width, height, image, r, g, b, a);
    }
}

int overlay_hit(int slot) {
    if (!slot_exists(slot)) return 0;
    const OverlayElements& e = T.slots;
    const size_t i = at(slot);
    const float u = input_state.pointer_u;
    const float v = input_state.pointer_v;
    return e.x[i] < u && u < e.x[i] + e.width[i] && e.y[i] < v && v < e.y[i] + e.height[i] ? 1 : 0;
}

void overlay_set_fade(float alpha) {
    set_solid(1, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f, alpha);
}

void loading_progress(int percent) {
    set_solid(1, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f);
    set_solid(2, 0.42f, 1.0f, 0.16f, 1.0f, 1.0f, 1.0f, 1.0f);
    set_solid(3, 0.44f, 1.0f, 0.12f, 0.0f, 0.0f, 0.0f, 1.0f);
    set_solid(4, 0.46f, static_cast<float>(percent) / 100.0f, 0.08f, 1.0f, 1.0f, 1.0f, 1.0f);
    if (percent != 100) return;
    // The last call takes the bar away again; the caller's final present shows the frame without it.
    for (int s = 1; s <= 4; ++s) {
        if (!slot_exists(s)) continue;
        T.slots.visible[at(s)] = 0;
        free_text(T.slots, at(s));
    }
}

float overlay_get_x(int slot) {
    return slot_field(T.slots.x, slot);
}

float overlay_get_y(int slot) {
    return slot_field(T.slots.y, slot);
}

float overlay_get_width(int slot) {
    return slot_field(T.slots.width, slot);
}

float overlay_get_height(int slot) {
    return slot_field(T.slots.height, slot);
}

float overlay_get_red(int slot) {
    return slot_field(T.slots.red, slot);
}

float overlay_get_green(int slot) {
    return slot_field(T.slots.green, slot);
}

float overlay_get_blue(int slot) {
    return slot_field(T.slots.blue, slot);
}

float overlay_get_alpha(int slot) {
    return slot_field(T.slots.alpha, slot);
}

void overlay_animate(OverlayElements& level, int index) {
    if (index < 0 || index >= level.count) return;
    OverlayElements& e = level;
    const size_t i = at(index);
    if (e.speed[i] > MIN_SPEED) {
        const float step =
            static_cast<float>(frame_stats.frame_seconds_uncapped * static_cast<double>(e.speed[i]));
        step_towards(e.x[i], e.target_x[i], step);
        step_towards(e.y[i], e.target_y[i], step);
        if (e.target_red[i] > NO_TARGET) step_towards(e.red[i], e.target_red[i], step);
        if (e.target_green[i] > NO_TARGET) step_towards(e.green[i], e.target_green[i], step);
        if (e.target_blue[i] > NO_TARGET) step_towards(e.blue[i], e.target_blue[i], step);
        if (e.target_alpha[i] > NO_TARGET) step_towards(e.alpha[i], e.target_alpha[i], step);
    }
    if (e.rotation_rate[i] > 0.0f) turn_towards(e.rotation[i], e.rotation_target[i], e.rotation_rate[i]);
    // Only positive zoom rates can move: setters store rates of 0 or more, and 0 leaves the zoom as it is.
    if (e.zoom_rate[i] > 0.0f) turn_towards(e.zoom[i], e.zoom_target[i], e.zoom_rate[i]);
}

uint32_t utf8_decode_char(const uint8_t* p, int* bytes) {
    int used = 0;
    uint32_t code = 32;
    // Each byte is read only after the one before it proved to be a lead or continuation byte, never
    // zero, so the walk stops at the terminator of a short sequence.
    auto continues = [](uint8_t b) { return (b & 0xC0) == 0x80; };
    if (p == nullptr) {
        used = 0;
    } else if (p[0] < 0x80) {
        code = p[0];
        used = 1;
    } else if (p[0] < 0xC0 || p[0] >= 0xF8) {
        used = 1;
    } else if (p[0] < 0xE0) {
        if (continues(p[1])) {
            code = (static_cast<uint32_t>(p[0] & 0x1F) << 6) | (p[1] & 0x3Fu);
            used = 2;
        } else {
            used = 1;
        }
    } else if (p[0] < 0xF0) {
        if (!continues(p[1])) {
            used = 1;
        } else if (!continues(p[2])) {
            used = 2;
        } else {
            code = (static_cast<uint32_t>(p[0] & 0x0F) << 12) | (static_cast<uint32_t>(p[1] & 0x3F) << 6) |
                   (p[2] & 0x3Fu);
            used = 3;
        }
    } else {
        if (!continues(p[1])) {
            used = 1;
        } else if (!continues(p[2])) {
            used = 2;
        } else if (!continues(p[3])) {
            used = 3;
        } else {
            code = (static_cast<uint32_t>(p[0] & 0x07) << 18) | (static_cast<uint32_t>(p[1] & 0x3F) << 12) |
                   (static_cast<uint32_t>(p[2] & 0x3F) << 6) | (p[3] & 0x3Fu);
            used = 4;
        }
    }
    if (bytes != nullptr) *bytes = used;
    return code;
}

const uint16_t* utf8_to_utf16(const char* text) {
    if (text == nullptr) return nullptr;
    // A caller may hand this buffer's own bytes back as text: the conversion would overwrite them, or
    // move the buffer, while reading them, so they are converted from a copy. The buffer's last unit is
    // never written and stays zero, so the copy ends inside it.
    if (points_into(text, utf16_buffer.data(), utf16_buffer.size() * sizeof(uint16_t))) {
        const std::string copy(text);
        return utf8_to_utf16(copy.c_str());
    }
    if (utf16_buffer.size() > UTF16_KEEP_UNITS) std::vector<uint16_t>().swap(utf16_buffer);
    const auto* p = reinterpret_cast<const uint8_t*>(text);
    size_t i = 0;
    for (;;) {
        // Room for this unit and the terminator, with a margin of four units.
        if (i + 4 >= utf16_buffer.size()) utf16_buffer.resize(2 * i + 64);
        int used = 0;
        const uint32_t code = utf8_decode_char(p, &used);
        if (code == 0) break;
        // No surrogate pairs: the Unicode font has only the basic plane.
        utf16_buffer[i++] = static_cast<uint16_t>(code & 0xFFFF);
        p += used;
    }
    utf16_buffer[i] = 0;
    return utf16_buffer.data();
}
