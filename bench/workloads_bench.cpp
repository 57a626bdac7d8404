// The renderer's standard workloads through the whole frame (clear and every pass of render_scene,
// headless, no presentation), at 512 x 256, 1280 x 720 and 1920 x 1080, with the engine's own thread
// rules on this machine:
//   fill      200 opaque textured quads covering the frame, back to front: 200 x W x H written pixels
//   fill_f2b  the same front to back: the first is written, the other 199 fail the depth test
//   small     200,000 untextured per-vertex-coloured triangles of about 4 px^2 at random depths
//   park      about 94,000 triangles like the demo's outdoor world: a 128 x 128-cell terrain (32,768
//             triangles, 256 x 256 RGB texture, per-vertex colour), a 16-segment sky sphere (512), 300
//             blended tree quads (128 x 128 RGBA with transparent areas) and 20 figures of 3,000 triangles
//             (64 x 64 RGBA) 10 to 45 m away, seen from eye height across the terrain
// Counters: frames per second, and millions of pixels written per second (the nominal work of a frame).
#include <benchmark/benchmark.h>

#include "render/pipeline.h"
#include "workloads.h"

namespace {

using workloads::build_park;
using workloads::build_quads;
using workloads::build_small;

void run_frames(benchmark::State& state, double pixels_per_frame) {
    for (int i = 0; i < 10; ++i) render_scene();  // warm-up: world triangles built, caches filled
    for (auto _ : state) benchmark::DoNotOptimize(render_scene());
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["Mpx/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * pixels_per_frame / 1e6, benchmark::Counter::kIsRate);
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

void BM_park(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    build_park(w, h);
    run_frames(state, 1.0 * w * h);
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Args({512, 256})->Args({1280, 720})->Args({1920, 1080});
    b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
}

BENCHMARK(BM_fill)->Apply(sizes);
BENCHMARK(BM_fill_f2b)->Apply(sizes);
BENCHMARK(BM_small)->Apply(sizes);
BENCHMARK(BM_park)->Apply(sizes);

}  // namespace
