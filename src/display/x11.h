// Xlib-facing pieces shared by the window code and the present path. Included only by the display's
// own sources and its tests, so Xlib's macros stay out of the rest of the engine.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

#include "display/window.h"

// Measures a window on a connection opened and closed on the spot, so the calling thread never shares
// a connection; false when the connection or the query fails. `gone`, when given, is set when the server
// answered that the window no longer exists (another client destroyed it).
bool x11_window_geometry(XWindowId window, int* width, int* height, bool* gone = nullptr);

// Wraps the staging buffer (width x height words of bytes_per_pixel bytes in this machine's byte order,
// rows packed) in an XImage that says so, whatever layout the server prefers; XPutImage converts. The
// caller detaches data before destroying the image. Null on failure.
XImage* x11_staging_image(Display* display, Visual* visual, int depth, int bytes_per_pixel, uint8_t* data,
                          int width, int height);

// Converts (and scales to the window's measured size) a width x height RGB image and uploads it to the
// window at (x, y).
void present_image(int width, int height, const uint8_t* pixels, Display* display, Visual* visual,
                   Window window, int x, int y);
