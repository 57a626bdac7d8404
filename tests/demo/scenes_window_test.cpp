// The demo itself under a private X server, on the real clock, with its music going to a file: the first
// half of the pass plays its fifteen scenes in order, each for its own length, every one of them showing
// frames in the window.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

#include "core/clock.h"
#include "demo/scene_cycle.h"
#include "demo/startup.h"
#include "display/present.h"
#include "support/temp_dir.h"
#include "support/xvfb.h"

namespace {

struct Shown {
    int position;
    double start;
    int frames;  // presented while it played
};

std::vector<Shown> scenes;
std::atomic<int> presented{0};

void tap(const uint8_t*, int, int) {
    presented.fetch_add(1);
}

void on_started(int position) {
    scenes.push_back(Shown{position, engine_time(), presented.load()});
}

void on_ended(int) {
    scenes.back().frames = presented.load() - scenes.back().frames;
}

TEST(DemoWindow, TheFirstHalfPlaysItsScenesInOrderEachForItsLength) {
    vmtest::Xvfb x;
    ASSERT_TRUE(x.ok());
    vmtest::ScopedEnv display("DISPLAY", x.name().c_str());
    vmtest::TempDir sink;
    const std::string conf =
        sink.write("asound.conf", "pcm.!default {\n type file\n slave.pcm { type null }\n file \"" +
                                      (sink / "music.raw") + "\"\n format \"raw\"\n}\n");
    vmtest::ScopedEnv alsa("ALSA_CONFIG_PATH", conf.c_str());
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(vmtest::build_dir().c_str()), 0);

    present_set_tap(tap);
    ASSERT_TRUE(startup_load());
    scene_hooks.last = 15;
    scene_hooks.scene_started = on_started;
    scene_hooks.scene_ended = on_ended;
    scene_cycle_pass();
    const double end = engine_time();
    present_join();
    present_set_tap(nullptr);
    scene_hooks = SceneHooks{};
    ASSERT_EQ(chdir(cwd), 0);

    ASSERT_EQ(scenes.size(), 15u);
    for (size_t i = 0; i < scenes.size(); ++i) {
        SCOPED_TRACE("scene " + std::to_string(i + 1));
        EXPECT_EQ(scenes[i].position, static_cast<int>(i) + 1);
        const double played = (i + 1 < scenes.size() ? scenes[i + 1].start : end) - scenes[i].start;
        const double length = scene_list[i].seconds;
        EXPECT_GE(played, length);
        // At most one frame over; a frame of a sanitized build on a busy machine stays well under a second.
        EXPECT_LE(played, length + 1.0);
        EXPECT_GE(scenes[i].frames, 3);
    }
}

}  // namespace
