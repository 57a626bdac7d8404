// The raster pass on real threads: on a scene where no two triangles overlap, the slices, parts and
// interleave splits with 2 to 4 workers give exactly the image of one thread, and the statistics add up.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "assets/texture.h"
#include "display/framebuffer.h"
#include "render/raster/raster.h"
#include "render/render_config.h"
#include "render_test_util.h"
#include "scene/camera.h"
#include "scene/object.h"

namespace {

constexpr int W = 160, H = 120;

struct Frame {
    std::vector<uint8_t> color;
    std::vector<uint32_t> depth;
};

void clear() {
    std::memset(frame_buffer.fb_pixels, 0, static_cast<size_t>(W) * H * 3);
    std::memset(frame_buffer.fb_depth, 127, static_cast<size_t>(W) * H * 4);
}

Frame render(int threads, int mode) {
    render_config.raster_split_mode = mode;
    clear();
    raster_reset_statistics();
    std::vector<std::thread> workers;
    for (int i = 1; i < threads; ++i) workers.emplace_back(raster_pass, i, threads);
    raster_pass(0, threads);
    for (std::thread& t : workers) t.join();
    raster_collect_statistics();
    Frame f;
    f.color.assign(frame_buffer.fb_pixels, frame_buffer.fb_pixels + static_cast<size_t>(W) * H * 3);
    f.depth.assign(frame_buffer.fb_depth, frame_buffer.fb_depth + static_cast<size_t>(W) * H);
    return f;
}

// Every triangle sits inside its own 4 x 4 cell (half of it), so no two touch a common pixel; parts of
// different sizes (some big enough for the box test), textures, shading and colours vary by object.
void build_scene() {
    std::mt19937 rng(7);
    auto uni = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    static std::vector<uint8_t> texels(16 * 16 * 4);
    for (auto& b : texels) b = static_cast<uint8_t>(rng());
    tex_set_pixels(1, 0, texels.data(), 16, 16, 3, TEX_COPIED);
    tex_set_pixels(2, 0, texels.data(), 8, 8, 4, TEX_COPIED);

    int cell = 0;
    const int cells_x = W / 4, cells = (W / 4) * (H / 4);
    for (ObjectId id = 1; id <= 6; ++id) {
        for (int part = 0; part < 3; ++part) {
            const int n = (id + part) % 3 == 0 ? 90 : 20 + id * 3;
            std::vector<float> tris, uvs, shade;
            float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
            for (int i = 0; i < n && cell < cells; ++i, ++cell) {
                const float cx = static_cast<float>(cell % cells_x) * 4,
                            cy = static_cast<float>(cell / cells_x) * 4;
                const float z = uni(1, 50);
                rtest::add_tri(tris, cx + uni(0.2f, 0.6f), cy + uni(0.2f, 0.6f), cx + uni(3.0f, 3.4f),
                               cy + uni(0.2f, 1.0f), cx + uni(0.2f, 1.0f), cy + uni(3.0f, 3.4f), z);
                for (int k = 0; k < 6; ++k) uvs.push_back(uni(0, 1));
                for (int k = 0; k < 12; ++k) shade.push_back(uni(0.2f, 1));
                for (size_t k = tris.size() - 9; k < tris.size(); ++k) {
                    lo[k % 3] = std::min(lo[k % 3], tris[k]);
                    hi[k % 3] = std::max(hi[k % 3], tris[k]);
                }
            }
            obj_set_part_triangles(id, part, tris.data(), uvs.data(), id % 2 ? shade.data() : nullptr, id % 3,
                                   static_cast<int>(tris.size() / 9));
            obj_table.parts[static_cast<size_t>(id)].world_min[static_cast<size_t>(part)] =
                Vec3{lo[0], lo[1], lo[2]};
            obj_table.parts[static_cast<size_t>(id)].world_max[static_cast<size_t>(part)] =
                Vec3{hi[0], hi[1], hi[2]};
        }
        if (id == 4) obj_set_color(id, 0.8f, 0.5f, 0.9f, 0.6f);
    }
}

TEST(RasterThreads, EverySplitGivesTheImageOfOneThread) {
    obj_table_reset_all();
    tex_reset();
    camera_reset_all();
    fb_reset();
    render_config = RenderConfig{};
    set_resolution(W, H);
    camera_eye_put(0, 0, 0);
    camera_angles_put(0, 0, 0);
    projection_put(W, H, 0);
    view_center_put(-0.5f, -0.5f);
    build_scene();

    const Frame one = render(1, 0);
    const int total = raster_state.polys_drawn;
    EXPECT_EQ(raster_state.polys_culled, 0);
    int written = 0;
    for (uint32_t d : one.depth) written += d != rtest::CLEARED_DEPTH;
    EXPECT_GT(written, W * H / 4);

    for (int mode = 0; mode < 3; ++mode) {
        for (int threads = 2; threads <= 4; ++threads) {
            const Frame f = render(threads, mode);
            SCOPED_TRACE(testing::Message() << "mode " << mode << ", " << threads << " threads");
            EXPECT_EQ(f.color, one.color);
            EXPECT_EQ(f.depth, one.depth);
            // Slices count what the statistics thread's slice does not cull; the others count it all.
            EXPECT_EQ(raster_state.polys_drawn + raster_state.polys_culled, total);
            if (mode != 0) {
                EXPECT_EQ(raster_state.polys_drawn, total);
            }
        }
    }
    obj_table_reset_all();
    tex_reset();
    fb_reset();
    render_config = RenderConfig{};
}

}  // namespace
