// The benchmark as a user runs it: headless, its workloads' pixel counts are the exact work each one
// defines; under a private X server it times scenes of the timeline in its own window and writes their
// frame times as CSV and as a plot; bad arguments are refused with a reason.
// gtest before Xlib: Xlib's macros (None, Bool) break gtest's templates.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
// clang-format on

#include <sstream>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/x_client.h"
#include "support/xvfb.h"

using vmtest::ChildProcess;
using vmtest::TempDir;

namespace {

std::string program() {
    return vmtest::build_dir() + "/velmorine-bench";
}

// The table row of one workload, split at its bars.
std::vector<std::string> row(const std::string& table, const std::string& name) {
    std::istringstream in(table);
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::istringstream cells_in(line);
        std::string cell;
        while (std::getline(cells_in, cell, '|')) {
            const size_t a = cell.find_first_not_of(' '), b = cell.find_last_not_of(' ');
            if (a != std::string::npos) cells.push_back(cell.substr(a, b - a + 1));
        }
        if (!cells.empty() && cells[0] == name) return cells;
    }
    return {};
}

TEST(BenchFront, HeadlessTheWorkloadsWriteExactlyTheirPixels) {
    TempDir dir;
    ChildProcess bench({program(), "--workloads", "--seconds", "0.2", "--size", "128x64"}, {{"DISPLAY", ""}},
                       dir.path());
    ASSERT_EQ(bench.wait(300), 0) << bench.err();
    const std::string out = bench.out();
    EXPECT_NE(out.find("headless, 128x64"), std::string::npos) << out;
    // Columns: what, size, frames, frames/s, pixels/frame, Mtri/s.
    const auto fill = row(out, "fill"), f2b = row(out, "fill-f2b"), small = row(out, "small"),
               park = row(out, "park");
    ASSERT_EQ(fill.size(), 6u) << out;
    ASSERT_EQ(f2b.size(), 6u) << out;
    ASSERT_EQ(small.size(), 6u) << out;
    ASSERT_EQ(park.size(), 6u) << out;
    // Every quad covers the frame: back to front all 200 are written, front to back only the first.
    EXPECT_EQ(fill[4], std::to_string(200 * 128 * 64));
    EXPECT_EQ(f2b[4], std::to_string(128 * 64));
    for (const auto& r : {fill, f2b, small, park}) {
        EXPECT_EQ(r[1], "128x64");
        EXPECT_GE(std::stoi(r[2]), 3);
        EXPECT_GT(std::stod(r[3]), 0.0);
    }
    EXPECT_GT(std::stod(small[5]), 0.0);
}

TEST(BenchFront, OnScreenTheTimelineWritesItsScenesTimesAndAPlot) {
    vmtest::Xvfb x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    ChildProcess bench({program(), "--timeline", "--scenes", "4-5", "--size", "320x160", "--csv", "t.csv",
                        "--plot", "t.png"},
                       {{"DISPLAY", x.name()}}, dir.path());
    Display* dpy = XOpenDisplay(x.name().c_str());
    ASSERT_NE(dpy, nullptr);
    EXPECT_NE(vmtest::wait_for_window(dpy, "Velmorine! benchmark", 30), 0u) << bench.err();
    XCloseDisplay(dpy);
    ASSERT_EQ(bench.wait(300), 0) << bench.err();
    EXPECT_NE(bench.out().find("on screen, 320x160"), std::string::npos) << bench.out();
    const auto timeline = row(bench.out(), "timeline");
    ASSERT_EQ(timeline.size(), 6u) << bench.out();
    EXPECT_EQ(timeline[1], "320x160");

    // A header and the two scenes, each with frames after its set-up one, in order, at their place in
    // the pass (scene 4 begins at 23 s).
    std::istringstream csv(vmtest::read_file(dir.path() + "/t.csv"));
    std::string header, four, five, more;
    ASSERT_TRUE(std::getline(csv, header));
    EXPECT_EQ(header, "position,name,start_s,setup_ms,frames,median_ms,p95_ms,p99_ms,max_ms");
    ASSERT_TRUE(std::getline(csv, four));
    ASSERT_TRUE(std::getline(csv, five));
    EXPECT_FALSE(std::getline(csv, more));
    EXPECT_EQ(four.rfind("4,into the park,23.0", 0), 0u) << four;
    EXPECT_EQ(five.rfind("5,walk across,25.0", 0), 0u) << five;
    int frames = 0;
    ASSERT_EQ(std::sscanf(four.c_str(), "%*[^,],%*[^,],%*[^,],%*[^,],%d", &frames), 1);
    EXPECT_GT(frames, 5);

    const std::string png = vmtest::read_file(dir.path() + "/t.png");
    ASSERT_GT(png.size(), 1000u);
    EXPECT_EQ(png.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
}

TEST(BenchFront, RefusesBadArgumentsWithAReason) {
    TempDir dir;
    const std::vector<std::vector<std::string>> cases = {{"--size", "12x12"},
                                                         {"--seconds", "-1"},
                                                         {"--scenes", "5-40"},
                                                         {"--workloads", "--timeline"},
                                                         {"--nope"}};
    for (const auto& args : cases) {
        std::vector<std::string> argv{program()};
        argv.insert(argv.end(), args.begin(), args.end());
        ChildProcess bench(argv, {{"DISPLAY", ""}}, dir.path());
        EXPECT_EQ(bench.wait(30), 2) << args[0];
        EXPECT_NE(bench.err().find("usage:"), std::string::npos) << bench.err();
    }
}

}  // namespace
