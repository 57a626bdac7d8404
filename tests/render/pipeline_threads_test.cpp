// The frame pipeline with real worker threads: every raster split and transform share count gives the
// image of one thread on a scene where no two triangles overlap; the split list scans equal one scan;
// the threaded row doubling equals the inline one.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/cpu.h"
#include "pipeline_test_util.h"
#include "render/frame_clear.h"
#include "render/frame_flags.h"
#include "render/geometry/geometry.h"
#include "render/lights/lights.h"
#include "render/raster/raster.h"
#include "render/update/update_lists.h"

namespace {

constexpr int W = 160, H = 120;

class PipelineThreads : public testing::Test {
  protected:
    void SetUp() override { ptest::reset_engine(1); }
    void TearDown() override { ptest::reset_engine(1); }
};

// Every triangle lies inside half of its own 4 x 4 cell; objects carry their triangles in local
// coordinates and reach their place through position, rotation 360 and scale 1.
void build_scene() {
    std::mt19937 rng(11);
    auto uni = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    static std::vector<uint8_t> texels(16 * 16 * 3);
    for (auto& b : texels) b = static_cast<uint8_t>(rng());
    tex_set_pixels(1, 0, texels.data(), 16, 16, 3, TEX_COPIED);

    const int cells_x = W / 4, cells = (W / 4) * (H / 4);
    int cell = 0;
    for (ObjectId id = 1; id <= 8; ++id) {
        const float ox = static_cast<float>(id) * 3.0f, oy = -static_cast<float>(id);
        for (int part = 0; part < 3; ++part) {
            const int n = part == 0 ? 90 : 25;
            std::vector<float> tris, uvs;
            for (int i = 0; i < n && cell < cells; ++i, ++cell) {
                const float cx = static_cast<float>(cell % cells_x) * 4,
                            cy = static_cast<float>(cell / cells_x) * 4;
                const float z = uni(1, 50);
                ptest::add_tri(tris, cx + uni(0.2f, 0.6f), cy + uni(0.2f, 0.6f), cx + uni(3.0f, 3.4f),
                               cy + uni(0.2f, 1.0f), cx + uni(0.2f, 1.0f), cy + uni(3.0f, 3.4f), z);
                for (int k = 0; k < 6; ++k) uvs.push_back(uni(0, 1));
            }
            for (size_t k = 0; k < tris.size(); k += 3) {
                tris[k] -= ox;
                tris[k + 1] -= oy;
            }
            obj_set_part_triangles(id, part, tris.data(), uvs.data(), nullptr, id % 2,
                                   static_cast<int>(tris.size() / 9));
        }
        obj_set_position(id, ox, oy, 0);
        obj_set_color(id, 0.3f + 0.08f * static_cast<float>(id), 1, 0.5f, 1);
    }
}

std::vector<uint8_t> render_with(int cpus, int split_mode, int transform_mode) {
    ptest::reset_engine(cpus);
    set_resolution(W, H);
    ptest::pixel_camera(W, H);
    render_config.raster_split_mode = split_mode;
    render_config.transform_thread_mode = transform_mode;
    build_scene();
    render_scene();
    return ptest::frame_pixels();
}

TEST_F(PipelineThreads, EverySplitGivesTheImageOfOneThread) {
    const std::vector<uint8_t> one = render_with(1, 0, 0);
    EXPECT_EQ(worker_state.threads_created, 0);
    int lit = 0;
    for (size_t i = 0; i < one.size(); i += 3) lit += one[i] != 0;
    EXPECT_GT(lit, W * H / 5);
    for (int mode = 0; mode < 3; ++mode) {
        for (int cpus : {2, 4}) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << ", " << cpus << " processors");
            EXPECT_EQ(render_with(cpus, mode, cpus == 4 ? 3 : 0), one);
            EXPECT_GT(worker_state.threads_created, 0);
            EXPECT_GT(pipeline_state.threads.raster, 1);
        }
    }
    // 3 x 25 + 90 triangles x 8 objects: an estimate of 10800 spreads the transform over 4 threads.
    render_with(4, 0, 0);
    EXPECT_EQ(pipeline_state.threads.transform, 4);
}

TEST_F(PipelineThreads, SynchronousModeGivesTheSameImage) {
    const std::vector<uint8_t> threaded = render_with(4, 0, 0);
    ptest::reset_engine(4);
    worker_set_synchronous(1);
    set_resolution(W, H);
    ptest::pixel_camera(W, H);
    build_scene();
    render_scene();
    EXPECT_EQ(worker_state.threads_created, 0);
    EXPECT_EQ(ptest::frame_pixels(), threaded);
}

TEST_F(PipelineThreads, QuarterScanListsLikeOneScan) {
    // 9000 slots: between the sizes that scan alone.
    for (ObjectId id = 1; id < 9000; id += 7)
        for (int part = 0; part < 1 + id % 3; ++part) {
            const float t[9] = {0, 0, 0, 1, 0, 0, 0, 1, static_cast<float>(id)};
            obj_set_part_triangles(id, part, t, nullptr, nullptr, 0, 1);
        }
    obj_ensure(8999, 0);
    ASSERT_GT(obj_table.object_capacity, 8000);
    ASSERT_LT(obj_table.object_capacity, 10000);
    light_state.light_count = 5000;
    light_state.light_changed.assign(5000, 0);
    for (int l = 0; l < 5000; l += 3) light_state.light_changed[static_cast<size_t>(l)] = 1;
    frame_flags.relight_all = 0;

    const int one_estimate = build_dirty_list(0);
    const GeometryState& g = geometry_state;
    const std::vector<int> objects(g.dirty_objects.begin(), g.dirty_objects.begin() + g.dirty_count);
    const std::vector<int> parts(g.dirty_parts.begin(), g.dirty_parts.begin() + g.dirty_count);
    const std::vector<int> lights(g.changed_lights.ids.begin(),
                                  g.changed_lights.ids.begin() + g.changed_lights.count);

    const int64_t before = worker_state.threads_created;
    EXPECT_EQ(build_dirty_list(4), one_estimate);
    EXPECT_EQ(worker_state.threads_created, before + 3);
    EXPECT_EQ(std::vector<int>(g.dirty_objects.begin(), g.dirty_objects.begin() + g.dirty_count), objects);
    EXPECT_EQ(std::vector<int>(g.dirty_parts.begin(), g.dirty_parts.begin() + g.dirty_count), parts);
    EXPECT_EQ(
        std::vector<int>(g.changed_lights.ids.begin(), g.changed_lights.ids.begin() + g.changed_lights.count),
        lights);
}

TEST_F(PipelineThreads, HalvedListScanFindsTheSameObjects) {
    for (ObjectId id = 3; id < 12000; id += 51) {
        obj_ensure(id, 0);
        if (id % 2)
            obj_table.path_speed[id] = 1.0f;
        else
            obj_table.collides[id] = 1;
    }
    cpu_count_set(2);
    set_resolution(32, 16);
    render_config.clear_color[0] = 0.5f;  // draw every frame
    render_scene();
    EXPECT_GT(worker_state.threads_created, 0);
    // The lists were reset at the end of the frame but keep their entries: rebuild the expectation.
    std::vector<int> update, motion;
    for (ObjectId id = 3; id < 12000; id += 51) (id % 2 ? update : motion).push_back(id);
    const PipelineState& ps = pipeline_state;
    const std::vector<int>& update_ids = update_lists.update.ids;
    const std::vector<int>& motion_ids = update_lists.motion.ids;
    EXPECT_EQ(std::vector<int>(update_ids.begin(), update_ids.begin() + static_cast<long>(update.size())),
              update);
    EXPECT_EQ(std::vector<int>(motion_ids.begin(), motion_ids.begin() + static_cast<long>(motion.size())),
              motion);
    EXPECT_EQ(ps.threads.motion, 2);
    EXPECT_EQ(ps.threads.update, 1);
}

TEST_F(PipelineThreads, RowDoublingOnTwoThreadsMatchesOne) {
    for (int h : {502, 503}) {
        set_resolution(1000, h);
        auto fill = [h] {
            for (int y = 0; y < h; ++y)
                std::memset(frame_buffer.fb_pixels + static_cast<size_t>(y) * 3000, y % 251, 3000);
        };
        fill();
        EXPECT_EQ(half_height_double(1), 1);
        const std::vector<uint8_t> one = ptest::frame_pixels();
        fill();
        EXPECT_EQ(half_height_double(2), 2);
        EXPECT_EQ(ptest::frame_pixels(), one) << h;
    }
}

}  // namespace
