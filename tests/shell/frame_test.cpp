// render_frame, the top of the frame: the scene, the overlay's turn and the frame statistics, headless.
// The threaded case also runs under the thread sanitizer: the overlay preparation (slot 32) and the frame
// clear (slot 31) overlap the passes.
#include <gtest/gtest.h>

#include <vector>

#include "core/cpu.h"
#include "core/frame_stats.h"
#include "core/workers.h"
#include "overlay/elements.h"
#include "render/frame_flags.h"
#include "render/pipeline_test_util.h"
#include "scene/transform.h"
#include "shell/frame.h"

namespace {

constexpr int W = 64, H = 48;

class Frame : public testing::Test {
  protected:
    void SetUp() override { reset(1); }
    void TearDown() override { reset(1); }
    static void reset(int cpus) {
        ptest::reset_engine(cpus);
        frame_reset();
        render_set_headless(1);
        set_resolution(W, H);
        ptest::pixel_camera(W, H);
    }
};

// Overlapping coloured rectangles at different depths, so a clear or a pass out of order shows.
void build_rects() {
    const float rects[][5] = {{0, 0, 40, 30, 9}, {20, 10, 64, 48, 5}, {8, 20, 30, 44, 2}};
    ObjectId id = 1;
    for (const auto& r : rects) {
        std::vector<float> t;
        ptest::add_rect(t, r[0], r[1], r[2], r[3], r[4]);
        obj_set_part_triangles(id, 0, t.data(), nullptr, nullptr, 0, static_cast<int>(t.size() / 9));
        obj_set_color(id, 0.3f * static_cast<float>(id), 1.0f - 0.3f * static_cast<float>(id), 0.5f, 1);
        ++id;
    }
}

TEST_F(Frame, RenderFrameReturnsTheFrame) {
    build_rects();
    const RenderedFrame f = render_frame();
    EXPECT_EQ(f.pixels, frame_buffer.fb_pixels);
    EXPECT_EQ(f.width, W);
    EXPECT_EQ(f.height, H);
    EXPECT_EQ(ptest::pixel(2, 2)[0], 76);  // the first rectangle: red 0.3
    EXPECT_EQ(frame_stats_clock.short_window.phase, 1);
    EXPECT_EQ(frame_state.merge_threads, 0);  // no overlay slot visible
}

TEST_F(Frame, ThreadedFramesEqualSynchronousOnes) {
    reset(2);
    build_rects();
    worker_set_synchronous(1);
    render_frame();
    render_frame();
    const std::vector<uint8_t> synchronous = ptest::frame_pixels();

    reset(2);
    build_rects();
    render_frame();
    for (ObjectId id = 1; id <= 3; ++id) obj_set_rotation(id, 0, 0, 0.0f);
    render_frame();
    EXPECT_EQ(ptest::frame_pixels(), synchronous);
    EXPECT_EQ(frame_flags.frame_counter, 2);
    EXPECT_EQ(worker_state.running[WORKER_SLOT_CLEAR], 0);
    EXPECT_EQ(worker_state.running[WORKER_SLOT_OVERLAY], 0);
}

// A half-transparent overlay slot over the scene: merged on the merge workers, the same pixels threaded
// and synchronous; once the slot is hidden no merge runs.
TEST_F(Frame, OverlayIsMergedOverTheScene) {
    auto frame_with_overlay = [](int synchronous) {
        reset(2);
        overlay_table_reset();
        build_rects();
        worker_set_synchronous(synchronous);
        overlay_set_image_color(3, 0.25f, 0.25f, 0.5f, 0.5f, nullptr, 0, 0, 1, 0.5f);
        render_frame();
        return ptest::frame_pixels();
    };
    const std::vector<uint8_t> synchronous = frame_with_overlay(1);
    const std::vector<uint8_t> threaded = frame_with_overlay(0);
    EXPECT_EQ(threaded, synchronous);
    EXPECT_EQ(frame_state.merge_threads, 2);
    const uint8_t* under = ptest::pixel(W / 2, H / 2);
    EXPECT_GT(under[2], 100);  // blue laid over the scene at half coverage
    EXPECT_LT(under[2], 200);
    EXPECT_EQ(ptest::pixel(2, 2)[0], 76);  // outside the slot: the scene

    overlay_set_visible(3, 0);
    render_frame();
    EXPECT_EQ(frame_state.merge_threads, 0);
    overlay_table_reset();
}

// With nothing to draw on a black background the last image is kept, but not the overlay merged into
// it: an element that moves or fades over an empty scene must not leave its earlier frames behind.
TEST_F(Frame, OverlayOverAnEmptySceneLeavesNoTrail) {
    overlay_table_reset();
    overlay_set_image_color(3, 0.0f, 0.0f, 0.25f, 0.25f, nullptr, 1, 1, 1, 1);
    render_frame();
    EXPECT_EQ(ptest::pixel(2, 2)[0], 255);
    overlay_set_image_color(3, 0.75f, 0.75f, 0.25f, 0.25f, nullptr, 1, 1, 1, 1);
    render_frame();
    EXPECT_EQ(ptest::pixel(2, 2)[0], 0) << "the element's old place still shows it";
    EXPECT_EQ(ptest::pixel(W - 2, H - 2)[0], 255);
    overlay_set_visible(3, 0);
    render_frame();
    EXPECT_EQ(ptest::pixel(W - 2, H - 2)[0], 0) << "a hidden element still shows";
    overlay_table_reset();
}

}  // namespace
