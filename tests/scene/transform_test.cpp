// The object transform convention and the setters' dirty marking: what each setter marks, what an
// unchanged value or a disabled object leaves alone, and the boxes obj_set_position moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "scene/transform.h"

namespace {

class TransformTest : public testing::Test {
  protected:
    void SetUp() override { obj_table_reset_all(); }
    void TearDown() override { obj_table_reset_all(); }

    // An object with n one-triangle parts, all clean.
    static void make_object(ObjectId id, int n) {
        const float tri[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
        for (int p = 0; p < n; ++p) obj_set_part_triangles(id, p, tri, nullptr, nullptr, 0, 1);
        clean(id);
    }
    static void clean(ObjectId id) {
        for (int p = 0; p < obj_table.part_count[id]; ++p) obj_table.parts[id].dirty[p] = 0;
    }
    static uint8_t dirty(ObjectId id, int p) { return obj_table.parts[id].dirty[p]; }
};

TEST_F(TransformTest, ScaleThenXYZRotationsThenTranslate) {
    // Scale (2,1,1), 90 degrees about X then about Y, translate (10,0,0): (1,0,0) -> (2,0,0) -> X
    // leaves it -> Y: z' = -s*x = -2, x' = 0 -> (10, 0, -2).
    ObjectTransform t = object_transform_make(Vec3{10, 0, 0}, Vec3{90, 90, 0}, Vec3{2, 1, 1});
    float x = 1, y = 0, z = 0;
    object_transform_apply(t, x, y, z);
    EXPECT_NEAR(x, 10.0f, 1e-5);
    EXPECT_NEAR(y, 0.0f, 1e-5);
    EXPECT_NEAR(z, -2.0f, 1e-5);
    // Order matters: X first turns (0,1,0) into (0,0,1), then Y turns that into (1,0,0).
    t = object_transform_make(Vec3{0, 0, 0}, Vec3{90, 90, 0}, Vec3{1, 1, 1});
    x = 0, y = 1, z = 0;
    object_transform_apply(t, x, y, z);
    EXPECT_NEAR(x, 1.0f, 1e-6);
    EXPECT_NEAR(y, 0.0f, 1e-6);
    EXPECT_NEAR(z, 0.0f, 1e-6);
    // About Z: x' = c*x - s*y, y' = c*y + s*x.
    t = object_transform_make(Vec3{0, 0, 0}, Vec3{0, 0, 90}, Vec3{1, 1, 1});
    x = 1, y = 0, z = 0;
    object_transform_apply(t, x, y, z);
    EXPECT_NEAR(x, 0.0f, 1e-6);
    EXPECT_NEAR(y, 1.0f, 1e-6);
}

TEST_F(TransformTest, IdentityRotationAndScaleGiveLocalPlusPositionExactly) {
    ObjectTransform t = object_transform_make(Vec3{0.1f, -3.3f, 7.7f}, Vec3{0, 0, 0}, Vec3{1, 1, 1});
    const float src[9] = {1.1f, 2.2f, 3.3f, -4.4f, 5.5f, 6.6f, 1e-7f, -0.0f, 123456.7f};
    float dst[9];
    object_transform_triangles(t, src, dst, 1);
    for (int v = 0; v < 3; ++v) {
        EXPECT_EQ(dst[v * 3], src[v * 3] + 0.1f);
        EXPECT_EQ(dst[v * 3 + 1], src[v * 3 + 1] + -3.3f);
        EXPECT_EQ(dst[v * 3 + 2], src[v * 3 + 2] + 7.7f);
    }
    // In place gives the same.
    float same[9];
    std::copy(src, src + 9, same);
    object_transform_triangles(t, same, same, 1);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(same[i], dst[i]);
}

TEST_F(TransformTest, TransformOfReadsTheTable) {
    obj_set_position(4, 1, 2, 3);
    obj_set_scale(4, 2, 2, 2);
    ObjectTransform t = object_transform_of(4);
    float x = 1, y = 1, z = 1;
    object_transform_apply(t, x, y, z);
    EXPECT_EQ(x, 3.0f);
    EXPECT_EQ(y, 4.0f);
    EXPECT_EQ(z, 5.0f);
}

TEST_F(TransformTest, SetPositionMarksMovedPartsAndMovesTheirBoxes) {
    make_object(3, 3);
    PartArrays& pa = obj_table.parts[3];
    pa.box_min[0] = Vec3{-1.5f, 0.25f, 2};
    pa.box_max[0] = Vec3{1.5f, 0.75f, 3};
    pa.visible[1] = 0;
    pa.dirty[2] = 1;
    obj_set_position(3, 1, -1, 0.5f);
    EXPECT_EQ(dirty(3, 0), 2);
    EXPECT_EQ(dirty(3, 1), 0);  // hidden part
    EXPECT_EQ(dirty(3, 2), 1);  // a pending rebuild is not downgraded
    EXPECT_EQ(pa.box_min[0].x, -0.5f);
    EXPECT_EQ(pa.box_max[0].y, -0.25f);
    EXPECT_EQ(pa.box_min_i[0].x, 0);  // -0.5 truncates toward zero
    EXPECT_EQ(pa.box_min_i[0].y, 0);  // -0.75
    EXPECT_EQ(pa.box_max_i[0].x, 3);  // 2.5 -> 2 + 1
    EXPECT_EQ(pa.box_max_i[0].y, 1);  // -0.25 -> 0 + 1
    EXPECT_EQ(pa.box_min_i[0].z, 2);
    EXPECT_EQ(pa.box_max_i[0].z, 4);
    EXPECT_EQ(obj_table.position[3].z, 0.5f);
}

TEST_F(TransformTest, SamePositionMarksNothingAndDisabledObjectsOnlyMoveBoxes) {
    make_object(3, 2);
    obj_set_position(3, 0, 0, 0);
    EXPECT_EQ(dirty(3, 0), 0);
    EXPECT_EQ(dirty(3, 1), 0);
    obj_set_enabled(3, 0);
    clean(3);
    obj_set_position(3, 5, 0, 0);
    EXPECT_EQ(dirty(3, 0), 0);
    EXPECT_EQ(obj_table.parts[3].box_max[1].x, 5.0f);
    EXPECT_EQ(obj_table.parts[3].box_max_i[1].x, 6);
    EXPECT_EQ(obj_table.position[3].x, 5.0f);
}

TEST_F(TransformTest, FarAwayBoxesSaturateInsteadOfOverflowing) {
    make_object(3, 1);
    obj_set_position(3, -1e13f, 3e9f, 0);  // where parked particles live
    EXPECT_EQ(obj_table.parts[3].box_min_i[0].x, -2147483647 - 1);
    EXPECT_EQ(obj_table.parts[3].box_max_i[0].y, 2147483521);
}

TEST_F(TransformTest, RotationAndScaleMarkVisiblePartsOnlyWhenChanged) {
    make_object(2, 2);
    obj_table.parts[2].visible[1] = 0;
    obj_set_rotation(2, 0, 0, 0);
    obj_set_scale(2, 1, 1, 1);
    EXPECT_EQ(dirty(2, 0), 0);
    obj_table.parts[2].dirty[0] = 2;
    obj_set_rotation(2, 0, 45, 0);
    EXPECT_EQ(dirty(2, 0), 1);  // a move becomes a rebuild
    EXPECT_EQ(dirty(2, 1), 0);
    clean(2);
    obj_set_scale(2, 1, 2, 1);
    EXPECT_EQ(dirty(2, 0), 1);
    clean(2);
    obj_set_enabled(2, 0);
    clean(2);
    obj_set_rotation(2, 10, 0, 0);
    obj_set_scale(2, 3, 3, 3);
    EXPECT_EQ(dirty(2, 0), 0);
    EXPECT_EQ(obj_table.rotation[2].x, 10.0f);
    EXPECT_EQ(obj_table.scale[2].z, 3.0f);
}

TEST_F(TransformTest, EnablingMarksEveryPartOnChange) {
    make_object(2, 2);
    obj_table.parts[2].visible[1] = 0;
    obj_enable(2);  // already enabled
    EXPECT_EQ(dirty(2, 0), 0);
    obj_set_enabled(2, 0);
    EXPECT_EQ(dirty(2, 0), 1);
    EXPECT_EQ(dirty(2, 1), 1);
    EXPECT_EQ(obj_table.enabled[2], 0);
    clean(2);
    obj_set_enabled(2, 7);  // any non-zero flag enables
    EXPECT_EQ(obj_table.enabled[2], 1);
    EXPECT_EQ(dirty(2, 1), 1);
}

TEST_F(TransformTest, SceneryTogglesAllButThePreloadedModels) {
    for (ObjectId id : {1, 199, 200, 299, 300, 2050, 2051, 2057, 2058, 2099, 2100}) make_object(id, 1);
    obj_ensure(5, 0);  // no geometry: untouched
    obj_hide_scenery();
    for (ObjectId id : {1, 199, 300, 2050, 2058, 2099}) EXPECT_EQ(obj_table.enabled[id], 0) << id;
    for (ObjectId id : {200, 299, 2051, 2057, 2100}) EXPECT_EQ(obj_table.enabled[id], 1) << id;
    EXPECT_EQ(obj_table.enabled[5], 1);
    EXPECT_EQ(dirty(1, 0), 1);
    EXPECT_EQ(dirty(200, 0), 0);
    obj_show_scenery();
    EXPECT_EQ(obj_table.enabled[199], 1);
}

TEST_F(TransformTest, AnimationTimeMarksVisiblePartsOfEnabledObjects) {
    make_object(179, 1);
    obj_set_anim_time_fixed(0.0);  // unchanged
    EXPECT_EQ(dirty(179, 0), 0);
    obj_set_anim_time_fixed(2.5);
    EXPECT_EQ(dirty(179, 0), 1);
    EXPECT_EQ(obj_table.anim_time[179], 2.5);
    clean(179);
    obj_anim_time_one(179);
    EXPECT_EQ(obj_table.anim_time[179], 1.0);
    EXPECT_EQ(dirty(179, 0), 1);
    clean(179);
    obj_set_enabled(179, 0);
    clean(179);
    obj_anim_time_zero(179);
    EXPECT_EQ(dirty(179, 0), 0);
    EXPECT_EQ(obj_table.anim_time[179], 0.0);
}

TEST_F(TransformTest, MoveForwardFollowsYawAndPitch) {
    make_object(6, 1);
    obj_set_rotation(6, 0, 90, 0);
    obj_move_forward(6, 2);
    EXPECT_NEAR(obj_table.position[6].x, 2.0f, 1e-6);
    EXPECT_NEAR(obj_table.position[6].z, 0.0f, 1e-6);
    obj_set_rotation(6, 90, 0, 0);
    obj_move_forward(6, 3);
    EXPECT_NEAR(obj_table.position[6].y, 3.0f, 1e-6);
    EXPECT_NEAR(obj_table.position[6].x, 2.0f, 1e-6);
    clean(6);
    obj_set_rotation(6, 0, 0, 0);
    clean(6);
    obj_move_forward(6, 1);
    EXPECT_NEAR(obj_table.position[6].z, 1.0f, 1e-6);
    EXPECT_EQ(dirty(6, 0), 2);  // through obj_set_position
    obj_move_forward(0, 5);     // ids below 1 are ignored
    EXPECT_EQ(obj_table.position[0].z, 0.0f);
}

}  // namespace
