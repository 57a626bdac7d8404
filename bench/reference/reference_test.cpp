// The reference renderer draws the engine's picture: each standard workload at 512 x 256 through the
// engine (the frame the harness's set-up renders) and through GL, compared in 16 x 16 blocks (the
// sampling rules differ per pixel, the picture must not) and, where the texels are large enough to see,
// pixel by pixel within one pixel of each other.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "display/framebuffer.h"
#include "reference_gl.h"
#include "reference_scene.h"
#include "render/raster/raster.h"

namespace {

constexpr int WIDTH = 512, HEIGHT = 256;

struct Frames {
    std::vector<uint8_t> engine, reference;
    RefScene scene;
    int64_t engine_triangles = 0;
};

Frames render_both(const std::string& workload) {
    setenv("GALLIUM_DRIVER", "llvmpipe", 0);
    setenv("LP_NUM_THREADS", "2", 1);
    Frames f;
    EXPECT_TRUE(ref_build_scene(workload, WIDTH, HEIGHT, f.scene));
    const size_t bytes = static_cast<size_t>(WIDTH) * HEIGHT * 3;
    f.engine.assign(frame_buffer.fb_pixels, frame_buffer.fb_pixels + bytes);
    f.engine_triangles = raster_frame_triangles(INT64_MAX);
    RefGl gl;
    EXPECT_TRUE(refgl_open(f.scene, gl));
    if (gl.state) {
        refgl_frame(gl);
        refgl_read_rgb(gl, f.reference);
    }
    refgl_close(gl);
    if (f.reference.size() != bytes) f.reference.assign(bytes, 0);
    return f;
}

int channel_diff(const uint8_t* a, const uint8_t* b) {
    int d = 0;
    for (int c = 0; c < 3; ++c) d = std::max(d, std::abs(a[c] - b[c]));
    return d;
}

// Largest channel difference of the block means, per 16 x 16 block, sorted.
std::vector<double> block_differences(const Frames& f) {
    constexpr int B = 16;
    std::vector<double> out;
    for (int by = 0; by < HEIGHT; by += B)
        for (int bx = 0; bx < WIDTH; bx += B) {
            double sum[2][3] = {};
            for (int y = by; y < by + B; ++y)
                for (int x = bx; x < bx + B; ++x)
                    for (int c = 0; c < 3; ++c) {
                        const size_t i = (static_cast<size_t>(y) * WIDTH + x) * 3 + c;
                        sum[0][c] += f.engine[i];
                        sum[1][c] += f.reference[i];
                    }
            double d = 0;
            for (int c = 0; c < 3; ++c) d = std::max(d, std::abs(sum[0][c] - sum[1][c]) / (B * B));
            out.push_back(d);
        }
    std::sort(out.begin(), out.end());
    return out;
}

// Share of the engine's pixels that the reference shows (every channel within 12) at the same place or
// a neighbouring pixel: the sampling rules may move a texel edge by a pixel, nothing more.
double neighbour_match(const Frames& f) {
    int64_t matched = 0;
    for (int y = 0; y < HEIGHT; ++y)
        for (int x = 0; x < WIDTH; ++x) {
            const uint8_t* e = &f.engine[(static_cast<size_t>(y) * WIDTH + x) * 3];
            bool found = false;
            for (int dy = -1; dy <= 1 && !found; ++dy)
                for (int dx = -1; dx <= 1 && !found; ++dx) {
                    const int yy = y + dy, xx = x + dx;
                    if (yy < 0 || yy >= HEIGHT || xx < 0 || xx >= WIDTH) continue;
                    found = channel_diff(e, &f.reference[(static_cast<size_t>(yy) * WIDTH + xx) * 3]) <= 12;
                }
            matched += found;
        }
    return static_cast<double>(matched) / (WIDTH * HEIGHT);
}

int64_t black_pixels(const std::vector<uint8_t>& rgb) {
    int64_t n = 0;
    for (size_t i = 0; i < rgb.size(); i += 3) n += rgb[i] == 0 && rgb[i + 1] == 0 && rgb[i + 2] == 0;
    return n;
}

struct Expectation {
    const char* workload;
    double min_neighbour_match;  // 0: not checked (texels or triangles of a pixel or two)
};

// Test names and messages by the workload's name.
void PrintTo(const Expectation& e, std::ostream* os) {
    *os << e.workload;
}

class ReferencePicture : public testing::TestWithParam<Expectation> {};

TEST_P(ReferencePicture, MatchesTheEngine) {
    const Expectation& e = GetParam();
    const Frames f = render_both(e.workload);
    // Every triangle the engine draws reaches GL, or is one the engine never shows.
    EXPECT_EQ(f.scene.triangles + f.scene.skipped, f.engine_triangles);
    EXPECT_GT(f.scene.triangles, 0);
    const std::vector<double> blocks = block_differences(f);
    EXPECT_LE(blocks[blocks.size() / 2], 10.0) << e.workload;
    EXPECT_LE(blocks[blocks.size() * 9 / 10], 32.0) << e.workload;
    if (e.min_neighbour_match > 0) {
        EXPECT_GE(neighbour_match(f), e.min_neighbour_match) << e.workload;
    }
}

// fill: the texture is stretched twice over, every texel visible; park: the sky's and terrain's texels
// are large, the figures' and trees' noise is not.
INSTANTIATE_TEST_SUITE_P(Workloads, ReferencePicture,
                         testing::Values(Expectation{"fill", 0.98}, Expectation{"fill-f2b", 0.98},
                                         Expectation{"small", 0}, Expectation{"park", 0.65}),
                         [](const testing::TestParamInfo<Expectation>& info) {
                             std::string name = info.param.workload;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// The small triangles leave about as many pixels uncovered in both: neither rasteriser's coverage rule
// drops or fattens whole triangles.
TEST(ReferencePicture, SmallTrianglesCoverTheFrameAlike) {
    const Frames f = render_both("small");
    const int64_t limit = WIDTH * HEIGHT / 50;  // 2 % of the frame
    EXPECT_LE(black_pixels(f.engine), limit);
    EXPECT_LE(black_pixels(f.reference), limit);
}

}  // namespace
