// The frame pipeline on the pipeline thread alone (one processor, or several in synchronous mode): the
// thread-count rules, the frame clear and the empty-scene shortcut, half-height doubling, the list
// release, the worker slots' edges and the frame statistics windows.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/clock.h"
#include "core/cpu.h"
#include "core/frame_stats.h"
#include "pipeline_test_util.h"
#include "render/frame_clear.h"
#include "render/frame_flags.h"
#include "render/geometry/geometry.h"
#include "render/raster/raster.h"
#include "render/thread_rules.h"
#include "render/update/update_lists.h"

namespace {

constexpr int W = 64, H = 48;

class Pipeline : public testing::Test {
  protected:
    void SetUp() override {
        ptest::reset_engine(1);
        set_resolution(W, H);
        ptest::pixel_camera(W, H);
    }
    void TearDown() override { ptest::reset_engine(1); }
};

// A red rectangle object over the pixel rectangle.
void rect_object(ObjectId id, float x0, float y0, float x1, float y1, float depth) {
    std::vector<float> t;
    ptest::add_rect(t, x0, y0, x1, y1, depth);
    obj_set_part_triangles(id, 0, t.data(), nullptr, nullptr, 0, static_cast<int>(t.size() / 9));
    obj_set_color(id, 1, 0, 0, 1);
}

TEST(PipelineRules, TransformThreadsFollowTheEstimate) {
    render_config = RenderConfig{};
    EXPECT_EQ(transform_thread_count(4, 6999), 1);
    EXPECT_EQ(transform_thread_count(4, 7000), 2);
    EXPECT_EQ(transform_thread_count(4, 9999), 2);
    EXPECT_EQ(transform_thread_count(8, 15000), 4);
    EXPECT_EQ(transform_thread_count(8, 35000), 4);  // mode 0 stays at 4
    EXPECT_EQ(transform_thread_count(1, 35000), 1);
    render_config.transform_thread_mode = 2;
    EXPECT_EQ(transform_thread_count(8, 35000), 8);  // 16, then at most 8 below 40000
    EXPECT_EQ(transform_thread_count(8, 45000), 16);
    EXPECT_EQ(transform_thread_count(8, 25000), 6);
    EXPECT_EQ(transform_thread_count(2, 45000), 2);  // the modes need 3 processors
    render_config.transform_thread_mode = 3;
    EXPECT_EQ(transform_thread_count(4, 45000), 12);
    render_config.transform_thread_mode = 1;
    EXPECT_EQ(transform_thread_count(4, 45000), 6);
    render_config.thread_cap = 3;
    EXPECT_EQ(transform_thread_count(4, 45000), 3);
    render_config = RenderConfig{};
}

TEST(PipelineRules, RasterThreadsFollowProcessorsModesAndHeight) {
    render_config = RenderConfig{};
    EXPECT_EQ(raster_thread_count(1, 2000), 1);
    EXPECT_EQ(raster_thread_count(2, 2000), 2);
    EXPECT_EQ(raster_thread_count(3, 400), 4);
    EXPECT_EQ(raster_thread_count(4, 500), 4);
    EXPECT_EQ(raster_thread_count(4, 501), 5);
    EXPECT_EQ(raster_thread_count(8, 1600), 9);
    EXPECT_EQ(raster_thread_count(12, 1600), 14);
    EXPECT_EQ(raster_thread_count(16, 1600), 16);
    render_config.raster_split_mode = 1;
    EXPECT_EQ(raster_thread_count(4, 400), 16);
    render_config.raster_split_mode = 2;
    EXPECT_EQ(raster_thread_count(4, 400), 8);
    EXPECT_EQ(raster_thread_count(3, 400), 8);  // 3 count as 4
    render_config.thread_cap = 3;
    EXPECT_EQ(raster_thread_count(3, 400), 3);
    render_config.thread_cap = 0;
    render_config.raster_thread_boost = 0;
    EXPECT_EQ(raster_thread_count(3, 400), 3);
    EXPECT_EQ(raster_thread_count(8, 1600), 8);
    render_config = RenderConfig{};
}

TEST(PipelineRules, UpdateAndMotionThreadsFollowTheLists) {
    render_config = RenderConfig{};
    EXPECT_EQ(update_thread_count(4, 0, 0), 0);
    EXPECT_EQ(update_thread_count(4, 1, 100000), 1);
    EXPECT_EQ(update_thread_count(4, 1499, 1499), 1);
    EXPECT_EQ(update_thread_count(4, 1500, 0), 2);
    EXPECT_EQ(update_thread_count(4, 2, 4000), 4);
    EXPECT_EQ(update_thread_count(4, 6000, 0), 4);
    EXPECT_EQ(update_thread_count(8, 6000, 0), 4);
    EXPECT_EQ(update_thread_count(2, 9000, 0), 2);
    EXPECT_EQ(update_thread_count(1, 9000, 9000), 1);
    EXPECT_EQ(motion_thread_count(4, 64), 1);
    EXPECT_EQ(motion_thread_count(8, 65), 4);
    EXPECT_EQ(motion_thread_count(1, 650), 1);
    render_config.thread_cap = 1;
    EXPECT_EQ(update_thread_count(4, 9000, 9000), 1);
    EXPECT_EQ(motion_thread_count(8, 65), 1);
    render_config = RenderConfig{};
}

TEST_F(Pipeline, DirtyEstimatePicksOneOrTwoTransformThreads) {
    cpu_count_set(4);
    worker_set_synchronous(1);
    std::vector<float> t400(400 * 9, 1.0f), t377(377 * 9, 1.0f), t378(378 * 9, 1.0f), t800(800 * 9, 1.0f);
    obj_set_part_triangles(1, 0, t400.data(), nullptr, nullptr, 0, 400);
    obj_set_part_triangles(1, 1, t377.data(), nullptr, nullptr, 0, 377);  // 777 x 9 = 6993
    render_scene();
    EXPECT_EQ(pipeline_state.threads.transform, 1);
    obj_set_part_triangles(1, 0, t400.data(), nullptr, nullptr, 0, 400);
    obj_set_part_triangles(1, 1, t378.data(), nullptr, nullptr, 0, 378);  // 778 x 9 = 7002
    render_scene();
    EXPECT_EQ(pipeline_state.threads.transform, 2);
    obj_set_part_triangles(1, 1, t800.data(), nullptr, nullptr, 0, 800);
    render_scene();
    EXPECT_EQ(pipeline_state.threads.transform, 1);  // two threads, but only one part listed
    render_scene();
    EXPECT_EQ(pipeline_state.threads.transform, 0);  // nothing dirty
    EXPECT_EQ(worker_state.threads_created, 0);
}

TEST_F(Pipeline, OneProcessorRunsEveryPassInline) {
    rect_object(1, 4, 4, 20, 20, 10);
    obj_table.anim_type[1] = 1;  // listed for the update pass; clip 5 has no frames, so nothing moves
    obj_table.anim_clip[1] = 5;
    render_scene();
    render_scene();
    EXPECT_EQ(worker_state.threads_created, 0);
    EXPECT_EQ(pipeline_state.threads.raster, 1);
    EXPECT_EQ(pipeline_state.threads.update, 1);
    EXPECT_EQ(ptest::pixel(10, 10)[0], 255);
    EXPECT_EQ(ptest::pixel(30, 30)[0], 0);
    EXPECT_EQ(raster_state.polys_drawn, 2);
}

TEST_F(Pipeline, EmptySceneIsClearedOnceThenLeftAlone) {
    std::memset(frame_buffer.fb_pixels, 9, W * H * 3);
    rect_object(1, 0, 0, 10, 10, 5);
    obj_set_enabled(1, 0);
    // Hidden objects only: the new planes are cleared once.
    render_scene();
    EXPECT_EQ(pipeline_state.scene_drawn, 0);
    EXPECT_EQ(ptest::pixel(5, 5)[0], 0);
    EXPECT_EQ(frame_buffer.fb_needs_clear, 0);
    std::memset(frame_buffer.fb_pixels, 9, W * H * 3);
    render_scene();
    EXPECT_EQ(ptest::pixel(5, 5)[0], 9);
    EXPECT_EQ(frame_flags.frame_counter, 2);

    obj_set_enabled(1, 1);
    render_scene();
    EXPECT_EQ(pipeline_state.scene_drawn, 1);
    EXPECT_EQ(ptest::pixel(5, 5)[0], 255);
    EXPECT_EQ(ptest::pixel(30, 30)[0], 0);

    // The drawn image is cleared once when the scene empties again, then kept.
    obj_set_enabled(1, 0);
    render_scene();
    EXPECT_EQ(pipeline_state.scene_drawn, 0);
    EXPECT_EQ(ptest::pixel(5, 5)[0], 0);
    std::memset(frame_buffer.fb_pixels, 7, W * H * 3);
    render_scene();
    EXPECT_EQ(ptest::pixel(5, 5)[0], 7);
    EXPECT_EQ(frame_flags.frame_counter, 5);
}

TEST_F(Pipeline, ColouredBackgroundDrawsEveryFrame) {
    set_clear_color(0.5f, 1.0f, 0.0f);
    for (int frame = 0; frame < 3; ++frame) {
        std::memset(frame_buffer.fb_pixels, 9, W * H * 3);
        render_scene();
        EXPECT_EQ(pipeline_state.scene_drawn, 1);
        EXPECT_EQ(ptest::pixel(3, 40)[0], 127);
        EXPECT_EQ(ptest::pixel(3, 40)[1], 255);
        EXPECT_EQ(ptest::pixel(3, 40)[2], 0);
    }
    EXPECT_EQ(frame_buffer.fb_depth[5], 0x7F7F7F7Fu);
}

TEST_F(Pipeline, SceneWithoutFrameClearKeepsThePaintedFrame) {
    render_config.frame_clear = 0;
    rect_object(1, 0, 0, 10, 10, 5);
    render_scene();  // new planes: cleared whole all the same
    EXPECT_EQ(ptest::pixel(30, 30)[0], 0);
    frame_buffer.fb_pixels[(30 * W + 30) * 3] = 77;
    render_scene();
    EXPECT_EQ(ptest::pixel(30, 30)[0], 77);
}

TEST_F(Pipeline, HalfHeightShowsEveryRenderedRowTwice) {
    for (int h : {16, 15, 2}) {
        set_resolution(W, h);
        for (int y = 0; y < h; ++y) std::memset(frame_buffer.fb_pixels + y * W * 3, y + 1, W * 3);
        half_height_double(1);
        const int last = h / 4 + h / 2 - 1;
        for (int r = 0; r < h; ++r) {
            int src = h / 4 + r / 2;
            src = src > last ? last : src;
            EXPECT_EQ(ptest::pixel(W - 1, r)[0], src + 1) << "height " << h << " row " << r;
        }
    }
}

// A scene that paints over its last frame starts from what was rendered: folding the doubled frame gives
// the middle half back its own rows, whatever the height; the depth clear touches only those rows.
TEST_F(Pipeline, FoldingUndoesTheDoublingAndTheDepthClearKeepsToTheRenderedRows) {
    render_config.half_height_mode = 1;
    for (int h : {48, 16, 15, 7, 2}) {
        set_resolution(W, h);
        const int top = h / 4, rows = h / 2;
        for (int y = 0; y < h; ++y)
            std::memset(frame_buffer.fb_pixels + y * W * 3, y < top || y >= top + rows ? 200 : y + 1, W * 3);
        half_height_double(1);
        half_height_fold();
        for (int y = top; y < top + rows; ++y)
            EXPECT_EQ(ptest::pixel(W / 2, y)[0], y + 1) << "height " << h << " row " << y;
    }
    set_resolution(W, H);
    std::memset(frame_buffer.fb_depth, 0, sizeof(uint32_t) * W * H);
    frame_clear_depth();
    EXPECT_EQ(frame_buffer.fb_depth[(H / 4 - 1) * W], 0u);
    EXPECT_EQ(frame_buffer.fb_depth[(H / 4) * W + W - 1], 0x7F7F7F7Fu);
    EXPECT_EQ(frame_buffer.fb_depth[(H / 4 + H / 2 - 1) * W], 0x7F7F7F7Fu);
    EXPECT_EQ(frame_buffer.fb_depth[(H / 4 + H / 2) * W], 0u);
}

TEST_F(Pipeline, HalfHeightClearsAndDrawsTheMiddleHalf) {
    render_config.half_height_mode = 1;
    frame_buffer.fb_needs_clear = 0;
    std::memset(frame_buffer.fb_pixels, 9, W * H * 3);
    frame_clear(0);
    EXPECT_EQ(ptest::pixel(0, H / 4 - 1)[0], 9);
    EXPECT_EQ(ptest::pixel(0, H / 4)[0], 0);
    EXPECT_EQ(ptest::pixel(0, H / 4 + H / 2 - 1)[0], 0);
    EXPECT_EQ(ptest::pixel(0, H / 4 + H / 2)[0], 9);

    // A rectangle over the rendered rows 0..11 (of 24) covers the top half of the output.
    camera_state.projection[1] = H / 2;
    rect_object(1, 0, 0, W, H / 4, 5);
    render_scene();
    EXPECT_EQ(pipeline_state.threads.doubling, 1);
    for (int y = 0; y < H; ++y) EXPECT_EQ(ptest::pixel(W / 2, y)[0], y < H / 2 ? 255 : 0) << y;
}

TEST_F(Pipeline, ListsReleasedPeriodicallyAreRebuiltAlike) {
    rect_object(3, 0, 0, 8, 8, 5);
    rect_object(4, 10, 0, 18, 8, 5);
    obj_table.anim_type[4] = 1;  // listed for the update pass without moving (clip 5 has no frames)
    obj_table.anim_clip[4] = 5;
    frame_flags.frame_counter = 998;
    // Rebuilding both parts each frame keeps the dirty list in use.
    auto frame = [] {
        obj_table.parts[3].dirty[0] = 1;
        obj_table.parts[4].dirty[0] = 1;
        render_scene();
    };
    frame();  // frame 999
    EXPECT_EQ(update_lists.update.capacity, 2048);
    frame();  // frame 1000: the update and motion lists go
    EXPECT_EQ(update_lists.update.capacity, 0);
    EXPECT_TRUE(update_lists.update.ids.empty());
    EXPECT_EQ(geometry_state.dirty_capacity, 2048);
    frame();
    ASSERT_EQ(update_lists.update.capacity, 2048);
    EXPECT_EQ(update_lists.update.ids[0], 4);

    frame_flags.frame_counter = 1998;
    frame();  // frame 1999: the dirty list goes
    EXPECT_EQ(geometry_state.dirty_capacity, 0);
    EXPECT_TRUE(geometry_state.dirty_objects.empty());
    const std::vector<uint8_t> before = ptest::frame_pixels();
    frame();
    ASSERT_EQ(geometry_state.dirty_capacity, 2048);
    EXPECT_EQ(geometry_state.dirty_objects[0], 3);
    EXPECT_EQ(geometry_state.dirty_objects[1], 4);
    EXPECT_EQ(pipeline_state.threads.transform, 1);
    EXPECT_EQ(ptest::frame_pixels(), before);
}

TEST_F(Pipeline, EndOfFrameClearsTheListedFlags) {
    rect_object(1, 0, 0, 8, 8, 5);
    obj_set_part_collision(1, 0, 1, 1, 0, 0);
    ASSERT_EQ(obj_table.parts[1].collision_changed[0], 1);
    render_scene();
    EXPECT_EQ(obj_table.parts[1].dirty[0], 0);
    EXPECT_EQ(obj_table.parts[1].collision_changed[0], 0);
    EXPECT_EQ(geometry_state.dirty_count, 0);
    EXPECT_EQ(frame_flags.relight_all, 0);
    EXPECT_EQ(frame_flags.collision_geometry_changed, 0);
    EXPECT_EQ(update_lists.motion.count, 0);
    EXPECT_EQ(pipeline_state.threads.motion, 1);  // collides: the motion pass ran
}

// --- frame statistics ------------------------------------------------------------------------------------

int64_t fake_micros;
WallTime fake_clock() {
    return WallTime{1000 + fake_micros / 1000000, static_cast<int32_t>(fake_micros % 1000000)};
}
void no_sleep(unsigned) {}

class FrameStatistics : public testing::Test {
  protected:
    void SetUp() override {
        fake_micros = 0;
        clock_set_source(fake_clock, no_sleep);
        clock_reset();
        frame_statistics_reset();
    }
    void TearDown() override {
        clock_set_source(nullptr, nullptr);
        clock_reset();
        frame_statistics_reset();
    }
    static void at(double seconds) {
        fake_micros = static_cast<int64_t>(seconds * 1e6 + 0.5);
        frame_statistics_update();
    }
};

TEST_F(FrameStatistics, WindowsMeasureRatesAndTheStepFollowsLate) {
    at(0.0);
    at(0.09);
    EXPECT_EQ(frame_stats.rendered_fps, 0.0);  // the first long window closes after 0.1 s
    at(0.15);
    EXPECT_NEAR(frame_stats.rendered_fps, 3 / 0.15, 1e-3);
    at(0.25);  // first short window: 4 frames in 0.25 s
    EXPECT_NEAR(frame_stats.frames_per_second, 16.0, 1e-4);
    EXPECT_EQ(frame_stats.frame_seconds, 1.0 / 600.0);
    EXPECT_EQ(frame_stats.frame_seconds_uncapped, 1.0 / 60.0);
    at(0.5);  // second: from now on the step follows
    EXPECT_NEAR(frame_stats.frames_per_second, 4.0, 1e-4);
    EXPECT_NEAR(frame_stats.frame_seconds_uncapped, 0.25, 1e-6);
    EXPECT_NEAR(frame_stats.frame_seconds, 0.25, 1e-6);
    at(0.6);  // no window closes, the step is still derived
    EXPECT_NEAR(frame_stats.frame_seconds, 0.25, 1e-6);
    at(1.6);  // a stall: the step is capped
    EXPECT_NEAR(frame_stats.frames_per_second, 2 / 1.1, 1e-4);
    EXPECT_NEAR(frame_stats.frame_seconds_uncapped, 0.55, 1e-5);
    EXPECT_EQ(frame_stats.frame_seconds, 0.33333);
    const double rendered = frame_stats.rendered_fps;
    at(2.1);
    EXPECT_EQ(frame_stats.rendered_fps, rendered);  // long windows now last 2 s
    at(2.2);
    EXPECT_NEAR(frame_stats.rendered_fps, 6 / 2.05, 1e-4);
}

TEST_F(FrameStatistics, SmoothingHalvesASuddenDropAndTheCapIsConfigurable) {
    frame_statistics_set_smoothing(1);
    frame_statistics_set_min_rate(10);
    frame_statistics_set_min_rate(0);  // ignored
    EXPECT_NEAR(frame_stats.max_frame_seconds, 0.1, 1e-12);
    at(0.0);
    at(0.25);  // 2 frames in 0.25 s = 8: below half of 60, so the mean (60 + 8) / 2
    EXPECT_NEAR(frame_stats.frames_per_second, 34.0, 1e-4);
    at(0.5);  // 4: (34 + 4) / 2
    EXPECT_NEAR(frame_stats.frames_per_second, 19.0, 1e-4);
    EXPECT_NEAR(frame_stats.frame_seconds, 1 / 19.0, 1e-6);
    at(1.5);  // 1: (19 + 1) / 2, a step of 0.1 s: at the cap
    EXPECT_NEAR(frame_stats.frames_per_second, 10.0, 1e-4);
    at(2.5);
    EXPECT_NEAR(frame_stats.frames_per_second, 5.5, 1e-4);
    EXPECT_EQ(frame_stats.frame_seconds, 0.1);
    at(2.75);  // 4 is not below half of 5.5: taken as it is
    EXPECT_NEAR(frame_stats.frames_per_second, 4.0, 1e-4);
}

}  // namespace
