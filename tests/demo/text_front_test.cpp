// The text test as a user runs it, under a private X server: its window shows the test captions in
// every style, they move with the time and leave nothing behind them, and Escape or the window's close
// button ends it with status 0.
// gtest before Xlib: Xlib's macros (None, Bool) break gtest's templates.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/x_client.h"
#include "support/xvfb.h"

using vmtest::ChildProcess;
using vmtest::TempDir;

namespace {

// Lit pixels of the window by the caption colour they are nearest: white, orange, green, blue.
struct InkCount {
    int white = 0, orange = 0, green = 0, blue = 0, all = 0;
};

InkCount ink(Display* dpy, Window w) {
    InkCount n;
    XWindowAttributes attr;
    if (!XGetWindowAttributes(dpy, w, &attr)) return n;
    XImage* image = XGetImage(dpy, w, 0, 0, static_cast<unsigned>(attr.width),
                              static_cast<unsigned>(attr.height), AllPlanes, ZPixmap);
    if (image == nullptr) return n;
    for (int y = 0; y < attr.height; ++y) {
        for (int x = 0; x < attr.width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            const int r = static_cast<int>((p >> 16) & 255), g = static_cast<int>((p >> 8) & 255),
                      b = static_cast<int>(p & 255);
            if (r + g + b < 200) continue;
            ++n.all;
            if (r > 200 && g > 200 && b > 200) {
                ++n.white;
            } else if (r > 200 && b < 160) {
                ++n.orange;
            } else if (g > 200 && r < 180 && b < 180) {
                ++n.green;
            } else if (b > 200 && r < 180) {
                ++n.blue;
            }
        }
    }
    XDestroyImage(image);
    return n;
}

class TextFront : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(x.ok());
        const std::string conf =
            dir.write("asound.conf", "pcm.!default {\n type file\n slave.pcm { type null }\n file \"" +
                                         dir.path() + "/snd.raw\"\n format \"raw\"\n}\n");
        program =
            std::make_unique<ChildProcess>(std::vector<std::string>{vmtest::build_dir() + "/velmorine-text"},
                                           std::vector<std::pair<std::string, std::string>>{
                                               {"DISPLAY", x.name()}, {"ALSA_CONFIG_PATH", conf}},
                                           dir.path());
        ASSERT_TRUE(program->started());
        dpy = XOpenDisplay(x.name().c_str());
        ASSERT_NE(dpy, nullptr);
        window = vmtest::wait_for_window(dpy, "Velmorine! text test", 20);
        ASSERT_NE(window, 0u) << program->err();
    }
    void TearDown() override {
        if (dpy != nullptr) XCloseDisplay(dpy);
    }

    vmtest::Xvfb x;
    TempDir dir;
    std::unique_ptr<ChildProcess> program;
    Display* dpy = nullptr;
    Window window = 0;
};

TEST_F(TextFront, EveryStyleShowsMovesAndLeavesNoTrailThenEscapeEnds) {
    // The first frames may still be on their way.
    InkCount first;
    for (int i = 0; i < 50 && first.all == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        first = ink(dpy, window);
    }
    EXPECT_GT(first.white, 50);   // the Unicode font's Latin line and the caption's ink
    EXPECT_GT(first.orange, 50);  // the Japanese line and the caption's outline
    EXPECT_GT(first.green, 50);   // the plain built-in style
    EXPECT_GT(first.blue, 50);    // the second built-in style

    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    XWindowAttributes attr;
    ASSERT_TRUE(XGetWindowAttributes(dpy, window, &attr));
    XImage* a = XGetImage(dpy, window, 0, 0, static_cast<unsigned>(attr.width),
                          static_cast<unsigned>(attr.height), AllPlanes, ZPixmap);
    const InkCount later = ink(dpy, window);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    XImage* b = XGetImage(dpy, window, 0, 0, static_cast<unsigned>(attr.width),
                          static_cast<unsigned>(attr.height), AllPlanes, ZPixmap);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    const size_t bytes = static_cast<size_t>(a->bytes_per_line) * static_cast<size_t>(a->height);
    EXPECT_NE(std::memcmp(a->data, b->data, bytes), 0) << "the captions stand still";
    XDestroyImage(a);
    XDestroyImage(b);
    // Moved text keeps its size; a trail of earlier frames would cover ever more of the window.
    EXPECT_LT(later.all, first.all * 3 / 2);

    ASSERT_EQ(std::system(("DISPLAY=" + x.name() + " xdotool windowfocus --sync " + std::to_string(window) +
                           " key Escape >/dev/null 2>&1")
                              .c_str()),
              0);
    EXPECT_EQ(program->wait(20), 0) << program->err();
}

TEST_F(TextFront, TheCloseButtonEndsItWithStatusZero) {
    vmtest::send_close_request(dpy, window);
    EXPECT_EQ(program->wait(20), 0) << program->err();
}

}  // namespace
