// The compositor on real threads: tile slices on workers 34 on and merge slices on workers 1 on must give
// the pixels of the synchronous run. Runs under the thread sanitizer too.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "compositor_test_util.h"

namespace {

using namespace otest;

constexpr int W = 320, H = 200;

class CompositorThreads : public testing::Test {
  protected:
    void SetUp() override { reset_all(W, H); }
    void TearDown() override { reset_all(W, H); }
};

// Two frames of the busy scene and a random one on top, rasterised with `cpus` processors.
std::vector<uint8_t> rasterise_frames(int cpus, int synchronous, int thread_mode) {
    reset_all(W, H);
    cpu_count_set(cpus);
    worker_set_synchronous(synchronous);
    overlay_state.effects.thread_mode = thread_mode;
    busy_scene();
    overlay_rasterize();
    busy_scene();
    random_scene(3, 30);
    overlay_rasterize();
    return overlay_state.buffer;
}

TEST_F(CompositorThreads, ThreadedTilesEqualSynchronousOnes) {
    const std::vector<uint8_t> single = rasterise_frames(1, 0, 0);
    EXPECT_EQ(overlay_state.tile_threads, 1);
    for (int mode : {0, 1, 2}) {
        const std::vector<uint8_t> synchronous = rasterise_frames(4, 1, mode);
        const std::vector<uint8_t> threaded = rasterise_frames(4, 0, mode);
        EXPECT_EQ(overlay_state.tile_threads, mode == 0 ? 4 : mode == 1 ? 6 : 8);
        EXPECT_TRUE(threaded == synchronous) << "mode " << mode;
        EXPECT_TRUE(threaded == single) << "mode " << mode;
    }
}

TEST_F(CompositorThreads, ThreadedGlyphGroupsEqualSynchronousOnes) {
    // Outlined characters over many tiles, their groups split between tile workers.
    auto frame = [](int cpus, int synchronous) {
        reset_all(W, H);
        cpu_count_set(cpus);
        worker_set_synchronous(synchronous);
        make_glyph_texture(1, 16, 16, 7, 255, 255, 255);
        const float ink[3] = {1, 0.9f, 0.8f}, outline[3] = {0.5f, 0.1f, 0.3f};
        for (int k = 0; k < 4; ++k)
            outlined_characters(1, -0.05f + 0.02f * k, 0.2f * k, 0.12f, 0.3f, 0.08f, 14, 1.3f, 0.9f, ink,
                                outline);
        overlay_rasterize();
        return overlay_state.buffer;
    };
    const std::vector<uint8_t> single = frame(1, 0);
    const std::vector<uint8_t> synchronous = frame(4, 1);
    const std::vector<uint8_t> threaded = frame(4, 0);
    EXPECT_EQ(overlay_state.tile_threads, 4);
    EXPECT_GT(distinct_pixels(single, W, H), 100u);
    EXPECT_TRUE(threaded == synchronous);
    EXPECT_TRUE(threaded == single);
}

void merge_slice(int slot) {
    const WorkerSlice s = worker_slice(slot);
    const OverlayState& os = overlay_state;
    overlay_merge(frame_buffer.fb_pixels, W, H, os.buffer.data(), os.buffer_width, os.buffer_height,
                  s.thread_index, s.thread_count);
}

// A frame with depth steps and bright patches, the busy overlay merged over it with every effect and
// the trail, in `slices` slices; two frames so the trail blends.
std::vector<uint8_t> merged_frames(int slices, int synchronous, bool combined) {
    reset_all(W, H);
    cpu_count_set(4);
    worker_set_synchronous(synchronous);
    OverlayEffects& e = overlay_state.effects;
    e.glow_threshold = 0.7f;
    e.glow_width = 0.05f;
    e.glow_strength = 4;
    e.speckle = combined;
    e.edge_smooth = combined;
    e.depth_blur = combined;  // reads rows of other slices
    e.blur_radius = 0.02f;
    e.blur_depth = 1.01f;
    e.blur_near_depth = 1.02f;
    overlay_set_trail(0.5f);
    busy_scene();
    overlay_rasterize();
    std::mt19937 rng(11);
    for (int frame = 0; frame < 2; ++frame) {
        for (int i = 0; i < W * H; ++i) {
            frame_buffer.fb_depth[i] = 1000 + rng() % 40;
            for (int c = 0; c < 3; ++c)
                frame_buffer.fb_pixels[i * 3 + c] = static_cast<uint8_t>(rng() % 4 ? 40 : 230);
        }
        overlay_merge_prepare(W, H);
        worker_run_pass(slices, merge_slice);
        overlay_merge_finish();
    }
    return std::vector<uint8_t>(frame_buffer.fb_pixels, frame_buffer.fb_pixels + W * H * 3);
}

TEST_F(CompositorThreads, ThreadedMergeSlicesEqualOneSlice) {
    for (bool combined : {false, true}) {
        const std::vector<uint8_t> one = merged_frames(1, 0, combined);
        EXPECT_TRUE(merged_frames(7, 1, combined) == one) << combined;
        EXPECT_TRUE(merged_frames(7, 0, combined) == one) << combined;
        EXPECT_TRUE(merged_frames(3, 0, combined) == one) << combined;
    }
}

// The size mismatch found on a merge slice's thread ends the process at once with status 1 and the
// message, while the other slices may still be reading: no exit handler (nor static destructor) runs.
// One worker's slice sees the mismatch, so there is one message.
void mismatched_slice(int slot) {
    const WorkerSlice s = worker_slice(slot);
    const int buffer_height = s.thread_index == 1 ? H - 1 : H;
    overlay_merge(frame_buffer.fb_pixels, W, H, overlay_state.buffer.data(), W, buffer_height, s.thread_index,
                  s.thread_count);
}

void exit_handler() {
    const char text[] = "EXIT HANDLERS RAN\n";
    (void)!write(2, text, sizeof text - 1);
}

TEST_F(CompositorThreads, MergeSizeMismatchOnAWorkerEndsAtOnceWithStatusOne) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(
        {
            std::atexit(exit_handler);
            std::fflush(stdout);
            dup2(2, 1);  // the message goes to standard output; the matcher reads standard error
            cpu_count_set(4);
            overlay_buffer_ensure(W, H);
            worker_run_pass(4, mismatched_slice);
            std::_Exit(0);
        },
        testing::ExitedWithCode(1),
        "^A SPRITEBUFFER ES KEPBUFFER OSSZEFUTTATO .* NEM LESZ KEPED, VAZZEGH!\n$");
}

}  // namespace
