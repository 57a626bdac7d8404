// What tests do to a window from a connection of their own, as a user or window manager would.
#pragma once

// gtest before Xlib: Xlib's None and Bool macros break gtest's own headers.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
// clang-format on

namespace vmtest {

// Sends what a window manager sends when the user closes the window (WM_PROTOCOLS / WM_DELETE_WINDOW).
void send_close_request(Display* dpy, Window window);

// The mapped top-level window with the given name, waiting up to the given seconds; 0 when none came.
Window wait_for_window(Display* dpy, const char* name, double seconds);

}  // namespace vmtest
