// The first half of the pass played on a virtual clock, as on a fast and on a slow machine: every scene
// lasts until the first frame past its length and leaves nothing of its own behind; the row of seven
// wakes in its order while the eye slides past it; the light-painting scene gives the frame clear back.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "demo/scene_cycle.h"
#include "demo/scenes/scenes.h"
#include "overlay/elements.h"
#include "render/render_config.h"
#include "scene/camera.h"
#include "scene/object.h"
#include "scene_clock.h"

namespace {

constexpr int HALF_LAST = 15;

struct Played {
    int position = 0;
    double start = 0;                    // clock at the scene's time origin
    std::vector<float> after_frame;      // seconds since the origin when each frame had ended
    std::vector<std::string> leftovers;  // what was still drawn or shown after its clean-up
    int frame_clear_after = -1;          // the frame-clear switch after its clean-up
    int frame_clear_off_frames = 0;      // frames that ran with the frame clear off
};

std::vector<Played> played;

void on_started(int position) {
    played.push_back(Played{position, scenetest::now(), {}, {}, -1, 0});
}

void on_frame() {
    Played& p = played.back();
    p.after_frame.push_back(static_cast<float>(scenetest::now() - p.start));
    if (!render_config.frame_clear) ++p.frame_clear_off_frames;
}

bool drawable(ObjectId id) {
    return obj_valid(id) && obj_table.enabled[id] && obj_table.has_geometry[id];
}

// The places a scene builds in and the overlay slots it shows captions in, all expected empty again.
void on_ended(int position) {
    Played& p = played.back();
    EXPECT_EQ(p.position, position);
    auto check = [&](ObjectId first, ObjectId last) {
        for (ObjectId id = first; id <= last; ++id)
            if (drawable(id)) p.leftovers.push_back("object " + std::to_string(id));
    };
    check(210, 216);
    check(SCENE_OBJECTS_FIRST, SCENE_OBJECTS_LAST);
    check(SCENE_CLOUD, SCENE_CLOUD);
    check(SCENE_SKY_FIRST, SCENE_SKY_LAST);
    check(SCENE_DUST_FIRST, SCENE_DUST_LAST);
    for (int slot = 1; slot < overlay_table.slots.count; ++slot)
        if (overlay_is_visible(slot)) p.leftovers.push_back("overlay slot " + std::to_string(slot));
    p.frame_clear_after = render_config.frame_clear;
}

class FirstHalf : public testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        played.clear();
        // Small frames: what is tested is the timing and the bookkeeping, not the pictures.
        ASSERT_TRUE(scenetest::start(GetParam(), 96, 48));
        scene_hooks.scene_started = on_started;
        scene_hooks.scene_ended = on_ended;
        scene_hooks.frame_done = on_frame;
    }
    void TearDown() override { scenetest::finish(); }
};

TEST_P(FirstHalf, EachSceneEndsAtTheFirstFramePastItsLengthAndCleansUp) {
    const int fps = GetParam();
    scenetest::play(1, HALF_LAST);
    ASSERT_EQ(played.size(), static_cast<size_t>(HALF_LAST));
    for (size_t i = 0; i < played.size(); ++i) {
        const Played& p = played[i];
        const float length = scene_list[i].seconds;
        SCOPED_TRACE("scene " + std::to_string(p.position));
        EXPECT_EQ(p.position, static_cast<int>(i) + 1);
        ASSERT_FALSE(p.after_frame.empty());
        // Every frame but the last ended within the length; the last one past it.
        for (size_t f = 0; f + 1 < p.after_frame.size(); ++f)
            ASSERT_LE(p.after_frame[f], length) << "frame " << f;
        EXPECT_GT(p.after_frame.back(), length);
        EXPECT_LE(p.after_frame.back(), length + 1.0f / static_cast<float>(fps) + 1e-5f);
        // The next scene begins where this one ended: nothing is lost between them.
        if (i + 1 < played.size()) {
            EXPECT_NEAR(played[i + 1].start - p.start, p.after_frame.back(), 1e-5);
        }
        EXPECT_TRUE(p.leftovers.empty()) << p.leftovers.size() << " left, the first " << p.leftovers[0];
        EXPECT_EQ(p.frame_clear_after, 1);
    }
    // The light-painting scene really painted over its frames, and gave the switch back.
    EXPECT_GT(played[8].frame_clear_off_frames, 0);
    // Fifteen scenes, each at most one frame over its length.
    const double half = 106.0, end = played.back().start + played.back().after_frame.back();
    EXPECT_GE(end, half);
    EXPECT_LE(end, half + HALF_LAST * (1.0 / fps) + 1e-4);
}

// As on a fast machine, and as on a slow one.
INSTANTIATE_TEST_SUITE_P(Rates, FirstHalf, testing::Values(60, 5));

// The row of seven: who starts moving when, and the eye sliding from x = -6 to 6 in front of them.
struct RowFrame {
    float e;
    float eye_x;
    uint8_t playing[7];
};
std::vector<RowFrame> row;
double row_start = 0;

void on_row_started(int) {
    row_start = scenetest::now();
}

void on_row_frame() {
    RowFrame f{};
    // The frame was made one tick before the clock now shows.
    f.e = static_cast<float>(scenetest::now() - 1.0 / virtual_clock.fps - row_start);
    f.eye_x = camera_state.camera_eye.x;
    for (int k = 0; k < 7; ++k) f.playing[k] = obj_table.anim_playing[200 + k];
    row.push_back(f);
}

TEST(RowScene, TheFiguresWakeOneASecondInTheirOrderAsTheEyeSlidesPast) {
    ASSERT_TRUE(scenetest::start(60, 96, 48));
    scene_hooks.scene_started = on_row_started;
    scene_hooks.frame_done = on_row_frame;
    scenetest::play(7, 7);
    scenetest::finish();
    ASSERT_GT(row.size(), 400u);

    // 206 wakes after the first second, then 205, 204, 200, 201, 202 and 203, one more each second.
    const int order[7] = {6, 5, 4, 0, 1, 2, 3};
    for (int n = 0; n < 7; ++n) {
        const int k = order[n];
        for (const RowFrame& f : row) {
            // A frame made on the very second may read its clock a hair either side of it.
            if (std::fabs(f.e - static_cast<float>(n + 1)) < 1e-4f) continue;
            const bool due = f.e > static_cast<float>(n + 1);
            ASSERT_EQ(f.playing[k] != 0, due) << "figure " << 200 + k << " at " << f.e << " s";
        }
    }
    EXPECT_NEAR(row.front().eye_x, -6.0f, 1e-4f);
    EXPECT_NEAR(row.back().eye_x, 6.0f, 1.5f / 60 + 1e-4f);
    for (size_t i = 1; i < row.size(); ++i) ASSERT_GT(row[i].eye_x, row[i - 1].eye_x);
}

}  // namespace
