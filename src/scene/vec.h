// Small value types and vector helpers shared by the scene, the renderer and the builders.
// Pure functions on their arguments: any thread may call them.
#pragma once

#include <cstddef>
#include <cstdint>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

struct Vec3 {
    float x, y, z;
};
struct Vec3i {
    int x, y, z;
};
struct Vec3d {
    double x, y, z;
};
struct Color4 {
    float r, g, b, a;
};

// Degrees are the unit of every stored angle; radians exist only at the sin/cos call.
constexpr double DEG_TO_RAD = 0.017453292519943295;
// Angles derived from vectors come back through this factor (not 180/pi): the view angles, and the
// skinning that compares them, were tuned with it.
constexpr double RAD_TO_DEG = 57.32484;

// Float to int, truncating toward zero like a C cast, but clamped first so that no value is out of
// the int range: boxes of parked particles sit at -1e13 and must not turn a truncation into undefined
// behaviour. The result lies in -2^31 .. 2147483520 (the largest float below 2^31); a NaN gives some
// value in that range (never a trap or undefined behaviour).
// The clamp uses the SSE min/max instructions where there are any (box updates run this six times per
// part, and branches there cost more than the rest of the update).
inline int trunc_to_int(float v) {
#if defined(__SSE__)
    const __m128 c =
        _mm_min_ss(_mm_max_ss(_mm_set_ss(v), _mm_set_ss(-2147483648.0f)), _mm_set_ss(2147483520.0f));
    return _mm_cvttss_si32(c);
#else
    float c = v > -2147483648.0f ? v : -2147483648.0f;
    c = c < 2147483520.0f ? c : 2147483520.0f;
    return static_cast<int>(c);
#endif
}

// The integer form of a box maximum: truncated toward zero plus 1, so the integer box covers the
// float box's upper end.
inline int trunc_to_int_above(float v) {
    return trunc_to_int(v) + 1;
}

// Rotations of one point about one axis by an angle whose cosine c and sine s are given. These are the
// engine's only rotation formulas: the object transform, rotate_point and the skinning use them.
inline void rotate_about_x(float c, float s, float& y, float& z) {
    const float ny = c * y - s * z;
    const float nz = c * z + s * y;
    y = ny;
    z = nz;
}
inline void rotate_about_y(float c, float s, float& x, float& z) {
    const float nz = c * z - s * x;
    const float nx = c * x + s * z;
    z = nz;
    x = nx;
}
inline void rotate_about_z(float c, float s, float& x, float& y) {
    const float nx = c * x - s * y;
    const float ny = c * y + s * x;
    x = nx;
    y = ny;
}

// Rotates (x, y, z) in place by ax, ay, az degrees about their own axes; zero angles are skipped.
// order: 0 X-Y-Z, 1 Y-X-Z, 2 Z-Y-X, 3 Y-Z-X, 4 X-Z-Y, anything else Z-X-Y.
void rotate_point(float& x, float& y, float& z, float ax, float ay, float az, int order);

// Distance from C to the infinite line through A and B. When A and B coincide the line is a point
// and the distance to A is returned.
float point_line_distance(float ax, float ay, float az, float bx, float by, float bz, float cx, float cy,
                          float cz);
// Whether the squared distance above is below limit_sq.
bool point_line_within(float ax, float ay, float az, float bx, float by, float bz, float cx, float cy,
                       float cz, float limit_sq);

// Distance in the plane from P to the segment A..B (projection parameter clamped to 0..1; a segment
// of zero length measures to A).
float point_segment_distance_2d(float px, float py, float ax, float ay, float bx, float by);
bool point_segment_within_2d(float px, float py, float ax, float ay, float bx, float by, float limit_sq);

// Scales (x, y, z) to unit length in place; a zero vector (or one with a non-finite length) is left
// as it is rather than turned into NaNs.
void normalize3(float& x, float& y, float& z);

// b - a in degrees, brought into -180..180.
float angle_difference(float a, float b);

// Length of a zero-terminated byte string; 0 for a null pointer.
size_t text_length(const char* text);
// Length in bytes (2 per unit) of a string of 16-bit units ending with a zero unit; 0 for null.
size_t wide_text_length(const uint16_t* text);
