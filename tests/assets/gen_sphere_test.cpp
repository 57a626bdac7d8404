// Spheres and particle emitter set-up.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "assets/gen_sphere.h"
#include "geometry_test_util.h"

namespace {

using geomtest::extent;
using geomtest::open_edges;
using geomtest::tri_count;

class GenSphereTest : public testing::Test {
  protected:
    void SetUp() override { obj_table_reset_all(); }
    void TearDown() override { obj_table_reset_all(); }
};

TEST_F(GenSphereTest, EightSegmentsGive128TrianglesFromTheBottomPole) {
    gen_sphere(3, 8, 4, 1.0f, 2.0f, 3.0f);
    ASSERT_EQ(tri_count(3, 0), 128);
    const PartArrays& pa = obj_table.parts[3];
    EXPECT_EQ(pa.texture[0], 4);
    const float* t = pa.tri_local[0].data();
    // P(0, 0), P(0, 1), P(1, 1): two corners on the bottom pole, the third on the first ring.
    EXPECT_FLOAT_EQ(t[1], -2.0f);
    EXPECT_FLOAT_EQ(t[4], -2.0f);
    EXPECT_FLOAT_EQ(t[0], 0.0f);
    EXPECT_FLOAT_EQ(t[2], 0.0f);
    EXPECT_FLOAT_EQ(t[7], static_cast<float>(std::sin(M_PI / 8 - M_PI / 2) * 2));
    const float* uv = pa.tri_uv[0].data();
    EXPECT_FLOAT_EQ(uv[0], 0.0f);
    EXPECT_FLOAT_EQ(uv[1], 1.0f);  // ring 0: v = 1
    EXPECT_FLOAT_EQ(uv[2], 1.0f / 8);
    EXPECT_FLOAT_EQ(uv[5], 1.0f - 1.0f / 8);
    // The last triangle touches the top pole.
    EXPECT_FLOAT_EQ(t[127 * 9 + 7], 2.0f);
    const geomtest::Box3 b = extent(3, 0);
    EXPECT_NEAR(b.max.x, 1.0f, 1e-6);
    EXPECT_NEAR(b.min.x, -1.0f, 1e-6);
    EXPECT_NEAR(b.max.z, 3.0f, 0.25f);  // 8 segments reach z = 3 sin(90 deg) on a ring point
    EXPECT_FLOAT_EQ(b.max.y, 2.0f);
}

TEST_F(GenSphereTest, SurfaceIsClosedAcrossTheSeamAndAtThePoles) {
    for (int n : {3, 8, 13, 32}) {
        gen_sphere(1, n, 0, 1.5f, 1.0f, 0.7f);
        ASSERT_EQ(tri_count(1, 0), 2 * n * n);
        EXPECT_EQ(open_edges(obj_table.parts[1].tri_local[0].data(), 2 * n * n), 0) << n << " segments";
        // The seam's u runs to 1 on the repeated point.
        const float* uv = obj_table.parts[1].tri_uv[0].data();
        EXPECT_FLOAT_EQ(uv[((n - 1) * 2) * 6 + 2], 1.0f) << n;
    }
}

TEST_F(GenSphereTest, FewerThanThreeSegmentsAreRaisedAndIdsBelowOneStoreNothing) {
    gen_sphere(1, 1, 0, 1, 1, 1);
    gen_sphere(2, 3, 0, 1, 1, 1);
    ASSERT_EQ(tri_count(1, 0), 18);
    EXPECT_EQ(obj_table.parts[1].tri_local[0], obj_table.parts[2].tri_local[0]);
    gen_sphere(0, 8, 0, 1, 1, 1);
    EXPECT_FALSE(obj_table.has_geometry[0]);
    gen_sphere(4, GEN_SPHERE_MAX_SEGMENTS + 1, 0, 1, 1, 1);
    EXPECT_TRUE(!obj_valid(4) || !obj_table.has_geometry[4]);
}

TEST_F(GenSphereTest, NewEmitterLaysOutQuadsAndRecords) {
    std::srand(7);
    emitter_setup(5, 9, 4, 1, 2, 3, 0.1f, 0.2f, 0.3f, 4, 5, 6, 2.0f, 0.5f);
    const ObjectTable& t = obj_table;
    EXPECT_EQ(t.particle_count[5], 4);
    EXPECT_EQ(t.particle_flags[5], 0);
    EXPECT_FLOAT_EQ(t.position[5].x, 1);
    EXPECT_FLOAT_EQ(t.position[5].z, 3);
    EXPECT_FLOAT_EQ(t.particle_spread[5].y, 0.2f);
    EXPECT_FLOAT_EQ(t.particle_life[5], 2.0f);
    EXPECT_FLOAT_EQ(t.particle_size[5], 0.5f);
    ASSERT_EQ(tri_count(5, 0), 8);
    const PartArrays& pa = t.parts[5];
    EXPECT_EQ(pa.texture[0], 9);
    for (float v : pa.tri_local[0]) EXPECT_EQ(v, 0.0f);
    const std::vector<float> quad_uv = {0, 1, 1, 1, 1, 0, 0, 1, 1, 0, 0, 0};
    EXPECT_EQ(std::vector<float>(pa.tri_uv[0].begin() + 12, pa.tri_uv[0].begin() + 24), quad_uv);
    ASSERT_EQ(pa.tri_shade[0].size(), static_cast<size_t>(8 * TRI_SHADE_FLOATS));
    for (float v : pa.tri_shade[0]) EXPECT_EQ(v, 1.0f);
    ASSERT_GE(t.particles[5].size(), static_cast<size_t>(4 * PARTICLE_FLOATS + 4));
    for (int i = 0; i < 4; ++i) {
        const float* p = &t.particles[5][static_cast<size_t>(i) * PARTICLE_FLOATS];
        uint32_t bits;
        std::memcpy(&bits, &p[PARTICLE_X], 4);
        EXPECT_EQ(bits, 0xD51184E7u);
        EXPECT_EQ(p[PARTICLE_Y], PARTICLE_UNEMITTED);
        EXPECT_EQ(p[PARTICLE_Z], PARTICLE_UNEMITTED);
        EXPECT_EQ(p[PARTICLE_RED], 4.0f);  // fixed: the values as given
        EXPECT_EQ(p[PARTICLE_BLUE], 6.0f);
        EXPECT_GE(p[PARTICLE_AGE], 0.0f);
        EXPECT_LT(p[PARTICLE_AGE], 2.0f);
        EXPECT_EQ(p[7] + p[8] + p[9], 0.0f);
    }
}

TEST_F(GenSphereTest, SameCountKeepsParticlesAndADifferentCountRestartsThem) {
    emitter_setup_ex(5, 0, 0, 0, 1, 1, 1, 0x80, 1, 1, 1, 3.0f, 2, 0.1f, 6, 1);
    EXPECT_EQ(obj_table.particle_flags[5], 0x80);
    obj_table.particles[5][0] = 42.0f;  // a particle in flight
    obj_table.parts[5].dirty[0] = 0;
    emitter_setup(5, 8, 6, 7, 8, 9, 2, 2, 2, 0, 0, 0, 5.0f, 0.3f);
    EXPECT_EQ(obj_table.particles[5][0], 42.0f);
    EXPECT_EQ(obj_table.particle_flags[5], 0);
    EXPECT_FLOAT_EQ(obj_table.position[5].y, 8);
    EXPECT_FLOAT_EQ(obj_table.particle_life[5], 5.0f);
    EXPECT_FLOAT_EQ(obj_table.particle_spread[5].x, 2);
    EXPECT_EQ(obj_table.parts[5].texture[0], 8);
    EXPECT_EQ(obj_table.parts[5].dirty[0], 2);  // only moved, not rebuilt

    emitter_setup(5, 8, 7, 7, 8, 9, 2, 2, 2, 0, 0, 0, 5.0f, 0.3f);
    EXPECT_EQ(obj_table.particle_count[5], 7);
    EXPECT_EQ(tri_count(5, 0), 14);
    EXPECT_EQ(obj_table.particles[5][0], PARTICLE_UNEMITTED);
}

TEST_F(GenSphereTest, AgesAreStaggeredByLifeAndVelocitiesRandomisedOnRequest) {
    std::srand(1);
    emitter_setup(2, 0, 50, 0, 0, 0, 0, 0, 0, 1, 1, 1, 0.0f, 0.1f);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(obj_table.particles[2][static_cast<size_t>(i) * 10 + 6], 0.0f);

    emitter_setup_ex(3, 0, 0, 0, 0, 0, 0, 0, 2.0f, -4.0f, 0.0f, 10.0f, 0, 0.1f, 200, 0);
    bool varied = false;
    for (int i = 0; i < 200; ++i) {
        const float* p = &obj_table.particles[3][static_cast<size_t>(i) * 10];
        // Half the given speed plus up to half a unit.
        EXPECT_GE(p[3], 1.0f);
        EXPECT_LT(p[3], 1.5f);
        EXPECT_GE(p[4], -2.0f);
        EXPECT_LT(p[4], -1.5f);
        EXPECT_GE(p[5], 0.0f);
        EXPECT_LT(p[5], 0.5f);
        EXPECT_LT(p[6], 10.0f);
        varied = varied || p[3] != obj_table.particles[3][3] || p[6] != obj_table.particles[3][6];
    }
    EXPECT_TRUE(varied);
    // Refused counts leave no emitter.
    emitter_setup(4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1);
    emitter_setup(4, 0, EMITTER_MAX_PARTICLES + 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1);
    EXPECT_TRUE(!obj_valid(4) || obj_table.particle_count[4] == 0);
}

}  // namespace
