// Shared pieces of the display tests: a private X server per test with the display state reset
// around it, test patterns, and reading the screen back through a connection of the test's own.
#pragma once

// gtest before Xlib: Xlib's None and Bool macros break gtest's own headers.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cstring>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/framebuffer.h"
#include "display/present.h"
#include "display/window.h"
#include "display/x11.h"
#include "support/x_client.h"
#include "support/xvfb.h"

namespace disptest {

using vmtest::send_close_request;

// A pattern in which most pixels differ and red, green and blue all vary, so a swapped channel order or
// a shifted row shows.
inline std::vector<uint8_t> pattern(int width, int height, int seed = 0) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(x * 7 + seed);
            p[1] = static_cast<uint8_t>(y * 5 + x / 37);
            p[2] = static_cast<uint8_t>(255 - x - y * 3);
        }
    }
    return pixels;
}

inline uint32_t rgb_at(const std::vector<uint8_t>& pixels, int width, int x, int y) {
    const uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
    return static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2];
}

// The window's client area as the screen shows it (read from the root, which is always viewable).
// Pixels of a window read back (read_window) that differ from the RGB frame sent.
inline int wrong_pixels(const std::vector<uint32_t>& shown, const std::vector<uint8_t>& frame, int width,
                        int height) {
    int wrong = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (shown[static_cast<size_t>(y) * width + x] != rgb_at(frame, width, x, y)) ++wrong;
    return wrong;
}

inline std::vector<uint32_t> read_window(Display* probe, Window window, int width, int height) {
    std::vector<uint32_t> values;
    int rx = 0, ry = 0;
    Window child;
    Window root = DefaultRootWindow(probe);
    if (!XTranslateCoordinates(probe, window, root, 0, 0, &rx, &ry, &child)) return values;
    XImage* image = XGetImage(probe, root, rx, ry, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr) return values;
    values.reserve(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) values.push_back(static_cast<uint32_t>(XGetPixel(image, x, y)));
    XDestroyImage(image);
    return values;
}

// Writes everything the present path queued and waits until the server has handled it.
inline void settle() {
    present_join();
    if (display_state.x_display != nullptr) XSync(display_state.x_display, False);
}

// Each test gets its own server and a display state as at process start. With more than one screen the
// program and the probe start on the last screen, so nothing can pass by using screen 0.
class XServerTest : public ::testing::Test {
  protected:
    explicit XServerTest(int depth = 24, int screens = 1) : xvfb_(1920, 1080, depth, screens) {
        if (xvfb_.ok()) display_name_ = xvfb_.name() + "." + std::to_string(screens - 1);
    }

    void SetUp() override {
        ASSERT_TRUE(xvfb_.ok()) << "Xvfb did not start";
        env_ = std::make_unique<vmtest::ScopedEnv>("DISPLAY", display_name_.c_str());
        display_reset();
        fb_reset();
        probe_ = XOpenDisplay(display_name_.c_str());
        ASSERT_NE(probe_, nullptr);
    }

    void TearDown() override {
        display_reset();
        fb_reset();
        if (probe_ != nullptr) XCloseDisplay(probe_);
    }

    // The start-up sequence's window: 512 x 256 frame and window, titled.
    void open_startup_window() {
        set_resolution(512, 256);
        window_open(512, 256, 24, 512, 256);
        window_set_title("Velmorine!");
        ASSERT_NE(display_state.x_window, 0u);
        settle();
    }

    vmtest::Xvfb xvfb_;
    std::string display_name_;  // ":N.S", S the last screen
    std::unique_ptr<vmtest::ScopedEnv> env_;
    Display* probe_ = nullptr;
};

// Runs fn with standard error going to a file; returns what was written.
template <typename Fn>
std::string capture_stderr(Fn fn) {
    char path[] = "/tmp/vm-display-stderr-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0) return "<no capture>";
    unlink(path);
    fflush(stderr);
    int saved = dup(2);
    dup2(fd, 2);
    fn();
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    char buffer[256];
    lseek(fd, 0, SEEK_SET);
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    close(fd);
    return text;
}

}  // namespace disptest
