// The media generator end to end: runs it, checks that its output is complete and reproducible, and
// decodes the start-up textures to check what the demo relies on (sizes, channels, alpha, tiling).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"
#include "tools/media_pictures.h"

namespace {

using namespace mediatest;

namespace fs = std::filesystem;

std::vector<std::string> expected_files() {
    std::vector<std::string> names;
    std::stringstream list(MEDIA_FILES);
    std::string name;
    while (std::getline(list, name, ',')) names.push_back(name);
    return names;
}

int run_generator(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {MEDIAGEN_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    vmtest::ChildProcess child(argv, {}, fs::temp_directory_path().string());
    if (!child.started()) return -1;
    return child.wait(120.0);
}

// Every regular file under `root`, as paths relative to it.
std::set<std::string> files_under(const std::string& root) {
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) names.insert(fs::relative(entry.path(), root).string());
    }
    return names;
}

TEST(MediaGeneratorRuns, WritesExactlyTheListedFilesWithTheSameBytesEveryRun) {
    vmtest::TempDir first;
    vmtest::TempDir second;
    // A trailing slash and an already existing folder must not matter.
    ASSERT_EQ(run_generator({first.path() + "/data/"}), 0);
    ASSERT_EQ(run_generator({first.path() + "/data"}), 0);
    ASSERT_EQ(run_generator({second / "data"}), 0);

    std::vector<std::string> expected = expected_files();
    std::set<std::string> written = files_under(first / "data");
    // No more and no fewer than the build lists as outputs, and no temporary files left over.
    EXPECT_EQ(written, std::set<std::string>(expected.begin(), expected.end()));
    for (const std::string& name : expected) {
        std::string a = vmtest::read_file(first / ("data/" + name));
        std::string b = vmtest::read_file(second / ("data/" + name));
        // Real pictures, not stubs; the smallest, the light cone, is one fade down uniform rows.
        EXPECT_GT(a.size(), 500u) << name;
        EXPECT_TRUE(a == b) << name << " differs between runs";
    }
}

TEST(MediaGeneratorRuns, ReportsFailureWhenItCannotWrite) {
    vmtest::TempDir dir;
    EXPECT_NE(run_generator({}), 0);
    EXPECT_NE(run_generator({""}), 0);

    // The data folder cannot be made: a plain file is in the way.
    std::string blocker = dir.write("blocker", "x");
    EXPECT_EQ(run_generator({blocker + "/data"}), 1);

    // One output name is taken by a folder: that file cannot be written, and the run says so
    // instead of leaving a half-made data folder that looks complete.
    fs::create_directories(dir / "data/tex/gomb.png/inside");
    EXPECT_EQ(run_generator({dir / "data"}), 1);
    EXPECT_FALSE(fs::exists(dir / "data/tex/gomb.png.tmp"));
}

TEST(MediaGenerator, SkyPanoramasAreWideRgbJpegsThatWrapAround) {
    Picture day = decode_jpeg(media_file("tex/egbolt2.jpg"));
    Picture dusk = decode_jpeg(media_file("tex/egbolt3.jpg"));
    for (const Picture* sky : {&day, &dusk}) {
        ASSERT_EQ(sky->width, 1024);
        ASSERT_EQ(sky->height, 512);
        ASSERT_EQ(sky->channels, 3);
        // Panoramas go round the viewer: the left edge continues the right one.
        SeamStats s = seam_stats(*sky, false);
        EXPECT_LT(s.seam, 2.0 * s.inside + 1.0) << "seam " << s.seam << " inside " << s.inside;
    }

    // Day: blue overhead, paler towards the horizon.
    EXPECT_GT(mean_channel(day, 2, 0, 40), mean_channel(day, 0, 0, 40) + 60.0);
    EXPECT_GT(mean_luma(day, 330, 350), mean_luma(day, 0, 40) + 30.0);

    // Dusk: darker overall, a dark blue zenith, a warm horizon.
    EXPECT_LT(mean_luma(dusk, 0, 512), mean_luma(day, 0, 512) - 40.0);
    EXPECT_LT(mean_luma(dusk, 0, 40), 40.0);
    EXPECT_GT(mean_channel(dusk, 2, 0, 40), mean_channel(dusk, 0, 0, 40));
    EXPECT_GT(mean_channel(dusk, 0, 355, 370), mean_channel(dusk, 2, 355, 370) + 60.0);
    // Stars: many small bright points in the dark upper sky.
    int bright = 0;
    for (int y = 0; y < 160; ++y)
        for (int x = 0; x < dusk.width; ++x) bright += dusk.luma(x, y) > 120 ? 1 : 0;
    EXPECT_GT(bright, 80);
    EXPECT_LT(bright, dusk.width * 160 / 50);
}

TEST(MediaGenerator, WallIsAnRgbPngThatTilesBothWays) {
    std::string bytes = media_file("tex/fal1.png");
    EXPECT_EQ(png_colour_type(bytes), 2);
    Picture wall = decode_png(bytes);
    ASSERT_EQ(wall.width, 256);
    ASSERT_EQ(wall.height, 256);
    ASSERT_EQ(wall.channels, 3);
    for (bool vertical : {false, true}) {
        SeamStats s = seam_stats(wall, vertical);
        EXPECT_LT(s.seam, 1.5 * s.inside + 1.0) << (vertical ? "rows" : "columns");
    }
    // Real texture, not a flat fill: blocks and joints differ in brightness.
    double mean = 0.0, square = 0.0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            double l = wall.luma(x, y);
            mean += l;
            square += l * l;
        }
    mean /= 65536.0;
    double spread = square / 65536.0 - mean * mean;
    EXPECT_GT(mean, 60.0);
    EXPECT_LT(mean, 200.0);
    EXPECT_GT(spread, 15.0 * 15.0);
}

TEST(MediaGenerator, BallIsRoundAndTransparentOutside) {
    std::string bytes = media_file("tex/gomb.png");
    EXPECT_EQ(png_colour_type(bytes), 6);
    Picture ball = decode_png(bytes);
    ASSERT_EQ(ball.width, 128);
    ASSERT_EQ(ball.height, 128);
    ASSERT_EQ(ball.channels, 4);
    // Opaque in the middle; nothing at all outside the inscribed circle, corners included.
    for (int y = 62; y < 66; ++y)
        for (int x = 62; x < 66; ++x) EXPECT_EQ(ball.at(x, y, 3), 255);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            int dx = 2 * x + 1 - 128, dy = 2 * y + 1 - 128;
            if (dx * dx + dy * dy >= 128 * 128) {
                ASSERT_EQ(ball.at(x, y, 3), 0) << x << "," << y;
            }
        }
    // The glow fades outwards in every direction alike.
    for (int r = 1; r < 63; ++r) {
        EXPECT_LE(ball.at(64 + r, 64, 3), ball.at(64 + r - 1, 64, 3)) << r;
        EXPECT_EQ(ball.at(64 + r, 64, 3), ball.at(63 - r, 64, 3)) << r;
        EXPECT_EQ(ball.at(64 + r, 64, 3), ball.at(64, 63 - r, 3)) << r;
    }
    EXPECT_GT(ball.at(64 + 40, 64, 3), 20);  // a halo beyond the opaque core
}

TEST(MediaGenerator, SparkIsAStarWithTransparentCorners) {
    std::string bytes = media_file("tex/szikra1.png");
    EXPECT_EQ(png_colour_type(bytes), 6);
    Picture spark = decode_png(bytes);
    ASSERT_EQ(spark.width, 64);
    ASSERT_EQ(spark.height, 64);
    ASSERT_EQ(spark.channels, 4);
    for (int y = 31; y < 33; ++y)
        for (int x = 31; x < 33; ++x) EXPECT_EQ(spark.at(x, y, 3), 255);
    for (int c : {0, 63}) {
        EXPECT_EQ(spark.at(c, 0, 3), 0);
        EXPECT_EQ(spark.at(c, 63, 3), 0);
        EXPECT_EQ(spark.at(0, c, 3), 0);
        EXPECT_EQ(spark.at(63, c, 3), 0);
    }
    // Rays: at the same distance from the centre, brighter along an axis than between the rays.
    int on_ray = spark.at(32 + 20, 32, 3);
    int between = spark.at(32 + 18, 32 + 8, 3);  // about 22 degrees off the axis
    EXPECT_GT(on_ray, between + 40);
    EXPECT_GT(spark.at(32, 32 - 20, 3), between + 40);
}

}  // namespace
