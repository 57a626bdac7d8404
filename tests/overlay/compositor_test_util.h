// Helpers of the compositor tests: a clean engine per test, small textures with telling texels, a busy
// scene of overlapping commands, and the rasteriser run fast or plain over every tile.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "assets/texture.h"
#include "core/cpu.h"
#include "core/frame_stats.h"
#include "core/workers.h"
#include "display/framebuffer.h"
#include "overlay/elements.h"
#include "overlay/glyphs.h"
#include "overlay/overlay.h"

namespace otest {

inline void reset_all(int width, int height) {
    worker_reset();
    worker_set_synchronous(0);
    cpu_count_set(1);
    fb_reset();
    set_resolution(width, height);
    overlay_reset();
    overlay_table_reset();
    glyph_cache_reset();
    tex_reset();
    frame_statistics_reset();
}

// A width x height texture in `slot` whose texel (x, y) is (x * 255 / (w - 1), y * 255 / (h - 1), 77),
// alpha (x + y) * 255 / (w + h - 2) with 4 channels.
inline void make_texture(int slot, int w, int h, int channels) {
    std::vector<uint8_t> px(static_cast<size_t>(w * h * channels));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &px[static_cast<size_t>((y * w + x) * channels)];
            p[0] = static_cast<uint8_t>(x * 255 / (w - 1));
            p[1] = static_cast<uint8_t>(y * 255 / (h - 1));
            p[2] = 77;
            if (channels == 4) p[3] = static_cast<uint8_t>((x + y) * 255 / (w + h - 2));
        }
    tex_set_pixels(slot, 1, px.data(), w, h, channels, TEX_COPIED);
}

inline void rect(float x0, float y0, float x1, float y1, int texture, float r, float g, float b, float a,
                 const float* clip = nullptr) {
    overlay_submit(x0, y0, x1, y1, 0, 0, 1, 1, texture, r, g, b, a, 0, 0, 0, 0, 0, 1, 0, clip);
}

// A rectangle turned by `degrees` about its centre, in quad mode.
inline void turned(float x, float y, float w, float h, float degrees, int texture, float r, float g, float b,
                   float a, const float* clip = nullptr) {
    float x0 = x, y0 = y, x1 = x, y1 = y + h, x2 = x + w, y2 = y + h, x3 = x + w, y3 = y;
    const float aspect =
        static_cast<float>(frame_buffer.fb_width) / static_cast<float>(frame_buffer.fb_height);
    quad_rotate(x0, y0, x1, y1, x2, y2, x3, y3, degrees, aspect, 1.0f, x + w / 2, y + h / 2);
    overlay_submit(x0, y0, x1, y1, 0, 0, 1, 1, texture, r, g, b, a, 1, x2, y2, x3, y3, 1, 0, clip);
}

// Textures 1 (40 x 30 RGB, sampled nearest), 2 (8 x 8 RGBA, filtered), 3 (30 x 40 RGB, drawn texel for
// texel at 30 x 40 pixels) and 4 (12 x 6 RGB, filtered); then overlapping commands of every kind on a
// frame of at least 240 x 160: solid, faded, tinted, mirrored, clipped, turned, magnified, placeholders,
// commands far outside and NaN.
inline void busy_scene() {
    make_texture(1, 40, 30, 3);
    make_texture(2, 8, 8, 4);
    make_texture(3, 30, 40, 3);
    make_texture(4, 12, 6, 3);
    const float fw = static_cast<float>(frame_buffer.fb_width),
                fh = static_cast<float>(frame_buffer.fb_height);
    const float clip[8] = {0.1f, 0.1f, 0.05f, 0.6f, 0.5f, 0.7f, 0.55f, 0.15f};
    rect(0, 0, 0.5f, 0.5f, 0, 0.2f, 0.3f, 0.4f, 1);         // opaque backdrop of the top-left tiles
    rect(0.1f, 0.1f, 0.7f, 0.6f, 1, 1, 1, 1, 1);            // nearest, stretched
    rect(0.6f, 0.2f, 0.3f, 0.9f, 1, 0.5f, 1, 0.25f, 0.6f);  // mirrored, tinted, faded
    rect(0.2f, 0.3f, 0.45f, 0.8f, 2, 1, 1, 1, 1);           // filtered RGBA
    rect(0.05f, 0.05f, 0.95f, 0.95f, 4, 1, 0.8f, 1, 0.9f, clip);
    turned(0.4f, 0.3f, 0.3f, 0.3f, 33, 1, 1, 1, 1, 1);
    turned(0.55f, 0.5f, 0.2f, 0.3f, -70, 2, 0.9f, 0.4f, 1, 1, clip);
    turned(0.7f, 0.1f, 0.25f, 0.1f, 200, 0, 0.1f, 0.9f, 0.5f, 0.5f);
    turned(0.05f, 0.6f, 0.3f, 0.35f, 12, 4, 1, 1, 1, 0.98f);            // magnified small texture in a quad
    rect(0.6f, 0.55f, 0.6f + 30 / fw, 0.55f + 40 / fh, 3, 1, 1, 1, 1);  // texel for texel
    for (int k = 0; k < 9; ++k)
        overlay_submit(-1, -1, -1, -1, 0, 0, 1, 1, DRAW_PLACEHOLDER, 0, 0, 0, 0, 0, -1, -1, -1, -1, 0, 0,
                       nullptr);
    rect(0.9f, 0.9f, 3.0f, 3.0f, 0, 1, 1, 0, 0.5f);
    rect(-1e30f, 0.2f, 1e30f, 0.25f, 0, 0.3f, 0, 1, 0.4f);
    rect(NAN, 0.1f, 0.5f, NAN, 0, 1, 1, 1, 1);
    turned(0.3f, 0.3f, 0.1f, 0.1f, 45, 99, 1, 1, 1, 1);     // a texture id that does not exist
    rect(0.75f, 0.6f, 1.0f, 1.0f, 0, 0.9f, 0.1f, 0.1f, 1);  // opaque cover of the bottom-right tiles
    rect(0.8f, 0.7f, 0.9f, 0.8f, 2, 1, 1, 1, 1);
}

// `count` random commands: rectangles and turned quads, textured or not, some clipped.
inline void random_scene(unsigned seed, int count) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> pos(-0.2f, 1.2f), size(-0.3f, 0.6f), unit(0, 1), angle(-400, 400);
    for (int i = 0; i < count; ++i) {
        const int texture = static_cast<int>(rng() % 5);
        const float clip[8] = {pos(rng), pos(rng), pos(rng), pos(rng),
                               pos(rng), pos(rng), pos(rng), pos(rng)};
        const float* c = rng() % 4 == 0 ? clip : nullptr;
        const float a = rng() % 3 == 0 ? 1.0f : unit(rng);
        if (rng() % 2) {
            rect(pos(rng), pos(rng), pos(rng), pos(rng), texture, unit(rng), unit(rng), unit(rng), a, c);
        } else {
            turned(pos(rng), pos(rng), size(rng), size(rng), angle(rng), texture, unit(rng), unit(rng),
                   unit(rng), a, c);
        }
    }
}

// A glyph-like w x h texture: one colour throughout, the shape in the alpha alone. Strokes at full alpha,
// empty texels, and texels at and around the pixel rule's thresholds (nothing up to 2, replace from 253).
inline void make_glyph_texture(int slot, int w, int h, unsigned seed, uint8_t r, uint8_t g, uint8_t b) {
    static const uint8_t ALPHAS[] = {0, 0, 0, 255, 255, 255, 1, 2, 3, 120, 252, 253, 254};
    std::mt19937 rng(seed);
    std::vector<uint8_t> px(static_cast<size_t>(w * h * 4));
    for (size_t i = 0; i < px.size(); i += 4) {
        px[i] = r;
        px[i + 1] = g;
        px[i + 2] = b;
        px[i + 3] = ALPHAS[rng() % sizeof ALPHAS];
    }
    tex_set_pixels(slot, 1, px.data(), w, h, 4, TEX_COPIED);
}

// `count` outlined characters as text draws them, from (x, y) on, each w x h and `advance` apart: eight
// copies `offset` pixels around the glyph (sides at half the alpha, corners at a quarter) in the outline
// colour, then the glyph in the ink colour on top, with text's padding after each.
inline void outlined_characters(int texture, float x, float y, float w, float h, float advance, int count,
                                float offset, float alpha, const float* ink, const float* outline) {
    const float dx = offset / static_cast<float>(frame_buffer.fb_width),
                dy = offset / static_cast<float>(frame_buffer.fb_height);
    const float copies[8][3] = {{1, -1, 0.25f}, {1, 1, 0.25f}, {-1, -1, 0.25f}, {-1, 1, 0.25f},
                                {0, -1, 0.5f},  {0, 1, 0.5f},  {1, 0, 0.5f},    {-1, 0, 0.5f}};
    for (int k = 0; k < count; ++k, x += advance) {
        for (const auto& c : copies) {
            const float cx = x + c[0] * dx, cy = y + c[1] * dy;
            rect(cx, cy, cx + w, cy + h, texture, outline[0], outline[1], outline[2], alpha * c[2]);
            overlay_submit_placeholders(3);
        }
        rect(x, y, x + w, y + h, texture, ink[0], ink[1], ink[2], alpha);
        overlay_submit_placeholders(5);
    }
}

// The buffer after drawing every tile of the current draw list with the plain loops, and after the same
// with overlay_rasterize (which consumes the list).
struct FastAndPlain {
    std::vector<uint8_t> plain, fast;
};

inline FastAndPlain draw_fast_and_plain() {
    overlay_buffer_ensure(frame_buffer.fb_width, frame_buffer.fb_height);
    dirty_mark_all();
    overlay_rasterize_slice_reference(0, 0);
    FastAndPlain r;
    r.plain = overlay_state.buffer;
    std::fill(overlay_state.buffer.begin(), overlay_state.buffer.end(), uint8_t{0x5A});
    dirty_mark_all();
    overlay_rasterize();
    r.fast = overlay_state.buffer;
    // The slack past the last row is no part of the picture.
    const size_t visible =
        static_cast<size_t>(frame_buffer.fb_width) * static_cast<size_t>(frame_buffer.fb_height) * 4;
    r.plain.resize(visible);
    r.fast.resize(visible);
    return r;
}

inline const uint8_t* overlay_pixel(int x, int y) {
    return &overlay_state.buffer[(static_cast<size_t>(y) * static_cast<size_t>(overlay_state.buffer_width) +
                                  static_cast<size_t>(x)) *
                                 4];
}

// Distinct RGBA values in the visible buffer: a picture that is mostly one colour shows nothing.
inline size_t distinct_pixels(const std::vector<uint8_t>& buffer, int width, int height) {
    std::vector<uint32_t> seen;
    for (size_t i = 0; i < static_cast<size_t>(width) * static_cast<size_t>(height); ++i) {
        uint32_t v;
        std::memcpy(&v, &buffer[i * 4], 4);
        seen.push_back(v);
    }
    std::sort(seen.begin(), seen.end());
    return static_cast<size_t>(std::unique(seen.begin(), seen.end()) - seen.begin());
}

}  // namespace otest
