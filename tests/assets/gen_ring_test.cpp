// Rings, the fixed hoop ring, baking with the shared transform, and the wheel.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "assets/gen_box.h"
#include "assets/gen_ring.h"
#include "geometry_test_util.h"
#include "scene/transform.h"

namespace {

using geomtest::extent;
using geomtest::open_edges;
using geomtest::tri_count;

class GenRingTest : public testing::Test {
  protected:
    void SetUp() override {
        obj_table_reset_all();
        free_id_search = FreeIdSearch{};
    }
    void TearDown() override { obj_table_reset_all(); }
};

TEST_F(GenRingTest, FlatDiscOfTwentySegments) {
    gen_ring(2, 1, 1.0f, 0.0f, 0.0f, 20);
    ASSERT_EQ(tri_count(2, 1), 40);
    const PartArrays& pa = obj_table.parts[2];
    EXPECT_TRUE(pa.tri_uv[1].empty());
    EXPECT_EQ(pa.texture[1], 0);
    const float* t = pa.tri_local[1].data();
    for (int v = 0; v < 120; ++v) EXPECT_EQ(t[v * 3 + 2], 0.0f);
    // The first step starts at angle 0: the outer point (sin 0, cos 0) x r.
    EXPECT_FLOAT_EQ(t[0], 0.0f);
    EXPECT_FLOAT_EQ(t[1], 1.0f);
    EXPECT_FLOAT_EQ(t[6], static_cast<float>(std::sin(18 * M_PI / 180)));
    const geomtest::Box3 b = extent(2, 1);
    EXPECT_NEAR(b.min.y, -1.0f, 1e-6);
}

TEST_F(GenRingTest, TrianglesPerStepFollowThicknessAndInnerRadius) {
    gen_ring(1, 0, 1.0f, 0.3f, 0.0f, 10);
    gen_ring(1, 1, 1.0f, 0.0f, 0.1f, 10);
    gen_ring(1, 2, 1.0f, 0.3f, 0.1f, 10);
    EXPECT_EQ(tri_count(1, 0), 20);
    EXPECT_EQ(tri_count(1, 1), 60);
    EXPECT_EQ(tri_count(1, 2), 80);
    const geomtest::Box3 b = extent(1, 2);
    EXPECT_FLOAT_EQ(b.max.z, 0.05f);
    EXPECT_FLOAT_EQ(b.min.z, -0.05f);
    // The thick hollow ring is closed: front, back and both edges meet, also across the seam.
    EXPECT_EQ(open_edges(obj_table.parts[1].tri_local[2].data(), 80), 0);
    // Refusals.
    gen_ring(3, 0, 1, 0, 0, 0);
    gen_ring(3, -1, 1, 0, 0, 8);
    gen_ring(0, 0, 1, 0, 0, 8);
    EXPECT_TRUE(!obj_valid(3) || !obj_table.has_geometry[3]);
    EXPECT_TRUE(!obj_table.has_geometry[0]);
}

TEST_F(GenRingTest, HoopRingStepsInWholeDegrees) {
    gen_hoop_ring(4);
    ASSERT_EQ(tri_count(4, 0), 128);
    const float* t = obj_table.parts[4].tri_local[0].data();
    const auto point = [](double deg, double r) {
        return std::vector<float>{static_cast<float>(std::sin(deg * M_PI / 180) * r),
                                  static_cast<float>(std::cos(deg * M_PI / 180) * r)};
    };
    // Step 2 runs from 22 to 45 degrees; its first triangle is (Po, Pi, Co) at z = +0.025.
    const float* s2 = t + 8 * 9;
    EXPECT_NEAR(s2[0], point(22, 0.3)[0], 1e-6);
    EXPECT_NEAR(s2[1], point(22, 0.3)[1], 1e-6);
    EXPECT_NEAR(s2[3], point(22, 0.27)[0], 1e-6);
    EXPECT_NEAR(s2[6], point(45, 0.3)[0], 1e-6);
    EXPECT_FLOAT_EQ(s2[2], 0.025f);
    // Triangle 3 of a step is the back face, 5 and 6 the outer edge, 7 and 8 the inner edge.
    EXPECT_FLOAT_EQ(s2[2 * 9 + 2], -0.025f);
    const float* outer = s2 + 4 * 9;  // (Po+, Co+, Co-)
    EXPECT_NEAR(std::hypot(outer[0], outer[1]), 0.3, 1e-6);
    EXPECT_NEAR(outer[3], point(45, 0.3)[0], 1e-6);
    EXPECT_FLOAT_EQ(outer[5], 0.025f);
    EXPECT_FLOAT_EQ(outer[8], -0.025f);
    const float* inner = s2 + 6 * 9;  // (Pi+, Ci+, Ci-)
    EXPECT_NEAR(std::hypot(inner[0], inner[1]), 0.27, 1e-6);
    EXPECT_EQ(open_edges(t, 128), 0);
    gen_hoop_ring(0);
    EXPECT_FALSE(obj_table.has_geometry[0]);
}

TEST_F(GenRingTest, BakingShiftsTheSourcePartsIntoNewParts) {
    gen_box_tex(10, 1, 1, 1, 3);
    gen_ring(10, 1, 1, 0, 0, 6);
    obj_set_position(10, 1, 0, 0);
    EXPECT_EQ(obj_bake(11, 10), 2);
    ASSERT_EQ(obj_table.part_count[11], 2);
    for (int p = 0; p < 2; ++p) {
        const std::vector<float>& src = obj_table.parts[10].tri_local[static_cast<size_t>(p)];
        const std::vector<float>& dst = obj_table.parts[11].tri_local[static_cast<size_t>(p)];
        ASSERT_EQ(tri_count(11, p), tri_count(10, p));
        for (int i = 0; i < tri_count(10, p) * 9; ++i)
            EXPECT_EQ(dst[static_cast<size_t>(i)], src[static_cast<size_t>(i)] + (i % 3 == 0 ? 1.0f : 0.0f));
    }
    EXPECT_EQ(obj_table.parts[11].texture[0], 3);
    EXPECT_EQ(obj_table.parts[11].tri_uv[0], obj_table.parts[10].tri_uv[0]);
    // The source is unchanged, and a second bake appends after the parts already there.
    EXPECT_FLOAT_EQ(extent(10, 0).min.x, -0.5f);
    obj_bake(11, 10);
    EXPECT_EQ(obj_table.part_count[11], 4);
    EXPECT_EQ(obj_table.parts[11].tri_local[2], obj_table.parts[11].tri_local[0]);
}

TEST_F(GenRingTest, BakedCopyMatchesThePlacedSourceUnderTheSharedTransform) {
    gen_box(20, 0.6f, 0.2f, 0.1f);
    obj_set_scale(20, 2, 1, 0.5f);
    obj_set_rotation(20, 10, 30, 45);
    obj_set_position(20, -3, 2, 5);
    obj_bake(21, 20);
    std::vector<float> placed = obj_table.parts[20].tri_local[0];
    object_transform_triangles(object_transform_of(20), placed.data(), placed.data(), 12);
    EXPECT_EQ(obj_table.parts[21].tri_local[0], placed);
    // Nothing is written for a target below 1 or from a source without geometry.
    EXPECT_EQ(obj_bake(0, 20), 1);
    EXPECT_FALSE(obj_table.has_geometry[0]);
    EXPECT_EQ(obj_bake(21, 22), 0);
    EXPECT_EQ(obj_table.part_count[21], 1);
}

TEST_F(GenRingTest, BakingAnObjectIntoItselfCopiesItsPartsOnce) {
    gen_ring(5, 0, 1, 0.5f, 0.1f, 32);
    obj_set_position(5, 0, 1, 0);
    EXPECT_EQ(obj_bake(5, 5), 1);
    ASSERT_EQ(obj_table.part_count[5], 2);
    EXPECT_FLOAT_EQ(extent(5, 1).min.y, extent(5, 0).min.y + 1);
}

TEST_F(GenRingTest, WheelHasHubRimAndTwelveSpokeBoxes) {
    gen_wheel(30, 0.04f);
    ASSERT_EQ(obj_table.part_count[30], 14);
    EXPECT_EQ(tri_count(30, 0), 20 * 6);  // thick disc
    EXPECT_EQ(tri_count(30, 1), 20 * 8);  // thick rim
    for (int p = 2; p < 14; ++p) EXPECT_EQ(tri_count(30, p), 12);
    // The spoke box at 90 degrees stands upright: 0.63 long in y.
    const geomtest::Box3 b = extent(30, 8);
    EXPECT_NEAR(b.max.y, 0.315f, 1e-5);
    EXPECT_NEAR(b.max.x, 0.02f, 1e-5);
    // The scratch object went back to the free pool, without its last rotation.
    const ObjectId scratch = 1;
    EXPECT_FALSE(obj_table.has_geometry[scratch]);
    EXPECT_EQ(obj_table.rotation[scratch].z, 0.0f);
    EXPECT_EQ(obj_free_id(), 2);
}

}  // namespace
