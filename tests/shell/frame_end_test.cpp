// The frame's end with real keys: the hot keys in this process against a private X server (full screen
// under a real window manager), and Escape in the built program, which must end it and its music.
#include "display/input_test_util.h"

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "core/frame_stats.h"
#include "overlay/elements.h"
#include "overlay/glyphs.h"
#include "render/render_config.h"
#include "shell/frame_end.h"
#include "shell/hud.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

using inputtest::send_keys;
using inputtest::wait_for_events;
using inputtest::xdotool;
using vmtest::ChildProcess;
using vmtest::TempDir;

class FrameEndTest : public disptest::XServerTest {
  protected:
    void SetUp() override {
        XServerTest::SetUp();
        reset();
    }
    void TearDown() override {
        reset();
        wm_.reset();
        XServerTest::TearDown();
    }
    static void reset() {
        glyph_cache_reset();
        overlay_table_reset();
        frame_statistics_reset();
        render_config = RenderConfig{};
        input_reset();
        // No joystick lookups on the test machine's devices.
        input_state.joy_fd = -2;
    }
    // Opens the window (after starting openbox, with a throw-away home, when asked) and runs one frame
    // end so that the input selection is in place before keys are sent.
    void open(bool window_manager) {
        if (window_manager) {
            wm_ = std::make_unique<ChildProcess>(std::vector<std::string>{"/usr/bin/openbox"},
                                                 std::vector<std::pair<std::string, std::string>>{
                                                     {"HOME", home_.path()}, {"DISPLAY", display_name_}},
                                                 home_.path());
            ASSERT_TRUE(wm_->started());
            bool ready = false;
            for (int i = 0; i < 200 && !ready; ++i) {
                ready = std::system("wmctrl -m >/dev/null 2>&1") == 0;
                if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            ASSERT_TRUE(ready) << "openbox did not come up";
            // openbox announces itself before it manages windows: a window mapped in between is lost.
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
        open_startup_window();
        ASSERT_TRUE(wait_until([&] { return map_state() == IsViewable; })) << map_state();
        frame_end();
        XSync(display_state.input_display, False);
    }
    int map_state() {
        XWindowAttributes a;
        return XGetWindowAttributes(probe_, display_state.x_window, &a) ? a.map_state : -1;
    }
    void size(int* w, int* h) {
        XWindowAttributes a{};
        XGetWindowAttributes(probe_, display_state.x_window, &a);
        *w = a.width;
        *h = a.height;
    }
    template <typename Fn>
    static bool wait_until(Fn done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (std::chrono::steady_clock::now() < deadline) {
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return done();
    }
    // Sends a key tap and runs the frame that sees it go down and the one that sees it go up.
    void tap(const std::string& keys, int events) {
        ASSERT_TRUE(send_keys(keys));
        ASSERT_TRUE(wait_for_events(events));
        frame_end();
        frame_end();
    }
    TempDir home_;
    std::unique_ptr<ChildProcess> wm_;
};

TEST_F(FrameEndTest, FTogglesFullScreenAndBack) {
    open(true);
    int w = 0, h = 0;
    size(&w, &h);
    ASSERT_EQ(w, 512);
    ASSERT_EQ(h, 256);
    tap("f", 2);
    EXPECT_TRUE(wait_until([&] {
        size(&w, &h);
        return w == 1920 && h == 1080;
    })) << w
        << " x " << h;
    tap("f", 2);
    EXPECT_TRUE(wait_until([&] {
        size(&w, &h);
        return w == 512 && h == 256;
    })) << w
        << " x " << h;
}

TEST_F(FrameEndTest, ShiftFDoesNothing) {
    open(true);
    ASSERT_TRUE(xdotool("windowfocus --sync " + std::to_string(display_state.x_window) +
                        " keydown shift keydown f keyup f keyup shift"));
    ASSERT_TRUE(wait_for_events(4));
    frame_end();
    EXPECT_EQ(input_state.key_pressed['F'], 1);
    frame_end();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    int w = 0, h = 0;
    size(&w, &h);
    EXPECT_EQ(w, 512);
    EXPECT_EQ(h, 256);
    EXPECT_EQ(display_state.fullscreen_on, 0);
}

TEST_F(FrameEndTest, HAndShiftHToggleHalfHeightOncePerPress) {
    open(false);
    const int before = render_config.half_height_mode;
    ASSERT_TRUE(send_keys("h"));
    ASSERT_TRUE(wait_for_events(2));
    frame_end();
    EXPECT_EQ(render_config.half_height_mode, 1 - before);
    frame_end();
    EXPECT_EQ(render_config.half_height_mode, 1 - before);
    tap("h", 2);
    EXPECT_EQ(render_config.half_height_mode, before);
    ASSERT_TRUE(xdotool("windowfocus --sync " + std::to_string(display_state.x_window) +
                        " keydown shift keydown h keyup h keyup shift"));
    ASSERT_TRUE(wait_for_events(4));
    frame_end();
    frame_end();
    EXPECT_EQ(render_config.half_height_mode, 1 - before);
}

TEST_F(FrameEndTest, IShowsTheFiveHudLinesAndHidesThemAgain) {
    open(false);
    overlay_ensure(7);
    overlay_set_visible(7, 1);
    overlay_set_visible(8, 1);
    tap("i", 2);
    EXPECT_EQ(input_state.hud_visible, 1);
    for (int slot = HUD_FIRST_SLOT; slot < HUD_FIRST_SLOT + 5; ++slot) {
        // The third line names the processor, which only the system probe (not run here) finds out.
        if (slot == HUD_FIRST_SLOT + 2) continue;
        EXPECT_TRUE(overlay_is_visible(slot)) << slot;
        EXPECT_FALSE(overlay_table.slots.text[static_cast<size_t>(slot)].empty()) << slot;
    }
    EXPECT_TRUE(overlay_is_visible(7));
    ASSERT_TRUE(send_keys("shift+i"));
    ASSERT_TRUE(wait_for_events(4));
    frame_end();
    EXPECT_EQ(input_state.hud_visible, 0);
    for (int slot = HUD_FIRST_SLOT; slot <= 7; ++slot) EXPECT_FALSE(overlay_is_visible(slot)) << slot;
    // Slot 8 is not the display's.
    EXPECT_TRUE(overlay_is_visible(8));
}

// The children of a process that are still running (not yet ended).
std::vector<pid_t> live_children(pid_t parent) {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream in(entry.path() / "stat");
        std::string line;
        std::getline(in, line);
        const size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent && state != 'Z' && state != 'X') found.push_back(std::stoi(name));
    }
    return found;
}

bool ended(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return true;
    const size_t close = line.rfind(')');
    return close == std::string::npos || line[close + 2] == 'Z' || line[close + 2] == 'X';
}

TEST(FrameEndProgram, EscapeEndsTheDemoWithStatusZeroAndStopsTheMusic) {
    vmtest::Xvfb x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    // A sink nobody reads: the music player fills the pipe and then waits in its write, so it is
    // still playing when Escape comes and only the stop can end it.
    const std::string conf = dir.write("asound.conf",
                                       "pcm.!default {\n type file\n slave.pcm { type null }\n"
                                       " file \"|sleep 20\"\n format \"raw\"\n}\n");
    ChildProcess demo({vmtest::build_dir() + "/velmorine"},
                      {{"DISPLAY", x.name()}, {"ALSA_CONFIG_PATH", conf}}, dir.path());
    ASSERT_TRUE(demo.started());
    Display* dpy = XOpenDisplay(x.name().c_str());
    ASSERT_NE(dpy, nullptr);
    const Window w = vmtest::wait_for_window(dpy, "Velmorine!", 20);
    ASSERT_NE(w, 0u);
    std::vector<pid_t> players;
    for (int i = 0; i < 500 && players.empty(); ++i) {
        players = live_children(demo.pid());
        if (players.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_FALSE(players.empty()) << "no music player";
    // The player stays blocked on the full pipe.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (pid_t p : players) EXPECT_FALSE(ended(p)) << p;

    const std::string keys =
        "DISPLAY=" + x.name() + " xdotool windowfocus --sync " + std::to_string(w) + " key Escape";
    ASSERT_EQ(std::system(keys.c_str()), 0);
    EXPECT_EQ(demo.wait(10), 0) << demo.err();
    for (pid_t p : players) {
        bool gone = false;
        for (int i = 0; i < 100 && !gone; ++i) {
            gone = ended(p);
            if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_TRUE(gone) << "player " << p << " still runs";
    }
    XCloseDisplay(dpy);
}

}  // namespace
