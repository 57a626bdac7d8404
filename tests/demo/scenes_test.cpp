// The pass played on a virtual clock, as on a fast and on a slow machine: every scene lasts until the
// first frame past its length and leaves nothing of its own behind, and the pass leaves only the reserved
// objects; two passes in a row show the same frames; the row of seven wakes in its order while the eye
// slides past it; the beat flash keeps time with the music however late its scene begins.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "demo/scene_cycle.h"
#include "demo/scenes/scenes.h"
#include "display/framebuffer.h"
#include "overlay/elements.h"
#include "render/render_config.h"
#include "scene/camera.h"
#include "scene/object.h"
#include "scene_clock.h"

namespace {

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

class WholePass : public testing::TestWithParam<int> {
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

TEST_P(WholePass, EachSceneEndsAtTheFirstFramePastItsLengthAndCleansUpAndSoDoesThePass) {
    const int fps = GetParam();
    scenetest::play(1, SCENE_COUNT);
    ASSERT_EQ(played.size(), static_cast<size_t>(SCENE_COUNT));
    double pass = 0;
    for (size_t i = 0; i < played.size(); ++i) {
        const Played& p = played[i];
        const float length = scene_list[i].seconds;
        pass += length;
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
    // The scenes that paint over their frames really did, and gave the switch back.
    for (int position : {9, 19, 24, 28})
        EXPECT_GT(played[position - 1].frame_clear_off_frames, 0) << position;
    // 218.5 s, each scene at most one frame over its length.
    EXPECT_DOUBLE_EQ(pass, 218.5);
    const double end = played.back().start + played.back().after_frame.back();
    EXPECT_GE(end, pass);
    EXPECT_LE(end, pass + SCENE_COUNT * (1.0 / fps) + 1e-4);

    // After the pass only the reserved figures and picture objects may still be drawn.
    for (ObjectId id = 1; id < obj_table.object_capacity; ++id) {
        const bool reserved = (id >= 200 && id <= 299) || (id >= 2051 && id <= 2057);
        if (drawable(id)) {
            EXPECT_TRUE(reserved) << "object " << id << " still drawn";
        }
    }
    for (ObjectId id = 200; id <= 209; ++id) EXPECT_FALSE(drawable(id)) << id;
    EXPECT_EQ(render_config.frame_clear, 1);
    for (int slot = 1; slot < overlay_table.slots.count; ++slot)
        EXPECT_FALSE(overlay_is_visible(slot)) << slot;
}

// As on a fast machine, and as on a slow one.
INSTANTIATE_TEST_SUITE_P(Rates, WholePass, testing::Values(60, 5));

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

namespace {

// Frames of two passes in a row, by their time within the pass, and the frame each scene began on.
std::vector<std::vector<uint8_t>> frames_of_pass[2];
std::vector<int64_t> scene_starts[2];
int pass_index = 0;
int64_t pass_first_frame = 0;
// A picture every 40 frames: every scene is looked at more than once.
constexpr int64_t SAMPLE_EVERY = 40;

int64_t frame_in_pass() {
    return virtual_clock.frame - pass_first_frame;
}

void on_pass_scene(int) {
    scene_starts[pass_index].push_back(frame_in_pass());
}

void on_pass_frame() {
    // The frame just made.
    if ((frame_in_pass() - 1) % SAMPLE_EVERY) return;
    const FrameBuffer& fb = frame_buffer;
    frames_of_pass[pass_index].emplace_back(
        fb.fb_pixels, fb.fb_pixels + static_cast<size_t>(fb.fb_width) * fb.fb_height * 3);
}

TEST(TwoPasses, ShowTheSameFramesAtTheSameTimesOfThePass) {
    ASSERT_TRUE(scenetest::start(10, 128, 64));
    scene_hooks.scene_started = on_pass_scene;
    scene_hooks.frame_done = on_pass_frame;
    for (pass_index = 0; pass_index < 2; ++pass_index) {
        pass_first_frame = virtual_clock.frame;
        scenetest::play(1, SCENE_COUNT);
    }
    scenetest::finish();
    // Every scene begins on the same frame of its pass: the second pass keeps the first one's time.
    ASSERT_EQ(scene_starts[0], scene_starts[1]);
    ASSERT_EQ(frames_of_pass[0].size(), frames_of_pass[1].size());
    ASSERT_GT(frames_of_pass[0].size(), 50u);
    const int64_t flash_from = scene_starts[0][27], flash_to = scene_starts[0][28];
    for (size_t i = 0; i < frames_of_pass[0].size(); ++i) {
        const int64_t k = static_cast<int64_t>(i) * SAMPLE_EVERY;
        // The beat flash takes its colour from the music's start, kept in single precision: on the very
        // tenth of a second the second pass, starting 218.5 s later, may already see the next colour.
        if (k >= flash_from && k < flash_to) continue;
        const std::vector<uint8_t>&a = frames_of_pass[0][i], &b = frames_of_pass[1][i];
        size_t differ = 0;
        for (size_t p = 0; p + 2 < a.size(); p += 3)
            differ += a[p] != b[p] || a[p + 1] != b[p + 1] || a[p + 2] != b[p + 2];
        // The elapsed times of the second pass are differences of larger clock readings: a waving glyph's
        // edge or a spark may fall on the next pixel. Anything a pass left behind shows far more than that.
        EXPECT_LE(differ, a.size() / 3 / 200)
            << "the frame at " << static_cast<double>(k) / 10 << " s differs in " << differ << " pixels";
    }
}

// The beat flash's colour in each of its frames, with the time the frame was made.
struct BeatFrame {
    double t;
    float rgb[3];
};
std::vector<BeatFrame> beat_frames;
double beat_scene_start = -1;

void on_beat_started(int position) {
    if (position == 28) beat_scene_start = scenetest::now();
}

void on_beat_frame() {
    if (beat_scene_start < 0) return;
    const Color4 c = obj_table.color[SCENE_DUST_FIRST];
    beat_frames.push_back(BeatFrame{scenetest::now() - 1.0 / virtual_clock.fps, {c.r, c.g, c.b}});
}

TEST(BeatFlash, CountsTenthsSinceTheMusicBeganNotSinceItsSceneBegan) {
    // Seven frames a second: the scene before ends past its length by a part of a frame, so the flash's
    // scene begins between two tenths of the music.
    ASSERT_TRUE(scenetest::start(7, 96, 48));
    scene_hooks.scene_started = on_beat_started;
    scene_hooks.frame_done = on_beat_frame;
    scenetest::play(27, 28);
    scenetest::finish();
    ASSERT_GT(beat_frames.size(), 30u);
    int differs_from_scene_count = 0;
    for (const BeatFrame& f : beat_frames) {
        const double tenths = (f.t - demo_start_time) * 10;
        // A frame made on the very tenth may read its clock a hair either side of it.
        if (std::fabs(tenths - std::round(tenths)) < 1e-3) continue;
        const int b = static_cast<int>(tenths) % BEAT_COLOURS;
        for (int k = 0; k < 3; ++k) ASSERT_EQ(f.rgb[k], BEAT_COLOUR[b][k]) << "at " << f.t << " s";
        if (b != static_cast<int>((f.t - beat_scene_start) * 10) % BEAT_COLOURS) ++differs_from_scene_count;
    }
    // The scene's own start would have given other colours: the test tells the two apart.
    EXPECT_GT(differs_from_scene_count, 0);
}

}  // namespace
