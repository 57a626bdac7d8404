// Vector helpers shared across the engine. Pure functions: any thread.
#include "scene/vec.h"

#include <cmath>

namespace {

void rotate_axis(int axis, float angle, float& x, float& y, float& z) {
    if (angle == 0.0f) return;
    const double rad = angle * DEG_TO_RAD;
    const float c = static_cast<float>(std::cos(rad));
    const float s = static_cast<float>(std::sin(rad));
    if (axis == 0) {
        rotate_about_x(c, s, y, z);
    } else if (axis == 1) {
        rotate_about_y(c, s, x, z);
    } else {
        rotate_about_z(c, s, x, y);
    }
}

}  // namespace

void rotate_point(float& x, float& y, float& z, float ax, float ay, float az, int order) {
    // Axis sequence per order, written as axis numbers (0 X, 1 Y, 2 Z).
    static const int sequences[6][3] = {{0, 1, 2}, {1, 0, 2}, {2, 1, 0}, {1, 2, 0}, {0, 2, 1}, {2, 0, 1}};
    const int* seq = sequences[(order >= 0 && order <= 4) ? order : 5];
    const float angles[3] = {ax, ay, az};
    for (int i = 0; i < 3; ++i) rotate_axis(seq[i], angles[seq[i]], x, y, z);
}

namespace {

// Squared distance from C to the line through A and B, with a degenerate line measured to A.
float point_line_distance_sq(float ax, float ay, float az, float bx, float by, float bz, float cx, float cy,
                             float cz) {
    const float ux = bx - ax, uy = by - ay, uz = bz - az;
    const float wx = cx - ax, wy = cy - ay, wz = cz - az;
    const float len_sq = ux * ux + uy * uy + uz * uz;
    if (len_sq == 0.0f) return wx * wx + wy * wy + wz * wz;
    const float px = uy * wz - uz * wy;
    const float py = uz * wx - ux * wz;
    const float pz = ux * wy - uy * wx;
    return (px * px + py * py + pz * pz) / len_sq;
}

float point_segment_distance_sq_2d(float px, float py, float ax, float ay, float bx, float by) {
    const float ux = bx - ax, uy = by - ay;
    const float len_sq = ux * ux + uy * uy;
    float t = 0.0f;
    if (len_sq != 0.0f) {
        t = ((px - ax) * ux + (py - ay) * uy) / len_sq;
        if (t < 0.0f) t = 0.0f;
        if (t > 1.0f) t = 1.0f;
    }
    const float dx = ax + t * ux - px;
    const float dy = ay + t * uy - py;
    return dx * dx + dy * dy;
}

}  // namespace

float point_line_distance(float ax, float ay, float az, float bx, float by, float bz, float cx, float cy,
                          float cz) {
    return std::sqrt(point_line_distance_sq(ax, ay, az, bx, by, bz, cx, cy, cz));
}

bool point_line_within(float ax, float ay, float az, float bx, float by, float bz, float cx, float cy,
                       float cz, float limit_sq) {
    return point_line_distance_sq(ax, ay, az, bx, by, bz, cx, cy, cz) < limit_sq;
}

float point_segment_distance_2d(float px, float py, float ax, float ay, float bx, float by) {
    return std::sqrt(point_segment_distance_sq_2d(px, py, ax, ay, bx, by));
}

bool point_segment_within_2d(float px, float py, float ax, float ay, float bx, float by, float limit_sq) {
    return point_segment_distance_sq_2d(px, py, ax, ay, bx, by) < limit_sq;
}

void normalize3(float& x, float& y, float& z) {
    const float len = std::sqrt(x * x + y * y + z * z);
    if (!(len > 0.0f) || !std::isfinite(len)) return;
    const float inv = 1.0f / len;
    x *= inv;
    y *= inv;
    z *= inv;
}

float angle_difference(float a, float b) {
    float d = b - a;
    // Huge differences would make the 360 steps below endless (d - 360 == d); fold them first.
    if (std::fabs(d) > 720.0f) d = std::fmod(d, 360.0f);
    while (d > 180.0f) d -= 360.0f;
    while (d < -180.0f) d += 360.0f;
    return d;
}

size_t text_length(const char* text) {
    if (!text) return 0;
    size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

size_t wide_text_length(const uint16_t* text) {
    if (!text) return 0;
    size_t n = 0;
    while (text[n] != 0) ++n;
    return n * 2;
}
