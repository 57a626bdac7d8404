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
// Counters: frames per second; the pixels really written in a frame (colour stored, counted by the plain
// filler on one extra frame) and millions of them per second; millions of triangles drawn per second.
// scripts/run-bench turns the medians into a table.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "core/cpu.h"
#include "render/pipeline.h"
#include "render/raster/fill.h"
#include "render/raster/raster.h"
#include "workloads.h"

namespace {

using workloads::build_park;
using workloads::build_quads;
using workloads::build_small;

// One frame through the plain filler, counting the pixels it stores; the same image as the fast path.
double frame_pixels_written() {
    raster_state.plain = 1;
    fill_reference_written_reset();
    render_scene();
    raster_state.plain = 0;
    return static_cast<double>(fill_reference_written());
}

void run_frames(benchmark::State& state) {
    for (int i = 0; i < 10; ++i) render_scene();  // warm-up: world triangles built, caches filled
    const double written = frame_pixels_written(),
                 triangles = static_cast<double>(raster_frame_triangles(INT64_MAX));
    render_scene();
    for (auto _ : state) benchmark::DoNotOptimize(render_scene());
    const double frames = static_cast<double>(state.iterations());
    state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
    state.counters["px/frame"] = written;
    state.counters["Mpx/s"] = benchmark::Counter(frames * written / 1e6, benchmark::Counter::kIsRate);
    state.counters["Mtri/s"] = benchmark::Counter(frames * triangles / 1e6, benchmark::Counter::kIsRate);
}

void BM_fill(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    build_quads(w, h, true);
    run_frames(state);
}

void BM_fill_f2b(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    build_quads(w, h, false);
    run_frames(state);
}

void BM_small(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    build_small(w, h);
    run_frames(state);
}

void BM_park(benchmark::State& state) {
    const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
    build_park(w, h);
    run_frames(state);
}

// The parallel efficiency: park and small at 1280 x 720 with the thread rules seeing one processor and
// two (the third argument).
void BM_park_cpus(benchmark::State& state) {
    build_park(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    cpu_count_set(static_cast<int>(state.range(2)));
    run_frames(state);
    cpu_count_set(0);
}

void BM_small_cpus(benchmark::State& state) {
    build_small(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    cpu_count_set(static_cast<int>(state.range(2)));
    run_frames(state);
    cpu_count_set(0);
}

void processors(benchmark::internal::Benchmark* b) {
    b->Args({1280, 720, 1})->Args({1280, 720, 2});
    b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Args({512, 256})->Args({1280, 720})->Args({1920, 1080});
    b->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
}

BENCHMARK(BM_fill)->Apply(sizes);
BENCHMARK(BM_fill_f2b)->Apply(sizes);
BENCHMARK(BM_small)->Apply(sizes);
BENCHMARK(BM_park)->Apply(sizes);
BENCHMARK(BM_park_cpus)->Apply(processors);
BENCHMARK(BM_small_cpus)->Apply(processors);

}  // namespace
