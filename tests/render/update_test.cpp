// Paths and particles: queueing, arrival and turning of path movement; the particle step's respawn,
// forces, floor, growth, fading and quads, its blocks of 32 per worker, emitters in the pipeline, and the
// compaction of triangle lists.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "render/update/paths.h"
#include "render/update/update_pass.h"
#include "scene/camera.h"
#include "scene/transform.h"
#include "update_test_util.h"

namespace {

class Paths : public testing::Test {
  protected:
    void SetUp() override {
        utest::reset(1);
        std::vector<float> tris;
        utest::add_marker(tris, 0, 0, 0);
        obj_set_part_triangles(7, 0, tris.data(), nullptr, nullptr, 0, 1);
    }
    void TearDown() override { utest::reset(1); }
};

TEST_F(Paths, PushQueuesOnlyBehindAnActivePath) {
    ObjectTable& t = obj_table;
    path_push(7, 1, 0, 0, 2.0f, 0, 0, 45, 0, 1);  // no active path: becomes the current one
    EXPECT_EQ(t.path_speed[7], 2.0f);
    EXPECT_EQ(t.path_queue_length[7], 0);
    path_push(7, 2, 0, 0, 0.0f, 0, 0, 400, 1, 1);  // queued whatever its speed; heading 400 reads as 0
    path_push(7, 3, 0, 0, 1.0f, 0, 0, -1, 0, 1);
    ASSERT_EQ(t.path_queue_length[7], 2);
    EXPECT_EQ(t.path_queue[7][3], 0.0f);
    EXPECT_EQ(static_cast<int>(t.path_queue[7][7]), 1);
    path_push(7, 5, 6, 7, 0.0f, 0, 0, 90, 0, 0);  // no speed: cancel and place
    EXPECT_EQ(t.path_speed[7], 0.0f);
    EXPECT_EQ(t.path_queue_length[7], 0);
    EXPECT_TRUE(t.path_queue[7].empty());
    EXPECT_EQ(t.position[7].z, 7.0f);
    EXPECT_EQ(t.rotation[7].y, 90.0f);
    path_push(7, 9, 9, 9, 0.0f, 0, 0, -5, 0, 0);  // a negative heading keeps the rotation
    EXPECT_EQ(t.rotation[7].y, 90.0f);
    path_push(0, 1, 1, 1, 0.0f, 0, 0, 0, 0, 0);  // ids outside the table are ignored
    path_push(100000, 1, 1, 1, 0.0f, 0, 0, 0, 0, 0);
    EXPECT_EQ(t.position[0].x, 0.0f);
    EXPECT_LT(t.object_capacity, 100000);
}

TEST_F(Paths, ReachedPointPopsTheNextInTheSameFrame) {
    ObjectTable& t = obj_table;
    path_push(7, 0, 0, 0, 1.0f, 0, 0, -1, 0, 0);  // already there
    path_push(7, 4, 0, 0, 3.0f, 0.5f, 20, 90, 1, 1);
    path_step(0.1, 7);
    EXPECT_EQ(t.path_queue_length[7], 0);
    EXPECT_TRUE(t.path_queue[7].empty());
    EXPECT_EQ(t.path_target[7].x, 4.0f);
    EXPECT_EQ(t.path_speed[7], 3.0f);
    EXPECT_EQ(t.path_mode[7], 1);
    EXPECT_EQ(t.path_param_b[7], 20.0f);
    // Mode 1 walks straight there, turning towards the heading by at most 20 degrees a second.
    path_step(0.5, 7);
    EXPECT_FLOAT_EQ(t.position[7].x, 1.5f);
    EXPECT_FLOAT_EQ(t.rotation[7].y, 10.0f);
    for (int i = 0; i < 3; ++i) path_step(0.5, 7);
    EXPECT_FLOAT_EQ(t.position[7].x, 4.0f);
    EXPECT_EQ(t.path_speed[7], 0.0f);
}

TEST_F(Paths, GroundWalkTurnsWithinItsLimitAndArrivesKeepingHeight) {
    ObjectTable& t = obj_table;
    obj_set_position(7, 0, 2, 0);
    t.anim_type[7] = 1;
    path_push(7, 10, 0, 0, 2.0f, 0.75f, 90, -1, 0, 0);  // target due +x: heading 90
    path_step(0.5, 7);
    EXPECT_FLOAT_EQ(t.rotation[7].y, 45.0f);  // 90 degrees a second for half a second
    EXPECT_FLOAT_EQ(t.anim_speed[7], 1.5f);   // the walk cycle follows the walking speed
    EXPECT_GT(t.position[7].x, 0.0f);
    int steps = 0;
    while (t.path_speed[7] != 0.0f && steps < 200) {
        path_step(0.1, 7);
        ++steps;
    }
    EXPECT_LT(steps, 200);
    EXPECT_FLOAT_EQ(t.position[7].x, 10.0f);
    EXPECT_NEAR(t.position[7].z, 0.0f, 1e-4);
    EXPECT_FLOAT_EQ(t.position[7].y, 2.0f);
}

// Runs the path to its end; false when it did not end within a thousand steps.
bool walk_to_end(ObjectId id, double dt) {
    for (int i = 0; i < 1000; ++i) {
        if (obj_table.path_speed[id] == 0.0f) return true;
        path_step(dt, id);
    }
    return obj_table.path_speed[id] == 0.0f;
}

TEST_F(Paths, ArrivalTakesTheTargetHeading) {
    ObjectTable& t = obj_table;
    path_push(7, 10, 0, 0, 2.0f, 0, 360, 30, 0, 0);  // walks facing 90, stops facing 30
    ASSERT_TRUE(walk_to_end(7, 0.1));
    EXPECT_FLOAT_EQ(t.position[7].x, 10.0f);
    EXPECT_FLOAT_EQ(t.rotation[7].y, 30.0f);
    path_push(7, 10, 0, 10, 2.0f, 0, 720, -1, 0, 0);  // no heading: keeps the walk direction
    ASSERT_TRUE(walk_to_end(7, 0.1));
    EXPECT_NEAR(angle_difference(t.rotation[7].y, 0.0f), 0.0f, 1.0f);
    // A straight mover that turns too slowly to get there on the way still ends on its heading.
    path_push(7, 11, 0, 10, 10.0f, 0, 10, 90, 1, 0);
    ASSERT_TRUE(walk_to_end(7, 0.1));
    EXPECT_FLOAT_EQ(t.rotation[7].y, 90.0f);
}

TEST_F(Paths, ZeroTurnLimitDoesNotTurn) {
    ObjectTable& t = obj_table;
    path_push(7, 4, 0, 0, 1.0f, 0, 0, 90, 1, 0);
    path_step(0.5, 7);
    EXPECT_FLOAT_EQ(t.position[7].x, 0.5f);
    EXPECT_EQ(t.rotation[7].y, 0.0f);
    // A walker keeps facing where it faced: straight ahead it still arrives, to the side it stays put.
    obj_set_position(7, 0, 0, 0);
    path_push(7, 0, 0, 5, 1.0f, 0, 0, -1, 0, 0);
    ASSERT_TRUE(walk_to_end(7, 0.1));
    EXPECT_FLOAT_EQ(t.position[7].z, 5.0f);
    path_push(7, 5, 0, 5, 1.0f, 0, 0, -1, 0, 0);
    for (int i = 0; i < 10; ++i) path_step(0.1, 7);
    EXPECT_EQ(t.rotation[7].y, 0.0f);
    EXPECT_NEAR(t.position[7].x, 0.0f, 1e-4);
}

TEST_F(Paths, QueuedPointWithoutSpeedEndsThePath) {
    ObjectTable& t = obj_table;
    path_push(7, 1, 0, 0, 1.0f, 0, 0, -1, 1, 0);
    path_push(7, 5, 0, 0, 0.0f, 0, 0, 90, 1, 1);  // a stop
    path_push(7, 9, 0, 0, 2.0f, 0, 0, -1, 1, 1);  // never reached
    path_step(0.5, 7);
    path_step(0.5, 7);
    EXPECT_EQ(t.path_speed[7], 0.0f);
    EXPECT_EQ(t.path_queue_length[7], 0);
    EXPECT_TRUE(t.path_queue[7].empty());
    EXPECT_FLOAT_EQ(t.position[7].x, 1.0f);  // where the path reached, not at the stop point
    EXPECT_EQ(t.rotation[7].y, 0.0f);
    // A negative speed stops it just the same.
    path_push(7, 2, 0, 0, 1.0f, 0, 0, -1, 1, 0);
    path_push(7, 5, 0, 0, -1.0f, 0, 0, -1, 1, 1);
    EXPECT_TRUE(walk_to_end(7, 0.5));
    EXPECT_FLOAT_EQ(t.position[7].x, 2.0f);
}

TEST_F(Paths, FinishAndSync) {
    ObjectTable& t = obj_table;
    path_push(7, 3, 4, 5, 1.0f, 0, 0, 30, 0, 0);
    path_push(7, 6, 6, 6, 1.0f, 0, 0, 30, 0, 1);
    obj_set_rotation(7, 10, 0, 20);
    path_finish(7);
    EXPECT_EQ(t.position[7].y, 4.0f);
    EXPECT_EQ(t.rotation[7].x, 0.0f);
    EXPECT_EQ(t.rotation[7].y, 30.0f);
    EXPECT_EQ(t.path_speed[7], 0.0f);
    EXPECT_EQ(t.path_queue_length[7], 0);
    path_finish(7);  // inactive: nothing moves
    EXPECT_EQ(t.position[7].y, 4.0f);
    path_push(7, 9, 9, 9, 1.0f, 0, 0, 0, 0, 0);
    path_sync(7);
    EXPECT_EQ(t.path_target[7].x, 3.0f);
}

TEST_F(Paths, QueueIsBounded) {
    path_push(7, 1, 0, 0, 1.0f, 0, 0, 0, 0, 0);
    for (int i = 0; i < PATH_QUEUE_LIMIT + 10; ++i) path_push(7, 1, 0, 0, 1.0f, 0, 0, 0, 0, 1);
    EXPECT_EQ(obj_table.path_queue_length[7], PATH_QUEUE_LIMIT);
}

// --- particles -----------------------------------------------------------------------------------------

class Particles : public testing::Test {
  protected:
    void SetUp() override { utest::reset(1); }
    void TearDown() override { utest::reset(1); }
};

TEST(ParticleAlpha, FadeInAndAge) {
    EXPECT_FLOAT_EQ(particle_alpha(0.05f, PARTICLE_FLAG_FADE_IN), 0.45f);
    EXPECT_FLOAT_EQ(particle_alpha(0.05f, 0), 0.95f);
    EXPECT_FLOAT_EQ(particle_alpha(0.5f, PARTICLE_FLAG_FADE_IN), 0.5f);
    EXPECT_EQ(particle_alpha(1.5f, 0), 0.0f);
}

float* record(ObjectId id, int i) {
    return obj_table.particles[static_cast<size_t>(id)].data() + static_cast<size_t>(i) * PARTICLE_FLOATS;
}

TEST_F(Particles, RespawnAtTheEmitterWithinTheSpread) {
    utest::make_emitter(3, 40, 2.0f, 5.0f);  // every particle is past its life
    obj_set_position(3, 1, 2, 3);
    obj_table.particle_spread[3] = Vec3{0.5f, 0.0f, 2.0f};
    std::srand(7);
    ParticleBox box{};
    particle_step(3, 0.0, 0, 1, box);
    bool negative_x = false;
    for (int i = 0; i < 40; ++i) {
        const float* p = record(3, i);
        EXPECT_EQ(p[0], 1.0f);
        EXPECT_EQ(p[2], 3.0f);
        EXPECT_GE(p[PARTICLE_AGE], 0.0f);
        EXPECT_LT(p[PARTICLE_AGE], 2.0f / 3.0f);
        EXPECT_LT(std::fabs(p[PARTICLE_VX]), 0.5f);
        EXPECT_EQ(p[PARTICLE_VX + 1], 0.0f);  // no spread on y: left alone
        EXPECT_LT(std::fabs(p[PARTICLE_VX + 2]), 2.0f);
        negative_x = negative_x || p[PARTICLE_VX] < 0;
    }
    EXPECT_TRUE(negative_x);
    EXPECT_TRUE(box.any);
    // A parked emitter sends them far away, and far-away particles get no quad.
    obj_table.particle_parked[3] = 1;
    for (int i = 0; i < 40; ++i) record(3, i)[PARTICLE_AGE] = 5.0f;
    ParticleBox none{};
    particle_step(3, 0.0, 0, 1, none);
    EXPECT_EQ(record(3, 0)[1], -1e11f);
    EXPECT_FALSE(none.any);
    for (int k = 0; k < 18; ++k) EXPECT_EQ(obj_table.parts[3].tri_world[0][k], 0.0f);
}

// The workers take an emitter's blocks in whatever order their threads run: the particles they respawn
// must come out the same, or a frame would depend on the schedule (and two passes of the demo differ).
TEST_F(Particles, RespawnsComeOutTheSameWhicheverShareTakesWhichBlockFirst) {
    constexpr int N = 200;  // seven blocks of 32
    auto respawned = [&](const std::vector<std::pair<int, int>>& shares) {
        utest::make_emitter(3, N, 2.0f, 5.0f);  // every particle is past its life
        obj_table.particle_spread[3] = Vec3{0.5f, 0.3f, 2.0f};
        for (const auto& [index, count] : shares) {
            ParticleBox box{};
            particle_step(3, 0.0, index, count, box);
        }
        return obj_table.particles[3];
    };
    const std::vector<float> alone = respawned({{0, 1}});
    EXPECT_EQ(respawned({{1, 3}, {0, 3}, {2, 3}}), alone);
    EXPECT_EQ(respawned({{1, 2}, {0, 2}}), alone);
    // And they are not all alike: each particle draws its own numbers.
    EXPECT_NE(alone[PARTICLE_VX], alone[PARTICLE_FLOATS + PARTICLE_VX]);
}

TEST_F(Particles, ForcesWindFloorAndQuads) {
    utest::make_emitter(3, 2, 10.0f, 0.0f);
    float* a = record(3, 0);
    float* b = record(3, 1);
    a[0] = 0, a[1] = 0, a[2] = 10;
    b[0] = 0, b[1] = 0.05f, b[2] = 10;
    b[PARTICLE_VX] = 1.0f;
    b[PARTICLE_VX + 1] = -3.0f;
    b[PARTICLE_VX + 2] = 1.0f;
    particle_set_wind(2, 0, 0);
    particle_set_attractor(0, 4, 10, 25.0f, 3.0f);  // a is 4 below it: pulled up by 3 x (1 - 16/25)
    obj_table.particle_floor[3] = 0.01f;
    obj_table.particle_flags[3] = 2;  // growth: (((2 >> 1) + 1) & 3) = 2 per life
    ParticleBox box{};
    particle_step(3, 0.1, 0, 1, box);
    EXPECT_FLOAT_EQ(a[0], 0.2f);
    EXPECT_NEAR(a[1], 0.1f * 3.0f * (1.0f - 16.0f / 25.0f), 1e-5);
    EXPECT_FLOAT_EQ(a[PARTICLE_AGE], 0.1f);
    EXPECT_FLOAT_EQ(b[1], 0.01f);  // fell through the floor: stopped on it
    EXPECT_EQ(b[PARTICLE_VX], 0.0f);
    EXPECT_EQ(b[PARTICLE_VX + 2], 0.0f);
    EXPECT_EQ(b[PARTICLE_VX + 1], -3.0f);

    // Seen from the origin along +z the quad of a lies in its own z plane, half-size 0.5 + 0.01 x 2.
    const std::vector<float>& w = obj_table.parts[3].tri_world[0];
    const float s = 0.5f + 0.01f * 2.0f;
    // (the eye sees a slightly off-axis, so the quad is turned a little towards it)
    EXPECT_NEAR(w[0], a[0] - s, 2e-3);
    EXPECT_NEAR(w[1], a[1] - s, 2e-3);
    EXPECT_NEAR(w[2], 10.0f, 0.02f);
    EXPECT_NEAR(w[6], a[0] + s, 2e-3);
    EXPECT_NEAR(w[7], a[1] + s, 2e-3);
    EXPECT_NEAR(w[9 + 6], a[0] - s, 2e-3);  // second triangle ends on (-s, +s)
    EXPECT_NEAR(w[9 + 7], a[1] + s, 2e-3);
    const std::vector<float>& sh = obj_table.parts[3].tri_shade[0];
    EXPECT_EQ(sh[0], 1.0f);
    EXPECT_EQ(sh[1], 0.5f);
    EXPECT_EQ(sh[2], 0.25f);
    EXPECT_FLOAT_EQ(sh[3], 0.99f);
    EXPECT_FLOAT_EQ(sh[5 * 4 + 3], 0.99f);  // the alpha of the sixth vertex
    EXPECT_NEAR(box.lo.x, a[0] - s, 2e-3);

    // The wind does not reach an emitter that is sheltered from it.
    obj_table.particle_no_wind[3] = 1;
    particle_set_attractor(0, 0, 0, 0, 0);
    const float x = a[0];
    particle_step(3, 0.1, 0, 1, box);
    EXPECT_FLOAT_EQ(a[0], x);
}

TEST_F(Particles, UprightQuadsStayVertical) {
    utest::make_emitter(3, 1, 10.0f, 0.0f);
    float* a = record(3, 0);
    a[0] = 0, a[1] = -10, a[2] = 10;  // well below the eye
    obj_table.particle_flags[3] = PARTICLE_FLAG_UPRIGHT;
    ParticleBox box{};
    particle_step(3, 0.0, 0, 1, box);
    const std::vector<float>& w = obj_table.parts[3].tri_world[0];
    for (int v = 0; v < 6; ++v) EXPECT_NEAR(w[v * 3 + 2], 10.0f, 1e-4);
    obj_table.particle_flags[3] = 0;
    particle_step(3, 0.0, 0, 1, box);
    EXPECT_GT(std::fabs(w[2] - 10.0f), 0.1f);  // tilted towards the eye
}

// The quads face the eye as the view angles turned by rotate_point would turn them (up to the engine's
// degree factor, a few hundredths of a percent of the angle).
TEST_F(Particles, QuadsFaceTheEyeLikeTheViewAngles) {
    utest::make_emitter(3, 1, 10.0f, 0.0f);
    camera_eye_put(1, 2, 3);
    const float spots[][3] = {{5, 2, 9}, {-4, 7, -2}, {1, -6, 3.5f}, {1, 9, 3}, {0.3f, 2, -8}, {-7, -1, 3}};
    for (const auto& at : spots) {
        float* a = record(3, 0);
        a[0] = at[0], a[1] = at[1], a[2] = at[2];
        ParticleBox box{};
        particle_step(3, 0.0, 0, 1, box);
        float pitch, yaw, roll;
        look_at_angles(1, 2, 3, at[0], at[1], at[2], pitch, yaw, roll);
        const float s = 0.5f;
        const float corners[4][2] = {{-s, -s}, {s, -s}, {s, s}, {-s, s}};
        const int order[6] = {0, 1, 2, 0, 2, 3};
        const std::vector<float>& w = obj_table.parts[3].tri_world[0];
        for (int v = 0; v < 6; ++v) {
            float x = corners[order[v]][0], y = corners[order[v]][1], z = 0;
            rotate_point(x, y, z, -pitch, -yaw, 0, 0);
            EXPECT_NEAR(w[v * 3], at[0] + x, 4e-3) << at[0];
            EXPECT_NEAR(w[v * 3 + 1], at[1] + y, 4e-3) << at[0];
            EXPECT_NEAR(w[v * 3 + 2], at[2] + z, 4e-3) << at[0];
        }
    }
}

TEST_F(Particles, WorkersShareBlocksOf32AndTogetherDoItAll) {
    const int count = 200;
    utest::make_emitter(9, count, 10.0f, 1.0f);
    for (int i = 0; i < count; ++i) {
        float* p = record(9, i);
        p[0] = static_cast<float>(i);
        p[1] = 1;
        p[2] = 20;
        p[PARTICLE_VX] = 0.5f;
    }
    const std::vector<float> before = obj_table.particles[9];
    // Worker 1 of 3 takes the blocks whose (block + 9) % 3 == 1: blocks 1 and 4.
    ParticleBox box{};
    particle_step(9, 0.1, 1, 3, box);
    for (int i = 0; i < count; ++i) {
        const int block = i / 32;
        const bool mine = (block + 9) % 3 == 1;
        EXPECT_EQ(record(9, i)[PARTICLE_AGE] != 1.0f, mine) << i;
    }
    particle_step(9, 0.1, 0, 3, box);
    particle_step(9, 0.1, 2, 3, box);
    const std::vector<float> split = obj_table.particles[9];
    const std::vector<float> split_tris = obj_table.parts[9].tri_world[0];
    obj_table.particles[9] = before;
    particle_step(9, 0.1, 0, 1, box);
    EXPECT_EQ(obj_table.particles[9], split);
    EXPECT_EQ(obj_table.parts[9].tri_world[0], split_tris);
}

TEST_F(Particles, EmitterQuadsSurviveThePipelineAndSetTheBox) {
    utest::make_emitter(3, 100, 4.0f, 0.0f);
    for (int i = 0; i < 100; ++i) {
        float* p = record(3, i);
        p[0] = static_cast<float>(i % 10) - 5.0f;
        p[1] = 0;
        p[2] = 30;
    }
    obj_set_position(3, 50, 50, 50);  // the emitter itself is elsewhere
    render_scene();
    const PartArrays& pa = obj_table.parts[3];
    EXPECT_NEAR(pa.tri_world[0][0], -5.5f, 0.02f);  // not moved to the emitter's position
    EXPECT_LT(pa.world_min[0].x, -5.0f);
    EXPECT_GT(pa.world_max[0].x, 4.0f);
    EXPECT_LT(pa.world_max[0].z, 31.0f);
    EXPECT_EQ(pa.world_min_i[0].x, -5);
    EXPECT_EQ(pa.dirty[0], 0);
    EXPECT_EQ(obj_table.part_compact, &part_compact);
}

TEST_F(Particles, CompactionDropsDegenerateTriangles) {
    std::vector<float> tris;
    utest::add_marker(tris, 0, 0, 0);
    tris.insert(tris.end(), {1, 1, 1, 1, 1, 1, 2, 2, 2});  // two corners the same
    utest::add_marker(tris, 5, 0, 0);
    std::vector<float> uvs(18);
    for (size_t i = 0; i < uvs.size(); ++i) uvs[i] = static_cast<float>(i);
    obj_set_part_triangles(4, 0, tris.data(), uvs.data(), nullptr, 0, 3);
    obj_table.parts[4].scratch[0].assign(scratch_bytes(3), 0);
    obj_table.parts[4].dirty[0] = 0;
    part_compact(4, 0);
    const PartArrays& pa = obj_table.parts[4];
    EXPECT_EQ(pa.tri_count[0], 2);
    EXPECT_EQ(pa.tri_capacity[0], 2);
    EXPECT_EQ(pa.tri_local[0].size(), 18u);
    EXPECT_EQ(pa.tri_world[0].size(), 18u);
    EXPECT_EQ(pa.tri_uv[0].size(), 12u);
    EXPECT_EQ(pa.tri_local[0][9], 5.0f);
    EXPECT_EQ(pa.tri_uv[0][6], 12.0f);  // the third triangle's uvs moved up with it
    EXPECT_EQ(pa.scratch[0].size(), scratch_bytes(2));
    EXPECT_EQ(pa.scratch[0][0], 255);
    EXPECT_EQ(pa.dirty[0], 1);
    EXPECT_EQ(pa.compact_pending[0], 0);
}

TEST_F(Particles, PendingCompactionRunsInTheMotionPass) {
    std::vector<float> tris = {0, 0, 0, 0, 0, 0, 1, 1, 1};
    utest::add_marker(tris, 1, 2, 3);
    obj_set_part_triangles(6, 0, tris.data(), nullptr, nullptr, 0, 2);
    obj_table.parts[6].compact_pending[0] = 1;
    render_scene();
    EXPECT_EQ(obj_table.parts[6].tri_count[0], 1);
    EXPECT_EQ(obj_table.parts[6].compact_pending[0], 0);
}

}  // namespace
