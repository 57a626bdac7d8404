// The compositor's draw list: change detection by index, the dirty tiles it marks, and the turning of
// quads.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "display/framebuffer.h"
#include "overlay/overlay.h"

namespace {

constexpr int W = 160, H = 80;

class DrawListTest : public testing::Test {
  protected:
    void SetUp() override {
        fb_reset();
        set_resolution(W, H);
        overlay_reset();
    }
    void TearDown() override {
        overlay_reset();
        fb_reset();
    }
};

void rect(float x0, float y0, float x1, float y1, float alpha = 1.0f) {
    overlay_submit(x0, y0, x1, y1, 0, 0, 1, 1, 0, 1, 0.5f, 0.25f, alpha, 0, 0, 0, 0, 0, 1, 0, nullptr);
}

// The dirty grid as text, one line per tile row ('#' marked), so a failure shows the whole picture.
std::string dirty_picture() {
    std::string s;
    for (int r = 0; r < OVERLAY_GRID; ++r) {
        for (int c = 0; c < OVERLAY_GRID; ++c) s += overlay_state.dirty[r * OVERLAY_GRID + c] ? '#' : '.';
        s += '\n';
    }
    return s;
}

// The picture with the tiles of rows r0..r1 and columns c0..c1 marked on top of `base`.
std::string with_block(std::string base, int r0, int r1, int c0, int c1) {
    if (base.empty())
        for (int r = 0; r < OVERLAY_GRID; ++r) base += std::string(OVERLAY_GRID, '.') + "\n";
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) base[static_cast<size_t>(r * (OVERLAY_GRID + 1) + c)] = '#';
    return base;
}

void clear_marks() {
    for (uint8_t& t : overlay_state.dirty) t = 0;
}

// Ends a frame the way the rasteriser does, without drawing: previous count, marks, count.
void next_frame() {
    overlay_state.draw.previous_count = overlay_state.draw.count;
    overlay_state.draw.count = 0;
    clear_marks();
}

TEST_F(DrawListTest, MovingOneElementMarksOnlyItsOldAndNewTiles) {
    rect(0.05f, 0.05f, 0.2f, 0.2f);
    rect(0.55f, 0.55f, 0.6f, 0.6f);  // stays
    EXPECT_EQ(dirty_picture(), with_block(with_block("", 0, 1, 0, 1), 4, 4, 4, 4));
    next_frame();

    rect(0.05f, 0.05f, 0.2f, 0.2f);
    rect(0.55f, 0.55f, 0.6f, 0.6f);
    EXPECT_EQ(dirty_picture(), with_block("", 0, -1, 0, -1)) << "unchanged commands mark nothing";
    next_frame();

    rect(0.8f, 0.3f, 0.95f, 0.45f);  // the first one moved
    rect(0.55f, 0.55f, 0.6f, 0.6f);
    EXPECT_EQ(dirty_picture(), with_block(with_block("", 0, 1, 0, 1), 2, 3, 6, 7));
    next_frame();

    // A colour change is a change too; a forced command redraws although nothing changed.
    rect(0.8f, 0.3f, 0.95f, 0.45f, 0.5f);
    overlay_submit(0.55f, 0.55f, 0.6f, 0.6f, 0, 0, 1, 1, 0, 1, 0.5f, 0.25f, 1, 0, 0, 0, 0, 0, 1, 1, nullptr);
    EXPECT_EQ(dirty_picture(), with_block(with_block("", 2, 3, 6, 7), 4, 4, 4, 4));
}

TEST_F(DrawListTest, EdgesOnTheBorderMarkTheNinthColumnAndRow) {
    rect(0.3f, 0.9f, 1.0f, 1.0f);
    EXPECT_EQ(dirty_picture(), with_block("", 7, 8, 2, 8));
    clear_marks();
    // Wholly beyond the right border, or left of the left one: nothing.
    rect(1.2f, 0.1f, 1.5f, 0.2f);
    rect(-0.5f, 0.1f, -0.2f, 0.2f);
    EXPECT_EQ(dirty_picture(), with_block("", 0, -1, 0, -1));
    // Hostile coordinates mark within the grid or not at all.
    rect(NAN, NAN, NAN, NAN);
    rect(-1e30f, -1e30f, 1e30f, 1e30f);
    EXPECT_EQ(dirty_picture(), with_block("", 0, 8, 0, 8));
}

TEST_F(DrawListTest, PlaceholdersMarkNothing) {
    rect(0.1f, 0.1f, 0.2f, 0.2f);
    next_frame();
    overlay_submit(-1, -1, -1, -1, 0, 0, 1, 1, DRAW_PLACEHOLDER, 0, 0, 0, 0, 0, -1, -1, -1, -1, 0, 0,
                   nullptr);
    // Only the rectangle that the placeholder replaced is marked.
    EXPECT_EQ(dirty_picture(), with_block("", 0, 1, 0, 1));
}

TEST_F(DrawListTest, PaddingIsStoredAgainWhereAShorterListClearedIt) {
    // Padding, then a shorter list (the slots past it are cleared), then padding again: every slot must
    // hold padding once more, the one a rectangle took in between too.
    const DrawList& d = overlay_state.draw;
    overlay_submit_placeholders(10);
    overlay_rasterize();
    rect(0.1f, 0.1f, 0.2f, 0.2f);
    overlay_rasterize();
    EXPECT_EQ(d.texture[5], 0);
    overlay_submit_placeholders(10);
    ASSERT_EQ(d.count, 10);
    for (size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(d.texture[i], DRAW_PLACEHOLDER) << i;
        EXPECT_EQ(d.x2[i], -1.0f) << i;
    }
}

TEST_F(DrawListTest, QuadRotateKeepsShapesSquareOnAWideFrame) {
    // A quarter turn on a 2:1 frame: a step of d to the right becomes 2 d down, since a normalised x
    // unit is twice as many pixels as a y unit.
    float x[4] = {0.6f, 0.5f, 0.4f, 0.5f}, y[4] = {0.5f, 0.6f, 0.5f, 0.4f};
    quad_rotate(x[0], y[0], x[1], y[1], x[2], y[2], x[3], y[3], 90.0f + 720.0f, 2.0f, 1.0f, 0.5f, 0.5f);
    const float ex[4] = {0.5f, 0.45f, 0.5f, 0.55f}, ey[4] = {0.7f, 0.5f, 0.3f, 0.5f};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(x[k], ex[k], 1e-6f) << k;
        EXPECT_NEAR(y[k], ey[k], 1e-6f) << k;
    }
    // Angles within a thousandth of a degree do not turn; the scale applies about the centre.
    float a = 0.6f, b = 0.5f, c = 0, d = 0, e = 0, f = 0, g = 0, h = 0;
    quad_rotate(a, b, c, d, e, f, g, h, 0.0005f, 2.0f, 3.0f, 0.5f, 0.5f);
    EXPECT_FLOAT_EQ(a, 0.8f);
    EXPECT_FLOAT_EQ(b, 0.5f);
    // A huge angle ends (and gives some turn of the quad, not a hang).
    quad_rotate(a, b, c, d, e, f, g, h, 3e38f, 1.0f, 1.0f, 0.5f, 0.5f);
}

}  // namespace
