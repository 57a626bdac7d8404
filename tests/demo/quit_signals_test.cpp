// The program's end by signal, under a private X server, with its music player kept alive by a sink
// nobody reads (a FIFO never opened: the player waits in the device's open). SIGTERM and SIGINT quit as
// Escape does; SIGKILL leaves no player behind, nor the window that an inherited connection would keep.
// gtest before Xlib: Xlib's macros (None, Bool) break gtest's templates.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
// clang-format on
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
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
using vmtest::players_of;
using vmtest::poll_until;
using vmtest::TempDir;

namespace {

bool window_listed(Display* dpy, Window w) {
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    bool found = false;
    if (XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) found = found || children[i] == w;
        if (children != nullptr) XFree(children);
    }
    return found;
}

// The demo under its own X server, its music going to a FIFO that nobody opens.
class QuitSignals : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(x.ok());
        const std::string fifo = dir / "music.fifo";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        const std::string conf =
            dir.write("asound.conf", "pcm.!default {\n type file\n slave.pcm { type null }\n file \"" + fifo +
                                         "\"\n format \"raw\"\n}\n");
        demo = std::make_unique<ChildProcess>(std::vector<std::string>{program},
                                              std::vector<std::pair<std::string, std::string>>{
                                                  {"DISPLAY", x.name()}, {"ALSA_CONFIG_PATH", conf}},
                                              dir.path());
        ASSERT_TRUE(demo->started());
        dpy = XOpenDisplay(x.name().c_str());
        ASSERT_NE(dpy, nullptr);
        window = vmtest::wait_for_window(dpy, "Velmorine!", 30);
        ASSERT_NE(window, 0u) << demo->err();
        ASSERT_TRUE(poll_until(1500, [&] { return !(players = players_of(demo->pid(), program)).empty(); }))
            << "no music player";
    }
    void TearDown() override {
        if (dpy != nullptr) XCloseDisplay(dpy);
        // A player that a failed case left running goes now, by its id.
        for (pid_t pid : players)
            if (vmtest::process_runs(pid, program)) kill(pid, SIGKILL);
    }
    bool players_gone() {
        for (pid_t pid : players)
            if (vmtest::process_runs(pid, program)) return false;
        return true;
    }
    // The signal ends the demo with status 0 through its quit path, which stops the music.
    void expect_quit_on(int signal_number) {
        ASSERT_EQ(kill(demo->pid(), signal_number), 0);
        EXPECT_EQ(demo->wait(20), 0) << demo->err();
        EXPECT_TRUE(poll_until(50, [&] { return players_gone(); })) << "the music player still runs";
    }
    vmtest::Xvfb x;
    TempDir dir;
    const std::string program = fs::canonical(vmtest::build_dir() + "/velmorine");
    std::unique_ptr<ChildProcess> demo;
    std::vector<pid_t> players;
    Display* dpy = nullptr;
    Window window = 0;
};

TEST_F(QuitSignals, AKilledDemoTakesItsPlayerAndItsWindowWithIt) {
    ASSERT_EQ(kill(demo->pid(), SIGKILL), 0);
    EXPECT_EQ(demo->wait(10), 128 + SIGKILL);
    EXPECT_TRUE(poll_until(50, [&] { return players_gone(); })) << "the music player outlived the demo";
    // The server lets the window go once no process holds the connection any more.
    EXPECT_TRUE(poll_until(50, [&] { return !window_listed(dpy, window); }));
}

TEST_F(QuitSignals, TermEndsTheDemoLikeEscape) {
    expect_quit_on(SIGTERM);
}

TEST_F(QuitSignals, IntEndsTheDemoLikeEscape) {
    expect_quit_on(SIGINT);
}

}  // namespace
