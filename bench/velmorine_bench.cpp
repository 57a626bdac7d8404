// The benchmark, a third entry beside the demo and the text test: it opens the demo's window (or, without
// a display, runs headless), shows "Loading, please wait... " while it builds its own pictures and
// scenes, then times whole frames as the viewer gets them (render, overlay, presentation): the renderer's
// standard workloads, and the demo's own timeline played on the real clock, whose frame times it also
// writes per scene as CSV and over the pass as a plot (through gnuplot). Prints one table of medians.
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/clock.h"
#include "demo/frame_report.h"
#include "demo/scene_cycle.h"
#include "demo/startup.h"
#include "display/framebuffer.h"
#include "display/window.h"
#include "overlay/elements.h"
#include "overlay/overlay.h"
#include "render/raster/fill.h"
#include "render/raster/raster.h"
#include "render/render_config.h"
#include "scene/object.h"
#include "shell/arguments.h"
#include "shell/frame.h"
#include "shell/frame_end.h"
#include "shell/probe.h"
#include "workloads.h"

namespace fs = std::filesystem;

namespace {

constexpr char USAGE[] =
    "usage: velmorine-bench [--size WxH] [--seconds N] [--workloads | --timeline [--scenes A-B]]\n"
    "                       [--half-height] [--csv FILE] [--plot FILE]\n"
    "Times whole frames on screen (in the demo's window, or headless without a display): the renderer's\n"
    "workloads (fill, fill-f2b, small, park), then the demo's timeline, a whole pass on the real clock\n"
    "(about 218 s), and prints their medians: frames per second, pixels written per frame, triangles per\n"
    "second. The timeline's frame times per scene go to a CSV file, and over the pass to a PNG plot.\n"
    "  --size WxH       frame size, 64x64 to 7680x4320 (default 1280x720)\n"
    "  --seconds N      seconds each workload is timed, 0.1 to 600 (default 5)\n"
    "  --workloads      only the workloads\n"
    "  --timeline       only the timeline\n"
    "  --scenes A-B     the timeline's scenes, by position (default 1-31)\n"
    "  --half-height    the timeline in the demo's half-height mode (default: every row rendered)\n"
    "  --csv FILE       the timeline's per-scene frame times (default timeline.csv)\n"
    "  --plot FILE      the timeline's frame times over the pass, PNG (default timeline.png)\n"
    "  --help           this text\n";

struct Options {
    int width = 1280, height = 720;
    double seconds = 5;
    bool workloads = true, timeline = true;
    int first = 1, last = SCENE_COUNT;
    bool half_height = false;
    fs::path csv = "timeline.csv", plot = "timeline.png";
};

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "velmorine-bench: %s\n%s", message.c_str(), USAGE);
    std::exit(2);
}

Options parse(int argc, char** argv) {
    Options o;
    bool only_workloads = false, only_timeline = false;
    auto value = [&](int& i) -> const char* {
        if (i + 1 >= argc) fail(std::string(argv[i]) + " needs a value");
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(USAGE, stdout);
            std::exit(0);
        } else if (a == "--size") {
            const char* v = value(i);
            if (!argument_size(v, 64, 64, 7680, 4320, &o.width, &o.height))
                fail(std::string("--size takes WxH from 64x64 to 7680x4320, not ") + v);
        } else if (a == "--seconds") {
            const char* v = value(i);
            if (!argument_number(v, &o.seconds) || !(o.seconds >= 0.1 && o.seconds <= 600))
                fail(std::string("--seconds takes a number from 0.1 to 600, not ") + v);
        } else if (a == "--workloads") {
            only_workloads = true;
        } else if (a == "--timeline") {
            only_timeline = true;
        } else if (a == "--scenes") {
            const char* v = value(i);
            if (!argument_range(v, 1, SCENE_COUNT, &o.first, &o.last))
                fail(std::string("--scenes takes A-B within 1-") + std::to_string(SCENE_COUNT) + ", not " +
                     v);
        } else if (a == "--half-height") {
            o.half_height = true;
        } else if (a == "--csv") {
            o.csv = value(i);
        } else if (a == "--plot") {
            o.plot = value(i);
        } else {
            fail("unknown argument " + a);
        }
    }
    if (only_workloads && only_timeline) fail("--workloads and --timeline exclude each other");
    if (only_workloads) o.timeline = false;
    if (only_timeline) o.workloads = false;
    return o;
}

// One row of the table.
struct Row {
    std::string name;
    int width = 0, height = 0;
    int frames = 0;
    double median_ms = 0;
    double pixels = -1;    // written per frame; -1 when not counted
    double triangles = 0;  // drawn per frame, median
};

void print_table(const std::vector<Row>& rows) {
    std::printf("| %-9s | %-11s | %7s | %10s | %13s | %8s |\n", "what", "size", "frames", "frames/s",
                "pixels/frame", "Mtri/s");
    std::printf("|-----------|-------------|--------:|-----------:|--------------:|---------:|\n");
    for (const Row& r : rows) {
        char size[24], pixels[24];
        std::snprintf(size, sizeof size, "%dx%d", r.width, r.height);
        if (r.pixels >= 0) {
            std::snprintf(pixels, sizeof pixels, "%.0f", r.pixels);
        } else {
            std::snprintf(pixels, sizeof pixels, "-");
        }
        const double fps = r.median_ms > 0 ? 1000.0 / r.median_ms : 0.0;
        std::printf("| %-9s | %-11s | %7d | %10.1f | %13s | %8.3f |\n", r.name.c_str(), size, r.frames, fps,
                    pixels, fps * r.triangles / 1e6);
    }
    std::fflush(stdout);
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[(v.size() - 1) / 2];
}

// --- on screen ------------------------------------------------------------------------------------------

// Far above the slots the scenes and the loading bar use.
constexpr int LOADING_SLOT = 990;

bool on_screen() {
    return display_state.x_display != nullptr && display_state.x_window != 0;
}

// The loading line over the last frame, shown at once; the next timed frame no longer has it.
void loading_show() {
    overlay_set_text(LOADING_SLOT, "Loading, please wait... ", TEXT_LATIN1_STYLE2, 0.05f, 0.45f, 1, 1, 1, 1,
                     0.06f, 0.3f, 0);
    overlay_present();
}

void loading_hide() {
    overlay_hide(LOADING_SLOT);
}

// A frame as the viewer gets it: the input pump and hot keys (Escape quits), the scene, the overlay and
// the presentation.
void whole_frame() {
    frame_end();
    render_frame();
}

// --- the workloads --------------------------------------------------------------------------------------

Row time_workload(const workloads::Workload& w, const Options& o) {
    loading_show();
    w.build(o.width, o.height);
    loading_hide();
    Row row{w.name, o.width, o.height};
    for (int i = 0; i < 10; ++i) whole_frame();  // warm-up: world triangles built, caches filled
    // One frame through the plain filler, which counts the pixels it stores: the same image.
    raster_state.plain = 1;
    fill_reference_written_reset();
    whole_frame();
    raster_state.plain = 0;
    row.pixels = static_cast<double>(fill_reference_written());
    std::vector<double> ms, triangles;
    double last = engine_time();
    const double end = last + o.seconds;
    while (last < end || ms.size() < 3) {
        whole_frame();
        const double now = engine_time();
        ms.push_back((now - last) * 1000.0);
        triangles.push_back(static_cast<double>(raster_frame_triangles(INT64_MAX)));
        last = now;
    }
    row.frames = static_cast<int>(ms.size());
    row.median_ms = median(ms);
    row.triangles = median(triangles);
    return row;
}

// --- the timeline ---------------------------------------------------------------------------------------

struct Timeline {
    std::vector<float> at_s;    // pass time of each frame's end
    std::vector<float> ms;      // its time since the frame before
    std::vector<int> position;  // its scene
    std::vector<double> triangles;
    float scene_start[SCENE_COUNT] = {};
    int setup_index[SCENE_COUNT] = {};  // the scene's first frame, in which it builds its objects
    int started = 0;                    // scenes started
    double last = 0;
    int current = 0;
} timeline;

// Pass time as the whole pass counts it, also when the timeline starts at a later scene.
double pass_seconds() {
    double before = 0;
    for (int p = 1; p < scene_hooks.first; ++p) before += scene_list[p - 1].seconds;
    return before + engine_time() - static_cast<double>(demo_start_time);
}

void timeline_scene_started(int position) {
    timeline.current = position;
    timeline.scene_start[position - 1] = static_cast<float>(pass_seconds());
    timeline.setup_index[position - 1] = static_cast<int>(timeline.ms.size());
    ++timeline.started;
    if (timeline.started == 1) timeline.last = engine_time();
}

void timeline_frame_done() {
    const double now = engine_time();
    timeline.at_s.push_back(static_cast<float>(pass_seconds()));
    timeline.ms.push_back(static_cast<float>((now - timeline.last) * 1000.0));
    timeline.position.push_back(timeline.current);
    timeline.triangles.push_back(static_cast<double>(raster_frame_triangles(INT64_MAX)));
    timeline.last = now;
}

// Per scene: its frames after the set-up one, their median, 95th and 99th percentile and longest times.
bool write_csv(const fs::path& path, const Options& o) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) return false;
    std::fprintf(f, "position,name,start_s,setup_ms,frames,median_ms,p95_ms,p99_ms,max_ms\n");
    for (int p = o.first; p <= o.last; ++p) {
        std::vector<float> times;
        float setup = -1;
        for (size_t i = 0; i < timeline.ms.size(); ++i) {
            if (timeline.position[i] != p) continue;
            if (static_cast<int>(i) == timeline.setup_index[p - 1]) {
                setup = timeline.ms[i];
            } else {
                times.push_back(timeline.ms[i]);
            }
        }
        const FrameTimeSummary s = frame_times_summarise(times.data(), static_cast<int>(times.size()));
        std::fprintf(f, "%d,%s,%.3f,%.2f,%d,%.2f,%.2f,%.2f,%.2f\n", p, scene_list[p - 1].name,
                     static_cast<double>(timeline.scene_start[p - 1]), static_cast<double>(setup), s.frames,
                     static_cast<double>(s.median_ms), static_cast<double>(s.p95_ms),
                     static_cast<double>(s.p99_ms), static_cast<double>(s.max_ms));
    }
    return std::fclose(f) == 0;
}

// Frame time over the pass, the scenes' starts as labelled lines, drawn by gnuplot from a data file.
bool write_plot(const fs::path& path, const Options& o) {
    const fs::path data = path.string() + ".dat";
    std::FILE* f = std::fopen(data.c_str(), "w");
    if (f == nullptr) return false;
    for (size_t i = 0; i < timeline.ms.size(); ++i)
        std::fprintf(f, "%.4f %.3f\n", static_cast<double>(timeline.at_s[i]),
                     static_cast<double>(timeline.ms[i]));
    if (std::fclose(f) != 0) return false;

    std::string script = "set terminal pngcairo size 1800,700 font 'Sans,10'\n";
    script += "set output '" + path.string() + "'\n";
    char line[256];
    std::snprintf(line, sizeof line, "set title 'Velmorine: frame time over the pass, %dx%d%s' offset 0,5\n",
                  o.width, o.height, o.half_height ? ", half height" : "");
    script += line;
    script += "set xlabel 'pass time (s)'\nset ylabel 'frame time (ms)'\nset grid ytics\n";
    script += "set logscale y\nset yrange [1:*]\nset key off\nset tmargin 9\n";
    double end = 0;
    for (int p = 1; p <= o.last; ++p) end += scene_list[p - 1].seconds;
    std::snprintf(line, sizeof line, "set xrange [%.3f:%.3f]\n",
                  static_cast<double>(timeline.scene_start[o.first - 1]), end);
    script += line;
    for (int p = o.first; p <= o.last; ++p) {
        const double x = timeline.scene_start[p - 1];
        std::snprintf(line, sizeof line,
                      "set arrow from %.3f, graph 0 to %.3f, graph 1 nohead lc rgb '#999999' dt 2\n", x, x);
        script += line;
        std::snprintf(line, sizeof line,
                      "set label '%d %s' at %.3f, graph 1 offset 0.2,0.4 rotate by 50 font 'Sans,8'\n", p,
                      scene_list[p - 1].name, x);
        script += line;
    }
    // 60 and 30 frames a second.
    script += "set arrow from graph 0, first 16.7 to graph 1, first 16.7 nohead lc rgb '#33aa33' dt 3\n";
    script += "set arrow from graph 0, first 33.3 to graph 1, first 33.3 nohead lc rgb '#cc3333' dt 3\n";
    script += "plot '" + data.string() + "' using 1:2 with points pt 7 ps 0.25 lc rgb '#1f4e9e'\n";

    std::FILE* gnuplot = popen("gnuplot", "w");
    if (gnuplot == nullptr) return false;
    std::fputs(script.c_str(), gnuplot);
    const int status = pclose(gnuplot);
    std::error_code error;
    fs::remove(data, error);
    return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

Row time_timeline(const Options& o, const fs::path& csv, const fs::path& plot, bool* written) {
    loading_show();
    obj_table_reset_all();
    // The demo's own start-up, silent: its loading bar, figures, park and pictures, its media check.
    if (!startup_load(true)) {
        std::fprintf(stderr, "velmorine-bench: media files missing\n");
        std::exit(1);
    }
    loading_hide();
    set_resolution(o.width, o.height);
    if (on_screen()) window_open(o.width, o.height, 32, frame_buffer.fb_width, frame_buffer.fb_height);
    half_height(o.half_height ? 1 : 0);

    const size_t expected = static_cast<size_t>(300 * 220);
    timeline.at_s.reserve(expected);
    timeline.ms.reserve(expected);
    timeline.position.reserve(expected);
    timeline.triangles.reserve(expected);
    scene_hooks.first = o.first;
    scene_hooks.last = o.last;
    scene_hooks.music = 0;
    scene_hooks.scene_started = timeline_scene_started;
    scene_hooks.frame_done = timeline_frame_done;
    scene_cycle_pass();

    Row row{"timeline", frame_buffer.fb_width, frame_buffer.fb_height};
    std::vector<double> ms;
    for (size_t i = 0; i < timeline.ms.size(); ++i) ms.push_back(timeline.ms[i]);
    row.frames = static_cast<int>(ms.size());
    row.median_ms = median(ms);
    row.triangles = median(timeline.triangles);
    *written = write_csv(csv, o);
    if (!*written) std::fprintf(stderr, "velmorine-bench: cannot write %s\n", csv.c_str());
    if (!write_plot(plot, o)) {
        std::fprintf(stderr, "velmorine-bench: gnuplot could not draw %s (Debian package gnuplot-nox)\n",
                     plot.c_str());
        *written = false;
    }
    return row;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);
    // Paths as the caller meant them, before the probe changes into the program's folder.
    const fs::path csv = fs::absolute(o.csv), plot = fs::absolute(o.plot);
    system_probe();
    frame_end_catch_signals();
    set_resolution(o.width, o.height);
    const char* display = std::getenv("DISPLAY");
    if (display != nullptr && display[0] != '\0') {
        window_open(o.width, o.height, 32, frame_buffer.fb_width, frame_buffer.fb_height);
        if (on_screen()) window_set_title("Velmorine! benchmark");
    }
    if (!on_screen()) {
        // The same frames, kept in the frame buffer: the terminal would time the terminal.
        render_set_headless(1);
        overlay_state.headless = 1;
    }
    render_config.frame_clear = 1;
    std::printf("velmorine-bench: %s, %dx%d\n", on_screen() ? "on screen" : "headless", o.width, o.height);

    std::vector<Row> rows;
    if (o.workloads)
        for (const workloads::Workload& w : workloads::all) rows.push_back(time_workload(w, o));
    bool written = true;
    if (o.timeline) rows.push_back(time_timeline(o, csv, plot, &written));
    print_table(rows);
    if (o.timeline && written) std::printf("per scene: %s\nplot: %s\n", csv.c_str(), plot.c_str());
    return written ? 0 : 1;
}
