// Moving triangles between parts and objects: merging parts, flat copies and clones, with their
// counts, flags and the parts they leave cleared.
#include <gtest/gtest.h>

#include <vector>

#include "scene/object.h"
#include "scene/transform.h"

namespace {

class ObjectCopyTest : public testing::Test {
  protected:
    void SetUp() override { obj_table_reset_all(); }
    void TearDown() override { obj_table_reset_all(); }
};

std::vector<float> tris(int n, float base = 1.0f) {
    std::vector<float> v(static_cast<size_t>(n) * TRI_WORLD_FLOATS);
    for (size_t i = 0; i < v.size(); ++i) v[i] = base + static_cast<float>(i);
    return v;
}

PartArrays& parts(ObjectId id) {
    return obj_table.parts[id];
}

TEST_F(ObjectCopyTest, MergeOnePartAppendsAndClearsIt) {
    std::vector<float> a = tris(2, 0.0f), b = tris(3, 1000.0f);
    std::vector<float> uv(3 * TRI_UV_FLOATS, 0.5f);
    obj_set_part_triangles(5, 0, a.data(), nullptr, nullptr, 0, 2);
    obj_set_part_triangles(5, 1, b.data(), uv.data(), nullptr, 0, 3);
    parts(5).dirty[0] = 0;
    obj_merge_parts(5, 0, 1);
    const PartArrays& pa = parts(5);
    EXPECT_EQ(pa.tri_count[0], 5);
    EXPECT_EQ(pa.tri_capacity[0], 5);
    EXPECT_EQ(pa.tri_world[0].size(), 5u * TRI_WORLD_FLOATS);
    EXPECT_EQ(pa.tri_world[0][2 * TRI_WORLD_FLOATS], 1000.0f);
    EXPECT_EQ(pa.tri_local[0].back(), b.back());
    // uvs are created for the whole merged part: zeros for the target's own triangles.
    ASSERT_EQ(pa.tri_uv[0].size(), 5u * TRI_UV_FLOATS);
    EXPECT_EQ(pa.tri_uv[0][0], 0.0f);
    EXPECT_EQ(pa.tri_uv[0][2 * TRI_UV_FLOATS], 0.5f);
    EXPECT_EQ(pa.dirty[0], 1);  // the world box must grow over the new triangles
    EXPECT_EQ(pa.tri_count[1], 0);
    EXPECT_TRUE(pa.tri_world[1].empty());
}

TEST_F(ObjectCopyTest, MergeAllPartsIntoOne) {
    std::vector<float> t = tris(1);
    std::vector<float> shade(TRI_SHADE_FLOATS, 0.25f);
    for (int p = 0; p < 4; ++p)
        obj_set_part_triangles(2, p, t.data(), nullptr, p == 3 ? shade.data() : nullptr, 0, 1);
    obj_merge_parts(2, 1, 0);  // source below 1: every other part
    const PartArrays& pa = parts(2);
    EXPECT_EQ(pa.tri_count[1], 4);
    for (int p : {0, 2, 3}) EXPECT_EQ(pa.tri_count[p], 0);
    // Shading created for triangles that had none is neutral.
    ASSERT_EQ(pa.tri_shade[1].size(), 4u * TRI_SHADE_FLOATS);
    EXPECT_EQ(pa.tri_shade[1][0], 1.0f);
    EXPECT_EQ(pa.tri_shade[1][3 * TRI_SHADE_FLOATS], 0.25f);
}

TEST_F(ObjectCopyTest, MergeEveryOtherPartIntoPartZero) {
    std::vector<float> t = tris(1);
    for (int p = 0; p < 3; ++p) obj_set_part_triangles(2, p, t.data(), nullptr, nullptr, 0, 1);
    obj_merge_parts(2, 0, 0);  // source 0 is below 1: the other parts, not part 0 itself
    EXPECT_EQ(parts(2).tri_count[0], 3);
    EXPECT_EQ(parts(2).tri_count[1], 0);
    EXPECT_EQ(parts(2).tri_count[2], 0);
}

TEST_F(ObjectCopyTest, MergeIgnoresIndicesOutsideThePartsAndSelfMerge) {
    std::vector<float> t = tris(2);
    obj_set_part_triangles(2, 0, t.data(), nullptr, nullptr, 0, 2);
    obj_set_part_triangles(2, 1, t.data(), nullptr, nullptr, 0, 2);
    obj_merge_parts(2, 0, 2);
    obj_merge_parts(2, 2, 1);
    obj_merge_parts(2, -1, 1);
    obj_merge_parts(2, 1, 1);  // would append the part to itself and then clear it
    obj_merge_parts(40, 0, 1);
    EXPECT_EQ(parts(2).tri_count[0], 2);
    EXPECT_EQ(parts(2).tri_count[1], 2);
}

TEST_F(ObjectCopyTest, FlattenedCopyFirstTimeZeroesTheFlatAxis) {
    std::vector<float> t = tris(3);
    obj_set_part_triangles(1, 0, t.data(), nullptr, nullptr, 4, 3);
    obj_set_part_triangles(1, 1, nullptr, nullptr, nullptr, 0, 0);  // empty: clears the copy's part
    obj_table.parts[1].world_min[0] = Vec3{-1, -2, -3};
    obj_table.parts[1].world_max_i[0] = Vec3i{4, 5, 6};
    obj_set_part_triangles(2, 1, t.data(), nullptr, nullptr, 0, 3);
    obj_set_part_triangles(2, 2, t.data(), nullptr, nullptr, 0, 3);
    obj_set_position(2, 5, 5, 5);

    obj_copy_flattened(2, 1, 0, 0);
    const PartArrays& pa = parts(2);
    EXPECT_EQ(pa.tri_count[0], 3);
    EXPECT_EQ(pa.texture[0], 0);
    for (int v = 0; v < 9; ++v) {
        EXPECT_EQ(pa.tri_local[0][v * 3], t[v * 3]);
        EXPECT_EQ(pa.tri_local[0][v * 3 + 1], 0.0f);
        EXPECT_EQ(pa.tri_local[0][v * 3 + 2], t[v * 3 + 2]);
    }
    EXPECT_EQ(pa.world_min[0].y, -2.0f);
    EXPECT_EQ(pa.world_max_i[0].z, 6);
    EXPECT_EQ(pa.tri_count[1], 0);  // source part empty
    EXPECT_TRUE(pa.tri_world[1].empty());
    EXPECT_TRUE(pa.tri_world[2].empty());  // beyond the source's parts
    EXPECT_EQ(obj_table.position[2].x, 0.0f);

    // Axis 1 flattens x instead.
    obj_copy_flattened(3, 1, 0, 1);
    EXPECT_EQ(parts(3).tri_local[0][0], 0.0f);
    EXPECT_EQ(parts(3).tri_local[0][1], t[1]);
}

TEST_F(ObjectCopyTest, FlattenedCopyInPlaceThinsLargeParts) {
    const int n = 20;  // over 14 triangles: thinning applies
    std::vector<float> t = tris(n);
    obj_set_part_triangles(1, 0, t.data(), nullptr, nullptr, 0, n);
    obj_copy_flattened(2, 1, 0, 0);  // first copy sizes the part to n
    PartArrays& pa = parts(2);
    pa.dirty[0] = 0;
    obj_copy_flattened(2, 1, 3, 0);  // keep one of every 4, into tri_world (part is clean)
    EXPECT_EQ(pa.tri_count[0], 5);
    EXPECT_EQ(pa.tri_world[0][1 * TRI_WORLD_FLOATS], t[4 * TRI_WORLD_FLOATS]);  // x of triangle 4
    EXPECT_EQ(pa.tri_world[0][1 * TRI_WORLD_FLOATS + 2], t[4 * TRI_WORLD_FLOATS + 2]);
    EXPECT_EQ(pa.tri_capacity[0], n);

    // A pending transform takes the update in tri_local instead.
    obj_set_part_triangles(4, 0, t.data(), nullptr, nullptr, 0, 5);  // 5 triangles: no thinning
    obj_copy_flattened(5, 4, 0, 0);
    std::vector<float> moved = tris(5, 500.0f);
    obj_set_part_triangles(4, 0, moved.data(), nullptr, nullptr, 0, 5);
    ASSERT_EQ(parts(5).dirty[0], 1);
    obj_copy_flattened(5, 4, 1, 0);
    EXPECT_EQ(parts(5).tri_count[0], 5);
    EXPECT_EQ(parts(5).tri_local[0][0], 500.0f);
    EXPECT_EQ(parts(5).tri_world[0][0], t[0]);
}

TEST_F(ObjectCopyTest, FlattenedCopyOntoItselfDoesNothing) {
    std::vector<float> t = tris(2);
    obj_set_part_triangles(1, 0, t.data(), nullptr, nullptr, 0, 2);
    obj_copy_flattened(1, 1, 0, 0);
    EXPECT_EQ(parts(1).tri_local[0], t);
}

TEST_F(ObjectCopyTest, CloneCopiesPartsAndObjectState) {
    std::vector<float> t = tris(3);
    std::vector<float> uv(3 * TRI_UV_FLOATS, 0.5f);
    obj_set_part_triangles(10, 0, t.data(), uv.data(), nullptr, 7, 3);
    obj_set_part_triangles(10, 2, t.data(), nullptr, nullptr, 8, 1);
    PartArrays& sp = parts(10);
    sp.visible[2] = 0;
    sp.collision_mode[0] = 12;  // parked by the transform pass
    sp.collision_mode[2] = -8;  // parked by the list builder
    sp.part_color[0] = Color4{0.5f, 0.5f, 0.5f, 1};
    sp.scratch[0].assign(scratch_bytes(3), 0);
    sp.scratch[0][0] = 1;
    sp.scratch[0][8] = 42;
    obj_table.position[10] = Vec3{1, 2, 3};
    obj_table.rotation[10] = Vec3{0, 90, 0};
    obj_table.anim_type[10] = 2;
    obj_table.anim_time[10] = 3.5;
    obj_table.span_limit[10] = 4;
    obj_table.color[10] = Color4{1, 0, 0, 1};
    obj_table.pose_cache_a[10].assign(POSE_CACHE_FLOATS, 2.0f);
    obj_table.particle_count[10] = 7;  // not copied

    std::vector<float> other = tris(9, 99.0f);
    obj_set_part_triangles(11, 4, other.data(), nullptr, nullptr, 0, 9);
    obj_clone(10, 11);
    const PartArrays& dp = parts(11);
    EXPECT_EQ(dp.tri_local[0], t);
    EXPECT_EQ(dp.tri_uv[0], uv);
    EXPECT_EQ(dp.texture[0], 7);
    EXPECT_EQ(dp.tri_count[2], 1);
    EXPECT_EQ(dp.tri_capacity[2], 1);
    EXPECT_EQ(dp.visible[2], 0);
    EXPECT_EQ(dp.collision_mode[0], 2);
    EXPECT_EQ(dp.collision_mode[2], 2);
    EXPECT_EQ(dp.part_color[0].r, 0.5f);
    EXPECT_EQ(dp.dirty[2], 1);
    ASSERT_EQ(dp.scratch[0].size(), scratch_bytes(3));
    EXPECT_EQ(dp.scratch[0][8], 42);
    EXPECT_TRUE(dp.scratch[2].empty());
    EXPECT_TRUE(dp.tri_world[4].empty());  // the destination's old part is gone
    EXPECT_EQ(obj_table.position[11].z, 3.0f);
    EXPECT_EQ(obj_table.rotation[11].y, 90.0f);
    EXPECT_EQ(obj_table.anim_type[11], 2u);
    EXPECT_EQ(obj_table.anim_time[11], 3.5);
    EXPECT_EQ(obj_table.span_limit[11], 4);
    EXPECT_EQ(obj_table.color[11].g, 0.0f);
    EXPECT_EQ(obj_table.pose_cache_a[11].size(), static_cast<size_t>(POSE_CACHE_FLOATS));
    EXPECT_EQ(obj_table.particle_count[11], 0);
    EXPECT_EQ(obj_table.has_geometry[11], 1);
}

TEST_F(ObjectCopyTest, CloneUsesTheUsedCountNotTheCapacity) {
    std::vector<float> t = tris(6);
    obj_set_part_triangles(3, 0, t.data(), nullptr, nullptr, 0, 6);
    obj_set_part_triangles(3, 0, t.data(), nullptr, nullptr, 0, 2);
    obj_clone(3, 4);
    EXPECT_EQ(parts(4).tri_count[0], 2);
    EXPECT_EQ(parts(4).tri_capacity[0], 2);
    EXPECT_EQ(parts(4).tri_world[0].size(), 2u * TRI_WORLD_FLOATS);
}

TEST_F(ObjectCopyTest, CloneOfSelfOrSlotZeroChangesNothing) {
    std::vector<float> t = tris(2);
    obj_set_part_triangles(3, 0, t.data(), nullptr, nullptr, 0, 2);
    obj_set_part_triangles(0, 0, t.data(), nullptr, nullptr, 0, 2);
    obj_clone(3, 3);
    obj_clone(0, 3);
    obj_clone(3, 0);
    obj_clone(-3, 3);
    EXPECT_EQ(parts(3).tri_local[0], t);
    EXPECT_EQ(parts(0).tri_local[0], t);
    EXPECT_EQ(obj_table.has_geometry[3], 1);
}

TEST_F(ObjectCopyTest, CloneOfAnObjectWithoutGeometryResetsTheDestination) {
    std::vector<float> t = tris(2);
    obj_set_part_triangles(6, 0, t.data(), nullptr, nullptr, 0, 2);
    obj_clone(5, 6);
    EXPECT_EQ(obj_table.has_geometry[6], 0);
    EXPECT_TRUE(parts(6).tri_world[0].empty());
}

int compactions = 0;
void count_compaction(ObjectId id, int part) {
    ++compactions;
    obj_table.parts[id].compact_pending[part] = 0;
}

TEST_F(ObjectCopyTest, CloneCompactsPendingPartsThroughTheInstalledRule) {
    std::vector<float> t = tris(2);
    obj_set_part_triangles(3, 0, t.data(), nullptr, nullptr, 0, 2);
    parts(3).compact_pending[0] = 1;
    obj_clone(3, 4);  // no rule installed: the flag waits for the update pass
    EXPECT_EQ(parts(3).compact_pending[0], 1);
    obj_table.part_compact = count_compaction;
    compactions = 0;
    obj_clone(3, 4);
    EXPECT_EQ(compactions, 1);
    EXPECT_EQ(parts(3).compact_pending[0], 0);
}

}  // namespace
