// The statistics display: the frame-rate text and colour, and the layout chosen from the frame's size.
#include <gtest/gtest.h>

#include <string>

#include "core/cpu.h"
#include "core/frame_stats.h"
#include "display/framebuffer.h"
#include "overlay/elements.h"
#include "overlay/glyphs.h"
#include "overlay/overlay.h"
#include "render/pipeline_test_util.h"
#include "render/raster/raster.h"
#include "render/render_config.h"
#include "shell/frame.h"
#include "shell/hud.h"

namespace {

OverlayElements& S = overlay_table.slots;

class HudTest : public testing::Test {
  protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset() {
        glyph_cache_reset();  // before the texture table forgets the glyphs' slots
        overlay_table_reset();
        frame_statistics_reset();
        fb_reset();
        cpu_count_set(0);
        render_config = RenderConfig{};
        raster_reset_statistics();
    }
};

std::string text(int slot) {
    const std::vector<uint8_t>& t = S.text[static_cast<size_t>(slot)];
    return t.empty() ? std::string() : std::string(reinterpret_cast<const char*>(t.data()));
}

std::string rate_line(double fps, int phase = 0, double rendered = 0) {
    frame_stats.frames_per_second = fps;
    frame_stats.rendered_fps = rendered;
    frame_stats_clock.long_window.phase = phase;
    hud_update();
    return text(HUD_FIRST_SLOT);
}

TEST_F(HudTest, FrameRateShowsFewerDecimalsTheFasterItIsAndIsColouredByIt) {
    set_resolution(512, 256);
    EXPECT_EQ(rate_line(12.34), "12.3 fps");
    EXPECT_FLOAT_EQ(S.green[2], 0.5f);  // slow: orange
    EXPECT_EQ(rate_line(4.5), "4.500000 fps");
    EXPECT_EQ(rate_line(7.256), "7.26 fps");
    EXPECT_EQ(rate_line(59.9), "59 fps");
    EXPECT_FLOAT_EQ(S.red[2], 0.5f);  // fast: green
    EXPECT_EQ(rate_line(1e12), "2147483647 fps");
    // From the long window's third phase on, the rendered rate counts.
    EXPECT_EQ(rate_line(60, 2, 25), "25.0 fps");
    EXPECT_FLOAT_EQ(S.red[2], 1);
    EXPECT_FLOAT_EQ(S.green[2], 1);
    EXPECT_FLOAT_EQ(S.blue[2], 0.2f);
}

TEST_F(HudTest, LinesAndLayoutFollowTheFrame) {
    set_resolution(512, 256);
    cpu_count_set(3);
    raster_state.polys_drawn = 7;
    raster_state.polys_culled = 2;
    hud_update_at(10);
    EXPECT_EQ(text(11), "512x256 resolution");
    EXPECT_EQ(text(12), "");  // no processor name known
    EXPECT_EQ(text(13), "3 execution core (32 bit)");
    EXPECT_EQ(text(14), "7 poly rendered, 2 pre-culled");
    for (int slot = 10; slot <= 14; ++slot) {
        if (slot == 12) continue;
        const size_t i = static_cast<size_t>(slot);
        EXPECT_EQ(S.text_encoding[i], TEXT_LATIN1_STYLE2);
        EXPECT_FLOAT_EQ(S.glyph_width[i], 0.3f);
        EXPECT_FLOAT_EQ(S.x[i], 0.02f);
        EXPECT_FLOAT_EQ(S.glyph_size[i], 0.04f);
        EXPECT_EQ(S.fixed_pitch[i], slot == 10);
    }
    EXPECT_FLOAT_EQ(S.y[10], 0.04f);
    EXPECT_FLOAT_EQ(S.y[11], 0.12f);
    EXPECT_FLOAT_EQ(S.y[14], 0.3f);
    EXPECT_FLOAT_EQ(S.red[13], 0.8f);

    render_config.half_height_mode = 1;
    set_resolution(1920, 1080);
    hud_update();
    EXPECT_EQ(text(3), "1920x1080 resolution (halfscan)");
    EXPECT_FLOAT_EQ(S.glyph_size[2], 0.03f);
    EXPECT_FLOAT_EQ(S.glyph_size[3], 0.024f);
    EXPECT_FLOAT_EQ(S.x[3], 0.015f);

    // Narrow and tiny frames: wider glyphs, larger units.
    set_resolution(140, 300);
    hud_update();
    EXPECT_FLOAT_EQ(S.glyph_width[2], 1.2f);
    EXPECT_FLOAT_EQ(S.glyph_size[2], 0.06f);
    EXPECT_FLOAT_EQ(S.x[2], 0.03f);
    set_resolution(300, 280);
    hud_update();
    EXPECT_FLOAT_EQ(S.glyph_width[2], 0.6f);
}

// The display drawn by whole frames: on two processors the glyphs are made before the overlay worker
// starts beside the renderer (the thread sanitizer runs this too), and the image is the one-processor
// one.
TEST_F(HudTest, DrawsThroughWholeFramesAlikeOnOneAndTwoProcessors) {
    std::vector<uint8_t> images[2];
    for (int cpus = 1; cpus <= 2; ++cpus) {
        reset();
        ptest::reset_engine(cpus);
        frame_reset();
        render_set_headless(1);
        set_resolution(256, 128);
        ptest::pixel_camera(256, 128);
        for (int frame = 0; frame < 3; ++frame) {
            frame_stats.frames_per_second = frame_stats.rendered_fps = 60;  // the same text on every run
            hud_update();
            render_frame();
        }
        EXPECT_EQ(frame_state.overlay_visible, 1);
        // The rows above the core-count line, which differs between the runs.
        images[cpus - 1] = ptest::frame_pixels();
        images[cpus - 1].resize(256 * 3 * 29);
    }
    EXPECT_EQ(images[0], images[1]);
    // The rate line and the resolution line in ink: 81 pixels of them at this size, each merged once over
    // the empty frame (not three frames' blends laid over each other).
    int lit = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 128; ++x) lit += ptest::pixel(x, y)[1] > 100;
    EXPECT_GT(lit, 60);
}

}  // namespace
