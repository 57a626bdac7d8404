// The start-up sequence in this process, under a private X server, with every frame it shows tapped on
// its way to the window: the loading bar's steps in order, the first scene frame without the bar, and the
// stop at the media check.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "audio/channels.h"
#include "demo/scene_cycle.h"
#include "demo/startup.h"
#include "display/present.h"
#include "scene/camera.h"
#include "scene/transform.h"
#include "shell/frame.h"
#include "support/temp_dir.h"
#include "support/xvfb.h"

namespace fs = std::filesystem;

namespace {

struct ShownFrame {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

std::mutex shown_lock;
std::vector<ShownFrame> shown;

// Runs on whichever thread presents.
void tap(const uint8_t* pixels, int width, int height) {
    std::lock_guard<std::mutex> hold(shown_lock);
    shown.push_back(
        {width, height, std::vector<uint8_t>(pixels, pixels + static_cast<size_t>(width) * height * 3)});
}

bool white(const uint8_t* p) {
    return p[0] > 240 && p[1] > 240 && p[2] > 240;
}

// The bar as a viewer reads it: a white frame across the picture around a black channel, filled with
// white from the left edge. The percentage its fill shows, or -1 when there is no bar.
int bar_percent(const ShownFrame& f) {
    const int border = f.height * 43 / 100, gap = f.height * 451 / 1000, middle = f.height / 2;
    for (int x = 0; x < f.width; ++x)
        if (!white(f.at(x, border))) return -1;
    if (white(f.at(f.width - 1, gap))) return -1;
    int fill = 0;
    while (fill < f.width && white(f.at(fill, middle))) ++fill;
    return (fill * 100 + f.width / 2) / f.width;
}

std::vector<int> percents_shown() {
    std::lock_guard<std::mutex> hold(shown_lock);
    std::vector<int> out;
    for (const ShownFrame& f : shown) out.push_back(bar_percent(f));
    return out;
}

class Loading : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(x_.ok());
        ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
        present_set_tap(tap);
    }
    void TearDown() override {
        // The theme's decode started with the loading reads the folder left below.
        music_release();
        present_join();
        present_set_tap(nullptr);
        ASSERT_EQ(chdir(cwd_), 0);
    }

    vmtest::Xvfb x_;
    vmtest::ScopedEnv display_{"DISPLAY", x_.name().c_str()};
    char cwd_[4096] = {};
};

TEST_F(Loading, TheBarStepsUpInOrderAndTheFirstSceneFrameShowsThePark) {
    // Where the program itself would be after the system probe: in its folder, beside data/.
    ASSERT_EQ(chdir(vmtest::build_dir().c_str()), 0);
    ASSERT_TRUE(startup_load());
    present_join();
    // 82 is set and overwritten before any frame is shown.
    EXPECT_EQ(percents_shown(), (std::vector<int>{1, 20, 30, 50, 60, 70, 80, 83, 84, 85}));

    {
        std::lock_guard<std::mutex> hold(shown_lock);
        shown.clear();
    }
    // The next frame shows the park, and no bar.
    obj_show_scenery();
    camera_set(0, 2.61f, 13, 0, -0.4f, 3);
    camera_update();
    render_frame();
    present_join();
    std::lock_guard<std::mutex> hold(shown_lock);
    ASSERT_EQ(shown.size(), 1u);
    const ShownFrame& park = shown[0];
    EXPECT_EQ(bar_percent(park), -1);
    // Not a blank or a flat picture: many colours, and the sky above differs from the ground below.
    std::set<int> colours;
    long top = 0, bottom = 0;
    for (int y = 0; y < park.height; ++y)
        for (int x = 0; x < park.width; ++x) {
            const uint8_t* p = park.at(x, y);
            colours.insert((p[0] >> 3) << 10 | (p[1] >> 3) << 5 | (p[2] >> 3));
            if (y < park.height / 4) top += p[0] + p[1] + p[2];
            if (y >= park.height * 3 / 4) bottom += p[0] + p[1] + p[2];
        }
    EXPECT_GT(colours.size(), 200u);
    EXPECT_NE(top, bottom);
}

TEST_F(Loading, WithoutTheDuskSkyTheBarStopsAtTheMediaCheck) {
    // The build's data, all but the one picture the media check looks for.
    vmtest::TempDir copy;
    fs::copy(vmtest::build_dir() + "/data", copy / "data", fs::copy_options::recursive);
    ASSERT_TRUE(fs::remove(copy / "data/tex/egbolt3.jpg"));
    ASSERT_EQ(chdir(copy.path().c_str()), 0);
    EXPECT_FALSE(startup_load());
    present_join();
    EXPECT_EQ(percents_shown(), (std::vector<int>{1, 20, 30, 50, 60, 70, 80, 83, 84}));
}

}  // namespace
