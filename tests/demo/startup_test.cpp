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

// An ALSA configuration whose default device writes the raw samples into `raw`: the demo's music
// really plays, and nothing reaches the machine's speakers.
std::string file_sink(const TempDir& dir, const std::string& raw) {
    return dir.write("asound.conf", "pcm.!default {\n type file\n slave.pcm { type null }\n file \"" + raw +
                                        "\"\n format \"raw\"\n}\n");
}

off_t file_size(const std::string& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? 0 : static_cast<off_t>(size);
}

TEST(Startup, OpensTheCentredWindowFromAnotherFolderAndQuitsOnClose) {
    Xvfb x;
    ASSERT_TRUE(x.ok());
    TempDir elsewhere;
    const std::string music = elsewhere / "music.raw";
    ChildProcess demo({program()}, {{"DISPLAY", x.name()}, {"ALSA_CONFIG_PATH", file_sink(elsewhere, music)}},
                      elsewhere.path());
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

    // Still running: it found its media although started elsewhere, and the music plays: the whole
    // theme, 16-bit stereo at 44100 Hz, reaches the device (the sink writes without pacing).
    constexpr off_t MUSIC_BYTES = off_t{220} * 44100 * 4;
    for (int i = 0; i < 300 && file_size(music) < MUSIC_BYTES; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_GE(file_size(music), MUSIC_BYTES);
    vmtest::send_close_request(dpy, w);
    EXPECT_EQ(demo.wait(20), 0) << demo.out() << demo.err();
    EXPECT_EQ(demo.out().find("media files missing"), std::string::npos);
    XCloseDisplay(dpy);
}

TEST(Startup, WithoutItsDuskSkySaysTheMediaAreMissingAndFailsBeforeTheMusic) {
    // The program and all its data but the one picture the media check looks for.
    TempDir copy;
    std::string exe = copy / "velmorine";
    fs::copy_file(program(), exe);
    fs::permissions(exe, fs::perms::owner_all);
    fs::copy(vmtest::build_dir() + "/data", copy / "data", fs::copy_options::recursive);
    ASSERT_TRUE(fs::remove(copy / "data/tex/egbolt3.jpg"));
    const std::string music = copy / "music.raw";
    ChildProcess demo({exe}, {{"DISPLAY", ""}, {"ALSA_CONFIG_PATH", file_sink(copy, music)}}, "/");
    int status = demo.wait(60);
    EXPECT_EQ(status, 1);
    EXPECT_NE(demo.out().find("media files missing\n"), std::string::npos);
    // Without an X display the window code says so and the start-up carries on to the media check.
    EXPECT_EQ(demo.err(), "X11 kapcsolathiba.\n");
    // No player was started: nothing reached the sound device.
    EXPECT_EQ(file_size(music), 0);
}

}  // namespace
