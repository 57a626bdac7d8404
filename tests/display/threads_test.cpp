// Everything that starts threads: the present thread and the conversion threads, against a private X
// server and on plain buffers. Run under the thread sanitizer too.
#include "core/cpu.h"
#include "display_test_util.h"

#include <algorithm>
#include <cstring>

#include "core/threads.h"
#include "display/convert.h"

namespace {

using disptest::pattern;
using disptest::read_window;
using disptest::rgb_at;
using disptest::settle;
using disptest::wrong_pixels;

std::vector<uint8_t> noise(int width, int height, uint32_t seed) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
    for (auto& byte : pixels) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(seed >> 24);
    }
    return pixels;
}

TEST(ConvertThreads, HalvesMatchOneThread) {
    const int width = 1000, height = 601;  // more than 500000 pixels, an odd row count
    const std::vector<uint8_t> src = noise(width, height, 5);
    for (int bpp : {4, 2}) {
        const size_t bytes = static_cast<size_t>(width) * height * bpp;
        std::vector<uint8_t> threaded(bytes, 0), single(bytes, 1);
        convert_image(src.data(), width, height, threaded.data(), bpp, 1, 2);
        convert_rows_reference(src.data(), width, height, single.data(), bpp, 1, 0, height);
        EXPECT_EQ(threaded, single) << "bpp " << bpp;
    }
}

TEST(ConvertThreads, BandsMatchOneThread) {
    const std::vector<uint8_t> src = noise(640, 360, 9);
    // 1280 x 720 output: 921600 pixels, so three parts with 3 or more processors and two with 2.
    const size_t bytes = 1280u * 720 * 4;
    std::vector<uint8_t> single(bytes, 0);
    convert_image_scaled(src.data(), 640, 360, single.data(), 1280, 720, 4, 0, 1);
    for (int cpus : {2, 4}) {
        std::vector<uint8_t> threaded(bytes, 0xEE);
        convert_image_scaled(src.data(), 640, 360, threaded.data(), 1280, 720, 4, 0, cpus);
        EXPECT_EQ(threaded, single) << cpus << " processors";
    }
}

// The synchronous switch reaches the display's threads too: the same pixels, and not one thread started.
TEST(ConvertThreads, SynchronousModeStartsNoThreadAndGivesTheSamePixels) {
    const std::vector<uint8_t> src = noise(1000, 601, 3);
    const size_t bytes = 1280u * 720 * 4;
    std::vector<uint8_t> threaded(bytes, 0), synchronous(bytes, 0xEE);
    std::vector<uint8_t> halves(1000u * 601 * 4, 0), whole(1000u * 601 * 4, 0xEE);
    convert_image_scaled(src.data(), 1000, 601, threaded.data(), 1280, 720, 4, 1, 4);
    convert_image(src.data(), 1000, 601, halves.data(), 4, 1, 2);
    threads_set_synchronous(1);
    const int64_t before = threads_state.threads_created;
    convert_image_scaled(src.data(), 1000, 601, synchronous.data(), 1280, 720, 4, 1, 4);
    convert_image(src.data(), 1000, 601, whole.data(), 4, 1, 2);
    EXPECT_EQ(threads_state.threads_created, before);
    threads_set_synchronous(0);
    EXPECT_EQ(synchronous, threaded);
    EXPECT_EQ(whole, halves);
}

class PresentThreadTest : public disptest::XServerTest {
  protected:
    void SetUp() override {
        XServerTest::SetUp();
        cpu_count_set(4);  // every threaded path, whatever this machine has
    }
};

TEST_F(PresentThreadTest, ShowsItsOwnCopyOfTheFrame) {
    open_startup_window();
    std::vector<uint8_t> frame = pattern(512, 256, 1);
    const std::vector<uint8_t> sent = frame;
    present_async(frame.data(), 512, 256);
    // The next frame may be drawn at once; the one on its way must not change.
    std::fill(frame.begin(), frame.end(), 0);
    settle();
    const std::vector<uint32_t> shown = read_window(probe_, display_state.x_window, 512, 256);
    ASSERT_EQ(shown.size(), 512u * 256);
    EXPECT_EQ(wrong_pixels(shown, sent, 512, 256), 0);
    EXPECT_EQ(display_state.present_width, 512);
}

TEST_F(PresentThreadTest, SynchronousModeShowsTheFrameBeforeReturning) {
    open_startup_window();
    const std::vector<uint8_t> frame = pattern(512, 256, 2);
    threads_set_synchronous(1);
    const int64_t before = threads_state.threads_created;
    present_async(frame.data(), 512, 256);
    EXPECT_EQ(display_state.present_thread.running, 0);
    EXPECT_EQ(threads_state.threads_created, before);
    threads_set_synchronous(0);
    settle();
    const std::vector<uint32_t> shown = read_window(probe_, display_state.x_window, 512, 256);
    ASSERT_EQ(shown.size(), 512u * 256);
    EXPECT_EQ(shown[100 * 512 + 300], rgb_at(frame, 512, 300, 100));
}

TEST_F(PresentThreadTest, FramesFollowOneAnotherAndSizesChange) {
    open_startup_window();
    // Each call joins the previous thread before reusing the copy; the last frame is what shows.
    for (int i = 0; i < 6; ++i) {
        const std::vector<uint8_t> frame = pattern(512, 256, i * 40);
        present_async(frame.data(), 512, 256);
    }
    // A larger window and frame: the copy is remade and the conversion splits in two.
    XResizeWindow(probe_, display_state.x_window, 1000, 520);
    XSync(probe_, False);
    display_sync();
    ASSERT_EQ(frame_buffer.fb_width, 1000);
    const std::vector<uint8_t> big = pattern(1000, 520, 77);
    present_async(big.data(), 1000, 520);
    settle();
    const std::vector<uint32_t> shown = read_window(probe_, display_state.x_window, 1000, 520);
    ASSERT_EQ(shown.size(), 1000u * 520);
    EXPECT_EQ(wrong_pixels(shown, big, 1000, 520), 0);
}

TEST_F(PresentThreadTest, ScaledFrameWithThreeBandsShows) {
    open_startup_window();
    // 840000 output pixels, moved so that all of them are on the screen to be read back.
    XMoveResizeWindow(probe_, display_state.x_window, 0, 0, 1200, 700);
    XSync(probe_, False);
    const std::vector<uint8_t> frame = pattern(512, 256, 5);
    present_async(frame.data(), 512, 256);
    settle();
    const std::vector<uint32_t> shown = read_window(probe_, display_state.x_window, 1200, 700);
    std::vector<uint8_t> expected(1200u * 700 * 4);
    convert_scaled_rows_reference(frame.data(), 512, 256, expected.data(), 1200, 700, 4, 1, 0, 1);
    ASSERT_EQ(shown.size(), 1200u * 700);
    int wrong = 0;
    for (size_t i = 0; i < shown.size(); ++i) {
        uint32_t want;
        std::memcpy(&want, &expected[i * 4], 4);
        if (shown[i] != want) ++wrong;
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(PresentThreadTest, CloseRequestIsTakenOnThePresentThread) {
    open_startup_window();
    const std::vector<uint8_t> frame = pattern(512, 256);
    disptest::send_close_request(probe_, display_state.x_window);
    present_async(frame.data(), 512, 256);
    present_join();
    EXPECT_EQ(display_state.window_closed.load(), 1);
    EXPECT_EQ(display_state.quit_requested.load(), 1);
    // Opening again (the full-screen key's path) clears the close but not the quit.
    window_reopen();
    EXPECT_EQ(display_state.window_closed.load(), 0);
    EXPECT_EQ(display_state.quit_requested.load(), 1);
}

TEST(PresentThreadNoDisplay, FramesGoToTheTerminalPathQuietly) {
    vmtest::ScopedEnv no_display("DISPLAY", nullptr);
    display_reset();
    cpu_count_set(2);
    EXPECT_EQ(disptest::capture_stderr([] { window_open(512, 256, 24, 512, 256); }), "X11 kapcsolathiba.\n");
    const std::string later = disptest::capture_stderr([] {
        for (int i = 0; i < 4; ++i) {
            const std::vector<uint8_t> frame = pattern(512, 256, i);
            present_async(frame.data(), 512, 256);
        }
        present_join();
    });
    EXPECT_EQ(later, "");
    EXPECT_EQ(display_state.present_copy_width, 512);
    display_reset();
}

}  // namespace
