// The draw list: submission of commands with change detection against the previous frame's command at
// the same index, the dirty tiles, and the turning of quads. Run by the thread that builds the overlay
// (the main thread or the overlay worker); tile workers only read the list.
#include <cmath>
#include <cstring>
#include <utility>

#include "assets/texture.h"
#include "display/framebuffer.h"
#include "overlay/elements.h"
#include "overlay/overlay.h"
#include "overlay/overlay_raster.h"

namespace {

constexpr float NO_CLIP[OVERLAY_CLIP_FLOATS] = {-100, -100, -100, -100, -100, -100, -100, -100};

// Growth steps: small lists (a few rectangles) stay small; long captions grow in larger steps.
int draw_list_next_capacity(int count) {
    int capacity = count + 2;
    if (capacity <= 256) return capacity;
    capacity = count + 66;
    if (capacity > 4096) capacity = count + 1090;
    if (capacity > 20000) capacity = count + 5186;
    if (capacity > 200000) capacity = count + 15186;
    return capacity;
}

void draw_list_grow(DrawList& d, int capacity) {
    const size_t n = static_cast<size_t>(capacity);
    d.texture.resize(n, 0);
    for (auto* column :
         {&d.x0, &d.y0, &d.x1, &d.y1, &d.u_min, &d.v_min, &d.u_max, &d.v_max, &d.x2, &d.y2, &d.x3, &d.y3})
        column->resize(n, 0.0f);
    for (auto* column : {&d.red, &d.green, &d.blue, &d.alpha}) column->resize(n, 0);
    d.quad.resize(n, 0);
    d.clip.resize(n * OVERLAY_CLIP_FLOATS, OVERLAY_NO_CLIP);
    d.padding.resize(n, 0);
    d.capacity = capacity;
}

// A 0..1 colour as a byte: scaled, clamped, rounded to nearest (NaN reads as 0).
uint8_t color_byte(float v) {
    const float s = v * 255.0f;
    if (!(s > 0.0f)) return 0;
    if (s >= 255.0f) return 255;
    return static_cast<uint8_t>(static_cast<int>(s + 0.5f));
}

// A tile coordinate truncated toward zero; NaN and huge values become far outside values that the
// limits below refuse or clamp.
int tile_of(float t) {
    if (!(t > -1000.0f)) return -1000;
    if (t > 1000.0f) return 1000;
    return static_cast<int>(t);
}

void mark_span(int c0, int c1, int r0, int r1) {
    if (c0 < 0 && c1 < 0) return;
    if (r0 < 0 && r1 < 0) return;
    if (c0 >= OVERLAY_GRID && c1 > OVERLAY_TILES) return;
    if (r0 >= OVERLAY_GRID && r1 > OVERLAY_TILES) return;
    if (c0 < 0) c0 = 0;
    if (r0 < 0) r0 = 0;
    if (c1 > OVERLAY_TILES) c1 = OVERLAY_TILES;
    if (r1 > OVERLAY_TILES) r1 = OVERLAY_TILES;
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) overlay_state.dirty[r * OVERLAY_GRID + c] = 1;
}

}  // namespace

void overlay_detail::draw_list_mark_stored(const DrawList& d, size_t i) {
    if (d.quad[i]) {
        dirty_mark_quad(d.x0[i], d.y0[i], d.x1[i], d.y1[i], d.x2[i], d.y2[i], d.x3[i], d.y3[i]);
    } else {
        dirty_mark_rect(d.x0[i], d.y0[i], d.x1[i], d.y1[i]);
    }
}

void overlay_detail::draw_list_clear_slot(DrawList& d, size_t i) {
    d.texture[i] = 0;
    for (auto* column :
         {&d.x0, &d.y0, &d.x1, &d.y1, &d.u_min, &d.v_min, &d.u_max, &d.v_max, &d.x2, &d.y2, &d.x3, &d.y3})
        (*column)[i] = 0.0f;
    for (auto* column : {&d.red, &d.green, &d.blue, &d.alpha}) (*column)[i] = 0;
    d.quad[i] = 0;
    for (int k = 0; k < OVERLAY_CLIP_FLOATS; ++k)
        d.clip[i * OVERLAY_CLIP_FLOATS + static_cast<size_t>(k)] = OVERLAY_NO_CLIP;
    d.padding[i] = 0;
}

void dirty_mark_rect(float x0, float y0, float x1, float y1) {
    // The far edges reach one pixel further, plus a little, so that a pixel whose centre an edge leaves
    // just inside a tile still gets its tile redrawn.
    const float pixel_w = frame_buffer.fb_inv_width, pixel_h = frame_buffer.fb_inv_height;
    const float tiles = static_cast<float>(OVERLAY_TILES);
    const int c0 = tile_of(x0 * tiles), r0 = tile_of(y0 * tiles);
    const int c1 = tile_of((x1 + pixel_w) * tiles + 0.01f);
    const int r1 = tile_of((y1 + pixel_h) * tiles + 0.01f);
    mark_span(c0, c1, r0, r1);
}

void dirty_mark_quad(float x0, float y0, float x1, float y1, float x2, float y2, float x3, float y3) {
    dirty_mark_rect(
        std::fmin(std::fmin(x0, x1), std::fmin(x2, x3)), std::fmin(std::fmin(y0, y1), std::fmin(y2, y3)),
        std::fmax(std::fmax(x0, x1), std::fmax(x2, x3)), std::fmax(std::fmax(y0, y1), std::fmax(y2, y3)));
}

void dirty_mark_all() {
    std::memset(overlay_state.dirty, 1, sizeof overlay_state.dirty);
}

void overlay_submit(float x0, float y0, float x1, float y1, float u_min, float v_min, float u_max,
                    float v_max, int texture, float red, float green, float blue, float alpha, int quad,
                    float x2, float y2, float x3, float y3, int inset, int force, const float* clip) {
    DrawList& d = overlay_state.draw;
    if (d.count >= DRAW_LIST_MAX) return;
    if (!quad) {
        // Corners in order; a swapped axis swaps its texture window too, so a negative size mirrors.
        if (x0 > x1) {
            std::swap(x0, x1);
            std::swap(u_min, u_max);
        }
        if (y0 > y1) {
            std::swap(y0, y1);
            std::swap(v_min, v_max);
        }
    }
    if (inset && texture >= 1 && texture < texture_table.capacity) {
        // The window's far edges end at the last texel's start, so stretching never samples beyond it.
        const size_t t = static_cast<size_t>(texture);
        const int tw = texture_table.width[t], th = texture_table.height[t];
        if (texture_table.pixels[t] && tw > 0 && th > 0) {
            u_max -= 1.0f / static_cast<float>(tw);
            v_max -= 1.0f / static_cast<float>(th);
        }
    }
    if (d.count >= d.capacity) draw_list_grow(d, draw_list_next_capacity(d.count));
    if (!clip) clip = NO_CLIP;

    const size_t i = static_cast<size_t>(d.count);
    const uint8_t r = color_byte(red), g = color_byte(green), b = color_byte(blue), a = color_byte(alpha);
    float* stored_clip = &d.clip[i * OVERLAY_CLIP_FLOATS];
    const bool same = d.texture[i] == texture && d.x0[i] == x0 && d.y0[i] == y0 && d.x1[i] == x1 &&
                      d.y1[i] == y1 && d.u_min[i] == u_min && d.v_min[i] == v_min && d.u_max[i] == u_max &&
                      d.v_max[i] == v_max && d.red[i] == r && d.green[i] == g && d.blue[i] == b &&
                      d.alpha[i] == a && d.quad[i] == quad && d.x2[i] == x2 && d.y2[i] == y2 &&
                      d.x3[i] == x3 && d.y3[i] == y3 && [&] {
                          for (int k = 0; k < OVERLAY_CLIP_FLOATS; ++k)
                              if (!(stored_clip[k] == clip[k])) return false;
                          return true;
                      }();
    if (force || !same) {
        const bool never_drawn = d.x0[i] == 0 && d.y0[i] == 0 && d.x1[i] == 0 && d.y1[i] == 0 &&
                                 d.x2[i] == 0 && d.y2[i] == 0 && d.x3[i] == 0 && d.y3[i] == 0;
        if (d.texture[i] != DRAW_PLACEHOLDER && !never_drawn) overlay_detail::draw_list_mark_stored(d, i);
        d.texture[i] = texture;
        d.x0[i] = x0;
        d.y0[i] = y0;
        d.x1[i] = x1;
        d.y1[i] = y1;
        d.u_min[i] = u_min;
        d.v_min[i] = v_min;
        d.u_max[i] = u_max;
        d.v_max[i] = v_max;
        d.red[i] = r;
        d.green[i] = g;
        d.blue[i] = b;
        d.alpha[i] = a;
        d.quad[i] = quad;
        d.x2[i] = x2;
        d.y2[i] = y2;
        d.x3[i] = x3;
        d.y3[i] = y3;
        std::memcpy(stored_clip, clip, sizeof(float) * OVERLAY_CLIP_FLOATS);
        d.padding[i] = 0;
        if (texture != DRAW_PLACEHOLDER) overlay_detail::draw_list_mark_stored(d, i);
    }
    ++d.count;
}

void overlay_submit_placeholders(int n) {
    static const float PLACEHOLDER_CLIP[OVERLAY_CLIP_FLOATS] = {-1, -1, -1, -1, -1, -1, -1, -1};
    DrawList& d = overlay_state.draw;
    for (int k = 0; k < n && d.count < DRAW_LIST_MAX; ++k) {
        const size_t i = static_cast<size_t>(d.count);
        // A caption's padding is thousands of commands a frame, nearly all where the last frame had them:
        // the slot's mark says so without comparing its fields.
        if (d.count < d.capacity && d.padding[i]) {
            ++d.count;
            continue;
        }
        overlay_submit(-1, -1, -1, -1, -1, -1, -1, -1, DRAW_PLACEHOLDER, 0, 0, 0, 0, 0, -1, -1, -1, -1, 0, 0,
                       PLACEHOLDER_CLIP);
        d.padding[i] = 1;
    }
}

void quad_rotate(float& x0, float& y0, float& x1, float& y1, float& x2, float& y2, float& x3, float& y3,
                 float degrees, float aspect, float scale, float cx, float cy) {
    float* xs[4] = {&x0, &x1, &x2, &x3};
    float* ys[4] = {&y0, &y1, &y2, &y3};
    if (degrees != 0.0f && !(degrees >= -0.001f && degrees <= 0.001f)) {
        // fmod instead of stepping by 360: a huge angle from a scene must not loop for ever.
        double a = std::fmod(static_cast<double>(degrees), 360.0);
        if (a < 0) a += 360.0;
        const double rad = a * 0.017453292519943295;
        const float c = static_cast<float>(std::cos(rad)), s = static_cast<float>(std::sin(rad));
        for (int k = 0; k < 4; ++k) {
            const float dx = *xs[k] - cx, dy = *ys[k] - cy;
            *xs[k] = cx + c * dx - s * dy / aspect;
            *ys[k] = cy + aspect * s * dx + c * dy;
        }
    }
    for (int k = 0; k < 4; ++k) {
        *xs[k] = cx + scale * (*xs[k] - cx);
        *ys[k] = cy + scale * (*ys[k] - cy);
    }
}
