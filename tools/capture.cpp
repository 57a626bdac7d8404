// Pictures of the demo as it plays: the real start-up and scene functions on a virtual engine clock that
// advances exactly 1/fps a frame, rendered headless (no X display), with chosen frames written as PNG
// files, or one picture per scene gathered into a contact sheet, or a span of the pass as a video with
// its music (through ffmpeg). Lives beside the demo, whose data folder it reads.
#include <png.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "audio/channels.h"
#include "demo/scene_cycle.h"
#include "demo/startup.h"
#include "demo/virtual_clock.h"
#include "display/framebuffer.h"
#include "overlay/glyphs.h"
#include "render/render_config.h"
#include "shell/arguments.h"
#include "shell/frame.h"
#include "shell/probe.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr char USAGE[] =
    "usage: capture [--at SECONDS]... [--from A --to B] [--fps N] [--size WxH] [--full-height]\n"
    "               [--out DIR] [--contact-sheet OUT.png [--scenes FIRST-LAST]] [--video OUT.mp4]\n"
    "Plays the demo's pass headless on a virtual clock that advances exactly 1/fps a frame and writes\n"
    "the frames it is asked for as PNG files named by the pass time they show (tSSS.mmm.png).\n"
    "  --at SECONDS           the frame shown at that time of the pass (may be given several times)\n"
    "  --from A --to B        every frame from A to B seconds\n"
    "  --fps N                frames per second of the virtual clock, 1 to 240 (default 30)\n"
    "  --size WxH             frame size, 16x16 to 7680x4320 (default 1280x720)\n"
    "  --full-height          render every row (the demo starts in half-height mode)\n"
    "  --out DIR              where the frames go (default: the current folder)\n"
    "  --contact-sheet FILE   one frame per scene, at its midpoint, in a labelled grid\n"
    "  --scenes FIRST-LAST    the scenes of the contact sheet, by position (default 1-31)\n"
    "  --video FILE           the frames from --from to --to (default: the whole pass) as an MP4 video,\n"
    "                         H.264 with the music in AAC, made by ffmpeg; odd sizes get one black\n"
    "                         column or row more\n"
    "  --help                 this text\n";

struct Options {
    std::vector<double> at;
    double from = -1, to = -1;
    int fps = 30;
    int width = 1280, height = 720;
    bool full_height = false;
    fs::path out = ".";
    fs::path contact_sheet;
    fs::path video;
    int first_scene = 1, last_scene = SCENE_COUNT;
};

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "capture: %s\n%s", message.c_str(), USAGE);
    std::exit(2);
}

double parse_seconds(const char* option, const char* text) {
    double v = 0;
    if (!argument_number(text, &v)) fail(std::string(option) + " needs a number of seconds");
    return v;
}

Options parse(int argc, char** argv) {
    Options o;
    auto value = [&](int& i) -> const char* {
        if (i + 1 >= argc) fail(std::string(argv[i]) + " needs a value");
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(USAGE, stdout);
            std::exit(0);
        } else if (a == "--at") {
            o.at.push_back(parse_seconds("--at", value(i)));
        } else if (a == "--from") {
            o.from = parse_seconds("--from", value(i));
        } else if (a == "--to") {
            o.to = parse_seconds("--to", value(i));
        } else if (a == "--fps") {
            const char* v = value(i);
            char* end = nullptr;
            const long n = std::strtol(v, &end, 10);
            if (end == v || *end != '\0' || n < 1 || n > 240)
                fail("--fps takes a whole number from 1 to 240");
            o.fps = static_cast<int>(n);
        } else if (a == "--size") {
            const char* v = value(i);
            if (!argument_size(v, 16, 16, 7680, 4320, &o.width, &o.height))
                fail(std::string("--size takes WxH from 16x16 to 7680x4320, not ") + v);
        } else if (a == "--full-height") {
            o.full_height = true;
        } else if (a == "--out") {
            o.out = value(i);
        } else if (a == "--contact-sheet") {
            o.contact_sheet = value(i);
        } else if (a == "--video") {
            o.video = value(i);
        } else if (a == "--scenes") {
            const char* v = value(i);
            if (!argument_range(v, 1, SCENE_COUNT, &o.first_scene, &o.last_scene))
                fail(std::string("--scenes takes FIRST-LAST within 1-") + std::to_string(SCENE_COUNT) +
                     ", not " + v);
        } else {
            fail("unknown argument " + a);
        }
    }
    double pass = 0;
    for (const SceneEntry& s : scene_list) pass += s.seconds;
    for (double t : o.at)
        if (t < 0 || t > pass)
            fail("--at " + std::to_string(t) + " lies outside the pass (0 to " + std::to_string(pass) +
                 " s)");
    if ((o.from >= 0) != (o.to >= 0) || (o.from < 0 && o.from != -1) || (o.to < 0 && o.to != -1))
        fail("--from and --to go together, each at 0 s or later");
    if (o.from >= 0 && (o.from > o.to || o.to > pass))
        fail("--from must not pass --to, and --to must lie within the pass");
    if (!o.video.empty() && o.from < 0) o.from = 0, o.to = pass;
    if (!o.video.empty() && o.to - o.from < 1.0 / o.fps) fail("--video needs at least one frame's time");
    if (o.at.empty() && o.from < 0 && o.contact_sheet.empty()) fail("nothing to capture");
    return o;
}

// --- what to capture ----------------------------------------------------------------------------------

struct Capture {
    fs::path out;
    std::set<int64_t> frames;  // frame indices to write
    int64_t last_needed = -1;  // the pass can stop after this frame
    bool sheet = false;
    int sheet_first = 1, sheet_last = SCENE_COUNT;  // the scenes it shows
    int64_t sheet_frame = -1;                       // the running scene's midpoint
    int position = 0;                               // the running scene
    struct Shot {
        int position;
        double start;
        std::vector<uint8_t> rgb;
        int width, height;
    };
    std::vector<Shot> shots;
    double scene_start = 0;
    int failures = 0;
    // The video: frames [video_first, video_end) piped to ffmpeg while it runs.
    int video_fd = -1;
    pid_t video_pid = -1;
    int64_t video_first = 0, video_end = 0;
} capture;

int64_t frame_at(double seconds) {
    // The frame on screen at that moment: the last one that began at or before it.
    return static_cast<int64_t>(std::floor(seconds * virtual_clock.fps + 1e-6));
}

bool write_png(const fs::path& path, const uint8_t* rgb, int width, int height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&image, path.c_str(), 0, rgb, width * 3, nullptr) != 0;
}

// --- the video ------------------------------------------------------------------------------------------

// ffmpeg reads raw frames on its standard input and the theme from the span's start, which is where the
// pass's music stands at that moment (it starts with the pass).
bool video_start(const fs::path& out, int width, int height, int fps, double from, double seconds) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    char start[32], length[32];
    std::snprintf(start, sizeof start, "%.6f", from);
    std::snprintf(length, sizeof length, "%.6f", seconds);
    std::vector<std::string> args = {"ffmpeg",
                                     "-hide_banner",
                                     "-loglevel",
                                     "error",
                                     "-y",
                                     "-f",
                                     "rawvideo",
                                     "-pix_fmt",
                                     "rgb24",
                                     "-video_size",
                                     std::to_string(width) + "x" + std::to_string(height),
                                     "-framerate",
                                     std::to_string(fps),
                                     "-i",
                                     "pipe:0"};
    const fs::path theme = fs::absolute(MUSIC_FILE);
    const bool music = fs::is_regular_file(theme);
    if (music) {
        args.insert(args.end(), {"-ss", start, "-i", theme.string(), "-map", "0:v:0", "-map", "1:a:0", "-c:a",
                                 "aac", "-b:a", "192k"});
    } else {
        std::fprintf(stderr, "capture: no %s: the video has no sound\n", MUSIC_FILE);
    }
    // H.264 in 4:2:0 needs even sizes: an odd one gets a black column or row more.
    args.insert(args.end(),
                {"-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2", "-c:v", "libx264", "-preset", "medium", "-crf", "18",
                 "-pix_fmt", "yuv420p", "-t", length, "-movflags", "+faststart", out.string()});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    const int error = posix_spawnp(&capture.video_pid, "ffmpeg", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (error != 0) {
        close(fds[1]);
        std::fprintf(stderr, "capture: cannot start ffmpeg (%s); it comes with the Debian package ffmpeg\n",
                     std::strerror(error));
        return false;
    }
    capture.video_fd = fds[1];
    return true;
}

// One frame to ffmpeg; false once it has gone away.
bool video_write(const uint8_t* rgb, size_t bytes) {
    while (bytes > 0) {
        const ssize_t n = write(capture.video_fd, rgb, bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        rgb += n;
        bytes -= static_cast<size_t>(n);
    }
    return true;
}

// Ends the input and waits for ffmpeg to finish the file; true when it did.
bool video_finish() {
    if (capture.video_pid <= 0) return false;
    if (capture.video_fd >= 0) close(capture.video_fd);
    capture.video_fd = -1;
    int status = 0;
    while (waitpid(capture.video_pid, &status, 0) < 0 && errno == EINTR) {
    }
    capture.video_pid = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void on_scene_started(int position) {
    capture.position = position;
    capture.scene_start = virtual_clock_seconds();
    capture.sheet_frame = -1;
    if (capture.sheet && position >= capture.sheet_first && position <= capture.sheet_last) {
        const double half = scene_list[position - 1].seconds / 2.0;
        capture.sheet_frame =
            virtual_clock.frame + static_cast<int64_t>(std::llround(half * virtual_clock.fps));
    }
}

void on_frame_done() {
    const int64_t k = virtual_clock.frame;
    const FrameBuffer& fb = frame_buffer;
    if (capture.frames.count(k)) {
        char name[32];
        std::snprintf(name, sizeof name, "t%07.3f.png",
                      static_cast<double>(virtual_clock_microseconds(k)) / 1e6);
        if (!write_png(capture.out / name, fb.fb_pixels, fb.fb_width, fb.fb_height)) {
            std::fprintf(stderr, "capture: cannot write %s\n", (capture.out / name).c_str());
            ++capture.failures;
        }
    }
    if (capture.video_fd >= 0 && k >= capture.video_first && k < capture.video_end) {
        const size_t bytes = static_cast<size_t>(fb.fb_width) * static_cast<size_t>(fb.fb_height) * 3;
        if (!video_write(fb.fb_pixels, bytes)) {
            std::fprintf(stderr, "capture: ffmpeg stopped reading frames\n");
            close(capture.video_fd);
            capture.video_fd = -1;
            ++capture.failures;
            scene_hooks.stop = 1;
        }
    }
    if (capture.sheet && k == capture.sheet_frame) {
        const size_t bytes = static_cast<size_t>(fb.fb_width) * static_cast<size_t>(fb.fb_height) * 3;
        capture.shots.push_back({capture.position, capture.scene_start,
                                 std::vector<uint8_t>(fb.fb_pixels, fb.fb_pixels + bytes), fb.fb_width,
                                 fb.fb_height});
    }
    virtual_clock_advance();
    const bool sheet_done =
        !capture.sheet ||
        capture.shots.size() == static_cast<size_t>(capture.sheet_last - capture.sheet_first + 1);
    if (sheet_done && virtual_clock.frame > capture.last_needed) scene_hooks.stop = 1;
}

// --- the contact sheet --------------------------------------------------------------------------------

constexpr int SHEET_COLUMNS = 6;
constexpr int THUMB_WIDTH = 320;
constexpr int LABEL_HEIGHT = 26;
constexpr int GAP = 6;
constexpr int LABEL_SCALE = 2;  // the built-in 10-pixel glyphs drawn twice as large

void draw_label(std::vector<uint8_t>& sheet, int sheet_width, int x, int y, const char* text) {
    for (int c = 0; text[c]; ++c) {
        const int code = static_cast<unsigned char>(text[c]);
        for (int row = 0; row < LATIN1_CELL * LABEL_SCALE; ++row)
            for (int col = 0; col < LATIN1_CELL * LABEL_SCALE; ++col) {
                if (!latin1_glyph_ink(LATIN1_STYLE_PLAIN, code, row / LABEL_SCALE, col / LABEL_SCALE))
                    continue;
                const int px = x + (c * (LATIN1_CELL - 1)) * LABEL_SCALE + col, py = y + row;
                uint8_t* p = &sheet[(static_cast<size_t>(py) * sheet_width + px) * 3];
                p[0] = p[1] = p[2] = 235;
            }
    }
}

bool write_contact_sheet(const fs::path& path) {
    if (capture.shots.empty()) return false;
    const int tw = THUMB_WIDTH;
    const int th = tw * capture.shots[0].height / capture.shots[0].width;
    const int rows = (static_cast<int>(capture.shots.size()) + SHEET_COLUMNS - 1) / SHEET_COLUMNS;
    const int cell_w = tw + GAP, cell_h = th + LABEL_HEIGHT + GAP;
    const int width = SHEET_COLUMNS * cell_w + GAP, height = rows * cell_h + GAP;
    std::vector<uint8_t> sheet(static_cast<size_t>(width) * height * 3, 28);
    for (size_t n = 0; n < capture.shots.size(); ++n) {
        const Capture::Shot& s = capture.shots[n];
        const int ox = GAP + static_cast<int>(n % SHEET_COLUMNS) * cell_w;
        const int oy = GAP + static_cast<int>(n / SHEET_COLUMNS) * cell_h;
        // Each thumbnail pixel the mean of the frame's pixels it covers.
        for (int y = 0; y < th; ++y)
            for (int x = 0; x < tw; ++x) {
                const int x0 = x * s.width / tw, x1 = std::max(x0 + 1, (x + 1) * s.width / tw);
                const int y0 = y * s.height / th, y1 = std::max(y0 + 1, (y + 1) * s.height / th);
                unsigned sum[3] = {0, 0, 0}, count = 0;
                for (int yy = y0; yy < y1; ++yy)
                    for (int xx = x0; xx < x1; ++xx, ++count)
                        for (int k = 0; k < 3; ++k)
                            sum[k] += s.rgb[(static_cast<size_t>(yy) * s.width + xx) * 3 + k];
                uint8_t* d = &sheet[(static_cast<size_t>(oy + y) * width + ox + x) * 3];
                for (int k = 0; k < 3; ++k) d[k] = static_cast<uint8_t>(sum[k] / count);
            }
        char label[48];
        std::snprintf(label, sizeof label, "%d   %.1f s", s.position, s.start);
        draw_label(sheet, width, ox + 4, oy + th + 3, label);
    }
    return write_png(path, sheet.data(), width, height);
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    // Paths as the caller meant them, before start-up changes into the program's folder.
    capture.out = fs::absolute(o.out);
    const fs::path sheet = o.contact_sheet.empty() ? fs::path() : fs::absolute(o.contact_sheet);
    const fs::path video = o.video.empty() ? fs::path() : fs::absolute(o.video);
    std::error_code error;
    if (!sheet.empty()) fs::create_directories(sheet.parent_path(), error);
    if (!video.empty()) fs::create_directories(video.parent_path(), error);
    if (!o.at.empty() || (o.from >= 0 && o.video.empty())) {
        fs::create_directories(capture.out, error);
        if (!fs::is_directory(capture.out)) fail("cannot make the folder " + capture.out.string());
    }

    // Standing at 0 through start-up: the pass begins at 0 and its frames at k / fps.
    virtual_clock_start(o.fps);
    for (double t : o.at) capture.frames.insert(frame_at(t));
    if (!o.video.empty()) {
        // Half open, so that a span of D seconds is exactly D x fps frames long.
        capture.video_first = static_cast<int64_t>(std::ceil(o.from * o.fps - 1e-6));
        capture.video_end = capture.video_first + std::max<int64_t>(1, std::llround((o.to - o.from) * o.fps));
    } else if (o.from >= 0)
        for (int64_t k = static_cast<int64_t>(std::ceil(o.from * o.fps - 1e-6)); k <= frame_at(o.to); ++k)
            capture.frames.insert(k);
    capture.last_needed = capture.frames.empty() ? -1 : *capture.frames.rbegin();
    if (!o.video.empty()) capture.last_needed = std::max(capture.last_needed, capture.video_end - 1);
    capture.sheet = !sheet.empty();
    capture.sheet_first = o.first_scene;
    capture.sheet_last = o.last_scene;

    system_probe();
    render_set_headless(1);
    if (!startup_load(true)) {
        std::fprintf(stderr, "capture: media files missing\n");
        return 1;
    }
    set_resolution(o.width, o.height);
    if (o.full_height) half_height(0);
    if (!o.video.empty()) {
        // A broken pipe is reported by the write, not by a signal that ends the capture unexplained.
        std::signal(SIGPIPE, SIG_IGN);
        const double first = static_cast<double>(capture.video_first) / o.fps;
        const double seconds = static_cast<double>(capture.video_end - capture.video_first) / o.fps;
        if (!video_start(video, o.width, o.height, o.fps, first, seconds)) return 1;
    }

    scene_hooks.music = 0;
    scene_hooks.scene_started = on_scene_started;
    scene_hooks.frame_done = on_frame_done;
    scene_cycle_pass();

    if (!o.video.empty() && !video_finish()) {
        std::fprintf(stderr, "capture: ffmpeg could not make %s\n", video.c_str());
        return 1;
    }

    if (capture.sheet && !write_contact_sheet(sheet)) {
        std::fprintf(stderr, "capture: cannot write %s\n", sheet.c_str());
        return 1;
    }
    return capture.failures ? 1 : 0;
}
