// Animation: the clip table, the time step with its looping, clamping and half-rate marking, the rig
// data behind pose_evaluate, the pose tables and, through the frame pipeline, skinned figures.
#include <gtest/gtest.h>

#include <cmath>

#include "core/frame_stats.h"
#include "render/frame_flags.h"
#include "render/update/animation.h"
#include "scene/rig.h"
#include "scene/transform.h"
#include "update_test_util.h"

namespace {

class Animation : public testing::Test {
  protected:
    void SetUp() override { utest::reset(1); }
    void TearDown() override { utest::reset(1); }
};

void one_tri(ObjectId id) {
    std::vector<float> tris;
    utest::add_marker(tris, 0, 0, 0);
    obj_set_part_triangles(id, 0, tris.data(), nullptr, nullptr, 0, 1);
    obj_table.parts[static_cast<size_t>(id)].dirty[0] = 0;
}

TEST(AnimationClips, TableAsGiven) {
    EXPECT_EQ(anim_clip_frames(1, 4), 3);
    EXPECT_FLOAT_EQ(anim_clip_rate(1, 4), 4.0f);
    EXPECT_TRUE(anim_clip_loops(1, 4));
    EXPECT_EQ(anim_clip_frames(1, 9), 4);
    EXPECT_FALSE(anim_clip_loops(2, 9));
    EXPECT_EQ(anim_clip_frames(1, 10), 1);
    EXPECT_EQ(anim_clip_frames(2, 10), 0);
    EXPECT_TRUE(anim_clip_loops(1, 11));
    EXPECT_FALSE(anim_clip_loops(2, 11));
    EXPECT_EQ(anim_clip_frames(1, 5), 0);
    EXPECT_EQ(anim_clip_frames(3, 0), 0);
    EXPECT_EQ(anim_clip_frames(1, 12), 0);
    EXPECT_FLOAT_EQ(anim_clip_rate(2, 8), 0.7f);
}

TEST_F(Animation, RunWrapsToZeroAfterEightTenthsOfASecond) {
    one_tri(1);
    obj_table.anim_type[1] = 1;
    obj_table.anim_clip[1] = 4;
    obj_table.anim_playing[1] = 1;
    for (int i = 0; i < 7; ++i) anim_step(1, 0.1);
    EXPECT_NEAR(obj_table.anim_time[1], 2.8, 1e-9);
    EXPECT_EQ(obj_table.parts[1].dirty[0], 1);
    anim_step(1, 0.1);
    EXPECT_EQ(obj_table.anim_time[1], 0.0);
}

TEST_F(Animation, OneShotClipsClampAndBackwardsStopsAtZero) {
    one_tri(1);
    obj_table.anim_type[1] = 1;
    obj_table.anim_clip[1] = 2;
    obj_table.anim_playing[1] = 1;
    obj_table.anim_speed[1] = -1.0f;
    obj_table.anim_time[1] = 0.3;
    for (int i = 0; i < 5; ++i) anim_step(1, 0.1);
    EXPECT_EQ(obj_table.anim_time[1], 0.0);
    obj_table.anim_speed[1] = 1.0f;
    for (int i = 0; i < 20; ++i) anim_step(1, 0.1);
    EXPECT_NEAR(obj_table.anim_time[1], 1 - 0.0001, 1e-12);
    // A looping clip played backwards continues from its end.
    obj_table.anim_clip[1] = 0;
    obj_table.anim_time[1] = 0.05;
    obj_table.anim_speed[1] = -1.0f;
    anim_step(1, 0.1);
    EXPECT_NEAR(obj_table.anim_time[1], 4 - 0.0001, 1e-12);
}

TEST_F(Animation, ClipWithoutFramesNeverMoves) {
    one_tri(1);
    obj_table.anim_type[1] = 2;
    obj_table.anim_clip[1] = 10;
    obj_table.anim_playing[1] = 1;
    obj_table.anim_time[1] = 0.5;
    for (int i = 0; i < 10; ++i) anim_step(1, 0.1);
    EXPECT_EQ(obj_table.anim_time[1], 0.5);
    EXPECT_EQ(obj_table.parts[1].dirty[0], 0);
    // Nor does an object without geometry.
    obj_table.anim_type[2] = 1;
    obj_table.anim_playing[2] = 1;
    anim_step(2, 0.1);
    EXPECT_EQ(obj_table.anim_time[2], 0.0);
}

TEST_F(Animation, HalfRateMarksEveryOtherFrameButAdvancesEveryFrame) {
    one_tri(3);
    obj_table.anim_type[3] = 1;
    obj_table.anim_clip[3] = 8;
    obj_table.anim_playing[3] = 1;
    obj_table.anim_half_rate[3] = 1;
    int marked = 0;
    for (int frame = 0; frame < 6; ++frame) {
        frame_flags.frame_counter = frame;
        const double before = obj_table.anim_time[3];
        anim_step(3, 0.01);
        EXPECT_GT(obj_table.anim_time[3], before);
        // id 3: 3 + 0 + frame must be even.
        EXPECT_EQ(obj_table.parts[3].dirty[0], (3 + frame) % 2 == 0 ? 1 : 0) << frame;
        marked += obj_table.parts[3].dirty[0];
        obj_table.parts[3].dirty[0] = 0;
    }
    EXPECT_EQ(marked, 3);
    // Clip 0 is not a half-rate clip.
    obj_table.anim_clip[3] = 0;
    frame_flags.frame_counter = 0;
    anim_step(3, 0.01);
    EXPECT_EQ(obj_table.parts[3].dirty[0], 1);
}

TEST(AnimationRigs, FourLeggedKeyFrameZeroLegs) {
    const float xs[4] = {0.131f, -0.131f, 0.131f, -0.131f};
    const float zs[4] = {0.15f, 0.15f, -0.15f, -0.15f};
    const float ys[3] = {0.4f, 0.25f, 0.0f};
    for (unsigned clip = 0; clip < 12; ++clip) {
        for (int row = 0; row < 4; ++row) {
            for (int j = 0; j < 3; ++j) {
                const PoseJoint p = pose_evaluate(2, clip, 0, row, j);
                EXPECT_FLOAT_EQ(p.x, xs[row]);
                EXPECT_FLOAT_EQ(p.y, ys[j]);
                EXPECT_FLOAT_EQ(p.z, zs[row]);
                EXPECT_FLOAT_EQ(p.w, 0.13f);
            }
            for (int j = 3; j < 8; ++j) {
                const PoseJoint p = pose_evaluate(2, clip, 0, row, j);
                EXPECT_EQ(p.x, 0.0f);
                EXPECT_EQ(p.w, 0.0f);
            }
        }
    }
}

bool differs(const float* a, const float* b) {
    for (int i = 0; i < RIG_POSE_FLOATS; ++i)
        if (std::fabs(a[i] - b[i]) > 0.01f) return true;
    return false;
}

TEST(AnimationRigs, EveryClipWithFramesHasPosesThatMove) {
    for (unsigned rig = 1; rig <= 2; ++rig) {
        for (unsigned clip = 0; clip < 12; ++clip) {
            const int n = anim_clip_frames(rig, clip);
            if (n == 0) continue;
            const int last = anim_clip_loops(rig, clip) ? n - 1 : n;
            for (int f = 1; f <= last; ++f)
                EXPECT_TRUE(differs(rig_key_frame(rig, clip, f), rig_bind_pose(rig)))
                    << "rig " << rig << " clip " << clip << " frame " << f;
            // Frame 0 is the bind pose, and a looping clip comes back to it after its last frame.
            EXPECT_FALSE(differs(rig_key_frame(rig, clip, 0), rig_bind_pose(rig)));
            if (anim_clip_loops(rig, clip)) {
                EXPECT_FALSE(differs(rig_key_frame(rig, clip, n), rig_bind_pose(rig)));
            }
        }
    }
}

TEST(AnimationRigs, PosesPointTheRightWay) {
    // Walk: the left knee comes forward, the right foot goes back.
    EXPECT_GT(pose_evaluate(1, 0, 1, 0, 1).z, 0.1f);
    EXPECT_LT(pose_evaluate(1, 0, 1, 1, 2).z, -0.1f);
    // Seated: thighs level and forward, feet below the knees and off the ground.
    const PoseJoint knee = pose_evaluate(1, 11, 1, 0, 1), foot = pose_evaluate(1, 11, 1, 0, 2);
    EXPECT_NEAR(knee.y, 0.95f, 0.01f);
    EXPECT_NEAR(knee.z, 0.43f, 0.01f);
    EXPECT_NEAR(foot.z, 0.43f, 0.01f);
    EXPECT_NEAR(foot.y, 0.43f, 0.01f);
    // Cheering: hands above the head.
    EXPECT_GT(pose_evaluate(1, 2, 1, 2, 3).y, 1.8f);
    // The animal faces +x: grazing puts its muzzle near the ground ahead; its tail wags sideways.
    EXPECT_LT(pose_evaluate(2, 3, 1, 4, 2).y, 0.3f);
    EXPECT_GT(pose_evaluate(2, 3, 1, 4, 2).x, 0.2f);
    EXPECT_GT(std::fabs(pose_evaluate(2, 7, 1, 5, 2).z), 0.05f);
    // Walking, its legs swing along the body (x), not sideways; the front near foot goes forward.
    const PoseJoint hoof = pose_evaluate(2, 0, 1, 0, 2);
    EXPECT_GT(hoof.x, 0.131f + 0.05f);
    EXPECT_FLOAT_EQ(hoof.z, 0.15f);
    // Lift raises the tail tip.
    EXPECT_GT(pose_evaluate(2, 4, 1, 5, 2).y, pose_evaluate(2, 0, 0, 5, 2).y);
    // Out of range rows and joints are zeros.
    EXPECT_EQ(pose_evaluate(1, 0, 1, 8, 0).w, 0.0f);
    EXPECT_EQ(pose_evaluate(1, 0, 1, 0, -1).w, 0.0f);
}

TEST_F(Animation, PoseTablesTakeOffsetAndScaleAndBlendKeyFrames) {
    utest::make_figure(4, 0);
    obj_set_pose_offset_scale(4, 1, 0, 0, 2, 2, 2);
    anim_prepare_poses(4);
    const std::vector<float>& a = obj_table.pose_cache_a[4];
    ASSERT_EQ(a.size(), static_cast<size_t>(POSE_CACHE_FLOATS));
    EXPECT_FLOAT_EQ(a[0], 0.11f * 2 + 1);  // row 0 joint 0 x
    EXPECT_FLOAT_EQ(a[1], 0.95f * 2);
    EXPECT_FLOAT_EQ(a[3], 0.1f);  // the reach stays as given
    EXPECT_EQ(obj_table.pose_cache_b[4], a);
    EXPECT_EQ(obj_table.pose_cache_c[4], a);

    obj_table.anim_time[4] = 0.5;
    anim_update_pose(4);
    const std::vector<float>& c = obj_table.pose_cache_c[4];
    // Halfway between key frames the knee lies towards the blend of its two places, at the thigh's
    // own length from the hip.
    const PoseJoint k0 = pose_evaluate_for(4, 0, 0, 1), k1 = pose_evaluate_for(4, 1, 0, 1);
    const float hx = a[0], hy = a[1], hz = a[2];
    const float bx = (k0.x + k1.x) / 2 - hx, by = (k0.y + k1.y) / 2 - hy, bz = (k0.z + k1.z) / 2 - hz;
    const float thigh = std::hypot(a[4] - hx, a[5] - hy, a[6] - hz);
    EXPECT_NEAR(c[4 + 2], hz + bz * thigh / std::hypot(bx, by, bz), 1e-6);
    // Past the last frame of the clip the pose holds the last frame (no blend).
    obj_table.anim_time[4] = 7.5;
    anim_update_pose(4);
    EXPECT_FLOAT_EQ(c[4 + 2], pose_evaluate_for(4, 3, 0, 1).z);
    // A time that no scene should set does not read outside the table.
    obj_table.anim_time[4] = -1e300;
    anim_update_pose(4);
    EXPECT_EQ(c, a);
}

// A rest pose of the object's own (a figure fitted to its picture): still at time 0, and at any other
// time each row's root moved by exactly what the clip moves the rig's, and each bone after it turned
// the way the clip's movement takes it while keeping its own length: moved joint by joint, a figure's
// bones that are not the rig's would stretch (an arm thrown up came out half as long again).
TEST_F(Animation, OwnRestPoseTakesTheClipsMovementAlong) {
    utest::make_figure(4, 0);
    anim_prepare_poses(4);
    std::vector<float>& a = obj_table.pose_cache_a[4];
    for (size_t i = 0; i < a.size(); i += 4) {
        if (a[i + 3] <= 0) continue;  // past the end of a row
        a[i] += 0.05f;                // every joint moved sideways
        a[i + 1] -= 0.02f * static_cast<float>(i % 3);
    }
    anim_update_pose(4);
    EXPECT_EQ(obj_table.pose_cache_c[4], a);
    obj_table.anim_time[4] = 1.0;
    anim_update_pose(4);
    const std::vector<float>& c = obj_table.pose_cache_c[4];
    const PoseJoint r0 = pose_evaluate_for(4, 0, 0, 0), r1 = pose_evaluate_for(4, 1, 0, 0);
    EXPECT_NEAR(c[0] - a[0], r1.x - r0.x, 1e-6);
    EXPECT_NEAR(c[1] - a[1], r1.y - r0.y, 1e-6);
    EXPECT_NEAR(c[2] - a[2], r1.z - r0.z, 1e-6);
    for (size_t joint = 1; joint < 3; ++joint) {
        const size_t o = joint * 4, q = o - 4;
        const PoseJoint k0 = pose_evaluate_for(4, 0, 0, static_cast<int>(joint));
        const PoseJoint k1 = pose_evaluate_for(4, 1, 0, static_cast<int>(joint));
        const PoseJoint p0 = pose_evaluate_for(4, 0, 0, static_cast<int>(joint) - 1);
        const PoseJoint p1 = pose_evaluate_for(4, 1, 0, static_cast<int>(joint) - 1);
        // The bone as the clip's movement carries it, and as placed.
        const float mx = (a[o] + k1.x - k0.x) - (a[q] + p1.x - p0.x);
        const float my = (a[o + 1] + k1.y - k0.y) - (a[q + 1] + p1.y - p0.y);
        const float mz = (a[o + 2] + k1.z - k0.z) - (a[q + 2] + p1.z - p0.z);
        const float bx = c[o] - c[q], by = c[o + 1] - c[q + 1], bz = c[o + 2] - c[q + 2];
        const float rest = std::hypot(a[o] - a[q], a[o + 1] - a[q + 1], a[o + 2] - a[q + 2]);
        EXPECT_NEAR(std::hypot(bx, by, bz), rest, 1e-5) << "joint " << joint;
        const float m = std::hypot(mx, my, mz);
        EXPECT_NEAR((bx * mx + by * my + bz * mz) / (rest * m), 1.0f, 1e-5) << "joint " << joint;
    }
    EXPECT_NE(c[4 + 2], a[4 + 2]);  // the knee did move

    // Arms much shorter than the rig's, thrown up by the cheering clip: as long as at rest.
    for (size_t row = 2; row <= 3; ++row)
        for (size_t j = 0; j < 4; ++j)
            a[(row * 8 + j) * 4 + 1] = 1.42f - 0.6f * (1.42f - a[(row * 8 + j) * 4 + 1]);
    obj_table.anim_clip[4] = 2;
    obj_table.anim_time[4] = 0.9999;  // where a clip that plays once comes to rest
    anim_update_pose(4);
    for (size_t row = 2; row <= 3; ++row) {
        for (size_t j = 1; j < 4; ++j) {
            const size_t o = (row * 8 + j) * 4, q = o - 4;
            const float rest = std::hypot(a[o] - a[q], a[o + 1] - a[q + 1], a[o + 2] - a[q + 2]);
            EXPECT_NEAR(std::hypot(c[o] - c[q], c[o + 1] - c[q + 1], c[o + 2] - c[q + 2]), rest, 1e-5)
                << "row " << row << " joint " << j;
        }
        EXPECT_GT(c[(row * 8 + 3) * 4 + 1], a[(row * 8) * 4 + 1]) << "the hand is over the shoulder";
    }
}

TEST_F(Animation, FigureWalksRunsAndSitsThroughThePipeline) {
    utest::make_figure(5, 0);
    frame_stats.frame_seconds = 0.25;  // one key frame per frame at rate 1 and speed 4
    obj_table.anim_speed[5] = 4.0f;
    render_scene();  // time 1: the left leg forward
    const std::vector<float>& w = obj_table.parts[5].tri_world[0];
    EXPECT_NEAR(obj_table.anim_time[5], 1.0, 1e-9);
    EXPECT_GT(w[2], 0.05f);            // left shin marker forward
    EXPECT_LT(w[9 + 2], -0.02f);       // right shin marker back
    EXPECT_FLOAT_EQ(w[18 + 1], 1.2f);  // the chest is bound to nothing
    EXPECT_FLOAT_EQ(w[18 + 2], 0.0f);

    obj_table.anim_clip[5] = 11;  // sit: the shins swing forward under the knees
    obj_table.anim_time[5] = 0.999;
    obj_table.anim_playing[5] = 0;
    obj_set_anim_time(5, 1.0);
    render_scene();
    EXPECT_GT(w[2], 0.3f);
    EXPECT_GT(w[9 + 2], 0.3f);
    EXPECT_FLOAT_EQ(w[18 + 2], 0.0f);
}

}  // namespace
