// Lights and vertex lighting: the light table setters, the grid, light_part's intensity rule, ambient,
// vertex sharing and its thread split, the periodic rule and shadow voxels; and the motion pass: falling,
// resting on boxes and surfaces, support records.
#include <gtest/gtest.h>

#include <cmath>

#include "core/frame_stats.h"
#include "render/frame_flags.h"
#include "render/geometry/geometry.h"
#include "render/lights/lights.h"
#include "render/lights/vertex_lighting.h"
#include "render/update/motion.h"
#include "scene/transform.h"
#include "update_test_util.h"

namespace {

class Lights : public testing::Test {
  protected:
    void SetUp() override { utest::reset(1); }
    void TearDown() override { utest::reset(1); }
};

// A lit part of one triangle with its first corner at p (the others 0.001 away), transformed.
void lit_vertex(ObjectId id, float x, float y, float z) {
    std::vector<float> tris;
    utest::add_marker(tris, x, y, z);
    tris[3] = x + 0.001f;
    tris[7] = y + 0.001f;
    obj_set_part_triangles(id, 0, tris.data(), nullptr, nullptr, 0, 1);
    obj_set_part_shading(id, 0, 1, 0, 1);
}

float red_of(ObjectId id, int vertex) {
    return obj_table.parts[static_cast<size_t>(id)].tri_shade[0][static_cast<size_t>(vertex) * 4];
}

TEST_F(Lights, IntensityFallsToNothingAtTheRadius) {
    set_ambient(0, 0, 0);
    lit_vertex(1, 0.5f, 0, 0);
    lit_vertex(2, 1.0f, 0, 0);
    light_set(0, 1, 1, 0.5f, 0, 1.0f, 0, 0, 0);
    render_scene();
    EXPECT_FLOAT_EQ(red_of(1, 0), 128 * 0.00392156863f);
    EXPECT_FLOAT_EQ(obj_table.parts[1].tri_shade[0][1], 64 * 0.00392156863f);  // 0.5 x 128
    EXPECT_EQ(obj_table.parts[1].tri_shade[0][2], 0.0f);
    EXPECT_EQ(obj_table.parts[1].tri_shade[0][3], 1.0f);  // alpha untouched
    EXPECT_EQ(red_of(2, 0), 0.0f);                        // exactly at the radius
}

TEST_F(Lights, AmbientWhiteKeepsLitVerticesWhite) {
    lit_vertex(1, 0.2f, 0, 0);
    light_set(0, 1, 1, 1, 1, 1.0f, 0, 0, 0);
    light_set(1, 1, -3, 0, 0, 1.0f, 5, 5, 5);  // out of reach
    render_scene();
    for (int v = 0; v < 3; ++v) EXPECT_FLOAT_EQ(red_of(1, v), 255 * 0.00392156863f);
    set_ambient(0.5f, 0.5f, 0.5f);
    light_set(1, 1, -3, 0, 0, 1.0f, 0.2f, 0, 0);  // a negative light takes away, clamped at 0
    frame_flags.frame_counter = 3;                // the next frame relights the kept parts
    render_scene();
    EXPECT_EQ(red_of(1, 0), 0.0f);
}

TEST_F(Lights, SetMarksOnlyRealChanges) {
    LightState& ls = light_state;
    light_set(5, 1, 1, 1, 1, 2, 0, 0, 0);
    EXPECT_EQ(ls.light_count, 6);
    EXPECT_EQ(ls.light_capacity, 133);
    EXPECT_EQ(ls.light_enabled_count, 1);
    EXPECT_EQ(ls.light_changed[5], 1);
    ls.light_changed[5] = 0;
    light_set(5, 1, 1, 1, 1, 2, 0, 0, 0);
    EXPECT_EQ(ls.light_changed[5], 0);
    light_set(5, 7, 1, 1, 1, 2, 0, 0, 0);  // still enabled
    EXPECT_EQ(ls.light_changed[5], 0);
    light_set(5, 1, 1, 1, 1, 2, 0, 0.5f, 0);
    EXPECT_EQ(ls.light_changed[5], 1);
    ls.light_changed[5] = 0;
    light_set(5, 0, 1, 1, 1, 2, 0, 0.5f, 0);
    EXPECT_EQ(ls.light_changed[5], 1);
    EXPECT_EQ(ls.light_enabled_count, 0);
    ls.light_changed[5] = 0;
    light_set(5, 0, 9, 9, 9, 9, 9, 9, 9);  // disabled and staying so: stored, not marked
    EXPECT_EQ(ls.light_changed[5], 0);
    EXPECT_EQ(ls.light_radius[5], 9.0f);
    light_set(-1, 1, 1, 1, 1, 1, 0, 0, 0);
    light_set(LIGHT_INDEX_LIMIT, 1, 1, 1, 1, 1, 0, 0, 0);
    EXPECT_EQ(ls.light_count, 6);
}

TEST_F(Lights, ShadowSizeIsCappedAndAllocatesItsGrid) {
    LightState& ls = light_state;
    light_shadow_size(0, 16);  // no such light yet: ignored
    EXPECT_TRUE(ls.light_shadow_size.empty());
    light_set(2, 1, 1, 1, 1, 1, 0, 0, 0);
    light_shadow_size(2, 300);
    EXPECT_EQ(ls.light_shadow_size[2], 256);
    EXPECT_EQ(ls.light_shadow_voxels[2].size(), 257u * 257u * 257u);
    light_shadow_size(2, 8);
    EXPECT_EQ(ls.light_shadow_voxels[2].size(), 729u);
    light_shadow_size(2, -1);
    EXPECT_EQ(ls.light_shadow_size[2], 0);
    EXPECT_TRUE(ls.light_shadow_voxels[2].empty());
}

TEST(LightGrid, SizeFollowsTheLightCount) {
    EXPECT_EQ(light_grid_size_for(0), 3);
    EXPECT_EQ(light_grid_size_for(9), 3);
    EXPECT_EQ(light_grid_size_for(10), 4);
    EXPECT_EQ(light_grid_size_for(20), 4);
    EXPECT_EQ(light_grid_size_for(21), 5);
    EXPECT_EQ(light_grid_size_for(100), 6);
    EXPECT_EQ(light_grid_size_for(12000), 15);
    EXPECT_EQ(light_grid_size_for(12001), 16);
    EXPECT_EQ(light_grid_size_for(1 << 30), 38);
}

TEST_F(Lights, GridFollowsMovingLights) {
    LightState& ls = light_state;
    ls.scene_bounds_valid = 1;
    ls.scene_min = Vec3i{0, 0, 0};
    ls.scene_max = Vec3i{9, 9, 9};
    light_set(0, 1, 1, 1, 1, 1.0f, 1.5f, 1.5f, 1.5f);
    light_grid_setup();
    EXPECT_EQ(ls.grid_n, 3);
    light_grid_update();
    auto listed = [&](int x, int y, int z) {
        const std::vector<int>& c = ls.grid_cells[static_cast<size_t>((z * 3 + y) * 3 + x)];
        return c.size() == 1 && c[0] == 0;
    };
    EXPECT_TRUE(listed(0, 0, 0));
    EXPECT_FALSE(listed(1, 0, 0));
    light_set(0, 1, 1, 1, 1, 1.0f, 8, 8, 8);
    light_grid_update();
    EXPECT_FALSE(listed(0, 0, 0));
    EXPECT_TRUE(ls.grid_cells[0].empty());
    EXPECT_TRUE(listed(2, 2, 2));
    light_set(0, 0, 1, 1, 1, 1.0f, 8, 8, 8);
    light_grid_update();
    EXPECT_FALSE(listed(2, 2, 2));
    // Ten lights grow the grid, which starts over with every light entered again.
    for (int l = 0; l < 10; ++l) light_set(l, 1, 1, 1, 1, 0.5f, 4.5f, 4.5f, 4.5f);
    light_grid_setup();
    EXPECT_EQ(ls.grid_n, 4);
    light_grid_update();
    EXPECT_EQ(ls.grid_cells[static_cast<size_t>((1 * 4 + 1) * 4 + 1)].size(), 10u);
}

// The light grid spans the scene as it was when the bounds were last taken: geometry and lights that
// later move far beyond it must make the bounds follow, or the far vertices fall into edge cells that do
// not list the light.
TEST_F(Lights, BoundsFollowGeometryThatLeavesThem) {
    set_ambient(0, 0, 0);
    lit_vertex(1, 0.5f, 0, 0);
    lit_vertex(2, 2.5f, 0, 0);
    light_set(0, 1, 1, 1, 1, 1.0f, 0, 0, 0);
    light_set(1, 1, 1, 1, 1, 1.0f, 2, 0, 0);
    render_scene();
    render_scene();
    EXPECT_FLOAT_EQ(red_of(2, 0), 128 * 0.00392156863f);
    obj_set_position(2, 500, -300, 200);
    light_set(1, 1, 1, 1, 1, 1.0f, 502, -300, 200);
    frame_flags.frame_counter = 3;  // the next frame relights the kept parts
    render_scene();
    EXPECT_GE(light_state.scene_max.x, 503);
    EXPECT_LE(light_state.scene_min.y, -300);
    EXPECT_FLOAT_EQ(red_of(2, 0), 128 * 0.00392156863f);
    EXPECT_FLOAT_EQ(red_of(1, 0), 128 * 0.00392156863f);  // the near part keeps its light
    // A part that moves within the bounds leaves them as they are.
    const Vec3i lo = light_state.scene_min, hi = light_state.scene_max;
    obj_set_position(1, 100, -100, 100);
    render_scene();
    EXPECT_EQ(light_state.scene_min.x, lo.x);
    EXPECT_EQ(light_state.scene_max.x, hi.x);
    EXPECT_EQ(light_state.scene_min.y, lo.y);
}

// A hidden object is relit with the others, so that showing it again shows the current light.
TEST_F(Lights, ShownAgainObjectHasTheCurrentLight) {
    set_ambient(0, 0, 0);
    lit_vertex(1, 0.5f, 0, 0);
    lit_vertex(2, 3.0f, 3.0f, 3.0f);  // keeps the scene drawn while object 1 is hidden
    light_set(0, 1, 1, 1, 1, 1.0f, 0, 0, 0);
    render_scene();
    render_scene();
    ASSERT_FLOAT_EQ(red_of(1, 0), 128 * 0.00392156863f);
    obj_set_enabled(1, 0);
    light_set(0, 1, 0.5f, 1, 1, 1.0f, 0, 0, 0);
    frame_flags.frame_counter = 3;
    render_scene();  // the periodic frame while hidden
    obj_set_enabled(1, 1);
    render_scene();
    EXPECT_FLOAT_EQ(red_of(1, 0), 64 * 0.00392156863f);
}

// A strip of lit vertices long enough for several blocks of 4096 floats, with shared corners.
void long_strip(ObjectId id, int tris) {
    std::vector<float> v;
    for (int i = 0; i < tris; ++i) {
        const float x = static_cast<float>(i / 2) * 0.01f;
        const float t[9] = {x, 0, 0, x + 0.01f, 0, 0, x, 0.01f * static_cast<float>(i % 2), 0.3f};
        v.insert(v.end(), t, t + 9);
    }
    obj_set_part_triangles(id, 0, v.data(), nullptr, nullptr, 0, tris);
    obj_set_part_shading(id, 0, 1, 0, 1);
}

TEST_F(Lights, SharedVerticesAndThreadSharesGiveTheSameLight) {
    set_ambient(0.1f, 0.1f, 0.1f);
    long_strip(3, 1500);  // 13500 floats: four blocks
    light_set(0, 1, 1, 0.7f, 0.3f, 4.0f, 3, 0, 0);
    render_scene();
    const std::vector<float> one = obj_table.parts[3].tri_shade[0];
    std::vector<float>& shade = obj_table.parts[3].tri_shade[0];
    std::fill(shade.begin(), shade.end(), 1.0f);
    for (int i = 0; i < 3; ++i) light_part(3, 0, i, 3);
    EXPECT_EQ(shade, one);
    // A vertex lit by the rule directly equals its shared copy.
    const float d = std::sqrt(3.0f * 3.0f);
    const int intensity = 255 - static_cast<int>(static_cast<unsigned>(d * 65500) / 1024u);
    EXPECT_FLOAT_EQ(one[0], static_cast<float>(25 + intensity) * 0.00392156863f);
}

TEST_F(Lights, PeriodicPartsRelightEveryNthFrame) {
    set_ambient(0, 0, 0);
    lit_vertex(1, 0.5f, 0, 0);
    light_set(0, 1, 1, 1, 1, 1.0f, 0, 0, 0);
    render_scene();  // state 1 -> 4 (shade created) and lit
    render_scene();  // 4 -> 2
    ASSERT_EQ(obj_table.parts[1].shade_state[0], 2);
    // Move the light; parts in state 2 wait for a frame that is a multiple of the period (4).
    light_set(0, 1, 1, 1, 1, 1.0f, 0.25f, 0, 0);
    std::vector<float>& shade = obj_table.parts[1].tri_shade[0];
    const float before = shade[0];
    frame_flags.frame_counter = 4;  // the next frame is number 5
    render_scene();
    EXPECT_EQ(shade[0], before);
    frame_flags.frame_counter = 7;
    render_scene();
    EXPECT_GT(shade[0], before);
}

TEST_F(Lights, CastersShadeTheVerticesBehindThem) {
    set_ambient(0, 0, 0);
    // A caster wall across x = 1 between the light at the origin and a receiver at x = 2.
    std::vector<float> wall = {1, -1, -1, 1, 1, -1, 1, -1, 1, 1, 1, -1, 1, 1, 1, 1, -1, 1};
    obj_set_part_triangles(1, 0, wall.data(), nullptr, nullptr, 0, 2);
    obj_set_part_shading(1, 0, 0, 1, 0);  // shade_age 1: a caster
    lit_vertex(2, 2.0f, 0.1f, 0.1f);      // behind the wall
    lit_vertex(3, -2.0f, 0.1f, 0.1f);     // on the open side
    light_set(0, 1, 1, 1, 1, 4.0f, 0, 0, 0);
    light_shadow_size(0, 32);
    render_scene();
    EXPECT_EQ(red_of(2, 0), 0.0f);
    EXPECT_GT(red_of(3, 0), 0.0f);
    // A receiver that does not test the voxels sees the light (relit on the next periodic frame).
    obj_table.parts[2].has_shade[0] = 0;
    frame_flags.frame_counter = 3;
    render_scene();
    EXPECT_GT(red_of(2, 0), 0.0f);
}

// --- motion ------------------------------------------------------------------------------------------------

class Motion : public testing::Test {
  protected:
    void SetUp() override {
        utest::reset(1);
        frame_stats.frame_seconds = 0.05;
    }
    void TearDown() override { utest::reset(1); }
};

void cube(ObjectId id, float half) {
    std::vector<float> t = {-half, -half, -half, half, half, half, -half, half, half};
    obj_set_part_triangles(id, 0, t.data(), nullptr, nullptr, 0, 1);
}

TEST_F(Motion, FallingBoxComesToRestOnTheFloor) {
    cube(1, 5.0f);  // the floor: a solid box with its top at y = 0
    obj_set_position(1, 0, -5, 0);
    obj_set_part_collision(1, 0, 1, 1, 0, 0);
    cube(2, 0.5f);
    obj_set_position(2, 0, 3, 0);
    obj_set_part_collision(2, 0, 1, 1, 0, 0);
    obj_table.moving[2] = 1;
    for (int i = 0; i < 80; ++i) render_scene();
    EXPECT_NEAR(obj_table.position[2].y, 0.5f, 0.05f);
    EXPECT_EQ(obj_table.support_object[2], 1);
    EXPECT_EQ(obj_table.support_part[2], 0);
    EXPECT_LT(std::fabs(obj_table.velocity[2].y), 1.0);
    EXPECT_NEAR(obj_table.parts[2].world_min[0].y, 0.0f, 0.05f);  // its triangles came along
    EXPECT_EQ(obj_table.position[1].y, -5.0f);                    // the floor does not move
}

TEST_F(Motion, SurfacesHoldObjectsAtTheirTriangleHeight) {
    // A slope from y = 0 at x = -5 to y = 2 at x = 5, as surface collider (kind 2).
    std::vector<float> slope = {-5, 0, -5, 5, 2, -5, 5, 2, 5, -5, 0, -5, 5, 2, 5, -5, 0, 5};
    obj_set_part_triangles(1, 0, slope.data(), nullptr, nullptr, 0, 2);
    obj_set_part_collision(1, 0, 2, 1, 0, 0);
    cube(2, 0.25f);
    obj_set_position(2, 0, 3, 0);
    obj_set_part_collision(2, 0, 1, 1, 0, 0);
    obj_table.moving[2] = 1;
    for (int i = 0; i < 80; ++i) render_scene();
    EXPECT_NEAR(obj_table.position[2].y, 1.0f + 0.25f, 0.05f);
    EXPECT_EQ(obj_table.support_object[2], 1);
}

TEST_F(Motion, NothingMovesWithoutTheGridOrWithoutCollides) {
    cube(2, 0.5f);
    obj_table.moving[2] = 1;  // moving but not colliding: not in the motion list
    render_scene();
    render_scene();
    EXPECT_EQ(obj_table.position[2].y, 0.0f);
    EXPECT_EQ(collision_kind(12), 2);
    EXPECT_EQ(collision_kind(-8), 2);
    EXPECT_EQ(collision_kind(11), 1);
    EXPECT_EQ(collision_kind(0), 0);
}

TEST_F(Motion, ReversingVelocityIsDampedAway) {
    cube(2, 0.5f);
    obj_set_part_collision(2, 0, 1, 1, 0, 0);
    obj_table.moving[2] = 1;
    motion_set_acceleration(0, 10, 0);
    obj_set_velocity(2, 0, -0.2, 0);  // 10 x 0.05 = 0.5 up: the sign flips
    render_scene();                   // the grid is built at the end of this frame
    render_scene();
    EXPECT_LE(std::fabs(obj_table.velocity[2].y), 0.0001);
}

}  // namespace
