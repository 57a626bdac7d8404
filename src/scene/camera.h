// The smoothed camera, the view angles derived from eye and target, and the projection of world points
// that the visibility test and the rasteriser share. The camera is written by the scene thread between
// frames and read by the render workers during a frame; ViewTransform and project_point are thread-free.
#pragma once

#include <cmath>
#include <cstdint>

#include "scene/vec.h"

struct CameraState {
    Vec3d camera_eye_target{0, 0, 0};    // where the eye is to go
    Vec3d camera_look_target{0, 0, 0};   // the point to look at
    Vec3 camera_eye{0, 0, 0};            // current eye: what is rendered
    Vec3d camera_look{0, 0, 0};          // current point looked at
    Vec3d camera_eye_velocity{0, 0, 0};  // per-frame steps of the smoothing
    Vec3d camera_look_velocity{0, 0, 0};
    double camera_smoothing = 0;                // approach rate per second; <= 0: the next update jumps
    double camera_damping = 0;                  // velocity kept per frame, 0..1
    int camera_no_overshoot_clamp = 1;          // 0: a component that passes its target stops on it
    Vec3 camera_angles{0, 0, 0};                // pitch, yaw, roll in degrees (roll stays 0)
    float view_center[2] = {0, 0};              // projection centre offset, fractions of width and height
    float projection[3] = {0.5f, 0.25f, 2.0f};  // horizontal extent, vertical extent, depth factor
};

extern CameraState camera_state;

void camera_target(float eye_x, float eye_y, float eye_z, float look_x, float look_y, float look_z,
                   float smoothing, float damping);
// Jumps to the view at the next (immediate) update and then holds still.
void camera_set(float eye_x, float eye_y, float eye_z, float look_x, float look_y, float look_z);
// Renders this frame from the given view while the smoothed camera keeps its targets and velocities.
void camera_set_view_once(float eye_x, float eye_y, float eye_z, float look_x, float look_y, float look_z);
void camera_stop();
void camera_set_no_overshoot_clamp(int flag);
// Advances the camera by one frame; called once per frame before rendering.
void camera_update();
Vec3 camera_eye_get();
void camera_eye_put(float x, float y, float z);
Vec3 camera_angles_get();  // pitch, yaw, roll
void camera_angles_put(float pitch, float yaw, float roll);
void view_center_put(float horizontal, float vertical);
void projection_put(float horizontal, float vertical, float depth_factor);
// Resets every camera field to its start value (tests).
void camera_reset_all();

// Pitch, yaw and roll in degrees that look from the eye to the target. Degenerate geometry (target on
// the eye's vertical line, or equal to the eye) gives fixed angles, never a division by zero.
void look_at_angles(float eye_x, float eye_y, float eye_z, float target_x, float target_y, float target_z,
                    float& pitch, float& yaw, float& roll);

// Everything project_point needs, prepared once per frame (or per part) so that projecting a vertex
// costs no trigonometry and no division beyond the perspective one.
struct ViewTransform {
    float eye_x, eye_y, eye_z;  // world coordinates of the eye
    float cos_yaw, sin_yaw, cos_pitch, sin_pitch, cos_roll, sin_roll;
    float depth_factor;
    float center_x, center_y;  // screen position of the view axis, pixels
    float scale_x, scale_y;    // pixels per unit of view offset at depth 0
    uint8_t rotated;           // some angle is non-zero
    uint8_t rolled;            // roll is non-zero
};

struct ProjectedPoint {
    float x, y;   // screen pixels
    float depth;  // view depth; negative: behind the eye (x, y are then mirrored through the eye)
};

// eye in world coordinates (y up), angles as stored in camera_angles (degrees), projection and
// view_center as stored, width and height of the image in pixels.
ViewTransform view_transform_make(Vec3 eye, Vec3 angles, const float projection[3],
                                  const float view_center[2], int width, int height);
ViewTransform view_transform_from_camera(int width, int height);

inline ProjectedPoint project_point(const ViewTransform& v, float px, float py, float pz) {
    float x = px - v.eye_x;
    float y = v.eye_y - py;  // viewing flips Y: (-py) - (-eye_y)
    float z = pz - v.eye_z;
    if (v.rotated) {
        const float z1 = v.cos_yaw * z - v.sin_yaw * x;
        const float x1 = v.cos_yaw * x + v.sin_yaw * z;
        const float depth = v.cos_pitch * z1 + v.sin_pitch * y;
        const float y1 = v.cos_pitch * y - v.sin_pitch * z1;
        x = x1;
        y = y1;
        z = depth;
        if (v.rolled) {
            const float y2 = v.cos_roll * y1 + v.sin_roll * x1;
            const float x2 = v.cos_roll * x1 - v.sin_roll * y1;
            x = x2;
            y = y2;
        }
    }
    const float scale = 1.0f / (std::fabs(z * v.depth_factor) + 1.0f);
    return ProjectedPoint{v.center_x + x * v.scale_x * scale, v.center_y + y * v.scale_y * scale, z};
}
