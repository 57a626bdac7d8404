// The program as a user starts it: from another folder, under a private X server, with and without
// its media, closed through the window manager's protocol.
// gtest before Xlib: Xlib's macros (None, Bool) break gtest's templates.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
#include <X11/Xutil.h>
// clang-format on
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/xvfb.h"

namespace fs = std::filesystem;
using vmtest::ChildProcess;
using vmtest::TempDir;
using vmtest::Xvfb;

namespace {

std::string program() { return vmtest::build_dir() + "/velmorine"; }

// The top-level window with the given name, waiting up to the given seconds for it to be mapped.
Window wait_for_window(Display* dpy, const char* name, double seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        Window root_return, parent, *children = nullptr;
        unsigned count = 0;
        if (XQueryTree(dpy, DefaultRootWindow(dpy), &root_return, &parent, &children, &count)) {
            for (unsigned i = 0; i < count; ++i) {
                char* title = nullptr;
                XWindowAttributes attr;
                bool match = XFetchName(dpy, children[i], &title) && title && std::string(title) == name &&
                             XGetWindowAttributes(dpy, children[i], &attr) && attr.map_state == IsViewable;
                if (title) XFree(title);
                if (match) {
                    Window w = children[i];
                    XFree(children);
                    return w;
                }
            }
            if (children) XFree(children);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}

void send_delete_window(Display* dpy, Window w) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = w;
    ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, w, False, NoEventMask, &ev);
    XFlush(dpy);
}

TEST(Startup, OpensTheCentredWindowFromAnotherFolderAndQuitsOnClose) {
    Xvfb x;
    ASSERT_TRUE(x.ok());
    TempDir elsewhere;
    ChildProcess demo({program()}, {{"DISPLAY", x.name()}}, elsewhere.path());
    ASSERT_TRUE(demo.started());

    Display* dpy = XOpenDisplay(x.name().c_str());
    ASSERT_NE(dpy, nullptr);
    Window w = wait_for_window(dpy, "Velmorine!", 20);
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
    send_delete_window(dpy, w);
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
