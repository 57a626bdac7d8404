// The update, motion and lighting passes on real worker threads: a busy scene (emitters, walking
// figures, falling boxes, lights with shadows) renders for a while, and everything that does not draw
// random numbers ends exactly as with one thread. Run under the thread sanitizer too.
#include <gtest/gtest.h>

#include <cmath>

#include "core/frame_stats.h"
#include "render/lights/lights.h"
#include "render/update/motion.h"
#include "render/update/paths.h"
#include "scene/transform.h"
#include "update_test_util.h"

namespace {

struct Result {
    std::vector<std::vector<float>> figures;  // world triangles of each figure
    std::vector<float> strip_shade;
    std::vector<Vec3> boxes;  // positions of the falling boxes
    int update_threads = 0, motion_threads = 0, lighting_threads = 0;
};

void cube(ObjectId id, float half) {
    std::vector<float> t = {-half, -half, -half, half, half, half, -half, half, half};
    obj_set_part_triangles(id, 0, t.data(), nullptr, nullptr, 0, 1);
}

Result run_scene(int cpus) {
    utest::reset(cpus);
    frame_stats.frame_seconds = 1.0 / 30.0;
    camera_set(0, 3, -20, 0, 0, 0);
    for (ObjectId id = 1; id <= 3; ++id) {
        utest::make_emitter(id, 1500, 1.0f, 0.5f);
        obj_set_position(id, static_cast<float>(id) * 3, 0, 0);
        obj_table.particle_spread[id] = Vec3{1, 2, 1};
        obj_table.particle_flags[id] = PARTICLE_FLAG_FADE_IN | 3;
    }
    for (ObjectId id = 10; id < 18; ++id) {
        utest::make_figure(id, id % 2 ? 0 : 4);
        obj_set_position(id, static_cast<float>(id - 14), 0, 5);
        path_push(id, static_cast<float>(id - 14), 0, 15, 1.0f, 1.0f, 90, -1, 0, 0);
    }
    cube(100, 50);
    obj_set_position(100, 0, -50, 0);
    obj_set_part_collision(100, 0, 1, 1, 0, 0);
    for (ObjectId id = 101; id < 171; ++id) {
        cube(id, 0.2f);
        obj_set_position(id, static_cast<float>(id % 10) - 5, 2 + static_cast<float>(id % 7),
                         static_cast<float>(id / 10));
        obj_set_part_collision(id, 0, 1, 1, 0, 0);
        obj_table.moving[id] = 1;
        obj_set_part_shading(id, 0, 0, 1, 0);  // the boxes cast shadows
    }
    std::vector<float> v;
    for (int i = 0; i < 3000; ++i) {
        const float x = static_cast<float>(i / 2) * 0.01f - 5;
        const float t[9] = {x, 0.01f, 0, x + 0.01f, 0.01f, 1, x, 0.01f, static_cast<float>(i % 2)};
        v.insert(v.end(), t, t + 9);
    }
    obj_set_part_triangles(200, 0, v.data(), nullptr, nullptr, 0, 3000);
    obj_set_part_shading(200, 0, 1, 0, 1);
    set_ambient(0.2f, 0.2f, 0.2f);
    for (int l = 0; l < 12; ++l) light_set(l, 1, 0.5f, 0.4f, 0.3f, 4.0f, static_cast<float>(l) - 6, 3, 0.5f);
    light_shadow_size(3, 24);

    Result r;
    for (int frame = 0; frame < 40; ++frame) {
        if (frame % 10 == 5) light_set(7, 1, 1, 1, 1, 5.0f, static_cast<float>(frame) * 0.1f, 3, 0);
        render_scene();
        r.update_threads = std::max(r.update_threads, pipeline_state.threads.update);
        r.motion_threads = std::max(r.motion_threads, pipeline_state.threads.motion);
        r.lighting_threads = std::max(r.lighting_threads, pipeline_state.threads.lighting);
    }
    for (ObjectId id = 10; id < 18; ++id)
        r.figures.push_back(obj_table.parts[static_cast<size_t>(id)].tri_world[0]);
    r.strip_shade = obj_table.parts[200].tri_shade[0];
    for (ObjectId id = 101; id < 171; ++id) r.boxes.push_back(obj_table.position[id]);
    return r;
}

TEST(UpdateThreads, BusySceneMatchesOneThread) {
    const Result one = run_scene(1);
    const Result four = run_scene(4);
    EXPECT_EQ(one.update_threads, 1);
    EXPECT_EQ(four.update_threads, 4);
    EXPECT_EQ(four.motion_threads, 4);
    EXPECT_EQ(four.lighting_threads, 4);
    EXPECT_EQ(one.figures, four.figures);
    EXPECT_EQ(one.strip_shade, four.strip_shade);
    ASSERT_EQ(one.boxes.size(), four.boxes.size());
    for (size_t i = 0; i < one.boxes.size(); ++i) {
        EXPECT_EQ(one.boxes[i].y, four.boxes[i].y) << i;
        EXPECT_NEAR(four.boxes[i].y, 0.2f, 0.05f) << i;  // all came to rest on the floor
    }
    // The figures walked towards z = 15.
    for (ObjectId id = 10; id < 18; ++id) EXPECT_GT(obj_table.position[id].z, 5.5f);
    utest::reset(1);
}

TEST(UpdateThreads, EmittersOnFourThreadsDrawEveryParticle) {
    utest::reset(4);
    frame_stats.frame_seconds = 1.0 / 30.0;
    for (ObjectId id = 1; id <= 2; ++id) {
        utest::make_emitter(id, 3000, 0.5f, 1.0f);  // all due for their first emission
        obj_set_position(id, 0, 0, 10);
        obj_table.particle_spread[id] = Vec3{1, 1, 1};
    }
    for (int frame = 0; frame < 5; ++frame) render_scene();
    EXPECT_EQ(pipeline_state.threads.update, 4);
    for (ObjectId id = 1; id <= 2; ++id) {
        const std::vector<float>& rec = obj_table.particles[static_cast<size_t>(id)];
        for (int i = 0; i < 3000; ++i)
            ASSERT_LT(std::fabs(rec[static_cast<size_t>(i) * PARTICLE_FLOATS]), 10.0f) << id << " " << i;
        EXPECT_LT(obj_table.parts[static_cast<size_t>(id)].world_min[0].x, -0.5f);
    }
    utest::reset(1);
}

}  // namespace
