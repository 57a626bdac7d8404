// Generated geometry through the whole frame, headless: neighbouring triangles of a terrain and of a
// sphere must meet without cracks, so no background shows inside their silhouettes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "assets/gen_sphere.h"
#include "assets/terrain.h"
#include "assets/texture.h"
#include "display/framebuffer.h"
#include "render/lights/lights.h"
#include "render/pipeline.h"
#include "render/render_config.h"
#include "scene/camera.h"
#include "scene/object.h"

namespace {

class RenderCheck : public testing::Test {
  protected:
    void SetUp() override {
        obj_table_reset_all();
        tex_reset();
        pipeline_reset();
        lighting_reset();
        camera_reset_all();
        fb_reset();
        set_resolution(W, H);
        half_height(0);
        set_clear_color(0, 0, 0);
        white = tex_load("white");
        std::vector<uint8_t> pixels(8 * 8 * 3, 255);
        tex_set_pixels(white, 1, pixels.data(), 8, 8, 3, TEX_COPIED);
    }
    void TearDown() override {
        lighting_reset();
        obj_table_reset_all();
        tex_reset();
        pipeline_reset();
        fb_reset();
    }

    bool covered(int x, int y) const {
        const uint8_t* p = frame_buffer.fb_pixels + (static_cast<size_t>(y) * W + x) * 3;
        return p[0] != 0 || p[1] != 0 || p[2] != 0;
    }

    // Background pixels lying between covered pixels of the same row: cracks in a convex silhouette.
    int row_holes(int* covered_pixels) const {
        int holes = 0, total = 0;
        for (int y = 0; y < H; ++y) {
            int first = -1, last = -1;
            for (int x = 0; x < W; ++x)
                if (covered(x, y)) {
                    if (first < 0) first = x;
                    last = x;
                    ++total;
                }
            for (int x = first + 1; x < last; ++x) holes += covered(x, y) ? 0 : 1;
        }
        *covered_pixels = total;
        return holes;
    }

    static constexpr int W = 320, H = 240;
    TextureId white = 0;
};

TEST_F(RenderCheck, LitBumpyTerrainSeenFromAboveCoversEveryPixel) {
    constexpr ObjectId TERRAIN = 5;
    constexpr int CELLS = 48;
    terrain_init(TERRAIN, CELLS, CELLS, white, 1.0f, 1.0f, 1.0f);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> bump(-0.4f, 0.4f);
    for (int row = 0; row <= CELLS; ++row)
        for (int col = 0; col <= CELLS; ++col) {
            obj_set_terrain_height(TERRAIN, col, row, bump(rng));
            terrain_set_color(TERRAIN, col, row, 1, 1, 1, 1);
        }
    terrain_build_mesh(TERRAIN);
    ASSERT_TRUE(obj_has_parts(TERRAIN));
    // Dim ambient and one light over a corner: lit vertices vary, and still no crack may open.
    obj_set_part_shading(TERRAIN, -1, 1, 0, 1);
    set_ambient(0.3f, 0.3f, 0.3f);
    light_set(0, 1, 1, 1, 1, 12, 16, 3, 16);
    // From 20 m above the middle the grid reaches past every edge of the view.
    camera_set(24, 20, 24, 24, 0, 24.01f);
    camera_update();
    render_scene();
    render_scene();  // the lighting passes run on their periodic frames; the second frame shows them
    int missing = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) missing += covered(x, y) ? 0 : 1;
    EXPECT_EQ(missing, 0);
    // The light is really there: the brightest pixel is well above the ambient-only darkest.
    int darkest = 255, brightest = 0;
    for (size_t i = 0; i < static_cast<size_t>(W) * H * 3; i += 3) {
        darkest = std::min<int>(darkest, frame_buffer.fb_pixels[i]);
        brightest = std::max<int>(brightest, frame_buffer.fb_pixels[i]);
    }
    EXPECT_GT(brightest, darkest + 60);
}

TEST_F(RenderCheck, SphereHasNoCracksAlongItsSeamsAndRings) {
    constexpr ObjectId SPHERE = 6;
    gen_sphere(SPHERE, 24, white, 1.5f, 1.5f, 1.5f);
    // Seen from the side, from above and along the seam: every view crosses shared edges.
    const float eyes[3][3] = {{0, 0, -6}, {0.5f, 5, -3}, {6, 0.3f, 0}};
    for (const auto& eye : eyes) {
        camera_set(eye[0], eye[1], eye[2], 0, 0, 0);
        camera_update();
        render_scene();
        int pixels = 0;
        EXPECT_EQ(row_holes(&pixels), 0) << "eye " << eye[0] << ", " << eye[1] << ", " << eye[2];
        EXPECT_GT(pixels, W * H / 20);  // the sphere is really in view
    }
}

}  // namespace
