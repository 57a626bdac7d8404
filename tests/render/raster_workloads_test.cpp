// The fast raster path against the plain one on the benchmarks' own workloads, the park and the small
// triangles, through the whole frame: the shared projection, the bands and the deferral must give the
// pixels and depths of every share projecting its own triangles and the plain filler drawing them, with
// real threads and synchronously, in every split.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/workers.h"
#include "pipeline_test_util.h"
#include "render/raster/raster.h"
#include "render_test_util.h"
#include "workloads.h"

namespace {

struct Frame {
    std::vector<uint8_t> color;
    std::vector<uint32_t> depth;
};

// Each frame starts from planes of another picture, its depths the nearest, so that a row the frame's
// clear missed shows.
Frame render(bool plain) {
    const FrameBuffer& fb = frame_buffer;
    const size_t pixels = static_cast<size_t>(fb.fb_width) * static_cast<size_t>(fb.fb_height);
    std::memset(fb.fb_pixels, 0x5A, pixels * 3);
    std::memset(fb.fb_depth, 0, pixels * sizeof(uint32_t));
    raster_state.plain = plain ? 1 : 0;
    render_scene();
    raster_state.plain = 0;
    return Frame{std::vector<uint8_t>(fb.fb_pixels, fb.fb_pixels + pixels * 3),
                 std::vector<uint32_t>(fb.fb_depth, fb.fb_depth + pixels)};
}

struct Case {
    int cpus;         // 2: two slices; 4: four
    int split;        // render_config.raster_split_mode
    int synchronous;  // every worker on the pipeline thread
    int half_height;
};

// The parts and interleave splits let threads draw the same pixels at once, so with real threads their
// images are not repeatable; they are compared synchronously.
constexpr Case CASES[] = {
    {2, 0, 0, 0}, {4, 0, 0, 0}, {2, 0, 1, 0}, {4, 0, 1, 1}, {2, 1, 1, 0}, {2, 2, 1, 0}, {4, 2, 1, 0},
};

// The built workload drawn by the fast path and by the plain one with `cpus` processors: the same depths
// and colours. The fast frame is left in `fast`.
void expect_plain_image(int cpus, int synchronous, Frame& fast) {
    cpu_count_set(cpus);
    worker_set_synchronous(synchronous);
    fast = render(false);
    const Frame plain = render(true);
    worker_set_synchronous(0);
    ASSERT_EQ(fast.depth, plain.depth);
    ASSERT_EQ(fast.color, plain.color);
}

void check_workload(void (*build)(int, int), int width, int height) {
    for (const Case& c : CASES) {
        SCOPED_TRACE(testing::Message()
                     << c.cpus << " processors, split " << c.split << (c.synchronous ? ", synchronous" : "")
                     << (c.half_height ? ", half height" : ""));
        build(width, height);
        render_config.raster_split_mode = c.split;
        half_height(c.half_height);
        Frame fast;
        expect_plain_image(c.cpus, c.synchronous, fast);
        if (testing::Test::HasFatalFailure()) return;
        int64_t written = 0;
        for (uint32_t d : fast.depth) written += d != rtest::CLEARED_DEPTH;
        EXPECT_GT(written, static_cast<int64_t>(width) * height / 4);
    }
}

class RasterWorkloads : public testing::Test {
  protected:
    void SetUp() override { ptest::reset_engine(2); }
    void TearDown() override { ptest::reset_engine(1); }
};

TEST_F(RasterWorkloads, ParkDrawsThePlainImage) {
    check_workload(workloads::build_park, 320, 180);
}

TEST_F(RasterWorkloads, SmallTrianglesDrawThePlainImage) {
    check_workload(workloads::build_small, 320, 180);
}

TEST_F(RasterWorkloads, SlicesDrawnBandByBandDrawThePlainImage) {
    // Slices large enough to be drawn band by band: with the shared projection every band reads the
    // triangles listed for it (triangles crossing bands, or every band, included); with one processor
    // there is no shared projection and the filler keeps the triangles for the bands instead.
    struct Banded {
        void (*build)(int, int);
        int width, height, cpus, synchronous;
    };
    const Banded cases[] = {
        {workloads::build_small, 1920, 1080, 2, 0},  // the benchmark's largest size
        {workloads::build_small, 1280, 720, 2, 1},
        {workloads::build_small, 1280, 720, 1, 0},  // kept triangles
        {workloads::build_park, 1280, 720, 4, 0},   // large triangles over many bands
        {[](int w, int h) { workloads::build_quads(w, h, true); }, 1280, 720, 2, 0},  // few triangles
        {[](int w, int h) { workloads::build_quads(w, h, true); }, 1280, 720, 1, 0},  // walked per band
    };
    for (const Banded& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", " << c.cpus << " processors"
                                        << (c.synchronous ? ", synchronous" : ""));
        c.build(c.width, c.height);
        Frame fast;
        expect_plain_image(c.cpus, c.synchronous, fast);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
