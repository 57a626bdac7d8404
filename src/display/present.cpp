// The present path: event poll, conversion and upload, synchronously or on the present thread.
// The present thread uses x_display and the staging buffer only while the main thread waits to join it.
#include "display/present.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>
#include <cstring>

#include "core/cpu.h"
#include "display/convert.h"
#include "display/framebuffer.h"
#include "display/terminal.h"
#include "display/x11.h"

namespace {

// Bytes for count elements of elem_bytes, or 0 when that does not fit in size_t.
size_t checked_bytes(uint64_t count, size_t elem_bytes) {
    if (count == 0 || count > SIZE_MAX / elem_bytes) return 0;
    return static_cast<size_t>(count) * elem_bytes;
}

// Takes at most one event from the main connection. Nothing selects input there, so what arrives is
// the window manager's traffic; its close request is the only message that matters.
void poll_close_message(Display* display) {
    if (XPending(display) <= 0) return;
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == ClientMessage) {
        display_state.window_closed = 1;
        display_state.quit_requested = 1;
    }
}

PresentTap present_tap = nullptr;

// One frame of the given size to the window, or to the terminal without a connection. The size is
// passed rather than taken from present_width, so the present thread never writes shared state for it.
void present_frame(const uint8_t* pixels, int width, int height) {
    DisplayState& ds = display_state;
    if (ds.x_display == nullptr) {
        terminal_present(pixels, width, height);
    } else {
        poll_close_message(ds.x_display);
        present_image(width, height, pixels, ds.x_display, DefaultVisual(ds.x_display, ds.screen_number),
                      ds.x_window, 0, 0);
    }
    if (present_tap != nullptr) present_tap(pixels, width, height);
}

void present_thread_main(void*) {
    DisplayState& ds = display_state;
    present_frame(ds.present_copy, ds.present_copy_width, ds.present_copy_height);
}

// Replaces the staging buffer when the output pixel count changed; false when there is none.
bool ensure_staging(int width, int height) {
    DisplayState& ds = display_state;
    int64_t pixels = static_cast<int64_t>(width) * height;
    if (ds.staging != nullptr && pixels == ds.staging_pixels) return true;
    std::free(ds.staging);
    ds.staging = nullptr;
    ds.staging_pixels = 0;
    // Two rows and columns of slack, as the frame buffer has.
    size_t bytes = checked_bytes(static_cast<uint64_t>(width + 2) * static_cast<uint64_t>(height + 2), 4);
    if (bytes == 0) return false;
    ds.staging = static_cast<uint8_t*>(std::malloc(bytes));
    if (ds.staging == nullptr) return false;
    ds.staging_pixels = pixels;
    return true;
}

// Once per process: a visual that keeps red below green wants R, G, B byte order.
void check_visual(Display* display, int screen) {
    DisplayState& ds = display_state;
    if (ds.visual_checked) return;
    ds.visual_checked = 1;
    XVisualInfo wanted;
    std::memset(&wanted, 0, sizeof wanted);
    wanted.screen = screen;
    int count = 0;
    XVisualInfo* info = XGetVisualInfo(display, VisualScreenMask, &wanted, &count);
    if (info == nullptr) return;
    if (count > 0 && info[0].red_mask < info[0].green_mask) ds.rgb_swap = 0;
    XFree(info);
}

}  // namespace

XImage* x11_staging_image(Display* display, Visual* visual, int depth, int bytes_per_pixel, uint8_t* data,
                          int width, int height) {
    const int bits_per_pixel = bytes_per_pixel * 8;
    // A scanline pad of one pixel: the converters write rows without padding.
    XImage* image =
        XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, reinterpret_cast<char*>(data),
                     static_cast<unsigned>(width), static_cast<unsigned>(height), bits_per_pixel, 0);
    if (image == nullptr) return nullptr;
    // XCreateImage describes the layout the server prefers, but the converters wrote whole words in
    // this machine's byte order. Described as written, the image is converted by XPutImage for a server
    // of the other byte order or one that keeps depth 24 in 3 bytes.
    const int native_order = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst;
    image->byte_order = native_order;
    image->bitmap_bit_order = native_order;
    image->bits_per_pixel = bits_per_pixel;
    image->bytes_per_line = width * bytes_per_pixel;
    // The pixel access functions were chosen for the old layout.
    if (!XInitImage(image)) {
        image->data = nullptr;
        XDestroyImage(image);
        return nullptr;
    }
    return image;
}

void present_image(int width, int height, const uint8_t* pixels, Display* display, Visual* visual,
                   Window window, int x, int y) {
    DisplayState& ds = display_state;
    if (display == nullptr || pixels == nullptr || width <= 0 || height <= 0) return;
    if (ds.x_display == nullptr || ds.x_window == 0) return;

    int out_width, out_height;
    bool gone = false;
    if (!x11_window_geometry(window, &out_width, &out_height, &gone)) {
        // Destroyed by another client: nothing is left to draw into or to close, so the program ends as
        // on the close button instead of drawing on unseen for ever.
        if (gone && window == ds.x_window) {
            // The server also destroys the window when another client cuts our connection: that is the
            // lost connection's ending, not a close. A round trip tells them apart; on a dead
            // connection it ends the program in the lost-connection handler, with its one line.
            XSync(display, False);
            ds.window_closed = 1;
            ds.quit_requested = 1;
        }
        return;
    }
    if (out_width <= 0 || out_height <= 0) return;
    ds.window_width = out_width;
    ds.window_height = out_height;

    // The window's own screen: with DISPLAY=:N.1 a graphics context of screen 0 cannot draw into it.
    const int screen = ds.screen_number;
    const int depth = XDefaultDepth(display, screen);
    const int bytes_per_pixel = depth >= 24 ? 4 : 2;
    check_visual(display, screen);

    if (!ensure_staging(out_width, out_height)) return;
    const int cpus = cpu_count();
    if (out_width == width && out_height == height)
        convert_image(pixels, width, height, ds.staging, bytes_per_pixel, ds.rgb_swap, cpus);
    else
        convert_image_scaled(pixels, width, height, ds.staging, out_width, out_height, bytes_per_pixel,
                             ds.rgb_swap, cpus);

    XImage* image =
        x11_staging_image(display, visual, depth, bytes_per_pixel, ds.staging, out_width, out_height);
    if (image == nullptr) return;
    XPutImage(display, window, DefaultGC(display, screen), image, 0, 0, x, y,
              static_cast<unsigned>(out_width), static_cast<unsigned>(out_height));
    // The staging buffer outlives the image: it is reused by the next present of the same size.
    image->data = nullptr;
    XDestroyImage(image);
    // Sent now, not when the next frame's poll happens to flush it: the last frame must show too.
    XFlush(display);
}

void present(const uint8_t* pixels) {
    // Two threads must never share x_display: a synchronous present waits for a threaded one.
    present_join();
    cpu_count();
    DisplayState& ds = display_state;
    present_frame(pixels, ds.present_width, ds.present_height);
}

void present_sized(const uint8_t* pixels, int width, int height) {
    DisplayState& ds = display_state;
    const int old_width = ds.present_width;
    const int old_height = ds.present_height;
    ds.present_width = width;
    ds.present_height = height;
    present(pixels);
    ds.present_width = old_width;
    ds.present_height = old_height;
}

void present_float(const float* rgb) {
    DisplayState& ds = display_state;
    const int width = frame_buffer.fb_width;
    const int height = frame_buffer.fb_height;
    if (rgb == nullptr || width <= 0 || height <= 0) return;
    present_join();  // the scratch array may be what the present thread still reads
    const size_t bytes = checked_bytes(static_cast<uint64_t>(width) * static_cast<uint64_t>(height), 3);
    if (bytes == 0) return;
    if (ds.float_scratch == nullptr || ds.float_scratch_bytes < bytes) {
        auto* grown = static_cast<uint8_t*>(std::realloc(ds.float_scratch, bytes));
        if (grown == nullptr) return;
        ds.float_scratch = grown;
        ds.float_scratch_bytes = bytes;
    }
    for (size_t i = 0; i < bytes; ++i) {
        const float v = rgb[i] * 255.0f;
        // NaN fails both comparisons, so it must not reach the truncating cast.
        ds.float_scratch[i] = v > 255.0f ? 255 : (v >= 0.0f ? static_cast<uint8_t>(v) : 0);
    }
    // Shown at the size the scratch was filled for, whatever the present size says.
    present_sized(ds.float_scratch, width, height);
}

void present_async(const uint8_t* pixels, int width, int height) {
    DisplayState& ds = display_state;
    present_join();
    if (pixels == nullptr || width <= 0 || height <= 0) return;
    cpu_count();
    const int64_t bytes = static_cast<int64_t>(width) * height * 3;
    if (ds.present_copy == nullptr || bytes != ds.present_copy_bytes) {
        std::free(ds.present_copy);
        ds.present_copy = nullptr;
        ds.present_copy_bytes = 0;
        // A pixel row and column of slack, as the frame buffer has.
        const size_t capacity =
            checked_bytes(static_cast<uint64_t>(width + 1) * static_cast<uint64_t>(height + 1), 3);
        if (capacity == 0) return;
        ds.present_copy = static_cast<uint8_t*>(std::malloc(capacity));
        if (ds.present_copy == nullptr) return;
        ds.present_copy_bytes = bytes;
    }
    ds.present_copy_width = width;
    ds.present_copy_height = height;
    std::memcpy(ds.present_copy, pixels, static_cast<size_t>(bytes));
    // In synchronous mode, or with no thread to be had, the frame is shown now: just not overlapped
    // with the next one.
    thread_start(ds.present_thread, present_thread_main, nullptr, SHORT_STACK_BYTES);
}

void present_join() {
    DisplayState& ds = display_state;
    thread_join(ds.present_thread);
}

void present_set_tap(PresentTap tap) {
    present_tap = tap;
}
