// The renderer's standard workloads through the whole frame (clear and every pass of render_scene,
// headless, no presentation), at 512 x 256, 1280 x 720 and 1920 x 1080, with the engine's own thread
// rules on this machine:
//   fill      200 opaque textured quads covering the frame, back to front: 200 x W x H written pixels
//   fill_f2b  the same front to back: the first is written, the other 199 fail the depth test
//   small     200,000 untextured per-vertex-coloured triangles of about 4 px^2 at random depths
// Counters: frames per second, and millions of pixels written per second (the nominal work of a frame).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "assets/texture.h"
#include "display/framebuffer.h"
#include "render/pipeline.h"
#include "render/render_config.h"
#include "scene/camera.h"
#include "scene/object.h"

namespace {

// A camera without perspective that maps world (x, -y, z) to the pixel (x, y) at depth z, so the
// workloads can be laid out in pixels and cover exactly the frame.
void pixel_camera(int width, int height) {
    camera_eye_put(0, 0, 0);
    camera_angles_put(0, 0, 0);
    projection_put(static_cast<float>(width), static_cast<float>(height), 0);
    view_center_put(-0.5f, -0.5f);
}

void reset_scene(int width, int height) {
    obj_table_reset_all();
    pipeline_reset();
    set_resolution(width, height);
    half_height(0);
    render_set_headless(1);
    pixel_camera(width, height);
}

TextureId noise_texture(const char* name, int size) {
    std::vector<uint8_t> pixels(static_cast<size_t>(size) * size * 3);
    std::mt19937 rng(1);
    for (auto& b : pixels) b = static_cast<uint8_t>(rng());
    TextureId t = tex_load(name);  // no such file: a named slot without pixels
    tex_set_pixels(t, 1, pixels.data(), size, size, 3, TEX_COPIED);
    return t;
}

void build_quads(int width, int height, bool back_to_front) {
    reset_scene(width, height);
    TextureId tex = noise_texture("bench_noise_256", 256);
    const float w = static_cast<float>(width), h = static_cast<float>(height);
    for (int i = 0; i < 200; ++i) {
        const float z = back_to_front ? 300.0f - static_cast<float>(i) : 100.0f + static_cast<float>(i);
        const float tris[18] = {0, 0, z, w, 0, z, 0, -h, z, w, 0, z, w, -h, z, 0, -h, z};
        const float uvs[12] = {0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 0, 1};
        obj_set_part_triangles(i + 1, 0, tris, uvs, nullptr, tex, 2);
    }
}

void build_small(int width, int height) {
    reset_scene(width, height);
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> ux(0, static_cast<float>(width) - 3);
    std::uniform_real_distribution<float> uy(0, static_cast<float>(height) - 3);
    std::uniform_real_distribution<float> uz(1, 1000), uc(0.1f, 1);
    constexpr int PARTS = 200, PER_PART = 1000;
    std::vector<float> tris, shade;
    for (int part = 0; part < PARTS; ++part) {
        tris.clear();
        shade.clear();
        for (int i = 0; i < PER_PART; ++i) {
            const float x = ux(rng), y = uy(rng), z = uz(rng);
            // A right triangle with legs of 2.83 px: 4 px^2.
            const float t[9] = {x, -y, z, x + 2.83f, -y, z, x, -(y + 2.83f), z};
            tris.insert(tris.end(), t, t + 9);
            for (int k = 0; k < 3; ++k) {
                const float c[4] = {uc(rng), uc(rng), uc(rng), 1};
                shade.insert(shade.end(), c, c + 4);
            }
        }
        obj_set_part_triangles(1, part, tris.data(), nullptr, shade.data(), 0, PER_PART);
    }
}

void run_frames(benchmark::State& state, double pixels_per_frame) {
    for (int i = 0; i < 10; ++i) render_scene();  // warm-up: world triangles built, caches filled
    for (auto _ : state) benchmark::DoNotOptimize(render_scene());
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["Mpx/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * pixels_per_frame / 1e6,
                                                 benchmark::Counter::kIsRate);
}

void BM_fill(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    build_quads(w, h, true);
    run_frames(state, 200.0 * w * h);
}

void BM_fill_f2b(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    build_quads(w, h, false);
    run_frames(state, 1.0 * w * h);
}

void BM_small(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    build_small(w, h);
    run_frames(state, 200000.0 * 4);
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Args({512, 256})->Args({1280, 720})->Args({1920, 1080});
    b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
}

BENCHMARK(BM_fill)->Apply(sizes);
BENCHMARK(BM_fill_f2b)->Apply(sizes);
BENCHMARK(BM_small)->Apply(sizes);

}  // namespace
