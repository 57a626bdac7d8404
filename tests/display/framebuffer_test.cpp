// The frame buffer's allocation rules: slack, the first allocation's fill, no-change and failure.
#include "display/framebuffer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Records every request, hands out memory filled with a marker, and fails the chosen call.
struct AllocLog {
    std::vector<size_t> sizes;
    int fail_call = -1;  // index of the call that returns nullptr, -1 for none
};
AllocLog alloc_log;

void* logging_alloc(size_t bytes) {
    const int call = static_cast<int>(alloc_log.sizes.size());
    alloc_log.sizes.push_back(bytes);
    if (call == alloc_log.fail_call) return nullptr;
    void* p = std::malloc(bytes);
    if (p != nullptr) std::memset(p, 0xAB, bytes);
    return p;
}

class FrameBufferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fb_reset();
        alloc_log = AllocLog{};
        fb_set_allocator(logging_alloc);
    }
    void TearDown() override {
        fb_set_allocator(nullptr);
        fb_reset();
    }
};

TEST_F(FrameBufferTest, FirstAllocationIsClearedWithSlack) {
    set_resolution(64, 32);
    const FrameBuffer& fb = frame_buffer;
    ASSERT_NE(fb.fb_pixels, nullptr);
    ASSERT_NE(fb.fb_depth, nullptr);
    // A spare column and two spare rows of colour, two columns and three rows of depth.
    ASSERT_EQ(alloc_log.sizes.size(), 2u);
    EXPECT_EQ(alloc_log.sizes[0], 3u * 65 * 34);
    EXPECT_EQ(alloc_log.sizes[1], 4u * 66 * 35);
    const size_t cleared = 3u * 65 * 33;
    for (size_t i = 0; i < cleared; ++i) ASSERT_EQ(fb.fb_pixels[i], 0) << i;
    EXPECT_EQ(fb.fb_pixels[cleared], 0xAB);  // beyond the cleared part the plane is as allocated
    const size_t far = 66u * 34;
    for (size_t i = 0; i < far; ++i) ASSERT_EQ(fb.fb_depth[i], FB_DEPTH_FAR) << i;
    EXPECT_EQ(fb.fb_depth[far], 0xABABABABu);
    EXPECT_EQ(fb.fb_width, 64);
    EXPECT_EQ(fb.fb_height, 32);
    EXPECT_FLOAT_EQ(fb.fb_inv_width, 1.0f / 64);
    EXPECT_FLOAT_EQ(fb.fb_inv_height, 1.0f / 32);
    EXPECT_EQ(fb.fb_needs_clear, 1);
}

TEST_F(FrameBufferTest, LaterSizesAreLeftForTheClear) {
    set_resolution(64, 32);
    frame_buffer.fb_needs_clear = 0;
    set_resolution(40, 20);
    EXPECT_EQ(frame_buffer.fb_width, 40);
    EXPECT_EQ(frame_buffer.fb_pixels[0], 0xAB);
    EXPECT_EQ(frame_buffer.fb_depth[0], 0xABABABABu);
    EXPECT_EQ(frame_buffer.fb_needs_clear, 1);
}

TEST_F(FrameBufferTest, SameSizeKeepsThePlanes) {
    set_resolution(64, 32);
    uint8_t* pixels = frame_buffer.fb_pixels;
    frame_buffer.fb_needs_clear = 0;
    set_resolution(64, 32);
    EXPECT_EQ(frame_buffer.fb_pixels, pixels);
    EXPECT_EQ(alloc_log.sizes.size(), 2u);
    EXPECT_EQ(frame_buffer.fb_needs_clear, 0);
}

TEST_F(FrameBufferTest, FailedAllocationKeepsTheOldPlanes) {
    set_resolution(64, 32);
    uint8_t* pixels = frame_buffer.fb_pixels;
    uint32_t* depth = frame_buffer.fb_depth;
    frame_buffer.fb_needs_clear = 0;
    auto expect_unchanged = [&](const char* what) {
        EXPECT_EQ(frame_buffer.fb_pixels, pixels) << what;
        EXPECT_EQ(frame_buffer.fb_depth, depth) << what;
        EXPECT_EQ(frame_buffer.fb_width, 64) << what;
        EXPECT_EQ(frame_buffer.fb_height, 32) << what;
        EXPECT_FLOAT_EQ(frame_buffer.fb_inv_width, 1.0f / 64) << what;
        EXPECT_EQ(frame_buffer.fb_needs_clear, 0) << what;
    };
    alloc_log.fail_call = 2;
    set_resolution(100, 50);
    expect_unchanged("colour plane failed");
    alloc_log.fail_call = 4;  // call 3, the colour plane, succeeds and must be given back (leak check)
    set_resolution(100, 50);
    expect_unchanged("depth plane failed");
    EXPECT_EQ(alloc_log.sizes.size(), 5u);
}

TEST_F(FrameBufferTest, FirstAllocationFailingLeavesNoFrameAndFillsTheNextTry) {
    alloc_log.fail_call = 1;  // depth plane of the first try
    set_resolution(16, 8);
    EXPECT_EQ(frame_buffer.fb_pixels, nullptr);
    EXPECT_EQ(frame_buffer.fb_width, 0);
    set_resolution(16, 8);
    ASSERT_NE(frame_buffer.fb_pixels, nullptr);
    EXPECT_EQ(frame_buffer.fb_pixels[0], 0);
    EXPECT_EQ(frame_buffer.fb_depth[0], FB_DEPTH_FAR);
}

TEST_F(FrameBufferTest, SizesWithoutPixelsAreRefused) {
    set_resolution(64, 32);
    set_resolution(0, 32);
    set_resolution(64, -1);
    EXPECT_EQ(frame_buffer.fb_width, 64);
    EXPECT_EQ(frame_buffer.fb_height, 32);
    EXPECT_EQ(alloc_log.sizes.size(), 2u);
}

}  // namespace
