// Renders each standard workload at each standard size, in synchronous and threaded mode, and writes the
// final frames as binary PPM files into the folder given on the command line. A change that must leave the
// images alone is checked by running this before and after it and comparing the folders byte for byte.
#include <cstdio>
#include <string>

#include "core/workers.h"
#include "display/framebuffer.h"
#include "render/pipeline.h"
#include "workloads.h"

namespace {

bool write_ppm(const std::string& path) {
    const FrameBuffer& fb = frame_buffer;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", fb.fb_width, fb.fb_height);
    const size_t bytes = static_cast<size_t>(fb.fb_width) * static_cast<size_t>(fb.fb_height) * 3;
    const bool ok = std::fwrite(fb.fb_pixels, 1, bytes, f) == bytes;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: workload_frames FOLDER\n");
        return 2;
    }
    const std::string dir = argv[1];
    const int sizes[][2] = {{512, 256}, {1280, 720}, {1920, 1080}};
    for (int synchronous = 0; synchronous < 2; ++synchronous)
        for (const workloads::Workload& w : workloads::all)
            for (const auto& s : sizes) {
                w.build(s[0], s[1]);
                worker_set_synchronous(synchronous);
                for (int i = 0; i < 3; ++i) render_scene();
                const std::string path = dir + "/" + w.name + "_" + std::to_string(s[0]) + "x" +
                                         std::to_string(s[1]) + (synchronous ? "_sync" : "") + ".ppm";
                if (!write_ppm(path)) {
                    std::fprintf(stderr, "workload_frames: cannot write %s\n", path.c_str());
                    return 1;
                }
            }
    return 0;
}
