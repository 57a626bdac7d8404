// The program as a user starts it: from another folder, under a private X server, with and without
// its media, closed through the window manager's protocol.
// gtest before Xlib: Xlib's macros (None, Bool) break gtest's templates.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
// clang-format on
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/x_client.h"
#include "support/xvfb.h"

namespace fs = std::filesystem;
using vmtest::ChildProcess;
using vmtest::TempDir;
using vmtest::Xvfb;

namespace {

std::string program() {
    return vmtest::build_dir() + "/velmorine";
}

TEST(Startup, OpensTheCentredWindowFromAnotherFolderAndQuitsOnClose) {
    Xvfb x;
    ASSERT_TRUE(x.ok());
    TempDir elsewhere;
    ChildProcess demo({program()}, {{"DISPLAY", x.name()}}, elsewhere.path());
    ASSERT_TRUE(demo.started());

    Display* dpy = XOpenDisplay(x.name().c_str());
    ASSERT_NE(dpy, nullptr);
    Window w = vmtest::wait_for_window(dpy, "Velmorine!", 20);
    ASSERT_NE(w, 0u) << demo.err();

    XWindowAttributes attr;
    ASSERT_TRUE(XGetWindowAttributes(dpy, w, &attr));
    EXPECT_EQ(attr.width, 512);
    EXPECT_EQ(attr.height, 256);
    int x_root = 0, y_root = 0;
    Window child;
    XTranslateCoordinates(dpy, w, DefaultRootWindow(dpy), 0, 0, &x_root, &y_root, &child);
    // Centred by integer halves on 1920 x 1080, inside a one-pixel border.
    EXPECT_EQ(x_root - attr.border_width, 704);
    EXPECT_EQ(y_root - attr.border_width, 412);

    // Still running: it found its media although started elsewhere.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    vmtest::send_close_request(dpy, w);
    EXPECT_EQ(demo.wait(20), 0) << demo.out() << demo.err();
    EXPECT_EQ(demo.out().find("media files missing"), std::string::npos);
    XCloseDisplay(dpy);
}

TEST(Startup, WithoutMediaSaysSoAndFails) {
    TempDir copy;
    std::string exe = copy / "velmorine";
    fs::copy_file(program(), exe);
    fs::permissions(exe, fs::perms::owner_all);
    ChildProcess demo({exe}, {{"DISPLAY", ""}}, "/");
    int status = demo.wait(30);
    EXPECT_EQ(status, 1);
    EXPECT_NE(demo.out().find("media files missing\n"), std::string::npos) << demo.out();
    // Without an X display the window code says so and the start-up carries on to the media check.
    EXPECT_EQ(demo.err(), "X11 kapcsolathiba.\n");
}

}  // namespace
