// The smoothed camera and the view angles. Scene thread between frames; render workers only read
// camera_state while a frame is drawn.
#include "scene/camera.h"

#include "core/frame_stats.h"

CameraState camera_state;

namespace {

// One component of the smoothing step. Returns the new current value; velocity is updated in place.
double smooth_component(double current, double target, double k, double damping, int clamp,
                        double& velocity) {
    const double v = ((target - current) * k + velocity) * damping;
    if (std::isnan(v)) return current;  // a NaN would stick forever: drop this frame's step
    velocity = v;
    if (clamp) return current + v;
    const double next = current + v;
    if ((current < target && next > target) || (current >= target && next < target)) {
        velocity = 0;
        return target;
    }
    return next;
}

void update_angles() {
    CameraState& c = camera_state;
    look_at_angles(c.camera_eye.x, c.camera_eye.y, c.camera_eye.z, static_cast<float>(c.camera_look.x),
                   static_cast<float>(c.camera_look.y), static_cast<float>(c.camera_look.z),
                   c.camera_angles.x, c.camera_angles.y, c.camera_angles.z);
}

}  // namespace

void camera_target(float eye_x, float eye_y, float eye_z, float look_x, float look_y, float look_z,
                   float smoothing, float damping) {
    CameraState& c = camera_state;
    c.camera_eye_target = Vec3d{eye_x, eye_y, eye_z};
    c.camera_look_target = Vec3d{look_x, look_y, look_z};
    c.camera_smoothing = smoothing;
    if (damping < 0) damping = 0;
    if (damping > 1) damping = 1;
    c.camera_damping = damping;
}

void camera_set(float eye_x, float eye_y, float eye_z, float look_x, float look_y, float look_z) {
    CameraState& c = camera_state;
    c.camera_eye_target = Vec3d{eye_x, eye_y, eye_z};
    c.camera_look_target = Vec3d{look_x, look_y, look_z};
    c.camera_smoothing = -1;
    c.camera_damping = 0.9f;
    camera_update();
}

void camera_set_view_once(float eye_x, float eye_y, float eye_z, float look_x, float look_y, float look_z) {
    const CameraState saved = camera_state;
    camera_set(eye_x, eye_y, eye_z, look_x, look_y, look_z);
    const Vec3 eye = camera_state.camera_eye;
    const Vec3 angles = camera_state.camera_angles;
    camera_state = saved;
    camera_state.camera_eye = eye;
    camera_state.camera_angles = angles;
}

void camera_stop() {
    camera_state.camera_eye_velocity = Vec3d{0, 0, 0};
    camera_state.camera_look_velocity = Vec3d{0, 0, 0};
}

void camera_set_no_overshoot_clamp(int flag) {
    camera_state.camera_no_overshoot_clamp = flag;
}

void camera_update() {
    CameraState& c = camera_state;
    if (c.camera_smoothing <= 0) {
        // A jump: land on the targets and hold still (damping 0) until camera_target asks for motion.
        c.camera_smoothing = 0.01;
        c.camera_eye =
            Vec3{static_cast<float>(c.camera_eye_target.x), static_cast<float>(c.camera_eye_target.y),
                 static_cast<float>(c.camera_eye_target.z)};
        c.camera_look = c.camera_look_target;
        camera_stop();
        c.camera_damping = 0;
        update_angles();
        return;
    }
    const double k = c.camera_smoothing / frame_stats.frames_per_second;
    const double d = c.camera_damping;
    const int clamp = c.camera_no_overshoot_clamp;
    c.camera_eye.x = static_cast<float>(
        smooth_component(c.camera_eye.x, c.camera_eye_target.x, k, d, clamp, c.camera_eye_velocity.x));
    c.camera_eye.y = static_cast<float>(
        smooth_component(c.camera_eye.y, c.camera_eye_target.y, k, d, clamp, c.camera_eye_velocity.y));
    c.camera_eye.z = static_cast<float>(
        smooth_component(c.camera_eye.z, c.camera_eye_target.z, k, d, clamp, c.camera_eye_velocity.z));
    c.camera_look.x =
        smooth_component(c.camera_look.x, c.camera_look_target.x, k, d, clamp, c.camera_look_velocity.x);
    c.camera_look.y =
        smooth_component(c.camera_look.y, c.camera_look_target.y, k, d, clamp, c.camera_look_velocity.y);
    c.camera_look.z =
        smooth_component(c.camera_look.z, c.camera_look_target.z, k, d, clamp, c.camera_look_velocity.z);
    update_angles();
}

Vec3 camera_eye_get() {
    return camera_state.camera_eye;
}
void camera_eye_put(float x, float y, float z) {
    camera_state.camera_eye = Vec3{x, y, z};
}
Vec3 camera_angles_get() {
    return camera_state.camera_angles;
}
void camera_angles_put(float pitch, float yaw, float roll) {
    camera_state.camera_angles = Vec3{pitch, yaw, roll};
}

void view_center_put(float horizontal, float vertical) {
    camera_state.view_center[0] = horizontal;
    camera_state.view_center[1] = vertical;
}

void projection_put(float horizontal, float vertical, float depth_factor) {
    camera_state.projection[0] = horizontal;
    camera_state.projection[1] = vertical;
    camera_state.projection[2] = depth_factor;
}

void camera_reset_all() {
    camera_state = CameraState();
}

void look_at_angles(float eye_x, float eye_y, float eye_z, float target_x, float target_y, float target_z,
                    float& pitch, float& yaw, float& roll) {
    const float dx = target_x - eye_x;
    const float dy = target_y - eye_y;
    const float dz = target_z - eye_z;
    // Below this the direction has no usable horizontal component: fixed angles instead of atan(x/0).
    const float tiny = 0.00002f;

    double y;
    if (std::fabs(dx) > tiny) {
        const double m = std::atan(std::fabs(dz) / std::fabs(dx)) * RAD_TO_DEG;
        if (dz > 0) {
            y = dx >= 0 ? 90 - m : m + 270;
        } else if (dz < 0) {
            y = m;
        } else {
            y = dx > 0 ? 90 : (dx < 0 ? 270 : 0);
        }
        if (dz < 0) y = dx < 0 ? 270 - y : y + 90;
    } else {
        y = dz >= 0 ? 0 : 180;
    }
    yaw = static_cast<float>(y);
    roll = 0;

    const double h = std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dz) * dz);
    if (h > tiny) {
        const double a = std::atan(std::fabs(dy) / h) * RAD_TO_DEG;
        pitch = static_cast<float>(dy > 0 ? 360 - a : (dy < 0 ? a : 0));
    } else {
        pitch = dy > 0 ? 270.0f : (dy < 0 ? 90.0f : 0.0f);
    }
}

ViewTransform view_transform_make(Vec3 eye, Vec3 angles, const float projection[3],
                                  const float view_center[2], int width, int height) {
    ViewTransform v{};
    v.eye_x = eye.x;
    v.eye_y = eye.y;
    v.eye_z = eye.z;
    const double pitch = angles.x * DEG_TO_RAD;
    const double yaw = -angles.y * DEG_TO_RAD;
    const double roll = angles.z * DEG_TO_RAD;
    v.cos_yaw = static_cast<float>(std::cos(yaw));
    v.sin_yaw = static_cast<float>(std::sin(yaw));
    v.cos_pitch = static_cast<float>(std::cos(pitch));
    v.sin_pitch = static_cast<float>(std::sin(pitch));
    v.cos_roll = static_cast<float>(std::cos(roll));
    v.sin_roll = static_cast<float>(std::sin(roll));
    v.rotated = angles.x != 0 || angles.y != 0 || angles.z != 0;
    v.rolled = angles.z != 0;
    v.depth_factor = projection[2];
    // Extents of 0 mean the defaults: a full-width view and the 16:9 height.
    const float sx0 = projection[0] != 0 ? projection[0] : 1.0f;
    const float sy0 = projection[1] != 0 ? projection[1] : 0.5625f;
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    v.center_x = w * 0.5f + w * view_center[0];
    v.center_y = h * 0.5f + h * view_center[1];
    v.scale_x = w / sx0;
    v.scale_y = h / sy0;
    return v;
}

ViewTransform view_transform_from_camera(int width, int height) {
    const CameraState& c = camera_state;
    return view_transform_make(c.camera_eye, c.camera_angles, c.projection, c.view_center, width, height);
}
