// A figure built from a picture of a person walks: rendered headless from the side, its rest pose looks
// exactly like the unanimated figure, and the walk moves the feet and hands while the head stays put.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "assets/figure.h"
#include "assets/texture.h"
#include "core/cpu.h"
#include "display/framebuffer.h"
#include "pipeline_test_util.h"
#include "render/lights/lights.h"
#include "render/pipeline.h"
#include "render/render_config.h"
#include "scene/camera.h"
#include "scene/object.h"
#include "support/image_files.h"
#include "support/temp_dir.h"

namespace {

constexpr int W = 320, H = 160;  // the projection's 2:1 extents give square pixels
constexpr ObjectId WALKER = 7;

std::string person_png(int width, int height) {
    imagefiles::PngLayout png;
    png.width = width;
    png.height = height;
    png.colour_type = 6;  // RGBA
    png.samples = imagefiles::person_rgba(width, height);
    return imagefiles::png_file(png);
}

// A four-legged animal seen from the side, head up on the right and tail on the left, or mirrored.
std::string animal_png(int width, int height, bool head_left) {
    imagefiles::PngLayout png;
    png.width = width;
    png.height = height;
    png.colour_type = 6;  // RGBA
    png.samples.assign(static_cast<size_t>(width) * height * 4, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const float across = (x + 0.5f) / width, v = (y + 0.5f) / height;  // v: 0 at the top
            const float u = head_left ? 1 - across : across;
            const float bx = (u - 0.5f) / 0.3f, by = (v - 0.45f) / 0.13f;
            const float hx = (u - 0.83f) / 0.08f, hy = (v - 0.22f) / 0.08f;
            const bool body = bx * bx + by * by <= 1;
            const bool head = hx * hx + hy * hy <= 1 || (u > 0.72f && u < 0.8f && v > 0.25f && v < 0.45f);
            const bool legs = v > 0.5f && v < 0.97f &&
                              ((u > 0.27f && u < 0.34f) || (u > 0.37f && u < 0.44f) ||
                               (u > 0.58f && u < 0.65f) || (u > 0.68f && u < 0.75f));
            const bool tail = u > 0.12f && u < 0.22f && std::fabs(v - (0.4f + (0.22f - u))) < 0.02f;
            if (!(body || head || legs || tail)) continue;
            uint8_t* p = &png.samples[(static_cast<size_t>(y) * width + x) * 4];
            p[0] = static_cast<uint8_t>(120 + 80 * u), p[1] = static_cast<uint8_t>(80 + 60 * v), p[2] = 40,
            p[3] = 255;
        }
    }
    return imagefiles::png_file(png);
}

class FigureWalk : public testing::Test {
  protected:
    void SetUp() override {
        ptest::reset_engine(cpu_count());
        lighting_reset();
        set_resolution(W, H);
    }
    void TearDown() override {
        ptest::reset_engine(cpu_count());
        lighting_reset();
    }

    // The frame seen from the figure's side, at the given time of the walk.
    float eye[3] = {2.2f, 0.45f, 0};
    std::vector<uint8_t> frame_at(double time) {
        obj_table.anim_time[WALKER] = time;
        obj_table.anim_playing[WALKER] = 0;
        for (int p = 0; p < obj_part_limit(WALKER); ++p)
            obj_table.parts[WALKER].dirty[static_cast<size_t>(p)] = 1;
        camera_set(eye[0], eye[1], eye[2], 0, 0.3f, 0);
        camera_update();
        render_scene();
        return std::vector<uint8_t>(frame_buffer.fb_pixels, frame_buffer.fb_pixels + W * H * 3);
    }

    // Pixels that differ between two frames in the rows y0 .. y1.
    static int changed(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int y0, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < W; ++x) {
                const size_t o = (static_cast<size_t>(y) * W + x) * 3;
                n += a[o] != b[o] || a[o + 1] != b[o + 1] || a[o + 2] != b[o + 2];
            }
        return n;
    }
    // Columns from the leftmost to the rightmost non-background pixel in the rows y0 .. y1.
    static int width(const std::vector<uint8_t>& f, int y0, int y1) {
        int left = W, right = -1;
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < W; ++x) {
                const size_t o = (static_cast<size_t>(y) * W + x) * 3;
                if (f[o] | f[o + 1] | f[o + 2]) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
            }
        return right < left ? 0 : right - left + 1;
    }
    // The rows holding something other than background: the figure's screen extent.
    static void extent(const std::vector<uint8_t>& f, int* top, int* bottom) {
        *top = H, *bottom = -1;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const size_t o = (static_cast<size_t>(y) * W + x) * 3;
                if (f[o] | f[o + 1] | f[o + 2]) {
                    *top = std::min(*top, y);
                    *bottom = std::max(*bottom, y);
                }
            }
    }
};

TEST_F(FigureWalk, RestPoseIsTheStillFigureAndTheWalkMovesFeetNotHead) {
    vmtest::TempDir dir;
    const std::string path = dir.write("walker.png", person_png(80, 160));
    ASSERT_EQ(figure_load(WALKER, path.c_str()), 1);
    ASSERT_EQ(obj_table.anim_type[WALKER], 1u);
    ASSERT_GT(obj_table.parts[WALKER].tri_count[0], 100);

    // Unanimated, then the same figure as a rig at rest: not one pixel may differ.
    obj_table.anim_type[WALKER] = 0;
    const std::vector<uint8_t> still = frame_at(0);
    obj_table.anim_type[WALKER] = 1;
    const std::vector<uint8_t> rest = frame_at(0);
    EXPECT_EQ(changed(still, rest, 0, H), 0);

    int top = 0, bottom = 0;
    extent(rest, &top, &bottom);
    ASSERT_GT(bottom - top, 60) << "the figure fills a good part of the frame";
    const int height = bottom - top;
    // Key frames 1 and 3 put one foot forward and then the other.
    const std::vector<uint8_t> stride = frame_at(1.0), other = frame_at(3.0);
    const int feet_y0 = bottom - height / 5;
    EXPECT_GT(changed(rest, stride, feet_y0, bottom + 1), 20);
    EXPECT_GT(changed(stride, other, feet_y0, bottom + 1), 20);
    // The head: the top sixth of the figure stays where it was.
    EXPECT_LT(changed(rest, stride, top, top + height / 6), 4);
}

// The animal's legs swing along its body, which lies along x: seen from the side they move far more
// than seen from the front, and the front foot steps out towards the head, whichever side it is on.
TEST_F(FigureWalk, AnimalWalksAlongItsBodyTowardsItsHead) {
    vmtest::TempDir dir;
    for (const bool head_left : {false, true}) {
        SCOPED_TRACE(head_left ? "head on the left" : "head on the right");
        const std::string path =
            dir.write(head_left ? "animal_b.png" : "animal_a.png", animal_png(160, 100, head_left));
        ASSERT_EQ(figure_load(WALKER, path.c_str()), 1);
        ASSERT_EQ(obj_table.anim_type[WALKER], 2u);
        int spread[2] = {};  // how much wider the feet spread in the stride, from each view
        for (int view = 0; view < 2; ++view) {
            eye[0] = view == 0 ? 0.0f : head_left ? -2.2f : 2.2f;  // 0: from the side, 1: from ahead
            eye[2] = view == 0 ? 2.2f : 0.0f;
            const std::vector<uint8_t> rest = frame_at(0), stride = frame_at(1.0);
            int top = 0, bottom = 0;
            extent(rest, &top, &bottom);
            const int feet = bottom - (bottom - top) / 6;
            spread[view] = width(stride, feet, bottom + 1) - width(rest, feet, bottom + 1);
        }
        EXPECT_GE(spread[0], 8);
        EXPECT_LE(spread[1], spread[0] / 2);
        // Row 0 is the front leg on the near side; joint 2 its foot.
        const float moved = obj_table.pose_cache_c[WALKER][8] - obj_table.pose_cache_a[WALKER][8];
        EXPECT_GT(head_left ? -moved : moved, 0.02f);
    }
}

}  // namespace
