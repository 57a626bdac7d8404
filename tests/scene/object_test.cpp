// The object table: growth rules, new-slot and new-part values, filling, comparing, clearing and
// resetting parts, and the per-object and per-part attribute operations.
#include <gtest/gtest.h>

#include <vector>

#include "scene/object.h"

namespace {

class ObjectTableTest : public testing::Test {
  protected:
    void SetUp() override { obj_table_reset_all(); }
    void TearDown() override { obj_table_reset_all(); }
};

// n triangles whose coordinates count up from base, so copies can be told apart.
std::vector<float> tris(int n, float base = 1.0f) {
    std::vector<float> v(static_cast<size_t>(n) * TRI_WORLD_FLOATS);
    for (size_t i = 0; i < v.size(); ++i) v[i] = base + static_cast<float>(i);
    return v;
}

const PartArrays& parts(ObjectId id) {
    return obj_table.parts[id];
}

TEST_F(ObjectTableTest, ObjectCapacityGrowsInWideningSteps) {
    obj_ensure(0, 0);
    EXPECT_EQ(obj_table.object_capacity, 8);
    obj_ensure(7, 0);
    EXPECT_EQ(obj_table.object_capacity, 8);
    obj_ensure(995, 0);
    EXPECT_EQ(obj_table.object_capacity, 1515);
    obj_table_reset_all();
    obj_ensure(10000, 0);
    EXPECT_EQ(obj_table.object_capacity, 12568);
    // Every column follows the capacity.
    EXPECT_EQ(obj_table.enabled.size(), 12568u);
    EXPECT_EQ(obj_table.parts.size(), 12568u);
    EXPECT_EQ(obj_table.particle_no_wind.size(), 12568u);
    // The wider steps, checked on the rule itself rather than by allocating them.
    EXPECT_EQ(obj_grown_capacity(992), 1000);
    EXPECT_EQ(obj_grown_capacity(9472), 9992);
    EXPECT_EQ(obj_grown_capacity(60000), 68568);
    EXPECT_EQ(obj_grown_capacity(300000), 318568);
    EXPECT_EQ(obj_grown_capacity(2147483647), int64_t{2147483647} + 18568);  // no wrap
    EXPECT_EQ(obj_grown_part_capacity(19, 19), 21);
    EXPECT_EQ(obj_grown_part_capacity(20, 20), 25);
}

TEST_F(ObjectTableTest, PartCapacityGrowsByTheObjectsOwnSteps) {
    auto grow_to = [](int cap, int part) {
        obj_table_reset_all();
        obj_ensure(1, cap - 1);
        EXPECT_EQ(obj_table.part_capacity[1], cap);  // cap - 1 + 1 (from 0), or +2 for the small caps
        obj_ensure(1, part);
        return obj_table.part_capacity[1];
    };
    EXPECT_EQ(grow_to(4, 4), 5);
    EXPECT_EQ(grow_to(12, 12), 14);  // cap <= 19: part + 2
    EXPECT_EQ(grow_to(40, 40), 50);  // part + cap / 4
    // The steps named by the rule, from a capacity reached through growth.
    obj_table_reset_all();
    obj_ensure(1, 9);  // from 0: 10
    EXPECT_EQ(obj_table.part_capacity[1], 10);
    obj_ensure(1, 10);
    EXPECT_EQ(obj_table.part_capacity[1], 12);
    EXPECT_EQ(parts(1).tri_world.size(), 12u);
    EXPECT_EQ(parts(1).prev_world_max_i.size(), 12u);
}

TEST_F(ObjectTableTest, NewSlotsAndPartsCarryTheirDefaults) {
    obj_ensure(5, 2);
    for (ObjectId id : {0, 5, 7}) {
        EXPECT_EQ(obj_table.enabled[id], 1);
        EXPECT_EQ(obj_table.has_geometry[id], 0);
        EXPECT_EQ(obj_table.scale[id].y, 1.0f);
        EXPECT_EQ(obj_table.color[id].a, 1.0f);
        EXPECT_EQ(obj_table.anim_speed[id], 1.0f);
        EXPECT_EQ(obj_table.support_part[id], -1);
        EXPECT_TRUE(obj_table.name[id].empty());
        EXPECT_TRUE(obj_table.pose_offset_scale[id].empty());
    }
    EXPECT_EQ(obj_table.part_capacity[0], 0);
    const PartArrays& pa = parts(5);
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(pa.visible[p], 1);
        EXPECT_EQ(pa.dirty[p], 0);
        EXPECT_EQ(pa.part_color[p].g, 1.0f);
        EXPECT_TRUE(pa.tri_world[p].empty());
    }
    // obj_slot_init writes them again over a used slot.
    obj_set_color(5, 0.5f, 0.5f, 0.5f, 0.5f);
    obj_set_name(5, "x");
    obj_slot_init(5);
    EXPECT_EQ(obj_table.color[5].r, 1.0f);
    EXPECT_TRUE(obj_table.name[5].empty());
    EXPECT_EQ(obj_table.part_capacity[5], 0);
}

TEST_F(ObjectTableTest, NegativeAndHugeIdsLeaveTheTableUnchanged) {
    obj_ensure(3, 0);
    EXPECT_FALSE(obj_ensure(-1, 0));
    EXPECT_FALSE(obj_ensure(3, -1));
    EXPECT_FALSE(obj_ensure(2147483647, 0));
    EXPECT_FALSE(obj_ensure(3, 2147483647));
    EXPECT_FALSE(obj_ensure(OBJECT_CAPACITY_LIMIT, 0));
    EXPECT_EQ(obj_table.object_capacity, 11);
    EXPECT_EQ(obj_table.part_capacity[3], 1);
    std::vector<float> t = tris(1);
    obj_set_part_triangles(-4, 0, t.data(), nullptr, nullptr, 0, 1);
    obj_set_part_triangles(3, 0, t.data(), nullptr, nullptr, 0, -1);
    obj_set_part_triangles(3, 0, nullptr, nullptr, nullptr, 0, TRI_COUNT_LIMIT + 1);
    obj_set_velocity(-2, 1, 2, 3);
    obj_clear_part(-1, 0);
    obj_clear_part(3, -1);
    obj_set_color(-1, 0, 0, 0, 0);
    obj_reset(-7);
    EXPECT_EQ(obj_table.object_capacity, 11);
    EXPECT_EQ(obj_table.has_geometry[3], 0);
    EXPECT_EQ(obj_velocity_x(-2), 0.0);
}

TEST_F(ObjectTableTest, SetPartTrianglesFillsBothCopiesAndMarksThePart) {
    std::vector<float> t = tris(3);
    std::vector<float> uv(3 * TRI_UV_FLOATS, 0.25f);
    obj_set_part_collision(4, 2, 1, 1, 0, 0);
    obj_set_part_triangles(4, 2, t.data(), uv.data(), nullptr, 9, 3);
    const PartArrays& pa = parts(4);
    EXPECT_EQ(pa.tri_count[2], 3);
    EXPECT_EQ(pa.tri_capacity[2], 3);
    EXPECT_EQ(pa.tri_world[2], t);
    EXPECT_EQ(pa.tri_local[2], t);
    EXPECT_EQ(pa.tri_uv[2], uv);
    EXPECT_TRUE(pa.tri_shade[2].empty());
    EXPECT_EQ(pa.texture[2], 9);
    EXPECT_EQ(pa.dirty[2], 1);
    EXPECT_EQ(pa.collision_changed[2], 1);
    EXPECT_EQ(obj_table.part_count[4], 3);
    EXPECT_EQ(obj_table.has_geometry[4], 1);

    // A smaller count keeps the capacity; an existing uv array follows a larger one.
    obj_set_part_triangles(4, 2, t.data(), nullptr, nullptr, 9, 1);
    EXPECT_EQ(pa.tri_capacity[2], 3);
    EXPECT_EQ(pa.tri_count[2], 1);
    obj_set_part_triangles(4, 2, nullptr, nullptr, nullptr, 9, 5);
    EXPECT_EQ(pa.tri_capacity[2], 5);
    EXPECT_EQ(pa.tri_world[2].size(), 5u * TRI_WORLD_FLOATS);
    EXPECT_EQ(pa.tri_uv[2].size(), 5u * TRI_UV_FLOATS);
    EXPECT_EQ(pa.tri_local[2][0], 0.0f);  // null triangles are zeros
    // Lower parts do not lower part_count.
    obj_set_part_triangles(4, 0, t.data(), nullptr, nullptr, 0, 1);
    EXPECT_EQ(obj_table.part_count[4], 3);
}

TEST_F(ObjectTableTest, NullTrianglesGiveAnEmptyPartThatIsStillDirty) {
    obj_set_part_triangles(2, 0, nullptr, nullptr, nullptr, 0, 0);
    EXPECT_EQ(parts(2).tri_count[0], 0);
    EXPECT_EQ(parts(2).dirty[0], 1);
    EXPECT_TRUE(parts(2).tri_world[0].empty());
    EXPECT_EQ(obj_table.has_geometry[2], 1);
}

TEST_F(ObjectTableTest, ScratchBufferIsMarkedStaleAndFollowsTheCount) {
    std::vector<float> t = tris(4);
    obj_set_part_triangles(2, 0, t.data(), nullptr, nullptr, 0, 4);
    PartArrays& pa = obj_table.parts[2];
    pa.scratch[0].assign(scratch_bytes(1), 7);                       // made by the skinning for one triangle
    obj_set_part_triangles(2, 0, t.data(), nullptr, nullptr, 0, 3);  // within capacity
    EXPECT_EQ(pa.scratch[0][0], 255);
    EXPECT_GE(pa.scratch[0].size(), scratch_bytes(3));
    obj_set_part_triangles(2, 0, t.data(), nullptr, nullptr, 0, 2);
    obj_set_part_triangles(2, 0, nullptr, nullptr, nullptr, 0, 40);
    EXPECT_EQ(pa.scratch[0].size(), scratch_bytes(40));
}

TEST_F(ObjectTableTest, PartChangedTellsWhetherTheGeometryIsAlreadyThere) {
    std::vector<float> t = tris(2), other = tris(2, 100.0f);
    std::vector<float> uv(2 * TRI_UV_FLOATS, 0.5f), uv2(2 * TRI_UV_FLOATS, 0.75f);
    EXPECT_EQ(obj_part_changed(3, 0, t.data(), nullptr, nullptr, 0, 2), 0);  // no geometry yet
    obj_set_part_triangles(3, 0, t.data(), uv.data(), nullptr, 5, 2);
    EXPECT_EQ(obj_part_changed(3, 0, t.data(), uv.data(), nullptr, 5, 2), 1);
    EXPECT_EQ(obj_part_changed(3, 1, t.data(), uv.data(), nullptr, 5, 2), 0);  // beyond part_count
    EXPECT_EQ(obj_part_changed(3, 0, t.data(), uv.data(), nullptr, 6, 2), 0);  // texture
    EXPECT_EQ(obj_part_changed(3, 0, t.data(), uv.data(), nullptr, 5, 1), 0);  // count
    EXPECT_EQ(obj_part_changed(3, 0, nullptr, uv.data(), nullptr, 5, 2), 0);   // no triangles given
    EXPECT_EQ(obj_part_changed(3, 0, t.data(), nullptr, nullptr, 5, 2), 0);    // stored uvs not given
    EXPECT_EQ(obj_part_changed(3, 0, other.data(), uv.data(), nullptr, 5, 2), 0);
    EXPECT_EQ(obj_part_changed(3, 0, t.data(), uv2.data(), nullptr, 5, 2), 0);
    std::vector<float> shade(2 * TRI_SHADE_FLOATS, 1.0f);
    EXPECT_EQ(obj_part_changed(3, 0, t.data(), uv.data(), shade.data(), 5, 2), 0);  // none stored
    // Moved object: tri_world differs from the input, tri_local still matches it.
    obj_table.parts[3].tri_world[0][0] += 10.0f;
    EXPECT_EQ(obj_part_changed(3, 0, t.data(), uv.data(), nullptr, 5, 2), 1);
    // New triangles that happen to equal where the moved part now lies are still new triangles.
    obj_table.parts[3].tri_world[0] = other;
    EXPECT_EQ(obj_part_changed(3, 0, other.data(), uv.data(), nullptr, 5, 2), 0);
}

TEST_F(ObjectTableTest, ClearPartReturnsItToNewPartValues) {
    std::vector<float> t = tris(2);
    obj_set_part_triangles(6, 1, t.data(), nullptr, nullptr, 3, 2);
    PartArrays& pa = obj_table.parts[6];
    pa.dirty[1] = 0;
    pa.part_color[1] = Color4{0, 0, 0, 0};
    pa.scratch[1].assign(8, 1);
    obj_clear_part(6, 1);
    EXPECT_TRUE(pa.tri_world[1].empty());
    EXPECT_TRUE(pa.tri_local[1].empty());
    EXPECT_TRUE(pa.scratch[1].empty());
    EXPECT_EQ(pa.tri_count[1], 0);
    EXPECT_EQ(pa.tri_capacity[1], 0);
    EXPECT_EQ(pa.texture[1], 0);
    EXPECT_EQ(pa.part_color[1].r, 1.0f);
    EXPECT_EQ(pa.dirty[1], 1);  // it had triangles on screen
    EXPECT_EQ(obj_table.has_geometry[6], 1);

    // A hidden part, or one of a disabled object, is not marked.
    obj_set_part_triangles(6, 0, t.data(), nullptr, nullptr, 0, 2);
    pa.dirty[0] = 0;
    pa.visible[0] = 0;
    obj_clear_part(6, 0);
    EXPECT_EQ(pa.dirty[0], 0);
    EXPECT_EQ(pa.visible[0], 1);
    // Indices outside the parts are ignored.
    obj_clear_part(6, 99);
    obj_clear_part(99, 0);
    EXPECT_EQ(obj_table.object_capacity, 14);
}

TEST_F(ObjectTableTest, ResetEmptiesGeometryOnlyWhenThereIsSome) {
    std::vector<float> t = tris(2);
    obj_set_part_triangles(8, 0, t.data(), nullptr, nullptr, 1, 2);
    obj_set_part_triangles(8, 1, t.data(), nullptr, nullptr, 1, 2);
    obj_table.enabled[8] = 0;
    obj_table.anim_type[8] = 2;
    obj_table.anim_speed[8] = -3;
    obj_table.particle_count[8] = 50;
    obj_table.path_queue[8].assign(PATH_POINT_FLOATS, 1.0f);
    obj_table.path_queue_length[8] = 1;
    obj_table.path_speed[8] = 2;
    obj_table.collides[8] = 1;
    obj_table.velocity[8] = Vec3d{1, 2, 3};
    obj_table.color[8] = Color4{0, 0, 0, 0};
    obj_table.terrain_cols[8] = 4;
    obj_table.terrain_heights[8].assign(25, 1.0f);
    obj_set_name(8, "kept");
    obj_reset(8);
    EXPECT_EQ(obj_table.enabled[8], 1);
    EXPECT_EQ(obj_table.has_geometry[8], 0);
    EXPECT_EQ(obj_table.particle_count[8], 0);
    EXPECT_TRUE(obj_table.path_queue[8].empty());
    EXPECT_EQ(obj_table.path_speed[8], 0.0f);
    EXPECT_EQ(obj_table.collides[8], 0);
    EXPECT_EQ(obj_table.anim_type[8], 0u);
    EXPECT_EQ(obj_table.anim_speed[8], 1.0f);
    EXPECT_EQ(obj_table.velocity[8].z, 0.0);
    EXPECT_EQ(obj_table.color[8].r, 1.0f);
    EXPECT_EQ(obj_table.terrain_cols[8], 0);
    EXPECT_TRUE(obj_table.terrain_heights[8].empty());
    EXPECT_EQ(obj_table.name[8], "kept");
    EXPECT_TRUE(parts(8).tri_world[0].empty());
    EXPECT_TRUE(parts(8).tri_world[1].empty());
    EXPECT_EQ(parts(8).dirty[1], 1);

    // Without geometry the animation and velocity survive.
    obj_table.anim_type[9] = 1;
    obj_table.velocity[9] = Vec3d{4, 5, 6};
    obj_table.moving[9] = 1;
    obj_reset(9);
    EXPECT_EQ(obj_table.anim_type[9], 1u);
    EXPECT_EQ(obj_table.velocity[9].x, 4.0);
    EXPECT_EQ(obj_table.moving[9], 0);
}

TEST_F(ObjectTableTest, CollisionSettingsMarkOnlyRealChanges) {
    std::vector<float> t = tris(1);
    obj_set_part_triangles(3, 0, t.data(), nullptr, nullptr, 0, 1);
    obj_set_part_triangles(3, 1, t.data(), nullptr, nullptr, 0, 1);
    PartArrays& pa = obj_table.parts[3];
    pa.dirty[0] = pa.dirty[1] = 0;
    obj_set_part_collision(3, -1, 7, 4, 5, 0);  // mode clamps to 2
    EXPECT_EQ(pa.collision_mode[0], 2);
    EXPECT_EQ(pa.collision_mode[1], 2);
    EXPECT_EQ(pa.collision_changed[1], 1);
    EXPECT_EQ(pa.dirty[0], 2);
    EXPECT_EQ(pa.collision_param_a[0], 4);
    EXPECT_EQ(pa.collision_param_b[1], 5);
    EXPECT_EQ(obj_table.collides[3], 1);

    pa.dirty[0] = 0;
    pa.collision_changed[0] = 0;
    obj_set_part_collision(3, 0, 2, 1, 1, 0);  // same mode
    EXPECT_EQ(pa.dirty[0], 0);
    EXPECT_EQ(pa.collision_changed[0], 0);
    pa.dirty[1] = 1;
    obj_set_part_collision(3, 1, -5, 0, 0, 0);  // clamps to 0; a dirty 1 part stays 1
    EXPECT_EQ(pa.collision_mode[1], 0);
    EXPECT_EQ(pa.dirty[1], 1);

    // While the frame passes hand the mode on it is stored as 2 + 10 or 2 - 10: the same mode set
    // again is still no change, and the hand-over is left alone.
    for (const int stored : {12, -8}) {
        pa.collision_mode[0] = static_cast<int8_t>(stored);
        pa.dirty[0] = 0;
        pa.collision_changed[0] = 0;
        obj_set_part_collision(3, 0, 2, 1, 1, 0);
        EXPECT_EQ(int{pa.collision_mode[0]}, stored);
        EXPECT_EQ(pa.dirty[0], 0);
        EXPECT_EQ(pa.collision_changed[0], 0);
    }
    obj_set_part_collision(3, 0, 1, 1, 1, 0);  // a real change from the handed-on 2
    EXPECT_EQ(pa.collision_mode[0], 1);
    EXPECT_EQ(pa.dirty[0], 2);
    EXPECT_EQ(pa.collision_changed[0], 1);

    // Only param c: collides, nothing stored.
    obj_set_part_collision(4, 0, 0, 0, 0, 3);
    EXPECT_EQ(obj_table.collides[4], 1);
    obj_set_part_collision(5, 0, 0, 0, 0, 0);
    EXPECT_EQ(obj_table.collides[5], 0);
}

TEST_F(ObjectTableTest, ShadingFlagsChangeOnlyBetweenZeroAndNonZero) {
    std::vector<float> t = tris(1);
    std::vector<float> shade(TRI_SHADE_FLOATS, 0.5f);
    obj_set_part_triangles(3, 0, t.data(), nullptr, shade.data(), 0, 1);
    PartArrays& pa = obj_table.parts[3];
    obj_set_part_shading(3, 0, 1, 1, 1);
    EXPECT_EQ(pa.shade_state[0], 1);
    EXPECT_EQ(pa.shade_age[0], 1);
    EXPECT_EQ(pa.has_shade[0], 1);
    pa.shade_state[0] = 4;
    pa.shade_age[0] = 2;
    obj_set_part_shading(3, -1, 1, 3, 1);  // both non-zero already: kept
    EXPECT_EQ(pa.shade_state[0], 4);
    EXPECT_EQ(pa.shade_age[0], 2);
    obj_set_part_shading(3, 0, 0, 0, 0);
    EXPECT_EQ(pa.shade_state[0], 0);
    EXPECT_EQ(pa.shade_age[0], 0);
    EXPECT_EQ(pa.has_shade[0], 0);
    EXPECT_TRUE(pa.tri_shade[0].empty());
}

TEST_F(ObjectTableTest, PoseOffsetScaleIdentityLeavesNoRecord) {
    obj_set_pose_offset_scale(2, 1, 0, 0, 1, 2, 1);
    ASSERT_EQ(obj_table.pose_offset_scale[2].size(), 6u);
    EXPECT_EQ(obj_table.pose_offset_scale[2][4], 2.0f);
    obj_set_pose_offset_scale(2, 0, 0, 0, 1, 1, 1);
    EXPECT_TRUE(obj_table.pose_offset_scale[2].empty());
}

TEST_F(ObjectTableTest, NamesLoseExtensionAndLineEnd) {
    obj_set_name(1, "data/glm/Horse.OBJ\n");
    EXPECT_EQ(obj_table.name[1], "data/glm/Horse");
    obj_set_name(1, "tree.3ds\r\n");
    EXPECT_EQ(obj_table.name[1], "tree");
    obj_set_name(1, "man.glm");
    EXPECT_EQ(obj_table.name[1], "man");
    obj_set_name(1, "picture.png");
    EXPECT_EQ(obj_table.name[1], "picture.png");
    obj_set_name(1, "");
    obj_set_name(1, nullptr);
    EXPECT_EQ(obj_table.name[1], "picture.png");
    obj_set_name(0, "zero");
    EXPECT_EQ(obj_table.object_capacity, 9);
    EXPECT_TRUE(obj_table.name[0].empty());
}

TEST_F(ObjectTableTest, ColoursForObjectsAndParts) {
    std::vector<float> t = tris(1);
    obj_set_part_triangles(2, 0, t.data(), nullptr, nullptr, 0, 1);
    obj_set_part_triangles(2, 1, t.data(), nullptr, nullptr, 0, 1);
    obj_set_color(2, 0.1f, 0.2f, 0.3f, 0.4f);
    EXPECT_EQ(obj_table.color[2].b, 0.3f);
    obj_set_part_color(2, -1, 0.5f, 0.5f, 0.5f, 0.5f);
    EXPECT_EQ(parts(2).part_color[1].a, 0.5f);
    obj_set_part_color(2, 3, 0.25f, 0, 0, 1);
    EXPECT_EQ(obj_table.part_capacity[2], 4);
    EXPECT_EQ(parts(2).part_color[3].r, 0.25f);
    EXPECT_EQ(parts(2).part_color[0].r, 0.5f);
}

TEST_F(ObjectTableTest, TerrainHeightsOnlyInsideTheGrid) {
    obj_set_terrain_height(3, 0, 0, 1.0f);  // no slot, no grid: nothing
    EXPECT_EQ(obj_table.object_capacity, 0);
    obj_ensure(3, 0);
    obj_set_terrain_height(3, 0, 0, 1.0f);
    EXPECT_TRUE(obj_table.terrain_heights[3].empty());
    obj_table.terrain_cols[3] = 3;
    obj_table.terrain_rows[3] = 2;
    obj_set_terrain_height(3, 3, 2, 7.0f);  // far corner
    ASSERT_EQ(obj_table.terrain_heights[3].size(), 12u);
    EXPECT_EQ(obj_table.terrain_heights[3][11], 7.0f);
    EXPECT_EQ(obj_table.terrain_heights[3][0], 0.0f);
    obj_set_terrain_height(3, 1, 1, 2.0f);
    EXPECT_EQ(obj_table.terrain_heights[3][5], 2.0f);
    obj_set_terrain_height(3, 4, 0, 9.0f);
    obj_set_terrain_height(3, 0, 3, 9.0f);
    obj_set_terrain_height(3, -1, 0, 9.0f);
    for (float h : obj_table.terrain_heights[3]) EXPECT_NE(h, 9.0f);
}

TEST_F(ObjectTableTest, VelocityAccessorsRespectTheValidRange) {
    obj_set_velocity(4, 1.5, -2.5, 3.25);
    EXPECT_EQ(obj_velocity_x(4), 1.5);
    EXPECT_EQ(obj_velocity_y(4), -2.5);
    EXPECT_EQ(obj_velocity_z(4), 3.25);
    obj_set_velocity(0, 9, 9, 9);
    EXPECT_EQ(obj_table.velocity[0].x, 0.0);
    EXPECT_EQ(obj_velocity_x(0), 0.0);
    EXPECT_EQ(obj_velocity_x(obj_table.object_capacity), 0.0);
}

TEST_F(ObjectTableTest, HasPartsNeedsGeometryAndParts) {
    EXPECT_FALSE(obj_has_parts(1));
    obj_ensure(1, 3);
    EXPECT_FALSE(obj_has_parts(1));
    obj_set_part_triangles(1, 0, nullptr, nullptr, nullptr, 0, 1);
    EXPECT_TRUE(obj_has_parts(1));
    obj_reset(1);
    EXPECT_FALSE(obj_has_parts(1));
}

}  // namespace
