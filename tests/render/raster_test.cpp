// The raster pass: box culling of large parts and its statistics, the half-height region, texture
// and colour look-ups from the tables, emitters, and the view test for part boxes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "assets/texture.h"
#include "display/framebuffer.h"
#include "render/raster/part_view.h"
#include "render/raster/raster.h"
#include "render/render_config.h"
#include "render_test_util.h"
#include "scene/camera.h"
#include "scene/object.h"

namespace {

using rtest::add_tri;

// A frame of w x h with the pixel camera: world (x, -y, z) lands on screen (x, y) at depth z.
class RasterTest : public testing::Test {
  protected:
    void SetUp() override {
        obj_table_reset_all();
        tex_reset();
        camera_reset_all();
        fb_reset();
        render_config = RenderConfig{};
        raster_reset_statistics();
        set_resolution(64, 48);
        use_pixel_camera();
        clear();
    }
    void TearDown() override {
        obj_table_reset_all();
        tex_reset();
        camera_reset_all();
        fb_reset();
        render_config = RenderConfig{};
    }
    void use_pixel_camera() {
        camera_eye_put(0, 0, 0);
        camera_angles_put(0, 0, 0);
        projection_put(static_cast<float>(frame_buffer.fb_width), static_cast<float>(frame_buffer.fb_height),
                       0);
        view_center_put(-0.5f, -0.5f);
    }
    static void clear() {
        const size_t n = static_cast<size_t>(frame_buffer.fb_width) * frame_buffer.fb_height;
        std::memset(frame_buffer.fb_pixels, 0, n * 3);
        std::memset(frame_buffer.fb_depth, 127, n * 4);
    }
    static bool written(int x, int y) {
        return frame_buffer.fb_depth[static_cast<size_t>(y) * frame_buffer.fb_width + x] !=
               rtest::CLEARED_DEPTH;
    }
    static const uint8_t* pixel(int x, int y) {
        return frame_buffer.fb_pixels + (static_cast<size_t>(y) * frame_buffer.fb_width + x) * 3;
    }
    static void run(int threads = 1) {
        for (int i = 0; i < threads; ++i) raster_pass(i, threads);
        raster_collect_statistics();
    }
    // A part of n small triangles in a row at depth z (screen coordinates), with its world box.
    static void make_part(ObjectId id, int part, int n, float z, float x0 = 2, float y0 = 2) {
        std::vector<float> tris;
        for (int i = 0; i < n; ++i) {
            const float x = x0 + static_cast<float>(i % 30) * 2;
            const float y = y0 + static_cast<float>(i / 30) * 2;
            add_tri(tris, x, y, x + 1.6f, y + 0.1f, x + 0.1f, y + 1.6f, z);
        }
        obj_set_part_triangles(id, part, tris.data(), nullptr, nullptr, 0, n);
        PartArrays& pa = obj_table.parts[static_cast<size_t>(id)];
        pa.world_min[static_cast<size_t>(part)] = Vec3{x0, -(y0 + 30), z};
        pa.world_max[static_cast<size_t>(part)] = Vec3{x0 + 62, -y0, z};
    }
};

TEST_F(RasterTest, PartsOf65TrianglesOrMoreAreBoxCulledBehindTheCamera) {
    make_part(1, 0, 64, -5);  // behind the eye, but too small to test
    make_part(2, 0, 65, -5);
    make_part(3, 0, 65, 5);  // in front
    run();
    EXPECT_EQ(raster_state.polys_culled, 65);
    EXPECT_EQ(raster_state.polys_drawn, 64 + 65);
    EXPECT_TRUE(written(2, 2));

    // With slices, only the statistics thread (count / 2) counts.
    raster_reset_statistics();
    clear();
    run(3);
    EXPECT_EQ(raster_state.polys_culled, 65);
    EXPECT_EQ(raster_state.polys_drawn, 64 + 65);
    // In the parts split every thread counts the parts it draws.
    raster_reset_statistics();
    render_config.raster_split_mode = 1;
    run(3);
    EXPECT_EQ(raster_state.polys_culled, 65);
    EXPECT_EQ(raster_state.polys_drawn, 64 + 65);
    render_config.raster_split_mode = 2;
    raster_reset_statistics();
    run(2);
    EXPECT_EQ(raster_state.polys_culled, 65);
    EXPECT_EQ(raster_state.polys_drawn, 64 + 65);
}

TEST_F(RasterTest, HiddenDisabledAndEmptyPartsAreSkipped) {
    make_part(1, 0, 3, 5, 2, 2);
    make_part(1, 1, 3, 5, 2, 20);
    make_part(2, 0, 3, 5, 2, 30);
    make_part(3, 0, 3, 5, 2, 40);
    obj_table.parts[1].visible[1] = 0;
    obj_table.enabled[2] = 0;
    obj_table.parts[3].tri_world[0].clear();
    run();
    EXPECT_TRUE(written(2, 2));
    EXPECT_FALSE(written(2, 20));
    EXPECT_FALSE(written(2, 30));
    EXPECT_FALSE(written(2, 40));
    EXPECT_EQ(raster_state.polys_drawn, 3);
}

TEST_F(RasterTest, HalfHeightDrawsTheMiddleHalfOfTheRows) {
    render_config.half_height_mode = 1;
    std::vector<float> tris;
    // Covers the whole region (64 x 24); the region's projection uses the region's height.
    add_tri(tris, -1, -1, 200, -1, -1, 200, 5);
    obj_set_part_triangles(1, 0, tris.data(), nullptr, nullptr, 0, 1);
    projection_put(64, 24, 0);
    run(2);
    for (int y = 0; y < 48; ++y) EXPECT_EQ(written(10, y), y >= 12 && y < 36) << y;
}

TEST_F(RasterTest, TexturesAndColoursComeFromTheTables) {
    uint8_t texel[3] = {10, 20, 30};
    tex_set_pixels(5, 0, texel, 1, 1, 3, TEX_COPIED);
    std::vector<float> tris, uvs(6, 0.5f);
    add_tri(tris, 0.1f, 0.1f, 30, 0.2f, 0.3f, 30, 5);
    obj_set_part_triangles(1, 0, tris.data(), uvs.data(), nullptr, 5, 1);
    tris.clear();
    add_tri(tris, 32.1f, 0.1f, 63, 0.2f, 32.3f, 30, 5);
    obj_set_part_triangles(2, 0, tris.data(), uvs.data(), nullptr, 99, 1);  // beyond the table: untextured
    obj_set_color(2, 0.5f, 1, 1, 1);
    obj_set_part_color(2, 0, 1, 0.5f, 1, 1);
    run();
    EXPECT_EQ(pixel(3, 3)[0], 10);
    EXPECT_EQ(pixel(3, 3)[2], 30);
    EXPECT_EQ(pixel(34, 3)[0], 127);
    EXPECT_EQ(pixel(34, 3)[1], 127);
    EXPECT_EQ(pixel(34, 3)[2], 255);

    // A slot that lost its pixels draws untextured (white).
    tex_free_pixels(5);
    clear();
    run();
    EXPECT_EQ(pixel(3, 3)[0], 255);
}

TEST_F(RasterTest, EmittersDoNotWriteDepth) {
    make_part(1, 0, 2, 5);
    obj_table.particle_count[1] = 10;
    run();
    EXPECT_EQ(pixel(2, 2)[0], 255);
    EXPECT_FALSE(written(2, 2));
}

TEST_F(RasterTest, SpanLimitOfTheObjectApplies) {
    std::vector<float> tris;
    add_tri(tris, 0.1f, 0.1f, 60, 0.2f, 0.3f, 40, 5);
    obj_set_part_triangles(1, 0, tris.data(), nullptr, nullptr, 0, 1);
    obj_table.span_limit[1] = 1;
    run();
    for (int y = 0; y < 30; ++y) {
        EXPECT_TRUE(written(0, y));
        EXPECT_FALSE(written(1, y));
    }
}

// --- The view test ----------------------------------------------------------------------------------

struct ViewCase {
    Vec3 min, max;
};

bool in_view(Vec3 mn, Vec3 mx, int slice_index = 0, int slice_count = 1, Vec3 eye = {0, 0, 0}) {
    const float proj[3] = {0.5f, 0.25f, 2.0f};
    const float center[2] = {0, 0};
    return part_in_view(eye, Vec3{0, 0, 0}, mn, mx, proj, 512, 256, center, slice_index, slice_count);
}

TEST(PartInView, BoxesAroundTheView) {
    EXPECT_TRUE(in_view({-1, -1, 9}, {1, 1, 11}));              // straight ahead
    EXPECT_TRUE(in_view({-1, -1, -1}, {1, 1, 1}));              // the eye is inside
    EXPECT_FALSE(in_view({-1, -1, -11}, {1, 1, -9}));           // behind
    EXPECT_FALSE(in_view({-100, -1, 9}, {-90, 1, 11}));         // far to the left
    EXPECT_FALSE(in_view({90, -1, 9}, {100, 1, 11}));           // far to the right
    EXPECT_FALSE(in_view({-1, 50, 9}, {1, 60, 11}));            // far above
    EXPECT_TRUE(in_view({-100, -1, 9}, {100, 1, 11}));          // wider than the view
    EXPECT_TRUE(in_view({-1, -1, -5}, {1, 1, 5}));              // reaching from behind to the front
    EXPECT_FALSE(in_view({0.2f, 0.2f, -5}, {0.4f, 0.4f, -1}));  // behind but near the eye's axes
}

TEST(PartInView, SlicesSeeOnlyTheirRows) {
    // A box above the centre: in the top slice of two, not the bottom one.
    const Vec3 mn{-0.5f, 1, 9}, mx{0.5f, 2, 11};
    EXPECT_TRUE(in_view(mn, mx, 0, 2));
    EXPECT_FALSE(in_view(mn, mx, 1, 2));
    EXPECT_TRUE(in_view(mn, mx, 1, -2));  // interleaved splits test the whole height
}

}  // namespace
