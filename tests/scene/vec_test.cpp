// Vector helpers: rotation orders, point-line and point-segment distances with degenerate lines,
// normalisation, angle differences across the wrap, text lengths and saturating truncation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "scene/vec.h"

namespace {

struct P {
    float x, y, z;
};
P rotated(P p, float ax, float ay, float az, int order) {
    rotate_point(p.x, p.y, p.z, ax, ay, az, order);
    return p;
}
void expect_near(P a, P b) {
    EXPECT_NEAR(a.x, b.x, 1e-5);
    EXPECT_NEAR(a.y, b.y, 1e-5);
    EXPECT_NEAR(a.z, b.z, 1e-5);
}

TEST(RotatePoint, EachOrderAppliesItsAxesInSequence) {
    // At 90 degrees the single rotations of (x, y, z) are X: (x, -z, y), Y: (z, y, -x), Z: (-y, x, z).
    const P p{1, 2, 3};
    expect_near(rotated(p, 90, 90, 90, 0), P{3, 2, -1});  // X-Y-Z
    expect_near(rotated(p, 90, 90, 90, 1), P{-1, 3, 2});  // Y-X-Z
    expect_near(rotated(p, 90, 90, 90, 2), P{3, -2, 1});  // Z-Y-X
    expect_near(rotated(p, 90, 90, 90, 3), P{-2, 1, 3});  // Y-Z-X
    expect_near(rotated(p, 90, 90, 90, 4), P{2, 1, -3});  // X-Z-Y
    expect_near(rotated(p, 90, 90, 90, 5), P{1, -3, 2});  // Z-X-Y
    expect_near(rotated(p, 90, 90, 90, -1), P{1, -3, 2});
    expect_near(rotated(p, 0, 90, 0, 2), P{3, 2, -1});
}

TEST(RotatePoint, ZeroAnglesAreSkippedEntirely) {
    // Multiplying by cos 0 and sin 0 would still turn an infinite z into a NaN y.
    P p{1, 2, INFINITY};
    p = rotated(p, 0, 0, 0, 0);
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.y, 2.0f);
}

TEST(Distances, PointToLineAndSegment) {
    EXPECT_NEAR(point_line_distance(0, 0, 0, 10, 0, 0, 5, 3, 4), 5.0f, 1e-6);
    EXPECT_NEAR(point_line_distance(0, 0, 0, 1, 0, 0, -7, 0, 2), 2.0f, 1e-6);  // the line is infinite
    EXPECT_NEAR(point_line_distance(1, 1, 1, 1, 1, 1, 4, 5, 1), 5.0f, 1e-6);   // degenerate: to A
    EXPECT_TRUE(point_line_within(0, 0, 0, 10, 0, 0, 5, 3, 4, 25.01f));
    EXPECT_FALSE(point_line_within(0, 0, 0, 10, 0, 0, 5, 3, 4, 25.0f));
    EXPECT_NEAR(point_segment_distance_2d(5, 3, 0, 0, 10, 0), 3.0f, 1e-6);
    EXPECT_NEAR(point_segment_distance_2d(-3, 4, 0, 0, 10, 0), 5.0f, 1e-6);  // clamped to A
    EXPECT_NEAR(point_segment_distance_2d(13, 4, 0, 0, 10, 0), 5.0f, 1e-6);  // clamped to B
    EXPECT_NEAR(point_segment_distance_2d(3, 4, 0, 0, 0, 0), 5.0f, 1e-6);    // zero length
    EXPECT_TRUE(point_segment_within_2d(5, 3, 0, 0, 10, 0, 9.5f));
    EXPECT_FALSE(point_segment_within_2d(5, 3, 0, 0, 10, 0, 9.0f));
}

TEST(Normalize3, UnitLengthAndZeroVectorKept) {
    float x = 3, y = 0, z = 4;
    normalize3(x, y, z);
    EXPECT_NEAR(x, 0.6f, 1e-6);
    EXPECT_NEAR(z, 0.8f, 1e-6);
    x = y = z = 0;
    normalize3(x, y, z);
    EXPECT_EQ(x, 0.0f);
    EXPECT_FALSE(std::isnan(y));
}

TEST(AngleDifference, WrapsIntoHalfCircles) {
    EXPECT_EQ(angle_difference(350, 10), 20.0f);
    EXPECT_EQ(angle_difference(10, 350), -20.0f);
    EXPECT_EQ(angle_difference(0, 180), 180.0f);
    EXPECT_EQ(angle_difference(-720, 725), 5.0f);
    EXPECT_NEAR(angle_difference(0, 1e9f), std::fmod(1e9f, 360.0f) - 360.0f, 1e-3);  // finishes
    EXPECT_TRUE(std::isnan(angle_difference(0, NAN)));
}

TEST(TextLength, BytesAndWideUnits) {
    EXPECT_EQ(text_length("Velmorine"), 9u);
    EXPECT_EQ(text_length(""), 0u);
    EXPECT_EQ(text_length(nullptr), 0u);
    const uint16_t wide[] = {0x48, 0x151, 0xFFFF, 0};
    EXPECT_EQ(wide_text_length(wide), 6u);
    EXPECT_EQ(wide_text_length(nullptr), 0u);
}

TEST(Truncation, TowardZeroAndSaturating) {
    EXPECT_EQ(trunc_to_int(-1.9f), -1);
    EXPECT_EQ(trunc_to_int(2.9f), 2);
    EXPECT_EQ(trunc_to_int(-1e13f), -2147483647 - 1);
    EXPECT_EQ(trunc_to_int(1e13f), 2147483520);
    EXPECT_EQ(trunc_to_int(INFINITY), 2147483520);
    volatile float nan = NAN;  // any defined value will do; the point is no undefined conversion
    (void)trunc_to_int(nan);
    EXPECT_EQ(trunc_to_int_above(2.0f), 3);
    EXPECT_EQ(trunc_to_int_above(-0.5f), 1);
    EXPECT_EQ(trunc_to_int_above(1e13f), 2147483521);
}

}  // namespace
