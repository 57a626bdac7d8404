// The tile rasteriser and the merge: the per-pixel rules on known pixels (opacity bytes, mirroring,
// texel-for-texel copies), the fast tile loops against the plain reference, what a frame redraws after
// a resize or when its elements go away, the merge rules, the fatal size check, effects and the trail.
#include <unistd.h>

#include <array>
#include <cstdio>

#include "compositor_test_util.h"

namespace {

using namespace otest;

constexpr int W = 240, H = 160;

class Raster : public testing::Test {
  protected:
    void SetUp() override { reset_all(W, H); }
    void TearDown() override { reset_all(W, H); }
};

TEST_F(Raster, OpacityBytesOneBlendsAndOverwrite) {
    // A red backdrop, then green on top at opacity bytes 1, 250 and 254 in three columns.
    rect(0, 0, 1, 1, 0, 1, 0, 0, 1);
    rect(0.0f, 0.0f, 0.3f, 1.0f, 0, 0, 1, 0, 0.005f);
    rect(0.3f, 0.0f, 0.6f, 1.0f, 0, 0, 1, 0, 0.98f);
    rect(0.6f, 0.0f, 1.0f, 1.0f, 0, 0, 1, 0, 0.995f);
    overlay_rasterize();
    const uint8_t* none = overlay_pixel(10, 10);
    EXPECT_EQ(none[0], 255);
    EXPECT_EQ(none[1], 0);
    // Byte 250 scales the solid's alpha to 255 * 250 >> 8 = 249, which blends over the red.
    const uint8_t* blend = overlay_pixel(120, 10);
    EXPECT_EQ(blend[0], (255 * (255 - 249)) >> 8);
    EXPECT_EQ(blend[1], (255 * 249) >> 8);
    EXPECT_EQ(blend[3], 255);
    const uint8_t* over = overlay_pixel(200, 10);
    EXPECT_EQ(over[0], 0);
    EXPECT_EQ(over[1], 255);
    EXPECT_EQ(over[3], 255);
}

TEST_F(Raster, NegativeWidthMirrorsTheImage) {
    make_texture(1, 40, 30, 3);  // red grows with the texel column
    auto row_reds = [](float x0, float x1) {
        overlay_reset();
        rect(x0, 0.25f, x1, 0.75f, 1, 1, 1, 1, 1);
        overlay_rasterize();
        std::vector<int> reds;
        for (int x = 0; x < W; ++x)
            if (overlay_pixel(x, H / 2)[3]) reds.push_back(overlay_pixel(x, H / 2)[0]);
        return reds;
    };
    const std::vector<int> plain = row_reds(0.25f, 0.75f), mirrored = row_reds(0.75f, 0.25f);
    ASSERT_EQ(plain.size(), 120u);
    ASSERT_EQ(mirrored.size(), 120u);
    EXPECT_EQ(plain.front(), 0);
    EXPECT_EQ(plain.back(), 255);
    EXPECT_EQ(mirrored.front(), 255);
    EXPECT_EQ(mirrored.back(), 0);
    EXPECT_TRUE(std::is_sorted(mirrored.rbegin(), mirrored.rend()));
}

TEST_F(Raster, ImageAtItsOwnSizeIsCopiedTexelForTexel) {
    // 30 x 40 RGB at exactly 30 x 40 pixels: the copy path; 24 x 24 RGBA drawn at its size through the
    // sampler: the window's inset maps texel to pixel there too.
    make_texture(1, 30, 40, 3);
    make_texture(2, 24, 24, 4);
    rect(10.0f / W, 20.0f / H, 40.0f / W, 60.0f / H, 1, 1, 1, 1, 1);
    rect(100.0f / W, 20.0f / H, 124.0f / W, 44.0f / H, 2, 1, 1, 1, 1);
    overlay_rasterize();
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 30; ++x) {
            ASSERT_EQ(overlay_pixel(10 + x, 20 + y)[0], x * 255 / 29) << x << "," << y;
            ASSERT_EQ(overlay_pixel(10 + x, 20 + y)[1], y * 255 / 39) << x << "," << y;
        }
    for (int x = 0; x < 24; ++x) EXPECT_EQ(overlay_pixel(100 + x, 30)[0], x * 255 / 23) << x;
    EXPECT_EQ(overlay_pixel(9, 30)[3], 0);
    EXPECT_EQ(overlay_pixel(40, 30)[3], 0);
}

TEST_F(Raster, FastTileLoopsEqualThePlainReference) {
    busy_scene();
    const FastAndPlain busy = draw_fast_and_plain();
    EXPECT_GT(distinct_pixels(busy.plain, W, H), 500u);
    EXPECT_TRUE(busy.fast == busy.plain);
    for (unsigned seed = 1; seed <= 6; ++seed) {
        random_scene(seed, 40);
        const FastAndPlain r = draw_fast_and_plain();
        ASSERT_TRUE(r.fast == r.plain) << "seed " << seed;
    }
}

// A texture of 3 x 3 blocks of equal texels, as a magnified glyph has: blocks that are empty, opaque,
// half transparent, and of another colour, so that cells of four equal texels, cells differing only in
// alpha and cells differing in colour all occur.
void make_block_texture(int slot, int w, int h, int channels, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> px(static_cast<size_t>(w * h * channels));
    for (int by = 0; by < h; by += 3)
        for (int bx = 0; bx < w; bx += 3) {
            const unsigned kind = rng() % 4;
            const uint8_t alpha = kind == 0 ? 0 : (kind == 3 ? 120 : 255);
            const uint8_t r = kind == 2 ? 30 : 255, g = kind == 2 ? 200 : 255, b = kind == 2 ? 90 : 255;
            for (int y = by; y < std::min(by + 3, h); ++y)
                for (int x = bx; x < std::min(bx + 3, w); ++x) {
                    uint8_t* p = &px[static_cast<size_t>((y * w + x) * channels)];
                    p[0] = r;
                    p[1] = g;
                    p[2] = b;
                    if (channels == 4) p[3] = alpha;
                }
        }
    tex_set_pixels(slot, 1, px.data(), w, h, channels, TEX_COPIED);
}

TEST_F(Raster, MagnifiedBlockTexturesEqualThePlainReference) {
    // Upright rectangles take the cell-at-a-time rows; mirrored and turned ones the per-pixel loop. Sizes
    // from a little over one pixel per texel to many, on tile edges, over the frame's edges and clipped.
    const float clip[8] = {0.15f, 0.1f, 0.1f, 0.8f, 0.8f, 0.9f, 0.85f, 0.12f};
    for (unsigned seed = 1; seed <= 4; ++seed) {
        make_block_texture(1, 16, 16, 4, seed);
        make_block_texture(2, 12, 9, 3, seed + 10);
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> pos(-0.15f, 0.95f), size(0.07f, 0.6f), unit(0, 1);
        for (int i = 0; i < 30; ++i) {
            const int texture = 1 + static_cast<int>(rng() % 2);
            const float x = pos(rng), y = pos(rng), w = size(rng), h = size(rng);
            const float a = rng() % 3 == 0 ? 1.0f : unit(rng);
            const float tint = rng() % 2 ? 1.0f : unit(rng);
            switch (rng() % 5) {
                case 0:
                    rect(x, y, x - w, y + h, texture, tint, 1, 1, a);
                    break;  // mirrored
                case 1:
                    turned(x, y, w, h, 25, texture, 1, tint, 1, a);
                    break;
                case 2:
                    rect(x, y, x + w, y + h, texture, 1, 1, tint, a, clip);
                    break;
                default:
                    rect(x, y, x + w, y + h, texture, tint, tint, 1, a);
                    break;
            }
        }
        // Tile edges fall on pixels 30, 60 .. and rows 20, 40 ..: glyph-sized images across them.
        rect(29.5f / W, 19.0f / H, 61.0f / W, 41.0f / H, 1, 1, 1, 1, 1);
        rect(59.0f / W, 39.5f / H, 70.0f / W, 61.0f / H, 1, 0.5f, 0.2f, 0.1f, 0.5f);
        const FastAndPlain r = draw_fast_and_plain();
        EXPECT_GT(distinct_pixels(r.plain, W, H), 100u);
        ASSERT_TRUE(r.fast == r.plain) << "seed " << seed;
    }
}

TEST_F(Raster, GlyphGroupsEqualThePlainReference) {
    // Runs of upright filtered images of one colour on one texture are drawn together, each pixel once.
    // The picture must be the one the commands give one by one: alphas at the pixel rule's thresholds,
    // faded and tinted; groups of nine and runs longer than a group; glyphs from under one pixel per
    // texel to many, at fractional places, across tile edges and over every edge of the frame; runs cut
    // by another texture, a mirrored copy, a texture of many colours and a solid rectangle; an image whose
    // window spans several textures (more cells than a group lists).
    const float white[3] = {1, 1, 1}, warm[3] = {0.9f, 0.5f, 0.2f}, dark[3] = {0.1f, 0.3f, 0.2f};
    for (unsigned seed = 1; seed <= 4; ++seed) {
        make_glyph_texture(1, 16, 16, seed, 255, 255, 255);
        make_glyph_texture(2, 8, 16, seed + 10, 200, 120, 40);
        make_block_texture(3, 12, 9, 4, seed);
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> pos(-0.2f, 0.9f), size(0.01f, 0.5f), unit(0, 1);
        for (int i = 0; i < 8; ++i) {
            const float w = size(rng), h = size(rng), a = rng() % 3 == 0 ? 1.0f : unit(rng);
            outlined_characters(1 + static_cast<int>(rng() % 2), pos(rng), pos(rng), w, h, w * 0.6f,
                                1 + static_cast<int>(rng() % 3), 0.3f + 3 * unit(rng), a,
                                rng() % 2 ? white : warm, dark);
        }
        // Twelve copies in a row (a group and the rest), then runs cut in the middle.
        for (int k = 0; k < 12; ++k) rect(0.1f + 0.01f * k, 0.3f, 0.3f + 0.01f * k, 0.6f, 1, 1, 1, 1, 0.6f);
        rect(0.5f, 0.5f, 0.7f, 0.8f, 1, 0.3f, 1, 1, 0.9f);
        rect(0.52f, 0.5f, 0.72f, 0.8f, 2, 1, 1, 1, 0.9f);
        rect(0.54f, 0.5f, 0.74f, 0.8f, 1, 1, 0.3f, 1, 0.9f);
        rect(0.76f, 0.5f, 0.56f, 0.8f, 1, 1, 1, 1, 0.9f);  // mirrored
        rect(0.58f, 0.5f, 0.78f, 0.8f, 3, 1, 1, 1, 0.9f);  // many colours
        rect(0.6f, 0.5f, 0.8f, 0.8f, 1, 1, 1, 0.3f, 0.9f);
        rect(0.62f, 0.55f, 0.64f, 0.6f, 0, 0.2f, 0.9f, 0.2f, 1);  // solid
        rect(0.64f, 0.5f, 0.84f, 0.8f, 1, 1, 1, 1, 0.9f);
        for (int k = 0; k < 3; ++k)
            overlay_submit(0.05f + 0.003f * k, 0.82f, 0.95f, 0.97f, 0, 0, 5.0f, 1, 1, 1, 1, 1, 0.8f, 0, 0, 0,
                           0, 0, 1, 0, nullptr);
        const FastAndPlain r = draw_fast_and_plain();
        EXPECT_GT(distinct_pixels(r.plain, W, H), 300u);
        ASSERT_TRUE(r.fast == r.plain) << "seed " << seed;
    }
}

TEST_F(Raster, GlyphGroupsOfManyCellsOrInWideTilesEqualThePlainReference) {
    // Images whose window spans many textures cross more texel columns in a tile than a group lists: they
    // find their cells row by row. A frame so wide that a tile outgrows the group's lines has its
    // commands drawn one by one there.
    const float ink[3] = {1, 1, 1}, outline[3] = {0.2f, 0.4f, 0.9f};
    reset_all(1200, 40);
    make_glyph_texture(1, 16, 16, 5, 255, 255, 255);
    for (int k = 0; k < 3; ++k)
        overlay_submit(0.001f + 0.0013f * k, 0.1f, 0.99f, 0.9f, 0, 0, 40.0f, 1, 1, 1, 1, 1, 0.5f + 0.2f * k,
                       0, 0, 0, 0, 0, 1, 0, nullptr);
    FastAndPlain r = draw_fast_and_plain();
    EXPECT_GT(distinct_pixels(r.plain, 1200, 40), 100u);
    EXPECT_TRUE(r.fast == r.plain);

    reset_all(4200, 24);
    make_glyph_texture(1, 16, 16, 5, 255, 255, 255);
    outlined_characters(1, -0.01f, 0.1f, 0.15f, 0.8f, 0.11f, 9, 1.5f, 0.9f, ink, outline);
    r = draw_fast_and_plain();
    EXPECT_GT(distinct_pixels(r.plain, 4200, 24), 100u);
    EXPECT_TRUE(r.fast == r.plain);
}

TEST_F(Raster, AnOpaqueCoverHidesWhatIsUnderIt) {
    // Under a tile-covering opaque rectangle nothing shows, however much lies below it.
    make_texture(1, 40, 30, 3);
    for (int k = 0; k < 20; ++k) rect(0.01f * k, 0.0f, 0.5f, 0.5f, 1, 1, 1, 1, 0.5f);
    rect(0, 0, 1, 1, 0, 0.2f, 0.4f, 0.6f, 1);
    overlay_rasterize();
    for (int y = 0; y < H; y += 7)
        for (int x = 0; x < W; x += 5) ASSERT_EQ(overlay_pixel(x, y)[0], 51);
}

TEST_F(Raster, ResizingRedrawsEverything) {
    busy_scene();
    overlay_rasterize();
    set_resolution(200, 120);
    busy_scene();  // the same commands: nothing changed in the list
    overlay_rasterize();
    EXPECT_EQ(overlay_state.tiles_drawn, 64);
    const std::vector<uint8_t> resized(overlay_state.buffer.begin(),
                                       overlay_state.buffer.begin() + 200 * 120 * 4);
    overlay_reset();
    busy_scene();
    overlay_rasterize();
    EXPECT_TRUE(std::equal(resized.begin(), resized.end(), overlay_state.buffer.begin()));
}

TEST_F(Raster, OnlyChangedTilesAreRedrawn) {
    busy_scene();
    overlay_rasterize();
    busy_scene();
    overlay_rasterize();
    EXPECT_EQ(overlay_state.tiles_drawn, 0);
    // One small command less: its tiles are redrawn without it, and the picture equals a fresh one.
    make_texture(1, 40, 30, 3);
    busy_scene();
    overlay_state.draw.count -= 1;
    overlay_rasterize();
    EXPECT_EQ(overlay_state.tiles_drawn, 4);
    const std::vector<uint8_t> incremental = overlay_state.buffer;
    overlay_reset();
    busy_scene();
    overlay_state.draw.count -= 1;
    overlay_rasterize();
    EXPECT_TRUE(incremental == overlay_state.buffer);
}

// An element pass over slots and children: what it submits.
TEST_F(Raster, ElementsBecomeCommands) {
    overlay_set_visible(0, 1);  // slot 0 counts as visible but is never drawn
    EXPECT_EQ(overlay_build(), 1);
    EXPECT_EQ(overlay_state.draw.count, 0);

    overlay_set_image_color(2, 0.2f, 0.2f, 0.4f, 0.4f, nullptr, 1, 0, 0, 2.5f);
    overlay_set_zoom(2, 1.5f, -1);
    overlay_child_set_image(3, 0, 0.5f, 0.5f, 0.5f, 0.5f, nullptr, 0, 1, 0, 1);
    overlay_set_image(3, 0.2f, 0.2f, 0.4f, 0.4f, nullptr);
    overlay_set_rotation(3, 180, -1);  // half a turn about the centre (0.4, 0.4)
    overlay_build();
    const DrawList& d = overlay_state.draw;
    ASSERT_EQ(d.count, 3);
    // Zoomed by 1.5 about its centre (0.4, 0.4), opacity 3 - 2.5.
    EXPECT_FLOAT_EQ(d.x0[0], 0.1f);
    EXPECT_FLOAT_EQ(d.y1[0], 0.7f);
    EXPECT_EQ(d.alpha[0], 128);
    EXPECT_EQ(d.quad[1], 1);
    // The child's box (0.4..0.6 in the frame) turned half about the slot's centre: its top-left corner
    // stays at (0.4, 0.4), its bottom-right one goes to (0.2, 0.2).
    EXPECT_EQ(d.quad[2], 1);
    EXPECT_NEAR(d.x0[2], 0.4f, 1e-6f);
    EXPECT_NEAR(d.y0[2], 0.4f, 1e-6f);
    EXPECT_NEAR(d.x2[2], 0.2f, 1e-6f);
    EXPECT_NEAR(d.y2[2], 0.2f, 1e-6f);
    EXPECT_EQ(d.green[2], 255);
}

TEST_F(Raster, CaptionsDrawTintedGlyphsInsideTheirLine) {
    // "HI" in the built-in glyphs, 0.25 of the frame high, yellow: ink only within the caption's line.
    overlay_set_text(5, "HI", TEXT_LATIN1, 0.1f, 0.5f, 1, 1, 0, 1, 0.25f, 1, 1);
    EXPECT_EQ(overlay_frame_prepare(), 1);
    int inked = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const uint8_t* p = overlay_pixel(x, y);
            if (p[3] == 0) continue;
            ++inked;
            EXPECT_EQ(p[2], 0);  // white glyphs tinted yellow
            ASSERT_GE(y, H / 2);
            ASSERT_LT(y, H / 2 + H / 4 + 1);
            ASSERT_GE(x, W / 10);
        }
    EXPECT_GT(inked, 200);
}

TEST_F(Raster, EmptyFramesClearOnceThenDoNoOverlayWork) {
    overlay_state.effects.speckle = 1;  // the merge still runs without elements
    overlay_set_image_color(1, 0.1f, 0.1f, 0.5f, 0.5f, nullptr, 1, 1, 1, 1);
    EXPECT_EQ(overlay_frame_prepare(), 1);
    EXPECT_EQ(overlay_state.overlay_content, 1);
    EXPECT_EQ(overlay_pixel(W / 4, H / 4)[3], 255);

    overlay_set_visible(1, 0);
    EXPECT_EQ(overlay_frame_prepare(), 0);
    EXPECT_EQ(overlay_state.overlay_content, 0);
    EXPECT_EQ(distinct_pixels(overlay_state.buffer, W, H), 1u);
    EXPECT_EQ(overlay_pixel(W / 4, H / 4)[3], 0);

    // Later empty frames leave the buffer alone.
    overlay_state.buffer[0] = 9;
    overlay_frame_prepare();
    EXPECT_EQ(overlay_state.buffer[0], 9);

    // Shown again unchanged: redrawn, since the clear marked every tile.
    overlay_set_visible(1, 1);
    overlay_frame_prepare();
    EXPECT_EQ(overlay_pixel(W / 4, H / 4)[3], 255);
    EXPECT_EQ(overlay_state.buffer[3], 0);
}

TEST_F(Raster, OverlayOnlyFrameCopiesTheOverlayOut) {
    overlay_state.headless = 1;
    cpu_count_set(2);  // the frame is large enough for the copy to be split in two
    worker_set_synchronous(1);
    std::memset(frame_buffer.fb_pixels, 99, static_cast<size_t>(W * H * 3));
    overlay_set_image_color(1, 0, 0, 0.5f, 1, nullptr, 1, 0, 0, 1);
    overlay_present();
    EXPECT_EQ(frame_buffer.fb_pixels[0], 255);
    EXPECT_EQ(frame_buffer.fb_pixels[((H - 1) * W + W / 2 - 1) * 3], 255);
    EXPECT_EQ(frame_buffer.fb_pixels[((H - 1) * W + W / 2) * 3], 0);  // the overlay's empty pixels too
    EXPECT_EQ(frame_stats_clock.short_window.phase, 1);
}

// The merge on known pixels: coverage 0 keeps the frame, above 253 replaces it, between blends.
TEST_F(Raster, MergeRules) {
    std::vector<uint8_t> frame(static_cast<size_t>(W * H * 3), 200),
        buffer(static_cast<size_t>(W * H * 4), 0);
    const uint8_t cover[4] = {0, 254, 128, 253};
    for (int k = 0; k < 4; ++k) {
        uint8_t* p = &buffer[static_cast<size_t>(k) * 4];
        p[0] = 10;
        p[1] = 100;
        p[2] = 250;
        p[3] = cover[k];
    }
    overlay_merge(frame.data(), W, H, buffer.data(), W, H, 0, 1);
    EXPECT_EQ(frame[0], 200);
    EXPECT_EQ(frame[3], 10);
    EXPECT_EQ(frame[5], 250);
    EXPECT_EQ(frame[6], (200 * 127 + 10 * 128) / 255);
    EXPECT_EQ(frame[8], (200 * 127 + 250 * 128) / 255);
    EXPECT_EQ(frame[9], (200 * 2 + 10 * 253) / 255);

    // Random buffers, any width: the fast rows equal the plain ones, sliced or not, merged eight pixels at
    // a time (where the processor has it) and four.
    std::mt19937 rng(5);
    for (int round = 0; round < 10; ++round) {
        const int width = std::array{1, 2, 7, 64, 333}[round % 5];
        overlay_set_wide_merge(round < 5);
        const int height = 9;
        std::vector<uint8_t> f(static_cast<size_t>(width * height * 3)),
            b(static_cast<size_t>(width * height * 4));
        for (auto& v : f) v = static_cast<uint8_t>(rng());
        for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(rng() % 3 == 0 ? 0 : rng());
        std::vector<uint8_t> expected = f;
        overlay_merge_rows_reference(expected.data(), b.data(), width, 0, height);
        for (int s = 0; s < 3; ++s) overlay_merge(f.data(), width, height, b.data(), width, height, s, 3);
        EXPECT_TRUE(f == expected) << width << (overlay_wide_merge() ? " by 8" : " by 4");
    }
    overlay_set_wide_merge(true);
}

TEST_F(Raster, MergeOfTheTilesEqualsTheWholeMergeWhileAnElementMoves) {
    // A faded element moving across tiles frame after frame, leaving tiles empty behind it and reaching
    // tiles that were empty; a frame without it; then a cleared buffer and a resize. Each merge, which
    // leaves out the tiles found empty, must give the merge of the whole buffer.
    auto check_merge = [&](int width, int height, const char* what) {
        std::vector<uint8_t> background(static_cast<size_t>(width * height * 3));
        for (size_t i = 0; i < background.size(); ++i) background[i] = static_cast<uint8_t>(i * 13 + 5);
        std::vector<uint8_t> whole = background, tiled = background;
        overlay_merge_rows_reference(whole.data(), overlay_state.buffer.data(), width, 0, height);
        for (int s = 0; s < 3; ++s)
            overlay_merge(tiled.data(), width, height, overlay_state.buffer.data(), width, height, s, 3);
        EXPECT_TRUE(tiled == whole) << what;
    };
    for (int frame = 0; frame < 7; ++frame) {
        const float x = 0.03f + 0.13f * static_cast<float>(frame),
                    y = 0.05f + 0.11f * static_cast<float>(frame);
        if (frame == 6) rect(0.25f, 0.5f, 0.3f, 0.55f, 0, 1, 1, 1, 1);  // from a tile's first row and column
        if (frame != 4) rect(x, y, x + 0.1f, y + 0.12f, 0, 0.9f, 0.5f, 0.1f, frame % 2 ? 1.0f : 0.6f);
        overlay_rasterize();
        int empty = 0;
        for (const uint8_t e : overlay_state.tile_empty) empty += e;
        EXPECT_GE(empty, 55) << frame;  // what the merge may leave out
        check_merge(W, H, "moving");
    }
    rect(0.4f, 0.4f, 0.6f, 0.6f, 0, 1, 1, 1, 1);
    overlay_rasterize();
    overlay_buffer_clear();
    check_merge(W, H, "cleared");
    set_resolution(W / 2, H / 2);
    rect(0.4f, 0.4f, 0.6f, 0.6f, 0, 1, 1, 1, 1);
    overlay_rasterize();
    check_merge(W / 2, H / 2, "resized");
}

TEST_F(Raster, MergeSizeMismatchEndsWithTheMessageAndStatusOne) {
    std::vector<uint8_t> frame(static_cast<size_t>(W * H * 3)), buffer(static_cast<size_t>(W * H * 4));
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(
        {
            std::fflush(stdout);
            dup2(2, 1);  // the message goes to standard output; the matcher reads standard error
            overlay_merge(frame.data(), W, H, buffer.data(), W, H - 1, 0, 1);
        },
        testing::ExitedWithCode(1), "A SPRITEBUFFER ES KEPBUFFER OSSZEFUTTATO .* NEM LESZ KEPED, VAZZEGH!\n");
}

TEST_F(Raster, SpeckleAndEdgeSmoothingOnKnownPixels) {
    uint8_t* px = frame_buffer.fb_pixels;
    uint32_t* z = frame_buffer.fb_depth;
    const std::vector<uint8_t> empty(static_cast<size_t>(W * H * 4), 0);
    auto put = [&](int x, uint8_t v, uint32_t d) {
        px[x * 3] = px[x * 3 + 1] = px[x * 3 + 2] = v;
        z[x] = d;
    };
    for (int x = 0; x < W; ++x) put(x, 100, 5000);
    put(10, 250, 1000);  // a lone near pixel
    put(20, 250, 1000);  // a near pair
    put(21, 240, 1000);
    put(19, 40, 5000);
    put(22, 60, 5000);
    overlay_state.effects.speckle = 1;
    overlay_merge(px, W, H, empty.data(), W, H, 0, 1);
    EXPECT_EQ(px[10 * 3], 100);
    EXPECT_EQ(z[10], 5000u);
    EXPECT_EQ(px[20 * 3], 50);
    EXPECT_EQ(px[21 * 3], 50);

    overlay_state.effects.speckle = 0;
    overlay_state.effects.edge_smooth = 1;
    put(30, 200, 5016);  // a depth step of 16 at 29..30 and back at 30..31
    put(40, 200, 5015);  // a step of 15 is none
    overlay_merge(px, W, H, empty.data(), W, H, 0, 1);
    EXPECT_EQ(px[29 * 3], 150);
    EXPECT_EQ(px[30 * 3], 150);
    EXPECT_EQ(px[39 * 3], 100);
    EXPECT_EQ(px[40 * 3], 200);
}

TEST_F(Raster, DepthBlurWithoutRadiusAveragesFourTaps) {
    uint8_t* px = frame_buffer.fb_pixels;
    const std::vector<uint8_t> empty(static_cast<size_t>(W * H * 4), 0);
    std::fill(px, px + W * H * 3, uint8_t{100});
    px[(50 * W + 50) * 3] = 200;
    overlay_state.effects.depth_blur = 1;
    overlay_merge_prepare(W, H);
    overlay_merge(px, W, H, empty.data(), W, H, 0, 1);
    // The pixel, its left and right neighbours and the one below: the bright pixel reaches its own row
    // and the row above.
    EXPECT_EQ(px[(50 * W + 49) * 3], 125);
    EXPECT_EQ(px[(50 * W + 50) * 3], 125);
    EXPECT_EQ(px[(50 * W + 51) * 3], 125);
    EXPECT_EQ(px[(49 * W + 50) * 3], 125);
    EXPECT_EQ(px[(51 * W + 50) * 3], 100);
    EXPECT_EQ(px[(50 * W + 50) * 3 + 1], 100);
}

TEST_F(Raster, GlowBrightensAheadOfBrightPixelsOnly) {
    uint8_t* px = frame_buffer.fb_pixels;
    const std::vector<uint8_t> empty(static_cast<size_t>(W * H * 4), 0);
    std::fill(px, px + W * H * 3, uint8_t{20});
    for (int y = 0; y < H; ++y)
        for (int x = 100; x < 140; ++x) px[(y * W + x) * 3] = 250;
    const std::vector<uint8_t> before(px, px + W * H * 3);
    overlay_state.effects.glow_threshold = 0.8f;
    overlay_state.effects.glow_width = 0.1f;
    overlay_state.effects.glow_strength = 3;
    overlay_merge(px, W, H, empty.data(), W, H, 0, 1);
    // The glow rises before the bright band (the window looks ahead) and leaves the far left alone.
    EXPECT_EQ(px[(50 * W + 10) * 3], 20);
    EXPECT_GT(px[(50 * W + 96) * 3], 20);
    EXPECT_EQ(px[(50 * W + 96) * 3], px[(51 * W + 97) * 3]);  // 2 x 2 blocks
}

TEST_F(Raster, TrailShorterThanOneFrameDoesNothing) {
    frame_stats.frames_per_second = 50;
    std::vector<uint8_t> frame(static_cast<size_t>(W * H * 3), 80);
    const std::vector<uint8_t> empty(static_cast<size_t>(W * H * 4), 0);
    overlay_set_trail(0.019f);
    overlay_merge_prepare(W, H);
    overlay_merge(frame.data(), W, H, empty.data(), W, H, 0, 1);
    overlay_merge_finish();
    EXPECT_EQ(overlay_state.trail_initialised, 0);
    EXPECT_TRUE(std::all_of(frame.begin(), frame.end(), [](uint8_t v) { return v == 80; }));

    // Half a second at 50 frames: the first frame only fills the trail, the next one is faded into it.
    overlay_set_trail(0.5f);
    for (uint8_t value : {80, 180}) {
        std::fill(frame.begin(), frame.end(), value);
        overlay_merge_prepare(W, H);
        overlay_merge(frame.data(), W, H, empty.data(), W, H, 0, 1);
        overlay_merge_finish();
    }
    const int f = static_cast<int>(0.04 * 65536), g = static_cast<int>(0.96 * 65536);
    EXPECT_EQ(frame[100], (g * 80 + f * 180) >> 16);
    EXPECT_EQ(overlay_state.trail[100], frame[100]);
    overlay_set_trail(0);
    EXPECT_EQ(overlay_effects_on(), 0);
}

}  // namespace
