// The capture tool as a user runs it: the frames of the pass, one per scene at its midpoint, each a real
// picture and each clearly unlike its neighbours; the same bytes from two runs;
// clear refusals of what it cannot do.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using vmtest::ChildProcess;
using vmtest::TempDir;

namespace {

// The scenes' lengths, in order of play.
const float LENGTHS[31] = {10, 5, 8,    2, 7, 6, 8, 8, 8, 8, 7, 7, 7, 7, 8, 7,
                           8,  8, 7.5f, 8, 8, 8, 6, 8, 6, 8, 5, 5, 7, 6, 7};

int run(const std::vector<std::string>& args, const std::string& cwd, std::string* err = nullptr,
        std::string* out = nullptr) {
    std::vector<std::string> argv{vmtest::build_dir() + "/capture"};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess tool(argv, {}, cwd);
    const int status = tool.wait(600);
    if (err) *err = tool.err();
    if (out) *out = tool.out();
    return status;
}

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

Picture read_png(const std::string& path) {
    Picture p;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
    image.format = PNG_FORMAT_RGB;
    p.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, p.rgb.data(), 0, nullptr)) return Picture{};
    p.width = static_cast<int>(image.width);
    p.height = static_cast<int>(image.height);
    return p;
}

// The picture as a 32 x 16 grid of block means, all three channels: what a glance at a thumbnail sees.
constexpr int TW = 32, TH = 16;
std::vector<float> thumbnail(const Picture& p) {
    std::vector<float> t(TW * TH * 3, 0.0f);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            for (int k = 0; k < 3; ++k)
                t[((y * TH / p.height) * TW + x * TW / p.width) * 3 + k] +=
                    p.rgb[(static_cast<size_t>(y) * p.width + x) * 3 + k];
    const float per_block = static_cast<float>(p.width / TW) * static_cast<float>(p.height / TH);
    for (float& v : t) v /= per_block;
    return t;
}

float mean_abs_difference(const std::vector<float>& a, const std::vector<float>& b) {
    float sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::fabs(a[i] - b[i]);
    return sum / static_cast<float>(a.size());
}

std::string frame_name(double seconds) {
    char name[32];
    std::snprintf(name, sizeof name, "t%07.3f.png", seconds);
    return name;
}

TEST(Capture, EverySceneShowsAPictureOfItsOwn) {
    TempDir dir;
    std::vector<std::string> args{"--size", "256x128", "--fps", "20", "--out", dir.path()};
    std::vector<double> middles;
    double start = 0;
    for (float length : LENGTHS) {
        middles.push_back(start + length / 2);
        start += length;
        args.push_back("--at");
        args.push_back(std::to_string(middles.back()));
    }
    std::string err;
    ASSERT_EQ(run(args, dir.path(), &err), 0) << err;

    std::vector<std::vector<float>> thumbs;
    for (double t : middles) {
        const Picture p = read_png(dir / frame_name(t));
        ASSERT_EQ(p.width, 256) << frame_name(t);
        ASSERT_EQ(p.height, 128);
        thumbs.push_back(thumbnail(p));
    }
    for (size_t i = 0; i < thumbs.size(); ++i) {
        // Not blank, not one flat colour: a fair part of the picture lit, and blocks that differ from one
        // another (the darkest scene, the title on black, lights a twelfth of its blocks).
        const std::vector<float>& t = thumbs[i];
        float mean = 0;
        for (float v : t) mean += v / static_cast<float>(t.size());
        float spread = 0;
        int lit = 0;
        for (size_t b = 0; b < t.size(); b += 3) {
            for (int k = 0; k < 3; ++k) spread += std::fabs(t[b + k] - mean) / static_cast<float>(t.size());
            lit += t[b] > 48 || t[b + 1] > 48 || t[b + 2] > 48;
        }
        EXPECT_GT(lit, TW * TH / 20) << "scene " << i + 1 << " is dark";
        EXPECT_GT(spread, 8.0f) << "scene " << i + 1 << " is flat";
        // A cut shows something else. Measured here: the same scene 0.2 s later differs by 1 to 13 levels
        // (13 while the eye slides along the row), neighbouring scenes by 37 to 134.
        if (i > 0) {
            EXPECT_GT(mean_abs_difference(thumbs[i - 1], t), 18.0f) << "scenes " << i << " and " << i + 1;
        }
    }
}

TEST(Capture, TwoRunsWriteTheSameBytesNamedInTheOrderOfTheirTimes) {
    TempDir first, second;
    const std::vector<std::string> at{"--at", "5",      "--at",   "58.5",  "--at",
                                      "95",   "--size", "160x80", "--fps", "20"};
    for (const TempDir* dir : {&first, &second}) {
        std::vector<std::string> args = at;
        args.insert(args.end(), {"--out", dir->path()});
        std::string err;
        ASSERT_EQ(run(args, dir->path(), &err), 0) << err;
    }
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(first.path())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names, (std::vector<std::string>{frame_name(5), frame_name(58.5), frame_name(95)}));
    for (const std::string& name : names) {
        const std::string a = vmtest::read_file(first / name), b = vmtest::read_file(second / name);
        ASSERT_FALSE(a.empty()) << name;
        EXPECT_TRUE(a == b) << name << " differs between two runs";
    }
}

TEST(Capture, TheContactSheetShowsTheAskedScenesSideBySide) {
    TempDir dir;
    std::string err;
    ASSERT_EQ(run({"--contact-sheet", "sheet.png", "--scenes", "2-4", "--size", "128x64", "--fps", "10"},
                  dir.path(), &err),
              0)
        << err;
    // Three thumbnails 320 wide in a row of six, each with its label below; 6-pixel gaps all round.
    const Picture sheet = read_png(dir / "sheet.png");
    ASSERT_EQ(sheet.width, 6 * 326 + 6);
    ASSERT_EQ(sheet.height, 160 + 26 + 12);
    auto cell_mean = [&](int column) {
        float sum = 0;
        for (int y = 6; y < 166; ++y)
            for (int x = 6 + 326 * column; x < 326 * (column + 1); ++x)
                for (int k = 0; k < 3; ++k)
                    sum += sheet.rgb[(static_cast<size_t>(y) * sheet.width + x) * 3 + k];
        return sum / (160.0f * 320.0f * 3.0f);
    };
    // The three scenes' pictures, and the rest of the row empty.
    for (int column = 0; column < 3; ++column) EXPECT_GT(cell_mean(column), 40.0f) << column;
    EXPECT_LT(cell_mean(3), 29.0f);
}

// A program from the machine (ffmpeg, ffprobe) run to its end; its standard output.
std::string tool_output(const std::vector<std::string>& argv, const std::string& cwd, int* status) {
    ChildProcess tool(argv, {}, cwd);
    *status = tool.wait(120);
    return tool.out();
}

// Signed 16-bit mono samples at 8000 Hz of a file's sound from `start` for `seconds`.
std::vector<int16_t> sound_of(const std::string& file, double start, double seconds, const std::string& cwd) {
    const std::string raw = cwd + "/sound.raw";
    int status = -1;
    tool_output({"/usr/bin/ffmpeg", "-v", "error", "-y", "-ss", std::to_string(start), "-i", file, "-t",
                 std::to_string(seconds), "-ac", "1", "-ar", "8000", "-f", "s16le", raw},
                cwd, &status);
    const std::string bytes = vmtest::read_file(raw);
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

double correlation(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    const size_t n = std::min(a.size(), b.size());
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
        ab += static_cast<double>(a[i]) * b[i];
        aa += static_cast<double>(a[i]) * a[i];
        bb += static_cast<double>(b[i]) * b[i];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

TEST(Capture, AVideoOfASpanHasItsFramesAndTheMusicFromThatMoment) {
    TempDir dir;
    std::string err;
    ASSERT_EQ(run({"--video", "clip.mp4", "--from", "5", "--to", "8", "--size", "320x160", "--fps", "24"},
                  dir.path(), &err),
              0)
        << err;
    int status = -1;
    const std::string probe = tool_output({"/usr/bin/ffprobe", "-v", "error", "-show_entries",
                                           "stream=codec_name,codec_type,width,height,r_frame_rate,nb_frames",
                                           "-of", "compact", dir.path() + "/clip.mp4"},
                                          dir.path(), &status);
    ASSERT_EQ(status, 0);
    EXPECT_NE(probe.find("codec_name=h264|codec_type=video|width=320|height=160|r_frame_rate=24/1|"
                         "nb_frames=72"),
              std::string::npos)
        << probe;
    EXPECT_NE(probe.find("codec_name=aac|codec_type=audio"), std::string::npos) << probe;

    // Its first frame is the capture tool's picture of that moment, as near as the video's coding allows,
    // and clearly nearer it than the frame a second later is.
    ASSERT_EQ(run({"--at", "5", "--size", "320x160", "--fps", "24"}, dir.path()), 0);
    tool_output({"/usr/bin/ffmpeg", "-v", "error", "-y", "-i", "clip.mp4", "-frames:v", "1", "first.png"},
                dir.path(), &status);
    tool_output(
        {"/usr/bin/ffmpeg", "-v", "error", "-y", "-ss", "1", "-i", "clip.mp4", "-frames:v", "1", "later.png"},
        dir.path(), &status);
    const Picture still = read_png(dir.path() + "/" + frame_name(5));
    const Picture first = read_png(dir.path() + "/first.png"), later = read_png(dir.path() + "/later.png");
    ASSERT_EQ(first.width, 320);
    ASSERT_EQ(still.width, 320);
    ASSERT_EQ(later.width, 320);
    const float near = mean_abs_difference(thumbnail(first), thumbnail(still));
    EXPECT_LT(near, 3.0f);
    EXPECT_LT(near * 3, mean_abs_difference(thumbnail(later), thumbnail(still)));

    // The sound is the theme from 5 s on, not from its beginning.
    const std::string theme = vmtest::build_dir() + "/data/theme.ogg";
    const std::vector<int16_t> clip = sound_of("clip.mp4", 0, 2.5, dir.path());
    ASSERT_GT(clip.size(), 16000u);
    EXPECT_GT(correlation(clip, sound_of(theme, 5, 2.5, dir.path())), 0.9);
    EXPECT_LT(correlation(clip, sound_of(theme, 0, 2.5, dir.path())), 0.5);
}

TEST(Capture, RefusesWhatItCannotDoWithAReasonAndAFailingStatus) {
    TempDir dir;
    struct Case {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--at", "300"}, "outside the pass"},
        {{"--at", "-1"}, "outside the pass"},
        {{"--at", "ten"}, "number of seconds"},
        {{"--at", "5", "--size", "10x10"}, "--size"},
        {{"--at", "5", "--size", "1280"}, "--size"},
        {{"--at", "5", "--fps", "0"}, "--fps"},
        {{"--from", "5"}, "--from and --to"},
        {{"--from", "9", "--to", "3"}, "--from"},
        {{"--frobnicate"}, "unknown argument"},
        {{"--contact-sheet", "s.png", "--scenes", "0-3"}, "--scenes"},
        {{"--contact-sheet", "s.png", "--scenes", "3-32"}, "--scenes"},
        {{}, "nothing to capture"},
        {{"--video", "v.mp4", "--from", "4", "--to", "4"}, "at least one frame"},
    };
    for (const Case& c : cases) {
        std::string err;
        EXPECT_EQ(run(c.args, dir.path(), &err), 2) << c.says;
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
        EXPECT_NE(err.find("usage:"), std::string::npos) << err;
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
    std::string out;
    EXPECT_EQ(run({"--help"}, dir.path(), nullptr, &out), 0);
    EXPECT_NE(out.find("--contact-sheet"), std::string::npos);
}

}  // namespace
