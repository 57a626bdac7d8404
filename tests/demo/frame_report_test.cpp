// The frame-time report without the program: the nearest-rank statistics, and the hooks driven by hand
// (the times are real but never checked, only counts, rows and the file's shape): one row per scene
// played, the set-up frame apart from the counted ones, a table appended each pass, frames past the
// buffer counted but not stored, and nothing installed without the variable or with a file that does
// not open.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "demo/frame_report.h"
#include "support/temp_dir.h"

namespace {

TEST(FrameReport, NearestRankStatisticsOfUnsortedTimes) {
    std::vector<float> ms(100);
    std::iota(ms.begin(), ms.end(), 1.0f);
    std::reverse(ms.begin(), ms.begin() + 60);
    FrameTimeSummary s = frame_times_summarise(ms.data(), 100);
    EXPECT_EQ(s.frames, 100);
    EXPECT_EQ(s.median_ms, 50.0f);
    EXPECT_EQ(s.p95_ms, 95.0f);
    EXPECT_EQ(s.p99_ms, 99.0f);
    EXPECT_EQ(s.max_ms, 100.0f);

    float four[] = {4, 1, 3, 2};  // an even count: the lower middle
    s = frame_times_summarise(four, 4);
    EXPECT_EQ(s.median_ms, 2.0f);
    EXPECT_EQ(s.p95_ms, 4.0f);

    float one[] = {7};
    s = frame_times_summarise(one, 1);
    EXPECT_EQ(s.median_ms, 7.0f);
    EXPECT_EQ(s.p99_ms, 7.0f);

    s = frame_times_summarise(nullptr, 0);
    EXPECT_EQ(s.frames, 0);
    EXPECT_EQ(s.max_ms, 0.0f);
}

void play_scene(int position, int frames) {
    scene_hooks.scene_started(position);
    for (int i = 0; i < frames; ++i) scene_hooks.frame_done();
    scene_hooks.scene_ended(position);
}

struct Row {
    int position = 0, frames = 0;
    std::string name;
};

// The rows of each pass's table, by pass.
std::vector<std::vector<Row>> read_tables(const std::string& text) {
    std::vector<std::vector<Row>> tables;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line.rfind("pass ", 0) == 0) {
            tables.emplace_back();
            continue;
        }
        Row r;
        double setup, median, p95, p99, max;
        int width, height;
        std::istringstream f(line);
        f >> r.position >> setup >> r.frames >> median >> p95 >> p99 >> max >> width >> height;
        std::getline(f >> std::ws, r.name);
        if (f.fail() || tables.empty()) {
            ADD_FAILURE() << "unreadable line: " << line;
            continue;
        }
        EXPECT_GE(setup, 0.0);
        EXPECT_LE(median, p95);
        EXPECT_LE(p95, p99);
        EXPECT_LE(p99, max);
        tables.back().push_back(r);
    }
    return tables;
}

TEST(FrameReport, OneRowPerScenePlayedAndATableEachPassWithFramesPastTheBufferCounted) {
    vmtest::TempDir dir;
    const std::string path = dir / "frames.txt";
    setenv("VELMORINE_FRAME_REPORT", path.c_str(), 1);
    frame_report_start();
    ASSERT_TRUE(frame_report.enabled);
    ASSERT_NE(scene_hooks.frame_done, nullptr);

    play_scene(1, 4);
    play_scene(2, 1);  // the set-up frame only
    play_scene(SCENE_COUNT, 3);
    play_scene(1, FRAME_REPORT_CAPACITY + 5);
    play_scene(5, 2);  // the buffer is full: counted, not stored
    play_scene(SCENE_COUNT, 1);

    const auto tables = read_tables(vmtest::read_file(path));
    ASSERT_EQ(tables.size(), 2u);
    ASSERT_EQ(tables[0].size(), 3u);
    EXPECT_EQ(tables[0][0].position, 1);
    EXPECT_EQ(tables[0][0].frames, 3);
    EXPECT_EQ(tables[0][0].name, "corridor fade in");
    EXPECT_EQ(tables[0][1].position, 2);
    EXPECT_EQ(tables[0][1].frames, 0);
    EXPECT_EQ(tables[0][2].position, SCENE_COUNT);
    EXPECT_EQ(tables[0][2].frames, 2);
    EXPECT_EQ(tables[0][2].name, "closing corridor");
    ASSERT_EQ(tables[1].size(), 3u);
    EXPECT_EQ(tables[1][0].frames, FRAME_REPORT_CAPACITY + 4);
    EXPECT_EQ(tables[1][1].position, 5);
    EXPECT_EQ(tables[1][1].frames, 1);
    EXPECT_EQ(tables[1][2].frames, 0);
    frame_report_reset();
    unsetenv("VELMORINE_FRAME_REPORT");
}

TEST(FrameReport, NothingInstalledWithoutTheVariableOrWithAFileThatDoesNotOpen) {
    vmtest::TempDir dir;
    unsetenv("VELMORINE_FRAME_REPORT");
    frame_report_start();
    EXPECT_FALSE(frame_report.enabled);
    EXPECT_EQ(scene_hooks.frame_done, nullptr);
    EXPECT_EQ(frame_report.times_ms, nullptr);

    const std::string missing = dir / "no-such-folder/frames.txt";
    setenv("VELMORINE_FRAME_REPORT", missing.c_str(), 1);
    frame_report_start();
    EXPECT_FALSE(frame_report.enabled);
    EXPECT_EQ(scene_hooks.scene_started, nullptr);
    unsetenv("VELMORINE_FRAME_REPORT");
}

}  // namespace
