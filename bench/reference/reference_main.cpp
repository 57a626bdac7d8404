// reference_gl: one standard workload at one size drawn by the reference renderer (Mesa's llvmpipe through
// OSMesa), timed as the comparison with the engine does it, one cell per process:
//   set-up (the workload built by the engine's builders, read back, uploaded) is not timed;
//   10 warm-up frames (stopping after 5 s, at least 1), then 100 timed frames (stopping after 20 s once 3
//   are timed); fps = timed frames / timed seconds.
// Prints one CSV line: driver,threads,workload,width,height,triangles,warmup_frames,frames,seconds,fps
// (--header prints the field names first). --ppm FILE also writes the last frame, to compare with the
// engine's (bench/workload_frames).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "reference_gl.h"
#include "reference_scene.h"

namespace {

struct Options {
    std::string workload;
    int width = 0, height = 0;
    int threads = 2;          // llvmpipe rasteriser threads (LP_NUM_THREADS)
    int warmup_frames = 10;   // frames before the timing starts
    int frames = 100;         // timed frames
    double max_warmup = 5;    // seconds of warm-up at most
    double max_seconds = 20;  // seconds of timing after which a slow cell stops ...
    int min_frames = 3;       // ... once this many frames are timed
    bool header = false;
    std::string ppm;
};

void usage() {
    std::fprintf(stderr,
                 "usage: reference_gl --workload fill|fill-f2b|small|park --size WxH [--threads N]\n"
                 "                    [--warmup N] [--frames N] [--max-warmup S] [--max-seconds S]\n"
                 "                    [--ppm FILE] [--header]\n");
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--header") {
            o.header = true;
            continue;
        }
        if (i + 1 >= argc) return false;
        const char* v = argv[++i];
        if (a == "--workload") {
            o.workload = v;
        } else if (a == "--size") {
            if (std::sscanf(v, "%dx%d", &o.width, &o.height) != 2) return false;
        } else if (a == "--threads") {
            o.threads = std::atoi(v);
        } else if (a == "--warmup") {
            o.warmup_frames = std::atoi(v);
        } else if (a == "--frames") {
            o.frames = std::atoi(v);
        } else if (a == "--max-warmup") {
            o.max_warmup = std::atof(v);
        } else if (a == "--max-seconds") {
            o.max_seconds = std::atof(v);
        } else if (a == "--ppm") {
            o.ppm = v;
        } else {
            return false;
        }
    }
    // 16384 on a side: past what the frame buffer object of this GL allows anyway.
    return ref_workload_known(o.workload) && o.width > 0 && o.height > 0 && o.width <= 16384 &&
           o.height <= 16384 && o.threads >= 0 && o.warmup_frames >= 1 && o.frames >= 1;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool write_ppm(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", width, height);
    const bool ok = std::fwrite(rgb.data(), 1, rgb.size(), f) == rgb.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        usage();
        return 2;
    }
    // Read by Mesa when the context is made: the driver unless the caller chose one, and its threads.
    setenv("GALLIUM_DRIVER", "llvmpipe", 0);
    setenv("LP_NUM_THREADS", std::to_string(o.threads).c_str(), 1);

    RefScene scene;
    if (!ref_build_scene(o.workload, o.width, o.height, scene)) return 2;
    RefGl gl;
    if (!refgl_open(scene, gl)) return 1;

    const auto warm_start = std::chrono::steady_clock::now();
    int warmed = 0;
    while (warmed < o.warmup_frames && !(warmed >= 1 && seconds_since(warm_start) > o.max_warmup)) {
        refgl_frame(gl);
        ++warmed;
    }
    const auto start = std::chrono::steady_clock::now();
    int timed = 0;
    while (timed < o.frames && !(timed >= o.min_frames && seconds_since(start) > o.max_seconds)) {
        refgl_frame(gl);
        ++timed;
    }
    const double seconds = seconds_since(start);

    if (!o.ppm.empty()) {
        std::vector<uint8_t> rgb;
        refgl_read_rgb(gl, rgb);
        if (!write_ppm(o.ppm, scene.width, scene.height, rgb)) {
            std::fprintf(stderr, "reference_gl: cannot write %s\n", o.ppm.c_str());
            refgl_close(gl);
            return 1;
        }
    }
    if (o.header)
        std::printf("driver,threads,workload,width,height,triangles,warmup_frames,frames,seconds,fps\n");
    std::printf("%s,%d,%s,%d,%d,%lld,%d,%d,%.4f,%.3f\n", std::getenv("GALLIUM_DRIVER"), o.threads,
                o.workload.c_str(), scene.width, scene.height, static_cast<long long>(scene.triangles),
                warmed, timed, seconds, static_cast<double>(timed) / seconds);
    refgl_close(gl);
    return 0;
}
