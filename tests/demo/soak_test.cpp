// The soak: the program as a user runs it, for one or more whole passes and into the next, under a
// private X server at 1280 x 720 with its music going to files. Every 10 s a monitor samples its
// resident memory and checks that no zombie and no orphaned player is about; every pass restarts the
// theme from its beginning; after the first pass memory stays flat; the frame-time report covers every
// scene and, in the plain build, no frame but a scene's set-up frame takes over 250 ms. Then Escape ends
// it with status 0 and no player of its music is left behind. VELMORINE_SOAK_PASSES sets the passes
// (default 1; `make soak` plays 3). The thread-sanitizer build runs it too (label threads): any report
// there fails it. Takes as long as the passes it plays.
// gtest before Xlib: Xlib's macros (None, Bool) break gtest's templates.
#include <gtest/gtest.h>
// clang-format off
#include <X11/Xlib.h>
// clang-format on
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
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
using vmtest::TempDir;

namespace {

constexpr int WIDTH = 1280, HEIGHT = 720;
constexpr int SCENES = 31;
// A pass lasts as long as the music, about 218 s, on any machine: the scenes run on the real clock.
constexpr int PASS_SECONDS = 218;
// Each of the 31 scenes ends with the first frame past its time, and a slow frame overruns it: under the
// sanitizers, on a busy machine, frames take seconds (a pass of the thread-sanitizer build took about
// 290 s at a load of 15 on 2 processors).
#ifdef VELMORINE_SANITIZED
constexpr int PASS_SLACK_SECONDS = 150;
#else
constexpr int PASS_SLACK_SECONDS = 15;
#endif
// From the window to the first pass's music: the rest of the loading and the theme's decode.
constexpr int START_SLACK_SECONDS = 75;
constexpr int SAMPLE_SECONDS = 10;

// The files the players wrote, oldest first: one per player, each opening its own (the shell's $$).
std::vector<fs::path> sound_files(const TempDir& dir) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        if (entry.path().filename().string().rfind("snd-", 0) == 0) files.push_back(entry.path());
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
        return fs::last_write_time(a) < fs::last_write_time(b);
    });
    return files;
}

struct ProcStat {
    bool ok = false;
    char state = '?';
    int ppid = 0;
};

// /proc/PID/stat: the state and parent follow the last ')', since the command name may hold any byte.
ProcStat proc_stat(const fs::path& dir) {
    ProcStat s;
    const std::string text = vmtest::read_file((dir / "stat").string());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return s;
    std::istringstream in(text.substr(close + 1));
    in >> s.state >> s.ppid;
    s.ok = !in.fail();
    return s;
}

// What is wrong about the program's processes now: a copy that is neither the demo nor its child (an
// orphaned player), or a zombie among them (a zombie has no exe link, so the demo's children are
// looked at by parent). Empty when all is well.
std::string process_faults(const std::string& program, pid_t demo) {
    std::string faults;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = std::stoi(name);
        const ProcStat s = proc_stat(entry.path());
        if (!s.ok) continue;
        std::error_code error;
        const fs::path exe = fs::read_symlink(entry.path() / "exe", error);
        const bool copy = !error && exe == program;
        if (copy && pid != demo && s.ppid != demo)
            faults += "orphaned player " + name + " (parent " + std::to_string(s.ppid) + ")\n";
        if ((copy || pid == demo || s.ppid == demo) && s.state == 'Z') faults += "zombie " + name + "\n";
    }
    return faults;
}

// Resident memory in KiB (VmRSS), -1 when the process is gone.
long resident_kib(pid_t pid) {
    std::istringstream in(vmtest::read_file("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

struct Sample {
    double minutes;  // since the window appeared
    long kib;
};

// Least-squares slope of the samples, KiB per minute; 0 with fewer than two distinct times.
double slope_kib_per_minute(const std::vector<Sample>& samples) {
    const double n = static_cast<double>(samples.size());
    double sx = 0, sy = 0;
    for (const Sample& s : samples) {
        sx += s.minutes;
        sy += static_cast<double>(s.kib);
    }
    double sxx = 0, sxy = 0;
    for (const Sample& s : samples) {
        const double dx = s.minutes - sx / n;
        sxx += dx * dx;
        sxy += dx * (static_cast<double>(s.kib) - sy / n);
    }
    return sxx > 0 ? sxy / sxx : 0;
}

// One scene's line in the frame-time report.
struct SceneLine {
    int pass = 0, position = 0, frames = 0, width = 0, height = 0;
    double setup_ms = 0, median_ms = 0, p95_ms = 0, p99_ms = 0, max_ms = 0;
    std::string name;
};

std::vector<SceneLine> read_report(const std::string& text) {
    std::vector<SceneLine> lines;
    std::istringstream in(text);
    std::string line;
    int pass = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line.rfind("pass ", 0) == 0) {
            pass = std::atoi(line.c_str() + 5);
            continue;
        }
        SceneLine s;
        s.pass = pass;
        std::istringstream fields(line);
        fields >> s.position >> s.setup_ms >> s.frames >> s.median_ms >> s.p95_ms >> s.p99_ms >> s.max_ms >>
            s.width >> s.height;
        std::getline(fields >> std::ws, s.name);
        if (!fields.fail()) lines.push_back(s);
    }
    return lines;
}

int soak_passes() {
    const char* text = std::getenv("VELMORINE_SOAK_PASSES");
    const int n = text != nullptr ? std::atoi(text) : 1;
    return std::clamp(n, 1, 50);
}

TEST(Soak, PassesAt1280x720WithTheThemeEachPassFlatMemoryAndEvenFramesThenEscapeLeavesNothingBehind) {
    const int passes = soak_passes();
    vmtest::Xvfb x;
    ASSERT_TRUE(x.ok());
    TempDir dir;
    const std::string conf =
        dir.write("asound.conf", "pcm.!default {\n type file\n slave.pcm { type null }\n file \"|cat > " +
                                     dir.path() + "/snd-$$.raw\"\n format \"raw\"\n}\n");
    const std::string report = dir / "frames.txt";
    // Frame times say as much about the machine's other work as about the demo: the load goes with them,
    // and the pacing bound holds the demo to account only when it had the processors to itself.
    const std::string load_at_start = vmtest::read_file("/proc/loadavg");
    [[maybe_unused]] const bool quiet =
        std::strtod(load_at_start.c_str(), nullptr) < static_cast<double>(sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("load average at the start: %s", load_at_start.c_str());
    const std::string program = fs::canonical(vmtest::build_dir() + "/velmorine");
    ChildProcess demo({program},
                      {{"DISPLAY", x.name()}, {"ALSA_CONFIG_PATH", conf}, {"VELMORINE_FRAME_REPORT", report}},
                      dir.path());
    ASSERT_TRUE(demo.started());
    Display* dpy = XOpenDisplay(x.name().c_str());
    ASSERT_NE(dpy, nullptr);
    const Window w = vmtest::wait_for_window(dpy, "Velmorine!", 30);
    ASSERT_NE(w, 0u) << demo.err();
    const auto began = std::chrono::steady_clock::now();

    // No window manager: the size asked for is the size it gets, and the demo adopts it.
    ASSERT_EQ(std::system(("DISPLAY=" + x.name() + " xdotool windowsize " + std::to_string(w) + " " +
                           std::to_string(WIDTH) + " " + std::to_string(HEIGHT) + " >/dev/null 2>&1")
                              .c_str()),
              0);
    XWindowAttributes attributes{};
    for (int i = 0; i < 100; ++i) {
        XGetWindowAttributes(dpy, w, &attributes);
        if (attributes.width == WIDTH && attributes.height == HEIGHT) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_EQ(attributes.width, WIDTH);
    ASSERT_EQ(attributes.height, HEIGHT);

    // The theme's first two seconds, 16-bit stereo at 44100 Hz, written once each pass; the run ends
    // when the pass after the last one has written its opening.
    constexpr uintmax_t OPENING = 2 * 44100 * 4;
    const auto deadline =
        began + std::chrono::seconds(passes * (PASS_SECONDS + PASS_SLACK_SECONDS) + START_SLACK_SECONDS);
    std::vector<fs::path> files;
    std::vector<Sample> samples;
    double second_pass_minutes = -1;  // when the second pass's music began
    auto next_sample = began;
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        const double minutes = std::chrono::duration<double>(now - began).count() / 60.0;
        files = sound_files(dir);
        if (second_pass_minutes < 0 && files.size() >= 2) second_pass_minutes = minutes;
        std::error_code error;
        if (files.size() >= static_cast<size_t>(passes) + 1 &&
            fs::file_size(files[static_cast<size_t>(passes)], error) >= OPENING)
            break;
        if (now > deadline) break;
        if (now >= next_sample) {
            next_sample += std::chrono::seconds(SAMPLE_SECONDS);
            const long kib = resident_kib(demo.pid());
            ASSERT_GT(kib, 0) << "the demo is gone: " << demo.err();
            samples.push_back(Sample{minutes, kib});
            std::string faults = process_faults(program, demo.pid());
            // A killed player stays a zombie until the next frame's poll reaps it: a fault is one that
            // is still there a few seconds (many frames) later.
            for (int i = 0; i < 30 && !faults.empty(); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                faults = process_faults(program, demo.pid());
            }
            ASSERT_EQ(faults, "") << "at " << minutes << " min";
        }
        demo.collect();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }

    std::printf("resident memory, every %d s (minutes since the window appeared, KiB):\n", SAMPLE_SECONDS);
    for (const Sample& s : samples) std::printf("  %6.2f  %ld\n", s.minutes, s.kib);
    ASSERT_GE(files.size(), static_cast<size_t>(passes) + 1)
        << "pass " << passes + 1 << " never started its music";

    // Every pass's music starts where the first one's did.
    const std::string first = vmtest::read_file(files[0]);
    ASSERT_GE(first.size(), OPENING);
    EXPECT_NE(first.find_first_not_of('\0', 0), std::string::npos);
    for (int pass = 2; pass <= passes + 1; ++pass) {
        const std::string later = vmtest::read_file(files[static_cast<size_t>(pass - 1)]);
        ASSERT_GE(later.size(), OPENING) << "pass " << pass;
        EXPECT_TRUE(first.compare(0, OPENING, later, 0, OPENING) == 0)
            << "pass " << pass << "'s music starts elsewhere";
    }

    // Memory after the first pass, when every scene has built its things once.
    std::vector<Sample> later;
    for (const Sample& s : samples)
        if (second_pass_minutes >= 0 && s.minutes >= second_pass_minutes) later.push_back(s);
    if (later.size() >= 2) {
        const double slope = slope_kib_per_minute(later);
        std::printf("resident memory after the first pass: %zu samples, slope %.1f KiB/min\n", later.size(),
                    slope);
        // The bound: glibc grows its heap in steps of the request plus a 128 KiB pad, and one such step
        // within the two later passes of the 3-pass soak (about 7 minutes) fits a slope of up to about
        // 35 KiB/min; 64 allows one and not three. A leak of 1 KiB a frame (some 1.8 MiB/min at 30
        // frames a second) or of 8 KiB a scene (about 70 KiB/min) shows above it.
        if (passes >= 3) {
            EXPECT_LT(slope, 64.0);
        }
    }

    // The frame-time report of the finished passes (each written before the next pass's music).
    const std::string report_text = vmtest::read_file(report);
    std::printf("load average at the end: %s", vmtest::read_file("/proc/loadavg").c_str());
    std::printf("frame-time report:\n%s", report_text.c_str());
    const std::string kept = vmtest::build_dir() + "/soak-frame-report.txt";
    if (std::FILE* f = std::fopen(kept.c_str(), "w")) {
        std::fputs(report_text.c_str(), f);
        std::fclose(f);
        std::printf("frame-time report kept in %s\n", kept.c_str());
    }
    const std::vector<SceneLine> lines = read_report(report_text);
#ifdef VELMORINE_SANITIZED
    // The sanitizers run many times slower: there only the counts are checked.
    const char* unchecked = "a sanitizer build";
#else
    const char* unchecked = quiet ? nullptr : "other work had the processors at the start";
#endif
    const bool check_pacing = unchecked == nullptr;
    if (!check_pacing) std::printf("frame times not held to 250 ms: %s\n", unchecked);
    for (int pass = 1; pass <= passes; ++pass) {
        int seen = 0;
        for (const SceneLine& s : lines) {
            if (s.pass != pass) continue;
            ++seen;
            EXPECT_EQ(s.position, seen) << "pass " << pass;
            // The window was resized in the first scene: from the second pass on every scene ends at its
            // size.
            if (pass > 1 || s.position == SCENES) {
                EXPECT_EQ(s.width, WIDTH) << "pass " << pass << " scene " << s.position;
                EXPECT_EQ(s.height, HEIGHT) << "pass " << pass << " scene " << s.position;
            }
            if (check_pacing) {
                EXPECT_LE(s.max_ms, 250.0) << "pass " << pass << " scene " << s.position << " " << s.name;
            }
        }
        EXPECT_EQ(seen, SCENES) << "pass " << pass;
    }

    // Escape in the window, as a user presses it.
    ASSERT_EQ(std::system(("DISPLAY=" + x.name() + " xdotool windowfocus --sync " + std::to_string(w) +
                           " key Escape >/dev/null 2>&1")
                              .c_str()),
              0);
    EXPECT_EQ(demo.wait(60), 0) << demo.err();
    EXPECT_EQ(demo.err().find("Sanitizer"), std::string::npos) << demo.err();
    XCloseDisplay(dpy);
    // Its players die with their channel's stop, not later with the end of a theme.
    int left = vmtest::running_copies(program);
    for (int i = 0; i < 50 && left > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        left = vmtest::running_copies(program);
    }
    EXPECT_EQ(left, 0);
}

}  // namespace
