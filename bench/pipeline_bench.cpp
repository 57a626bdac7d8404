// The whole 3D frame (clear, lists, transform, raster, end of frame) headless at 1280 x 720, with the
// engine's own thread rules:
//   moving  100 objects x 1000 triangles, every object turned and moved each frame, so every part is
//           re-transformed (the geometry pass's cost on top of the raster)
//   static  the same objects textured (256 x 256 RGB) and still: the geometry pass has nothing to do
//   geometry_moving  the moving scene's list building and transform alone, on one thread (triangles/s)
// The argument is the processor count the rules see (0: this machine's). Counters: frames per second
// and triangles drawn per frame. Run with --benchmark_repetitions=3 for the median (the default here).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "assets/texture.h"
#include "core/cpu.h"
#include "display/framebuffer.h"
#include "display/window.h"
#include "render/geometry/geometry.h"
#include "render/pipeline.h"
#include "render/raster/raster.h"
#include "render/render_config.h"
#include "scene/camera.h"
#include "scene/object.h"
#include "scene/transform.h"

namespace {

constexpr int W = 1280, H = 720;
constexpr int OBJECTS = 100, TRIANGLES = 1000;

// A ball of small triangles of radius 1 around the origin: each triangle a little facet on the surface.
std::vector<float> ball(std::mt19937& rng, std::vector<float>& uvs) {
    std::uniform_real_distribution<float> u(-1, 1);
    std::vector<float> tris;
    for (int i = 0; i < TRIANGLES; ++i) {
        float x, y, z, len;
        do {
            x = u(rng), y = u(rng), z = u(rng);
            len = std::sqrt(x * x + y * y + z * z);
        } while (len < 0.1f || len > 1.0f);
        x /= len, y /= len, z /= len;
        const float s = 0.12f;
        const float t[9] = {x, y, z, x + s * u(rng), y + s * u(rng), z, x, y + s * u(rng), z + s * u(rng)};
        tris.insert(tris.end(), t, t + 9);
        for (int k = 0; k < 6; ++k) uvs.push_back((u(rng) + 1) * 0.5f);
    }
    return tris;
}

void build(bool textured, int cpus) {
    obj_table_reset_all();
    tex_reset();
    camera_reset_all();
    pipeline_reset();
    render_config = RenderConfig{};
    cpu_count_set(0);
    if (cpus > 0) cpu_count_set(cpus);
    set_resolution(W, H);
    set_clear_color(0.1f, 0.1f, 0.2f);
    camera_set(0, 0, -40, 0, 0, 0);
    projection_put(0.5f, 0.28125f, 1.0f);

    std::mt19937 rng(3);
    static std::vector<uint8_t> texels(256 * 256 * 3);
    for (auto& b : texels) b = static_cast<uint8_t>(rng());
    tex_set_pixels(1, 0, texels.data(), 256, 256, 3, TEX_COPIED);
    for (ObjectId id = 1; id <= OBJECTS; ++id) {
        std::vector<float> uvs;
        const std::vector<float> tris = ball(rng, uvs);
        obj_set_part_triangles(id, 0, tris.data(), textured ? uvs.data() : nullptr, nullptr, textured ? 1 : 0,
                               TRIANGLES);
        const int col = (id - 1) % 10, row = (id - 1) / 10;
        obj_set_position(id, static_cast<float>(col) * 2.2f - 9.9f, static_cast<float>(row) * 1.2f - 5.4f,
                         static_cast<float>(id % 3));
        obj_set_color(id, 0.4f + 0.006f * static_cast<float>(id), 0.8f, 0.6f, 1);
    }
}

void run(benchmark::State& state, bool moving, bool textured) {
    build(textured, static_cast<int>(state.range(0)));
    render_scene();
    int64_t frame = 0, drawn = 0;
    for (auto _ : state) {
        ++frame;
        if (moving) {
            const float t = static_cast<float>(frame) * 0.01f;
            for (ObjectId id = 1; id <= OBJECTS; ++id) {
                const Vec3 p = obj_table.position[id];
                obj_set_rotation(id, t * 30.0f, t * 50.0f + static_cast<float>(id), 0);
                obj_set_position(id, p.x, p.y, std::sin(t + static_cast<float>(id)) + 1.0f);
            }
        }
        render_scene();
        drawn += raster_state.polys_drawn;
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["tris_per_frame"] = benchmark::Counter(
        state.iterations() ? static_cast<double>(drawn) / static_cast<double>(state.iterations()) : 0);
}

void BM_pipeline_moving(benchmark::State& state) {
    run(state, true, false);
}
void BM_pipeline_static_textured(benchmark::State& state) {
    run(state, false, true);
}

void BM_geometry_moving(benchmark::State& state) {
    build(false, 1);
    int64_t frame = 0;
    for (auto _ : state) {
        const float t = static_cast<float>(++frame) * 0.01f;
        for (ObjectId id = 1; id <= OBJECTS; ++id)
            obj_set_rotation(id, t * 30.0f, t * 50.0f + static_cast<float>(id), 0);
        build_dirty_list(0);
        transform_pass(0, 1);
        for (ObjectId id = 1; id <= OBJECTS; ++id) obj_table.parts[static_cast<size_t>(id)].dirty[0] = 0;
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["tris_per_s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * OBJECTS * TRIANGLES, benchmark::Counter::kIsRate);
}

BENCHMARK(BM_pipeline_moving)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_pipeline_static_textured)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_geometry_moving)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace
