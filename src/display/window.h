// The X11 window and the display state shared by the window code, the present path and the input pump.
// Main thread; the present thread writes only the fields marked below (window size and close flags).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "core/threads.h"

// Xlib's connection record; <X11/Xlib.h> stays inside the display's own sources.
struct _XDisplay;
using XDisplayPtr = struct _XDisplay*;
using XWindowId = unsigned long;  // Xlib Window and Atom are XIDs (unsigned long on the client side)

struct DisplayState {
    XDisplayPtr x_display = nullptr;      // main connection: window, close message, presents
    XDisplayPtr input_display = nullptr;  // second connection, for the input pump and the pointer query
    XWindowId x_window = 0;               // 0 until the window exists
    int screen_number = 0;                // default screen of x_display at window creation
    // Written by the present thread while the main thread may read them on its next frame.
    std::atomic<int> window_width{0};    // pixels, as last requested or measured
    std::atomic<int> window_height{0};   // pixels, as last requested or measured
    std::atomic<int> window_closed{0};   // 1 once the window manager's close message arrived
    std::atomic<int> quit_requested{0};  // set with window_closed; frame_end exits on it
    int present_width = 0;               // size of the pixel array a synchronous present reads
    int present_height = 0;
    int fullscreen_on = 0;  // toggled by fullscreen_toggle
    int saved_width = 0;    // window size before entering full screen
    int saved_height = 0;
    XWindowId wm_delete_atom = 0;     // "WM_DELETE_WINDOW"
    int rgb_swap = 1;                 // 0 when the visual keeps red in lower bits than green
    int visual_checked = 0;           // 1 once the visual was examined (once per process)
    uint8_t* staging = nullptr;       // converted pixels for XCreateImage, 4 bytes per pixel capacity
    int64_t staging_pixels = 0;       // output pixel count the staging buffer was made for
    EngineThread present_thread;      // the present thread, while one runs
    uint8_t* present_copy = nullptr;  // the present thread's own copy of its frame, 3 bytes per pixel
    int present_copy_width = 0;
    int present_copy_height = 0;
    int64_t present_copy_bytes = 0;    // width x height x 3 the copy was last sized for
    uint8_t* float_scratch = nullptr;  // present_float's converted bytes, kept between calls
    size_t float_scratch_bytes = 0;    // capacity of float_scratch
    int lost_report_fd = -1;  // read end of a pipe holding the one byte a lost connection's report takes
};

extern DisplayState display_state;

// Opens both connections and the window centred on the screen, or resizes the existing window.
// Without an X display writes "X11 kapcsolathiba.\n" to standard error and returns. Once connected, a
// lost connection ends the process at once with the same line and exit status 1, from any thread.
void window_open(int width, int height, int depth, int frame_width, int frame_height);
void window_open_fb(int width, int height);  // frame size from the frame buffer
void window_reopen();                        // current window size, present size unchanged
void window_set_title(const char* text);
void fullscreen_toggle();
// Resizes the frame buffer to the window's measured size (at least 128 x 64).
void display_sync();
// The window's size measured on a fresh connection; 0, 0 without a window or when the query fails.
void window_size_query(int* width, int* height);

// Test seam: joins the present thread, closes both connections (the window goes with them) and
// returns every field to its process-start value.
void display_reset();
