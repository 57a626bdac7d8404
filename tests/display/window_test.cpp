// The window and the synchronous present path against a private X server, checked through a second
// connection of the test's own; and the program's behaviour without any X server.
#include "core/cpu.h"
#include "display_test_util.h"

#include <X11/Xatom.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "display/convert.h"
#include "support/child_process.h"

namespace {

using disptest::pattern;
using disptest::read_window;
using disptest::rgb_at;
using disptest::settle;
using disptest::wrong_pixels;

// One processor: every present here stays on the calling thread.
class WindowTest : public disptest::XServerTest {
  protected:
    void SetUp() override {
        XServerTest::SetUp();
        cpu_count_set(1);
    }
};

TEST_F(WindowTest, OpensCentredNamedAndAcceptsTheCloseProtocol) {
    open_startup_window();
    const Window window = display_state.x_window;
    Window root;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    ASSERT_TRUE(XGetGeometry(probe_, window, &root, &x, &y, &width, &height, &border, &depth));
    EXPECT_EQ(width, 512u);
    EXPECT_EQ(height, 256u);
    EXPECT_EQ(border, 1u);
    // Outer corner at 1920 / 2 - 512 / 2, 1080 / 2 - 256 / 2.
    int root_x = 0, root_y = 0;
    Window child;
    ASSERT_TRUE(XTranslateCoordinates(probe_, window, root, -1, -1, &root_x, &root_y, &child));
    EXPECT_EQ(root_x, 704);
    EXPECT_EQ(root_y, 412);
    EXPECT_EQ(x, 704);
    EXPECT_EQ(y, 412);

    char* name = nullptr;
    ASSERT_TRUE(XFetchName(probe_, window, &name));
    EXPECT_STREQ(name, "Velmorine!");
    XFree(name);

    Atom* protocols = nullptr;
    int count = 0;
    ASSERT_TRUE(XGetWMProtocols(probe_, window, &protocols, &count));
    ASSERT_EQ(count, 1);
    EXPECT_NE(protocols[0], 0u);
    EXPECT_EQ(protocols[0], XInternAtom(probe_, "WM_DELETE_WINDOW", False));
    XFree(protocols);

    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(probe_, window, &attributes));
    EXPECT_EQ(attributes.map_state, IsViewable);
}

TEST_F(WindowTest, LongTitleIsCutNotOverrun) {
    open_startup_window();
    const std::string long_title(400, 'v');
    window_set_title(long_title.c_str());
    XSync(display_state.x_display, False);
    char* name = nullptr;
    ASSERT_TRUE(XFetchName(probe_, display_state.x_window, &name));
    EXPECT_EQ(std::string(name), long_title.substr(0, 254));
    XFree(name);
}

TEST_F(WindowTest, PresentedFrameReadsBackWithRedAndBlueInPlace) {
    open_startup_window();
    std::vector<uint8_t> frame = pattern(512, 256);
    const uint8_t pure[3][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    for (int i = 0; i < 3; ++i) std::memcpy(&frame[static_cast<size_t>(i) * 3], pure[i], 3);
    present(frame.data());
    settle();
    EXPECT_EQ(display_state.rgb_swap, 1);  // Xvfb's visual has red in the high bits
    const std::vector<uint32_t> shown = read_window(probe_, display_state.x_window, 512, 256);
    ASSERT_EQ(shown.size(), 512u * 256);
    EXPECT_EQ(shown[0], 0xFF0000u);
    EXPECT_EQ(shown[1], 0x00FF00u);
    EXPECT_EQ(shown[2], 0x0000FFu);
    EXPECT_EQ(wrong_pixels(shown, frame, 512, 256), 0);
}

TEST_F(WindowTest, FrameBufferFollowsTheWindowDownToItsMinimum) {
    open_startup_window();
    const Window window = display_state.x_window;
    XResizeWindow(probe_, window, 800, 600);
    XSync(probe_, False);
    display_sync();
    EXPECT_EQ(frame_buffer.fb_width, 800);
    EXPECT_EQ(frame_buffer.fb_height, 600);

    // The next frame renders at 800 x 600 and goes up unscaled.
    const std::vector<uint8_t> frame = pattern(800, 600, 3);
    present_sized(frame.data(), 800, 600);
    settle();
    EXPECT_EQ(display_state.present_width, 512);  // the temporary size is given back
    std::vector<uint32_t> shown = read_window(probe_, window, 800, 600);
    ASSERT_EQ(shown.size(), 800u * 600);
    EXPECT_EQ(shown[0], rgb_at(frame, 800, 0, 0));
    EXPECT_EQ(shown[599 * 800 + 799], rgb_at(frame, 800, 799, 599));
    EXPECT_EQ(shown[300 * 800 + 421], rgb_at(frame, 800, 421, 300));

    // Below 128 x 64 the frame keeps its size and is scaled down to the window.
    XResizeWindow(probe_, window, 100, 50);
    XSync(probe_, False);
    display_sync();
    EXPECT_EQ(frame_buffer.fb_width, 800);
    EXPECT_EQ(frame_buffer.fb_height, 600);
    int width = 0, height = 0;
    window_size_query(&width, &height);
    EXPECT_EQ(width, 100);
    EXPECT_EQ(height, 50);
    present_sized(frame.data(), 800, 600);
    settle();
    EXPECT_EQ(display_state.window_width.load(), 100);
    shown = read_window(probe_, window, 100, 50);
    std::vector<uint8_t> expected(100 * 50 * 4);
    convert_scaled_rows_reference(frame.data(), 800, 600, expected.data(), 100, 50, 4, 1, 0, 1);
    ASSERT_EQ(shown.size(), 100u * 50);
    for (size_t i = 0; i < shown.size(); ++i) {
        uint32_t want;
        std::memcpy(&want, &expected[i * 4], 4);
        ASSERT_EQ(shown[i], want) << "pixel " << i;
    }
}

TEST_F(WindowTest, CloseRequestIsTakenByTheNextPresent) {
    open_startup_window();
    const std::vector<uint8_t> frame = pattern(512, 256);
    present(frame.data());
    EXPECT_EQ(display_state.window_closed.load(), 0);
    disptest::send_close_request(probe_, display_state.x_window);
    present(frame.data());
    EXPECT_EQ(display_state.window_closed.load(), 1);
    EXPECT_EQ(display_state.quit_requested.load(), 1);
}

TEST_F(WindowTest, OpeningAgainResizesTheSameWindow) {
    open_startup_window();
    const Window window = display_state.x_window;
    window_open(300, 200, 24, 300, 200);
    XSync(display_state.x_display, False);
    EXPECT_EQ(display_state.x_window, window);
    Window root;
    int x, y;
    unsigned width = 0, height = 0, border, depth;
    ASSERT_TRUE(XGetGeometry(probe_, window, &root, &x, &y, &width, &height, &border, &depth));
    EXPECT_EQ(width, 300u);
    EXPECT_EQ(height, 200u);
    EXPECT_EQ(display_state.present_width, 300);
}

// Waits (boundedly) for the next event on a connection.
bool next_event(Display* display, XEvent* event) {
    for (int i = 0; i < 200; ++i) {
        XSync(display, False);
        if (XPending(display) > 0) {
            XNextEvent(display, event);
            return true;
        }
        usleep(5000);
    }
    return false;
}

TEST_F(WindowTest, FullScreenIsAskedOfTheWindowManagerAndUndone) {
    open_startup_window();
    // The probe plays the window manager: it gets the root's redirected client messages.
    XSelectInput(probe_, DefaultRootWindow(probe_), SubstructureRedirectMask | SubstructureNotifyMask);
    XSync(probe_, False);
    const Atom state = XInternAtom(probe_, "_NET_WM_STATE", False);
    const Atom fullscreen = XInternAtom(probe_, "_NET_WM_STATE_FULLSCREEN", False);
    for (long action : {1L, 0L}) {
        fullscreen_toggle();
        XEvent event;
        ASSERT_TRUE(next_event(probe_, &event)) << "no request for action " << action;
        ASSERT_EQ(event.type, ClientMessage);
        EXPECT_EQ(event.xclient.window, display_state.x_window);
        EXPECT_EQ(event.xclient.message_type, state);
        EXPECT_EQ(event.xclient.format, 32);
        EXPECT_EQ(event.xclient.data.l[0], action);
        EXPECT_EQ(static_cast<Atom>(event.xclient.data.l[1]), fullscreen);
        EXPECT_EQ(display_state.fullscreen_on, static_cast<int>(action));
        EXPECT_EQ(display_state.window_width.load(), action ? 1920 : 512);
        EXPECT_EQ(display_state.window_height.load(), action ? 1080 : 256);
    }
}

TEST_F(WindowTest, FloatFramesAreClampedToBytes) {
    open_startup_window();
    std::vector<float> frame(512 * 256 * 3, 0.5f);
    const float firsts[] = {-1.0f, 2.0f, std::numeric_limits<float>::quiet_NaN(), 1.0f, 0.0f, 0.999f};
    std::memcpy(frame.data(), firsts, sizeof firsts);
    present_float(frame.data());
    settle();
    const std::vector<uint32_t> shown = read_window(probe_, display_state.x_window, 2, 1);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], 0x00FF00u);  // below 0 gives 0, above 1 gives 255, NaN gives 0
    EXPECT_EQ(shown[1], 0xFF00FEu);  // 0.999 x 255 = 254.7 truncates to 254
}

constexpr int NATIVE_ORDER = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst;
constexpr int FOREIGN_ORDER = NATIVE_ORDER == LSBFirst ? MSBFirst : LSBFirst;

// A connection of the test's own that says the server wants another byte order or pixel size; Xlib
// takes both from this record. It stands in for the big-endian and 24-bit-packed servers that
// Xvfb cannot be; nothing is drawn through it.
Display* open_pretend_server(const std::string& name, int byte_order, int depth, int bits_per_pixel) {
    Display* display = XOpenDisplay(name.c_str());
    if (display == nullptr) return nullptr;
    auto* record = reinterpret_cast<_XPrivDisplay>(display);
    record->byte_order = byte_order;
    record->bitmap_bit_order = byte_order;
    for (int i = 0; i < record->nformats; ++i)
        if (record->pixmap_format[i].depth == depth) record->pixmap_format[i].bits_per_pixel = bits_per_pixel;
    return display;
}

// The uploaded image must describe the staging buffer as the converter wrote it (this machine's word
// order, packed words of 4 or 2 bytes) whatever the server wants, so that Xlib's own conversion reads
// the right colours: here, Xlib reading every pixel back from the image.
TEST_F(WindowTest, StagingImageDescribesTheBufferWhateverTheServerWants) {
    const int width = 61, height = 7;  // an odd width: a stride for 3-byte pixels or padded rows would differ
    const std::vector<uint8_t> frame = pattern(width, height, 9);
    const struct {
        const char* server;
        int byte_order, depth, server_bits_per_pixel, bytes_per_pixel;
    } servers[] = {{"this machine's", NATIVE_ORDER, 24, 32, 4},
                   {"other byte order", FOREIGN_ORDER, 24, 32, 4},
                   {"24-bit packed", NATIVE_ORDER, 24, 24, 4},
                   {"other byte order, 24-bit packed", FOREIGN_ORDER, 24, 24, 4},
                   {"16-bit, other byte order", FOREIGN_ORDER, 16, 16, 2}};
    for (const auto& s : servers) {
        SCOPED_TRACE(s.server);
        std::vector<uint8_t> staging(static_cast<size_t>(width) * height * s.bytes_per_pixel);
        convert_rows(frame.data(), width, height, staging.data(), s.bytes_per_pixel, 1, 0, height);
        Display* server = open_pretend_server(xvfb_.name(), s.byte_order, s.depth, s.server_bits_per_pixel);
        ASSERT_NE(server, nullptr);
        XImage* image = x11_staging_image(server, DefaultVisual(server, DefaultScreen(server)), s.depth,
                                          s.bytes_per_pixel, staging.data(), width, height);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->byte_order, NATIVE_ORDER);
        EXPECT_EQ(image->bitmap_bit_order, NATIVE_ORDER);
        EXPECT_EQ(image->bits_per_pixel, s.bytes_per_pixel * 8);
        EXPECT_EQ(image->bytes_per_line, width * s.bytes_per_pixel);
        int wrong = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = &frame[(static_cast<size_t>(y) * width + x) * 3];
                const unsigned long want = s.bytes_per_pixel == 4
                                               ? rgb_at(frame, width, x, y)
                                               : (p[0] >> 3) << 11 | (p[1] >> 2) << 5 | p[2] >> 3;
                if (XGetPixel(image, x, y) != want) ++wrong;
            }
        EXPECT_EQ(wrong, 0);
        image->data = nullptr;
        XDestroyImage(image);
        XCloseDisplay(server);
    }
}

// Without any X server: one message per attempt, and everything after it carries on quietly.
TEST(NoDisplay, ReportsOnceAndCarriesOn) {
    vmtest::ScopedEnv no_display("DISPLAY", nullptr);
    display_reset();
    fb_reset();
    set_resolution(512, 256);
    const std::string said = disptest::capture_stderr([] { window_open(512, 256, 24, 512, 256); });
    EXPECT_EQ(said, "X11 kapcsolathiba.\n");
    EXPECT_EQ(display_state.x_display, nullptr);
    const std::string later = disptest::capture_stderr([] {
        window_set_title("Velmorine!");
        const std::vector<uint8_t> frame = pattern(512, 256);
        present(frame.data());
        present_sized(frame.data(), 512, 256);
        std::vector<float> floats(512 * 256 * 3, 0.25f);
        present_float(floats.data());
        display_sync();
    });
    EXPECT_EQ(later, "");
    int width = -1, height = -1;
    window_size_query(&width, &height);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
    // The full-screen key tries the server again, at the larger size.
    EXPECT_EQ(disptest::capture_stderr([] { fullscreen_toggle(); }), "X11 kapcsolathiba.\n");
    EXPECT_EQ(display_state.window_width.load(), 1024);
    EXPECT_EQ(display_state.present_height, 512);
    EXPECT_EQ(display_state.fullscreen_on, 0);
    EXPECT_EQ(frame_buffer.fb_width, 512);
    display_reset();
    fb_reset();
}

// Started on the second of two screens (DISPLAY=:N.1): the window, its visual and its graphics context
// must all belong to that screen, or the upload fails and the window stays black.
class SecondScreenTest : public disptest::XServerTest {
  protected:
    SecondScreenTest() : XServerTest(24, 2) {}
    void SetUp() override {
        XServerTest::SetUp();
        cpu_count_set(1);
    }
};

TEST_F(SecondScreenTest, WindowOpensThereAndFramesShow) {
    open_startup_window();
    EXPECT_EQ(display_state.screen_number, 1);
    Window root;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    ASSERT_TRUE(
        XGetGeometry(probe_, display_state.x_window, &root, &x, &y, &width, &height, &border, &depth));
    EXPECT_EQ(root, RootWindow(probe_, 1));
    const std::vector<uint8_t> frame = pattern(512, 256, 21);
    present(frame.data());
    settle();
    const std::vector<uint32_t> shown = read_window(probe_, display_state.x_window, 512, 256);
    ASSERT_EQ(shown.size(), 512u * 256);
    EXPECT_EQ(wrong_pixels(shown, frame, 512, 256), 0);
}

// The child half of LostServer: opens the window and presents (synchronously, or on the present thread
// when asked) until the server vanishes under it. It must never get past the loop.
TEST(LostServerChild, PresentsUntilTheServerIsGone) {
    const char* mode = std::getenv("VM_LOST_SERVER_MODE");
    if (mode == nullptr) GTEST_SKIP() << "runs only as the child process of LostServer";
    const bool threaded = std::strcmp(mode, "threaded") == 0;
    set_resolution(512, 256);
    window_open(512, 256, 24, 512, 256);
    window_set_title("lost-server");
    cpu_count_set(threaded ? 2 : 1);
    const std::vector<uint8_t> frame = pattern(512, 256);
    for (int i = 0; i < 2000; ++i) {
        display_sync();
        if (threaded)
            present_async(frame.data(), 512, 256);
        else
            present(frame.data());
        usleep(5000);
    }
    ADD_FAILURE() << "still presenting after the server went away";
}

// The server dies while the program runs: it ends at once, with one line and a failure status, from
// whichever thread met the broken connection.
TEST(LostServer, EndsTheProgramWithOneLine) {
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(length, 0);
    self[length] = '\0';
    for (const char* mode : {"sync", "threaded"}) {
        SCOPED_TRACE(mode);
        vmtest::Xvfb xvfb;
        ASSERT_TRUE(xvfb.ok());
        vmtest::ChildProcess child({self, "--gtest_filter=LostServerChild.*"},
                                   {{"DISPLAY", xvfb.name()}, {"VM_LOST_SERVER_MODE", mode}}, "");
        ASSERT_TRUE(child.started());
        Display* probe = XOpenDisplay(xvfb.name().c_str());
        ASSERT_NE(probe, nullptr);
        const Window window = vmtest::wait_for_window(probe, "lost-server", 20);
        XCloseDisplay(probe);
        ASSERT_NE(window, 0u) << child.err();
        xvfb.stop();
        const int status = child.wait(20);
        EXPECT_GT(status, 0);
        EXPECT_LT(status, 128) << "ended by a signal or timed out";
        EXPECT_EQ(child.err(), "X11 kapcsolathiba.\n");
    }
}

// A 16-bit screen: 5-6-5 pixels, red in the high bits as the visual says.
class Depth16Test : public disptest::XServerTest {
  protected:
    Depth16Test() : XServerTest(16) {}
    void SetUp() override {
        XServerTest::SetUp();
        cpu_count_set(1);
    }
};

TEST_F(Depth16Test, PixelsArePacked565) {
    open_startup_window();
    const std::vector<uint8_t> frame = pattern(512, 256, 11);
    present(frame.data());
    settle();
    EXPECT_EQ(display_state.rgb_swap, 1);
    const std::vector<uint32_t> shown = read_window(probe_, display_state.x_window, 512, 256);
    ASSERT_EQ(shown.size(), 512u * 256);
    int wrong = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 512; ++x) {
            const uint8_t* p = &frame[(static_cast<size_t>(y) * 512 + x) * 3];
            const uint32_t want = (p[0] >> 3) << 11 | (p[1] >> 2) << 5 | p[2] >> 3;
            if (shown[static_cast<size_t>(y) * 512 + x] != want) ++wrong;
        }
    EXPECT_EQ(wrong, 0);
}

}  // namespace
