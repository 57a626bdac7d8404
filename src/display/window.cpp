// The X11 window: connections, creation, title, full screen and the frame buffer following its size.
// Main thread only; every change on x_display waits for the present thread first.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "core/cpu.h"
#include "core/log.h"
#include "display/framebuffer.h"
#include "display/present.h"
#include "display/x11.h"

static_assert(std::is_same_v<Window, XWindowId> && std::is_same_v<Atom, XWindowId>,
              "the display state stores Xlib ids as unsigned long");
static_assert(std::is_same_v<Display*, XDisplayPtr>);

DisplayState display_state;

namespace {

const char X11_FAILURE_MESSAGE[] = "X11 kapcsolathiba.\n";

// Smaller windows keep the last frame size; presentation scales the frame down to them.
constexpr int SYNC_MIN_WIDTH = 128;
constexpr int SYNC_MIN_HEIGHT = 64;

// The size a display-less full-screen toggle asks for when it tries the X server again.
constexpr int REOPEN_WIDTH = 1024;
constexpr int REOPEN_HEIGHT = 512;

constexpr long NET_WM_STATE_REMOVE = 0;
constexpr long NET_WM_STATE_ADD = 1;

// Xlib's default handler ends the process on any protocol error. A window that vanished or a query
// that fails must only cost a frame, so errors are dropped here.
int x11_ignore_error(Display*, XErrorEvent*) {
    return 0;
}

// A broken connection cannot be recovered: Xlib ends the process itself if this handler returns. Its
// own handler prints a report of several lines and calls exit(), possibly on the present thread while
// the main thread renders, and exit() runs static destructors under the running threads' feet. _exit()
// ends every thread at once and runs nothing else; the message goes out unbuffered, as _exit()
// flushes no stdio buffer.
int x11_connection_lost(Display*) {
    // A dead server breaks both connections at once, so the main thread and the present thread may both
    // arrive here. The pipe's single byte goes to one of them (the kernel hands it out once); the other
    // waits for that one's _exit, which ends it too, so the line is written once.
    const int token_fd = display_state.lost_report_fd;
    char token;
    if (token_fd >= 0 && read(token_fd, &token, 1) != 1)
        for (;;) pause();
    // Should the line not get out, the status still says it.
    log_message(LogStream::err, X11_FAILURE_MESSAGE);
    _exit(EXIT_FAILURE);
}

// The lost connection's report token: a pipe holding one byte, its write end closed at once. Without it
// the report is still made, only not guarded against a second thread.
void x11_make_lost_report_token() {
    DisplayState& ds = display_state;
    if (ds.lost_report_fd >= 0) return;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
    const char token = 1;
    if (write(ends[1], &token, 1) == 1)
        ds.lost_report_fd = ends[0];
    else
        close(ends[0]);
    close(ends[1]);
}

void screen_size(Display* display, int* width, int* height) {
    Screen* screen = DefaultScreenOfDisplay(display);
    *width = screen != nullptr ? WidthOfScreen(screen) : 0;
    *height = screen != nullptr ? HeightOfScreen(screen) : 0;
}

// Asks the window manager to add or remove the full-screen state (EWMH _NET_WM_STATE).
void x11_send_fullscreen(long action) {
    DisplayState& ds = display_state;
    Display* display = ds.x_display;
    Atom state = XInternAtom(display, "_NET_WM_STATE", False);
    Atom fullscreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.type = ClientMessage;
    event.xclient.window = ds.x_window;
    event.xclient.message_type = state;
    event.xclient.format = 32;
    event.xclient.data.l[0] = action;
    event.xclient.data.l[1] = static_cast<long>(fullscreen);
    XMapWindow(display, ds.x_window);
    XSendEvent(display, RootWindow(display, ds.screen_number), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

}  // namespace

bool x11_window_geometry(XWindowId window, int* width, int* height, bool* gone) {
    if (gone != nullptr) *gone = false;
    Display* fresh = XOpenDisplay(nullptr);
    if (fresh == nullptr) return false;
    Window root;
    int x, y;
    unsigned w = 0, h = 0, border, depth;
    Status ok = XGetGeometry(fresh, window, &root, &x, &y, &w, &h, &border, &depth);
    XCloseDisplay(fresh);
    // The server answered, so a failed query means no such window (a broken connection never returns).
    if (!ok && gone != nullptr) *gone = true;
    if (!ok) return false;
    // X sizes are 16-bit, so they always fit an int.
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

void window_open(int width, int height, int depth, int frame_width, int frame_height) {
    (void)depth;  // the window takes the screen's depth
    DisplayState& ds = display_state;
    present_join();
    ds.window_width = width;
    ds.window_height = height;
    ds.present_width = frame_width;
    ds.present_height = frame_height;
    ds.window_closed = 0;
    cpu_count();  // cached here, before any present thread can read it

    if (ds.input_display == nullptr) ds.input_display = XOpenDisplay(nullptr);
    if (ds.x_display == nullptr) ds.x_display = XOpenDisplay(nullptr);
    if (ds.input_display == nullptr || ds.x_display == nullptr) {
        // Should even this fail there is nowhere left to report to; the program goes on without a window.
        log_message(LogStream::err, X11_FAILURE_MESSAGE);
        return;
    }
    // Made here, on the main thread before any present thread, so no thread can meet the handler first.
    x11_make_lost_report_token();
    XSetErrorHandler(x11_ignore_error);
    XSetIOErrorHandler(x11_connection_lost);

    Display* display = ds.x_display;
    int screen_width, screen_height;
    screen_size(display, &screen_width, &screen_height);
    ds.screen_number = DefaultScreen(display);

    if (ds.x_window != 0) {
        XResizeWindow(display, ds.x_window, static_cast<unsigned>(ds.window_width),
                      static_cast<unsigned>(ds.window_height));
        XFlush(display);
        return;
    }

    Window root = RootWindow(display, ds.screen_number);
    ds.x_window =
        XCreateSimpleWindow(display, root, screen_width / 2 - width / 2, screen_height / 2 - height / 2,
                            static_cast<unsigned>(width), static_cast<unsigned>(height), 1,
                            WhitePixel(display, ds.screen_number), BlackPixel(display, ds.screen_number));
    XMapWindow(display, ds.x_window);
    XFlush(display);
    // Interned even when no other client has named it yet: registering None would leave the close
    // button to a forced kill instead of a clean exit.
    Atom wm_delete = XInternAtom(display, "WM_DELETE_WINDOW", False);
    ds.wm_delete_atom = wm_delete;
    XSetWMProtocols(display, ds.x_window, &wm_delete, 1);
    XFlush(display);
}

void window_open_fb(int width, int height) {
    window_open(width, height, 24, frame_buffer.fb_width, frame_buffer.fb_height);
}

void window_reopen() {
    DisplayState& ds = display_state;
    window_open(ds.window_width, ds.window_height, 24, ds.present_width, ds.present_height);
}

void window_set_title(const char* text) {
    DisplayState& ds = display_state;
    if (ds.x_display == nullptr || ds.x_window == 0 || text == nullptr) return;
    present_join();
    // Window names are short; a longer text is cut, never overflowing the property buffer.
    char name[255];
    std::snprintf(name, sizeof name, "%s", text);
    XTextProperty property;
    property.value = reinterpret_cast<unsigned char*>(name);
    property.encoding = XA_STRING;
    property.format = 8;
    property.nitems = std::strlen(name);
    XSetWMName(ds.x_display, ds.x_window, &property);
    XFlush(ds.x_display);
}

void fullscreen_toggle() {
    DisplayState& ds = display_state;
    if (ds.x_display == nullptr) {
        // No server so far: the key is a chance to try again at a larger size.
        present_join();
        ds.window_width = REOPEN_WIDTH;
        ds.window_height = REOPEN_HEIGHT;
        ds.present_width = REOPEN_WIDTH;
        ds.present_height = REOPEN_HEIGHT;
        ds.window_closed = 0;
        window_reopen();
        present_join();
        if (ds.x_display == nullptr) return;
    } else {
        present_join();
    }
    if (ds.x_window == 0) return;

    Display* display = ds.x_display;
    int screen_width, screen_height;
    screen_size(display, &screen_width, &screen_height);
    ds.fullscreen_on = 1 - ds.fullscreen_on;
    if (ds.fullscreen_on) {
        ds.saved_width = ds.window_width;
        ds.saved_height = ds.window_height;
        x11_send_fullscreen(NET_WM_STATE_ADD);
        // The window manager decides; display_sync adopts whatever size the window really gets.
        ds.window_width = screen_width;
        ds.window_height = screen_height;
    } else {
        ds.window_width = ds.saved_width;
        ds.window_height = ds.saved_height;
        x11_send_fullscreen(NET_WM_STATE_REMOVE);
    }
    XFlush(display);
}

void display_sync() {
    DisplayState& ds = display_state;
    if (ds.x_display == nullptr || ds.x_window == 0) return;
    int width, height;
    if (!x11_window_geometry(ds.x_window, &width, &height)) return;
    if (width < SYNC_MIN_WIDTH || height < SYNC_MIN_HEIGHT) return;
    set_resolution(width, height);
}

void window_size_query(int* width, int* height) {
    DisplayState& ds = display_state;
    *width = 0;
    *height = 0;
    if (ds.x_display == nullptr || ds.x_window == 0) return;
    int w, h;
    if (!x11_window_geometry(ds.x_window, &w, &h)) return;
    *width = w;
    *height = h;
}

void display_reset() {
    DisplayState& ds = display_state;
    present_join();
    if (ds.x_display != nullptr) XCloseDisplay(ds.x_display);
    if (ds.input_display != nullptr) XCloseDisplay(ds.input_display);
    ds.x_display = nullptr;
    ds.input_display = nullptr;
    ds.x_window = 0;
    ds.screen_number = 0;
    ds.window_width = 0;
    ds.window_height = 0;
    ds.window_closed = 0;
    ds.quit_requested = 0;
    ds.present_width = 0;
    ds.present_height = 0;
    ds.fullscreen_on = 0;
    ds.saved_width = 0;
    ds.saved_height = 0;
    ds.wm_delete_atom = 0;
    ds.rgb_swap = 1;
    ds.visual_checked = 0;
    std::free(ds.staging);
    ds.staging = nullptr;
    ds.staging_pixels = 0;
    std::free(ds.present_copy);
    ds.present_copy = nullptr;
    ds.present_copy_width = 0;
    ds.present_copy_height = 0;
    ds.present_copy_bytes = 0;
    std::free(ds.float_scratch);
    ds.float_scratch = nullptr;
    ds.float_scratch_bytes = 0;
    if (ds.lost_report_fd >= 0) close(ds.lost_report_fd);
    ds.lost_report_fd = -1;
}
