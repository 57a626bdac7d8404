// The fast skinning against its plain reference: walking figures of both rigs over many frames, and
// random pose tables with moved, unmoved, thin and zero-length bones, compared bit for bit (world
// triangles, binding buffer, box and result).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "render/geometry/geometry.h"
#include "render/geometry/skinning.h"
#include "render/update/animation.h"
#include "scene/object.h"
#include "scene/transform.h"

namespace {

// A tube of rings x sides quads from (ax, ay) to (bx, by) in the x-y plane.
void tube(std::vector<float>& out, float ax, float ay, float bx, float by, float r, int rings, int sides) {
    auto at = [&](int ring, int side, float* v) {
        const float f = static_cast<float>(ring) / static_cast<float>(rings);
        const double a = 6.283185307179586 * side / sides;
        v[0] = ax + (bx - ax) * f + r * static_cast<float>(std::cos(a));
        v[1] = ay + (by - ay) * f;
        v[2] = r * static_cast<float>(std::sin(a));
    };
    for (int i = 0; i < rings; ++i)
        for (int s = 0; s < sides; ++s) {
            float p[4][3];
            at(i, s, p[0]), at(i, s + 1, p[1]), at(i + 1, s + 1, p[2]), at(i + 1, s, p[3]);
            for (int k : {0, 1, 2, 0, 2, 3}) out.insert(out.end(), p[k], p[k] + 3);
        }
}

std::vector<float> figure_mesh() {
    std::vector<float> m;
    tube(m, 0, 0.95f, 0, 1.45f, 0.15f, 12, 10);
    for (float side : {1.0f, -1.0f}) {
        tube(m, side * 0.11f, 0.95f, side * 0.11f, 0.52f, 0.07f, 8, 8);
        tube(m, side * 0.11f, 0.52f, side * 0.11f, 0.0f, 0.06f, 8, 8);
        tube(m, side * 0.24f, 1.42f, side * 0.26f, 0.84f, 0.045f, 8, 6);
    }
    tube(m, 0, 1.5f, 0, 1.75f, 0.1f, 6, 8);
    return m;
}

class Skinning : public testing::Test {
  protected:
    void SetUp() override { obj_table_reset_all(); }
    void TearDown() override { obj_table_reset_all(); }

    // Runs both versions from the same state; leaves the part as the fast version wrote it.
    void expect_same(ObjectId id, bool fold) {
        PartArrays& pa = obj_table.parts[static_cast<size_t>(id)];
        const ObjectTransform tr = object_transform_of(id);
        const std::vector<float> world0 = pa.tri_world[0];
        const std::vector<uint8_t> scratch0 = pa.scratch[0];
        Vec3 lo1{1, 2, 3}, hi1{4, 5, 6}, lo2 = lo1, hi2 = hi1;
        bool started1 = !fold, started2 = !fold;
        const bool r1 = skin_part_reference(id, 0, tr, fold, lo1, hi1, started1);
        const std::vector<float> world1 = pa.tri_world[0];
        const std::vector<uint8_t> scratch1 = pa.scratch[0];
        pa.tri_world[0] = world0;
        pa.scratch[0] = scratch0;
        const bool r2 = skin_part(id, 0, tr, fold, lo2, hi2, started2);
        ++compared;
        ASSERT_EQ(r1, r2);
        ASSERT_EQ(started1, started2);
        ASSERT_EQ(world1.size(), pa.tri_world[0].size());
        ASSERT_EQ(scratch1.size(), pa.scratch[0].size());
        EXPECT_EQ(std::memcmp(world1.data(), pa.tri_world[0].data(), world1.size() * sizeof(float)), 0);
        EXPECT_EQ(std::memcmp(scratch1.data(), pa.scratch[0].data(), scratch1.size()), 0);
        EXPECT_EQ(std::memcmp(&lo1, &lo2, sizeof lo1), 0);
        EXPECT_EQ(std::memcmp(&hi1, &hi2, sizeof hi1), 0);
    }

    int compared = 0;
};

TEST_F(Skinning, WalkingFiguresOfBothRigsMatchTheReference) {
    const std::vector<float> mesh = figure_mesh();
    for (unsigned rig : {1u, 2u}) {
        const ObjectId id = static_cast<ObjectId>(rig);
        obj_set_part_triangles(id, 0, mesh.data(), nullptr, nullptr, 0, static_cast<int>(mesh.size() / 9));
        obj_table.anim_type[id] = rig;
        obj_table.anim_clip[id] = 0;
        obj_set_position(id, 1.5f, 0.25f, -2);
        obj_set_rotation(id, 0, 30, 0);
        anim_prepare_poses(id);
        for (int frame = 0; frame < 24; ++frame) {
            if (frame == 12) obj_table.anim_clip[id] = 4;  // a new clip: the binding is made again
            obj_table.anim_time[id] = 0.13 * frame;
            anim_update_pose(id);
            expect_same(id, frame % 3 != 0);
            if (HasFatalFailure()) return;
        }
    }
    EXPECT_EQ(compared, 48);
}

TEST_F(Skinning, RandomPosesMatchTheReference) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> unit(-1, 1);
    const ObjectId id = 3;
    for (int round = 0; round < 60; ++round) {
        obj_reset(id);
        std::vector<float> tris(9 * 90);
        for (float& v : tris) v = unit(rng);
        // Repeated corners: the reuse of a recent identical vertex is part of what must match.
        for (size_t i = 9; i < tris.size(); i += 27) std::memcpy(&tris[i], &tris[i - 9], 3 * sizeof(float));
        obj_set_part_triangles(id, 0, tris.data(), nullptr, nullptr, 0, 90);
        obj_table.anim_type[id] = 1 + round % 2;
        obj_table.anim_clip[id] = 0;
        anim_prepare_poses(id);
        float* rest = obj_table.pose_cache_a[id].data();
        float* now = obj_table.pose_cache_c[id].data();
        for (int j = 0; j < 256; j += 4) {
            rest[j] = unit(rng), rest[j + 1] = unit(rng), rest[j + 2] = unit(rng);
            // Reaches from nothing (ends the row) to wide; some bones of zero length.
            rest[j + 3] = (rng() % 7 == 0) ? 0.00005f : 0.2f + 0.8f * std::fabs(unit(rng));
            if (rng() % 9 == 0 && j >= 4) std::memcpy(&rest[j], &rest[j - 4], 3 * sizeof(float));
            std::memcpy(&now[j], &rest[j], 4 * sizeof(float));
            if (rng() % 2 == 0) now[j] += 0.3f * unit(rng), now[j + 1] += 0.3f * unit(rng);
        }
        expect_same(id, true);  // the binding is made
        if (HasFatalFailure()) return;
        for (int j = 0; j < 256; j += 4)
            if (rng() % 3 == 0) now[j + 2] += 0.2f * unit(rng);
        expect_same(id, round % 2 == 0);  // the binding is reused
        if (HasFatalFailure()) return;
    }
    EXPECT_EQ(compared, 120);
}

}  // namespace
