// The geometry pass: the dirty list (growth, estimate, shading and collision bookkeeping, lights) and the
// transform step (boxes, the moved-only path, the thread shares, the skinning of animated parts).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "pipeline_test_util.h"
#include "render/frame_flags.h"
#include "render/geometry/geometry.h"
#include "render/lights/lights.h"
#include "scene/transform.h"

namespace {

class Geometry : public testing::Test {
  protected:
    void SetUp() override { ptest::reset_engine(1); }
    void TearDown() override { ptest::reset_engine(1); }
};

PartArrays& parts(ObjectId id) {
    return obj_table.parts[static_cast<size_t>(id)];
}

void set_tris(ObjectId id, int part, const std::vector<float>& tris) {
    obj_set_part_triangles(id, part, tris.data(), nullptr, nullptr, 0, static_cast<int>(tris.size() / 9));
}

// List and transform as the pipeline does, then clear the flags as its end of frame does.
void geometry_frame() {
    build_dirty_list(0);
    transform_pass(0, 1);
    const GeometryState& g = geometry_state;
    for (int i = 0; i < g.dirty_count; ++i) parts(g.dirty_objects[i]).dirty[g.dirty_parts[i]] = 0;
}

TEST_F(Geometry, FlatBoxesAreWidenedOnlyInTheirOneFlatAxis) {
    set_tris(1, 0, {0, 3, 0, 4, 3, 1, 2, 3, 5});  // flat in y only
    set_tris(2, 0, {1, 0, 2, 1, 5, 2, 1, 3, 2});  // flat in x and z: a vertical line
    set_tris(3, 0, {0, 1, 2, 6, 1, 2, 3, 1, 2});  // flat in y and z: z takes the hair
    set_tris(4, 0, {0, 0, 0, 1, 1, 1, 2, 0, 1});  // not flat
    geometry_frame();

    const PartArrays& a = parts(1);
    EXPECT_EQ(a.world_min[0].y, 2.9999f);
    EXPECT_EQ(a.world_max[0].y, 3.0001f);
    EXPECT_EQ(a.world_min[0].x, 0.0f);
    EXPECT_EQ(a.world_max[0].z, 5.0f);
    EXPECT_EQ(a.world_min_i[0].y, 2);
    EXPECT_EQ(a.world_max_i[0].y, 4);
    EXPECT_EQ(a.box_min[0].y, 2.9999f);
    EXPECT_EQ(a.box_max_i[0].y, 4);

    const PartArrays& b = parts(2);
    EXPECT_EQ(b.world_min[0].x, 1.0f);
    EXPECT_EQ(b.world_max[0].x, 1.0f);
    EXPECT_EQ(b.world_min[0].z, 2.0f);
    EXPECT_EQ(b.world_max[0].z, 2.0f);

    const PartArrays& c = parts(3);
    EXPECT_EQ(c.world_min[0].y, 1.0f);
    EXPECT_EQ(c.world_min[0].z, 2.0f - 0.0001f);
    EXPECT_EQ(c.world_max[0].z, 2.0f + 0.0001f);

    const PartArrays& d = parts(4);
    EXPECT_EQ(d.world_min[0].x, 0.0f);
    EXPECT_EQ(d.world_max[0].x, 2.0f);
    EXPECT_EQ(d.world_max_i[0].x, 3);
}

TEST_F(Geometry, IdentityTransformAddsThePositionExactly) {
    std::vector<float> tris;
    for (int i = 0; i < 90; ++i) tris.push_back(static_cast<float>(i) * 0.37f - 11.3f);
    set_tris(1, 0, tris);
    obj_set_position(1, 1.25f, -2.7f, 1000.1f);
    geometry_frame();
    const std::vector<float>& w = parts(1).tri_world[0];
    const float pos[3] = {1.25f, -2.7f, 1000.1f};
    for (size_t i = 0; i < tris.size(); ++i) EXPECT_EQ(w[i], tris[i] + pos[i % 3]) << i;
}

TEST_F(Geometry, RotationFollowsTheEngineConvention) {
    set_tris(1, 0, {1, 0, 0, 0, 1, 0, 0, 0, 1});
    obj_set_rotation(1, 0, 90, 0);
    obj_set_scale(1, 2, 2, 2);
    geometry_frame();
    const std::vector<float>& w = parts(1).tri_world[0];
    // About Y: z' = c z - s x, x' = c x + s z, after the scale.
    EXPECT_NEAR(w[0], 0, 1e-6);
    EXPECT_NEAR(w[2], -2, 1e-6);
    EXPECT_NEAR(w[4], 2, 1e-6);
    EXPECT_NEAR(w[6], 2, 1e-6);
    EXPECT_NEAR(w[8], 0, 1e-6);
}

TEST_F(Geometry, MovedOnlyPartKeepsTheMovedBox) {
    set_tris(1, 0, {0, 0, 0, 1, 2, 3, -1, 0.5f, 2});
    geometry_frame();
    const Vec3 old_min = parts(1).world_min[0], old_max = parts(1).world_max[0];

    obj_set_position(1, 0.1f, 0.2f, 0.3f);
    ASSERT_EQ(parts(1).dirty[0], 2);
    // The box the setter moved is what the part keeps, even where folding the vertices would differ
    // in the last bit: make the difference visible.
    parts(1).box_min[0].x = -7.0f;
    const Vec3 moved_max = parts(1).box_max[0];
    build_dirty_list(0);
    transform_pass(0, 1);

    const PartArrays& pa = parts(1);
    EXPECT_EQ(pa.world_min[0].x, -7.0f);
    EXPECT_EQ(pa.world_max[0].x, moved_max.x);
    EXPECT_EQ(pa.world_max[0].y, moved_max.y);
    EXPECT_EQ(pa.world_max[0].z, moved_max.z);
    EXPECT_EQ(pa.world_min_i[0].x, -7);
    EXPECT_EQ(pa.prev_world_min[0].x, old_min.x);
    EXPECT_EQ(pa.prev_world_max[0].z, old_max.z);
    EXPECT_EQ(pa.tri_world[0][3], 1.0f + 0.1f);  // the triangles themselves were re-transformed
    EXPECT_EQ(pa.tri_world[0][5], 3.0f + 0.3f);
}

TEST_F(Geometry, PartWithoutTrianglesGetsZeroBoxes) {
    set_tris(1, 0, {5, 5, 5, 6, 6, 6, 7, 7, 8});
    geometry_frame();
    obj_clear_part(1, 0);
    ASSERT_EQ(parts(1).dirty[0], 1);
    ASSERT_TRUE(parts(1).tri_world[0].empty());
    parts(1).world_max[0] = parts(1).box_max[0] = Vec3{3, 3, 3};
    parts(1).box_max_i[0] = Vec3i{4, 4, 4};
    geometry_frame();
    EXPECT_EQ(parts(1).world_max[0].x, 0.0f);
    EXPECT_EQ(parts(1).box_max[0].y, 0.0f);
    EXPECT_EQ(parts(1).box_max_i[0].z, 0);
    EXPECT_EQ(parts(1).prev_world_max[0].z, 3.0f);
}

TEST_F(Geometry, ThreadSharesTakeEveryNthEntry) {
    for (ObjectId id = 1; id <= 7; ++id) set_tris(id, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0});
    geometry_frame();
    for (ObjectId id = 1; id <= 7; ++id) obj_set_position(id, 10, 0, 0);
    ASSERT_EQ(build_dirty_list(0), 7 * 9);
    transform_pass(0, 3);
    for (ObjectId id = 1; id <= 7; ++id) {
        const bool mine = (id - 1) % 3 == 0;  // entries 0, 3, 6
        EXPECT_EQ(parts(id).tri_world[0][0], mine ? 10.0f : 0.0f) << id;
    }
    transform_pass(1, 3);
    transform_pass(2, 3);
    for (ObjectId id = 1; id <= 7; ++id) EXPECT_EQ(parts(id).tri_world[0][0], 10.0f) << id;
}

TEST_F(Geometry, ListGrowsAndTheEstimateSaturates) {
    std::vector<float> big(1000 * 9, 1.0f);
    for (ObjectId id = 1; id <= 5; ++id) set_tris(id, 0, big);
    EXPECT_EQ(build_dirty_list(0), 36000);  // 9000 per part until 35000 is passed
    const GeometryState& g = geometry_state;
    EXPECT_EQ(g.dirty_count, 5);
    EXPECT_EQ(g.dirty_capacity, 2048);
    EXPECT_EQ(g.dirty_objects[4], 5);
    EXPECT_EQ(g.dirty_parts[4], 0);

    // More than a capacity's worth of parts: the list grows by the rule, keeping what it had.
    for (int p = 0; p < 2100; ++p) set_tris(6, p, {0, 0, 0, 1, 0, 0, 0, 1, 0});
    build_dirty_list(0);
    EXPECT_EQ(g.dirty_count, 2105);
    EXPECT_EQ(g.dirty_capacity, 2048 * 2 + 2048);
    EXPECT_EQ(g.dirty_objects[2104], 6);
    EXPECT_EQ(g.dirty_parts[2104], 2099);
    EXPECT_EQ(g.dirty_objects[0], 1);
}

TEST_F(Geometry, ShadingStateAndAgeAdvanceOncePerList) {
    set_tris(1, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0, 1, 0});
    obj_set_part_shading(1, 0, 1, 1, 1);
    build_dirty_list(0);
    const PartArrays& pa = parts(1);
    ASSERT_EQ(pa.tri_shade[0].size(), 2u * 12);
    for (float v : pa.tri_shade[0]) EXPECT_EQ(v, 1.0f);
    EXPECT_EQ(pa.shade_state[0], 4);
    EXPECT_EQ(pa.shade_age[0], 2);
    build_dirty_list(0);
    EXPECT_EQ(pa.shade_state[0], 2);
    EXPECT_EQ(pa.shade_age[0], 3);
    build_dirty_list(0);
    EXPECT_EQ(pa.shade_state[0], 2);
    EXPECT_EQ(pa.shade_age[0], 3);
}

TEST_F(Geometry, CollisionModeOffsetsAreHandedOn) {
    set_tris(1, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0});
    set_tris(2, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0});
    obj_set_part_collision(1, 0, 2, 1, 0, 0);
    obj_set_part_collision(2, 0, 1, 1, 0, 0);
    build_dirty_list(0);
    EXPECT_EQ(frame_flags.collision_geometry_changed, 1);
    transform_pass(0, 1);
    EXPECT_EQ(parts(1).collision_mode[0], 12);  // new geometry for the collision pass
    EXPECT_EQ(parts(2).collision_mode[0], 1);
    parts(1).dirty[0] = parts(2).dirty[0] = 0;
    frame_flags.collision_geometry_changed = 0;

    // Clean, but its offset still lists it once more, handing the mode on as -8.
    build_dirty_list(0);
    EXPECT_EQ(geometry_state.dirty_count, 1);
    EXPECT_EQ(geometry_state.dirty_objects[0], 1);
    EXPECT_EQ(parts(1).collision_mode[0], -8);
    EXPECT_EQ(frame_flags.collision_geometry_changed, 0);
    build_dirty_list(0);
    EXPECT_EQ(geometry_state.dirty_count, 0);
}

TEST_F(Geometry, ChangedLightsAreListed) {
    LightState& ls = light_state;
    ls.light_count = 3;
    ls.light_changed = {0, 1, 0};
    frame_flags.relight_all = 0;
    build_dirty_list(0);
    ASSERT_EQ(geometry_state.changed_lights.count, 1);
    EXPECT_EQ(geometry_state.changed_lights.ids[0], 1);
    frame_flags.relight_all = 1;
    build_dirty_list(0);
    EXPECT_EQ(geometry_state.changed_lights.count, 3);
}

// --- skinning -------------------------------------------------------------------------------------------

constexpr ObjectId RIG = 5;

// Row 0 holds one bone from (0, 0, 0) to (0, 2, 0) with radius 1; every other row ends at once.
void set_rig(unsigned type, const float cur_a[3], const float cur_b[3]) {
    obj_ensure(RIG, 0);
    std::vector<float> rest(POSE_CACHE_FLOATS, 0.0f), cur(POSE_CACHE_FLOATS, 0.0f);
    const float a[4] = {0, 0, 0, 1}, b[4] = {0, 2, 0, 1};
    std::memcpy(&rest[0], a, sizeof a);
    std::memcpy(&rest[4], b, sizeof b);
    cur = rest;
    std::memcpy(&cur[0], cur_a, 3 * sizeof(float));
    std::memcpy(&cur[4], cur_b, 3 * sizeof(float));
    obj_table.anim_type[RIG] = type;
    obj_table.pose_cache_a[RIG] = rest;
    obj_table.pose_cache_c[RIG] = cur;
}

// 18 vertices: the first 12 always computed, later ones repeat earlier ones (shared results). Vertex 0
// lies on the bone, vertex 1 far outside it, vertex 2 beside it in z only.
std::vector<float> rig_tris() {
    std::vector<float> t = {0.5f, 1, 0, 5, 1, 0, 0, 1, 4};
    for (int i = 0; i < 3; ++i) t.insert(t.end(), {0.2f + i * 0.1f, 0.5f, 0, 3, 3, 3, -0.3f, 1.5f, 0.1f});
    t.insert(t.end(), {0.5f, 1, 0, 5, 1, 0, 0, 1, 4});
    t.insert(t.end(), {0.5f, 1, 0, 0.2f, 0.5f, 0, 3, 3, 3});
    return t;
}

std::vector<float> skinned_world() {
    build_dirty_list(0);
    transform_pass(0, 1);
    std::vector<float> w = parts(RIG).tri_world[0];
    parts(RIG).dirty[0] = 0;
    return w;
}

TEST_F(Geometry, SkinnedVerticesFollowTheirSegment) {
    const float c[3] = {0, 0, 3}, d[3] = {0, 2, 3};  // the bone moved 3 along z
    set_rig(1, c, d);
    set_tris(RIG, 0, rig_tris());
    const std::vector<float> w = skinned_world();
    EXPECT_NEAR(w[0], 0.5f, 1e-5);
    EXPECT_NEAR(w[1], 1.0f, 1e-5);
    EXPECT_NEAR(w[2], 3.0f, 1e-5);
    EXPECT_EQ(w[3], 5.0f);  // outside every segment: only the object's transform acts
    EXPECT_EQ(w[4], 1.0f);
    EXPECT_EQ(w[5], 0.0f);
    EXPECT_NEAR(w[8], 7.0f, 1e-5);  // rig 1 measures in the x-y plane: z does not matter
    // Repeated vertices give the results of the ones they repeat.
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(w[36 + k], w[k]);
        EXPECT_EQ(w[45 + k], w[k]);
        EXPECT_EQ(w[48 + k], w[9 + k]);
    }
    EXPECT_EQ(parts(RIG).scratch[0][0], 1);
    EXPECT_EQ(parts(RIG).scratch[0][1], 0);
}

TEST_F(Geometry, Rig2MeasuresInThreeDimensions) {
    const float c[3] = {0, 0, 3}, d[3] = {0, 2, 3};
    set_rig(2, c, d);
    set_tris(RIG, 0, rig_tris());
    const std::vector<float> w = skinned_world();
    EXPECT_NEAR(w[2], 3.0f, 1e-5);
    EXPECT_EQ(w[8], 4.0f);  // 4 away from the bone in z: outside its radius
}

TEST_F(Geometry, TurnedSegmentCarriesItsVertices) {
    const float c[3] = {0, 0, 0}, d[3] = {2, 0, 0};  // the bone turned from +y to +x
    set_rig(1, c, d);
    set_tris(RIG, 0, {0, 1, 0, 0, 2, 0, 5, 5, 0});
    const std::vector<float> w = skinned_world();
    EXPECT_NEAR(w[0], 1.0f, 1e-5);  // the bone's middle stays its middle
    EXPECT_NEAR(w[1], 0.0f, 1e-5);
    EXPECT_NEAR(w[2], 0.0f, 1e-5);
    EXPECT_NEAR(w[3], 2.0f, 1e-5);  // its end stays its end
    EXPECT_NEAR(w[4], 0.0f, 1e-5);
}

TEST_F(Geometry, UnchangedPoseTransformsLikeARigidPart) {
    const float c[3] = {0, 0, 0}, d[3] = {0, 2, 0};
    set_rig(1, c, d);
    set_tris(RIG, 0, rig_tris());
    obj_set_rotation(RIG, 10, 20, 30);
    obj_set_scale(RIG, 1.5f, 0.5f, 2);
    obj_set_position(RIG, 3, -4, 5);
    const std::vector<float> w = skinned_world();
    const ObjectTransform t = object_transform_of(RIG);
    const std::vector<float> local = rig_tris();
    std::vector<float> rigid(local.size());
    object_transform_triangles(t, local.data(), rigid.data(), static_cast<int>(local.size() / 9));
    EXPECT_EQ(w, rigid);
}

TEST_F(Geometry, BindingIsReusedUntilTheClipChanges) {
    const float c[3] = {0, 0, 3}, d[3] = {0, 2, 3};
    set_rig(1, c, d);
    set_tris(RIG, 0, rig_tris());
    skinned_world();
    // A radius that would bind nothing: only a recomputed binding sees it.
    obj_table.pose_cache_a[RIG][7] = 0.00001f;

    obj_set_anim_time(RIG, 0.5);
    ASSERT_EQ(parts(RIG).dirty[0], 1);
    std::vector<float> w = skinned_world();
    EXPECT_NEAR(w[2], 3.0f, 1e-5);

    obj_table.anim_clip[RIG] = 4;
    parts(RIG).dirty[0] = 1;
    w = skinned_world();
    EXPECT_EQ(w[2], 0.0f);
    EXPECT_EQ(parts(RIG).scratch[0][1], 4);

    // A rewritten part starts from a stale binding.
    set_tris(RIG, 0, rig_tris());
    EXPECT_EQ(parts(RIG).scratch[0][0], 255);
}

TEST_F(Geometry, AnimatedPartWithoutPoseTablesIsRigid) {
    set_tris(RIG, 0, rig_tris());
    obj_table.anim_type[RIG] = 1;
    obj_set_position(RIG, 1, 0, 0);
    const std::vector<float> w = skinned_world();
    EXPECT_EQ(w[0], 1.5f);
    EXPECT_TRUE(parts(RIG).scratch[0].empty());
}

}  // namespace
