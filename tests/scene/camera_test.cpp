// The camera: jumps and stillness, smoothing with damping at the measured frame rate, the NaN guard,
// the no-overshoot clamp, one-frame views, the look-at angles and the projection of known points.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/frame_stats.h"
#include "scene/camera.h"

namespace {

class CameraTest : public testing::Test {
  protected:
    void SetUp() override {
        camera_reset_all();
        frame_stats = FrameStats();
    }
    void TearDown() override {
        camera_reset_all();
        frame_stats = FrameStats();
    }
};

// atan(1) through the engine's own radians-to-degrees factor.
const double M45 = std::atan(1.0) * 57.32484;

TEST_F(CameraTest, FrameStatisticsStartAtTheirInitialValues) {
    EXPECT_EQ(frame_stats.frames_per_second, 60.0);
    EXPECT_DOUBLE_EQ(frame_stats.frame_seconds, 1.0 / 600.0);
}

TEST_F(CameraTest, SetJumpsThereAndStaysExactlyStill) {
    camera_target(100, 100, 100, 0, 0, 0, 5, 0.5f);
    camera_update();
    camera_set(1, 2, 3, 1, 2, 10);
    const CameraState& c = camera_state;
    EXPECT_EQ(c.camera_eye.x, 1.0f);
    EXPECT_EQ(c.camera_eye.z, 3.0f);
    EXPECT_EQ(c.camera_look.z, 10.0);
    EXPECT_EQ(c.camera_smoothing, 0.01);
    EXPECT_EQ(c.camera_damping, 0.0);
    EXPECT_EQ(c.camera_eye_velocity.x, 0.0);
    EXPECT_EQ(c.camera_angles.y, 0.0f);  // looking along +z
    const CameraState before = c;
    for (int i = 0; i < 100; ++i) camera_update();
    EXPECT_EQ(c.camera_eye.x, before.camera_eye.x);
    EXPECT_EQ(c.camera_eye.y, before.camera_eye.y);
    EXPECT_EQ(c.camera_eye.z, before.camera_eye.z);
    EXPECT_EQ(c.camera_look.z, before.camera_look.z);
    EXPECT_EQ(c.camera_angles.x, before.camera_angles.x);
}

TEST_F(CameraTest, SmoothingStepsWithDampingAndTheMeasuredFrameRate) {
    camera_target(10, 0, 0, 0, 0, 20, 6, 0.5f);  // k = 6 / 60 = 0.1
    camera_update();
    EXPECT_NEAR(camera_state.camera_eye.x, 0.5f, 1e-6);   // (10 * 0.1 + 0) * 0.5
    EXPECT_NEAR(camera_state.camera_look.z, 1.0, 1e-12);  // (20 * 0.1 + 0) * 0.5
    camera_update();
    EXPECT_NEAR(camera_state.camera_eye.x, 1.225f, 1e-6);  // + ((9.5 * 0.1) + 0.5) * 0.5
    EXPECT_NEAR(camera_state.camera_eye_velocity.x, 0.725, 1e-6);
    // Half the frame rate: twice the approach per frame.
    camera_reset_all();
    frame_stats.frames_per_second = 30.0;
    camera_target(10, 0, 0, 0, 0, 0, 6, 1);
    camera_update();
    EXPECT_NEAR(camera_state.camera_eye.x, 2.0f, 1e-6);
}

TEST_F(CameraTest, DampingIsClampedAndStopZeroesVelocities) {
    camera_target(0, 0, 0, 0, 0, 0, 1, 3);
    EXPECT_EQ(camera_state.camera_damping, 1.0);
    camera_target(0, 0, 0, 0, 0, 0, 1, -2);
    EXPECT_EQ(camera_state.camera_damping, 0.0);
    camera_target(5, 5, 5, 5, 5, 5, 60, 1);
    camera_update();
    EXPECT_NE(camera_state.camera_eye_velocity.y, 0.0);
    camera_stop();
    EXPECT_EQ(camera_state.camera_eye_velocity.y, 0.0);
    EXPECT_EQ(camera_state.camera_look_velocity.z, 0.0);
}

TEST_F(CameraTest, NotANumberComponentsAreLeftAsTheyWere) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    camera_target(nan, 10, 0, 0, 0, 0, 60, 1);
    camera_update();
    EXPECT_EQ(camera_state.camera_eye.x, 0.0f);
    EXPECT_EQ(camera_state.camera_eye_velocity.x, 0.0);
    EXPECT_EQ(camera_state.camera_eye.y, 10.0f);
}

TEST_F(CameraTest, WithoutTheOvershootClampAComponentStopsOnItsTarget) {
    camera_target(10, 0, 0, 0, 0, -10, 120, 1);  // k = 2: the first step would reach 20
    camera_update();
    EXPECT_EQ(camera_state.camera_eye.x, 20.0f);  // the clamp is on by default: overshoots
    camera_reset_all();
    camera_set_no_overshoot_clamp(0);
    camera_target(10, 0, 0, 0, 0, -10, 120, 1);
    camera_update();
    EXPECT_EQ(camera_state.camera_eye.x, 10.0f);
    EXPECT_EQ(camera_state.camera_eye_velocity.x, 0.0);
    EXPECT_EQ(camera_state.camera_look.z, -10.0);  // from above, falling below
    EXPECT_EQ(camera_state.camera_look_velocity.z, 0.0);
    // A component that does not reach its target moves on normally.
    camera_target(20, 0, 0, 0, 0, -10, 30, 1);  // k = 0.5: 10 -> 15
    camera_update();
    EXPECT_EQ(camera_state.camera_eye.x, 15.0f);
    EXPECT_EQ(camera_state.camera_eye_velocity.x, 5.0);
}

TEST_F(CameraTest, ViewOnceRendersOneFrameWithoutDisturbingTheSmoothing) {
    camera_target(10, 0, 0, 0, 0, 5, 6, 0.5f);
    camera_update();
    const CameraState before = camera_state;
    camera_set_view_once(0, 0, 0, 3, 0, 0);
    EXPECT_EQ(camera_state.camera_eye.x, 0.0f);
    EXPECT_NEAR(camera_state.camera_angles.y, 90.0f, 1e-4);
    EXPECT_EQ(camera_state.camera_eye_target.x, before.camera_eye_target.x);
    EXPECT_EQ(camera_state.camera_look.z, before.camera_look.z);
    EXPECT_EQ(camera_state.camera_eye_velocity.x, before.camera_eye_velocity.x);
    EXPECT_EQ(camera_state.camera_smoothing, before.camera_smoothing);
    EXPECT_EQ(camera_state.camera_damping, before.camera_damping);
}

TEST_F(CameraTest, GettersAndPutters) {
    camera_eye_put(1, 2, 3);
    camera_angles_put(10, 20, 30);
    EXPECT_EQ(camera_eye_get().y, 2.0f);
    EXPECT_EQ(camera_angles_get().z, 30.0f);
    view_center_put(0.1f, 0.2f);
    projection_put(1, 2, 3);
    EXPECT_EQ(camera_state.view_center[1], 0.2f);
    EXPECT_EQ(camera_state.projection[2], 3.0f);
}

struct Angles {
    float pitch, yaw, roll;
};
Angles look(float dx, float dy, float dz) {
    Angles a{-1, -1, -1};
    look_at_angles(1, 2, 3, 1 + dx, 2 + dy, 3 + dz, a.pitch, a.yaw, a.roll);
    return a;
}

TEST_F(CameraTest, LookAtDegenerateDirections) {
    Angles a = look(0, 5, 0);
    EXPECT_EQ(a.pitch, 270.0f);
    EXPECT_EQ(a.yaw, 0.0f);
    EXPECT_EQ(a.roll, 0.0f);
    a = look(0, -5, 0);
    EXPECT_EQ(a.pitch, 90.0f);
    a = look(0, 0, 0);
    EXPECT_EQ(a.pitch, 0.0f);
    EXPECT_EQ(a.yaw, 0.0f);
    a = look(0.00001f, 0, -1);  // |dx| within the threshold: straight along -z
    EXPECT_EQ(a.yaw, 180.0f);
}

TEST_F(CameraTest, LookAtYawInEveryQuadrant) {
    EXPECT_EQ(look(1, 0, 0).yaw, 90.0f);
    EXPECT_EQ(look(-1, 0, 0).yaw, 270.0f);
    EXPECT_EQ(look(0, 0, 1).yaw, 0.0f);
    EXPECT_EQ(look(0, 0, -1).yaw, 180.0f);
    EXPECT_NEAR(look(1, 0, 1).yaw, 90 - M45, 1e-4);
    EXPECT_NEAR(look(-1, 0, 1).yaw, 270 + M45, 1e-4);
    EXPECT_NEAR(look(1, 0, -1).yaw, 90 + M45, 1e-4);
    EXPECT_NEAR(look(-1, 0, -1).yaw, 270 - M45, 1e-4);
}

TEST_F(CameraTest, LookAtPitchUpIsAboveThreeHundred) {
    EXPECT_NEAR(look(1, 1, 0).pitch, 360 - M45, 1e-4);
    EXPECT_NEAR(look(0, -1, 1).pitch, M45, 1e-4);
    EXPECT_EQ(look(3, 0, 4).pitch, 0.0f);
}

TEST_F(CameraTest, ProjectionOfKnownPoints) {
    const float proj[3] = {0.5f, 0.25f, 2.0f};
    const float center[2] = {0, 0};
    ViewTransform v = view_transform_make(Vec3{0, 0, 0}, Vec3{0, 0, 0}, proj, center, 512, 256);
    ProjectedPoint p = project_point(v, 0, 0, 1);
    EXPECT_EQ(p.x, 256.0f);
    EXPECT_EQ(p.y, 128.0f);
    EXPECT_EQ(p.depth, 1.0f);
    p = project_point(v, 1, 0, 1);  // 1 unit right at depth 1: 1 * (512 / 0.5) / (2 + 1)
    EXPECT_NEAR(p.x, 256 + 1024.0f / 3, 1e-3);
    p = project_point(v, 0, 1, 1);  // up in the world is up on the screen
    EXPECT_NEAR(p.y, 128 - 1024.0f / 3, 1e-3);
    p = project_point(v, 2, 0, 0);  // depth 0 keeps its offset
    EXPECT_NEAR(p.x, 256 + 2048.0f, 1e-3);
    p = project_point(v, 0, 0, -4);
    EXPECT_LT(p.depth, 0.0f);  // behind the eye

    // A camera at (0, 1, 0) looking along +x sees a point on that line at its centre.
    v = view_transform_make(Vec3{0, 1, 0}, Vec3{0, 90, 0}, proj, center, 512, 256);
    p = project_point(v, 5, 1, 0);
    EXPECT_NEAR(p.x, 256.0f, 1e-3);
    EXPECT_NEAR(p.y, 128.0f, 1e-3);
    EXPECT_NEAR(p.depth, 5.0f, 1e-5);
    // Looking straight up (pitch 270).
    v = view_transform_make(Vec3{0, 0, 0}, Vec3{270, 0, 0}, proj, center, 512, 256);
    p = project_point(v, 0, 5, 0);
    EXPECT_NEAR(p.depth, 5.0f, 1e-5);
    // A roll of 90 turns screen-right into screen-down.
    v = view_transform_make(Vec3{0, 0, 0}, Vec3{0, 0, 90}, proj, center, 512, 256);
    p = project_point(v, 1, 0, 1);
    EXPECT_NEAR(p.x, 256.0f, 1e-3);
    EXPECT_NEAR(p.y, 128 + 1024.0f / 3, 1e-3);
}

TEST_F(CameraTest, ProjectionCentreAndDefaultExtents) {
    const float proj[3] = {0, 0, 1};
    const float center[2] = {0.25f, -0.5f};
    ViewTransform v = view_transform_make(Vec3{0, 0, 0}, Vec3{0, 0, 0}, proj, center, 400, 200);
    ProjectedPoint p = project_point(v, 1, 1, 1);  // scale 1 / (1 + 1)
    EXPECT_NEAR(p.x, 200 + 100 + 1 * 400.0f / 2, 1e-3);
    EXPECT_NEAR(p.y, 100 - 100 - 1 * (200 / 0.5625f) / 2, 1e-3);
    // From the camera state.
    camera_eye_put(0, 0, -1);
    view_center_put(0, 0);
    v = view_transform_from_camera(512, 256);
    p = project_point(v, 0, 0, 0);
    EXPECT_EQ(p.depth, 1.0f);
    EXPECT_EQ(p.x, 256.0f);
}

}  // namespace
