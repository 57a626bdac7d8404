// The program as a user runs it, for longer than a pass: under a private X server with its music going to
// files, it plays the whole pass and starts the next one with the theme from its beginning; then Escape
// ends it with status 0, and no player of its music is left behind. Takes as long as a pass.
// gtest before Xlib: Xlib's macros (None, Bool) break gtest's templates.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
// clang-format on
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/program_processes.h"
#include "support/temp_dir.h"
#include "support/x_client.h"
#include "support/xvfb.h"

namespace fs = std::filesystem;
using vmtest::ChildProcess;
using vmtest::TempDir;

namespace {

// The files the players wrote, oldest first: one per player, each opening its own (the shell's $$).
std::vector<fs::path> sound_files(const TempDir& dir) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        if (entry.path().filename().string().rfind("snd-", 0) == 0) files.push_back(entry.path());
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
        return fs::last_write_time(a) < fs::last_write_time(b);
    });
    return files;
}

TEST(Passes, AWholePassThenTheNextWithTheThemeAgainThenEscapeLeavesNothingBehind) {
    vmtest::Xvfb x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    const std::string conf =
        dir.write("asound.conf", "pcm.!default {\n type file\n slave.pcm { type null }\n file \"|cat > " +
                                     dir.path() + "/snd-$$.raw\"\n format \"raw\"\n}\n");
    const std::string program = fs::canonical(vmtest::build_dir() + "/velmorine");
    ChildProcess demo({program}, {{"DISPLAY", x.name()}, {"ALSA_CONFIG_PATH", conf}}, dir.path());
    ASSERT_TRUE(demo.started());
    Display* dpy = XOpenDisplay(x.name().c_str());
    ASSERT_NE(dpy, nullptr);
    const Window w = vmtest::wait_for_window(dpy, "Velmorine!", 30);
    ASSERT_NE(w, 0u) << demo.err();

    // The theme's first two seconds, 16-bit stereo at 44100 Hz, written twice: once for each pass.
    constexpr uintmax_t OPENING = 2 * 44100 * 4;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(218 + 60);
    std::vector<fs::path> files;
    for (;;) {
        files = sound_files(dir);
        std::error_code error;
        if (files.size() >= 2 && fs::file_size(files[1], error) >= OPENING) break;
        if (std::chrono::steady_clock::now() > deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    ASSERT_GE(files.size(), 2u) << "the second pass never started its music";
    const std::string first = vmtest::read_file(files[0]), second = vmtest::read_file(files[1]);
    ASSERT_GE(first.size(), OPENING);
    ASSERT_GE(second.size(), OPENING);
    EXPECT_TRUE(first.compare(0, OPENING, second, 0, OPENING) == 0)
        << "the second pass's music starts elsewhere";
    EXPECT_NE(first.find_first_not_of('\0', 0), std::string::npos);

    // Escape in the window, as a user presses it.
    ASSERT_EQ(std::system(("DISPLAY=" + x.name() + " xdotool windowfocus --sync " + std::to_string(w) +
                           " key Escape >/dev/null 2>&1")
                              .c_str()),
              0);
    EXPECT_EQ(demo.wait(30), 0) << demo.err();
    XCloseDisplay(dpy);
    // Its players die with their channel's stop, not later with the end of a theme.
    int left = vmtest::running_copies(program);
    for (int i = 0; i < 50 && left > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        left = vmtest::running_copies(program);
    }
    EXPECT_EQ(left, 0);
}

}  // namespace
