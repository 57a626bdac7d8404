// The object update pass in whole frames, headless at 1280 x 720 with the engine's own thread rules:
//   particles  20 emitters of 1000 particles (40,000 camera-facing quads re-emitted and rebuilt every frame)
//   figures    20 walking figures of 3,000 triangles on rig 1 (animation, path walking, skinning)
// Counters: frames per second of render_scene, and update_share, the part of a frame that the update
// pass and the transform pass (list building included) take, timed by running those steps alone on the
// same scene with the same thread counts. Run with the default --benchmark_repetitions=3 for the median.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "core/cpu.h"
#include "core/frame_stats.h"
#include "core/workers.h"
#include "display/framebuffer.h"
#include "display/window.h"
#include "render/geometry/geometry.h"
#include "render/pipeline.h"
#include "render/render_config.h"
#include "render/thread_rules.h"
#include "render/update/particles.h"
#include "render/update/paths.h"
#include "render/update/update_lists.h"
#include "render/update/update_pass.h"
#include "scene/camera.h"
#include "scene/object.h"
#include "scene/transform.h"

namespace {

constexpr int W = 1280, H = 720;
constexpr int EMITTERS = 20, PARTICLES = 1000;
constexpr int FIGURES = 20;

void reset_scene() {
    obj_table_reset_all();
    camera_reset_all();
    pipeline_reset();
    render_config = RenderConfig{};
    particle_state = ParticleState{};
    cpu_count_set(0);
    set_resolution(W, H);
    set_clear_color(0.1f, 0.1f, 0.2f);
    projection_put(0.5f, 0.28125f, 1.0f);
    frame_stats.frame_seconds = 1.0 / 60.0;
}

void build_particles() {
    reset_scene();
    camera_set(0, 2, -30, 0, 2, 0);
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> u(0, 1);
    for (ObjectId id = 1; id <= EMITTERS; ++id) {
        std::vector<float> shade(static_cast<size_t>(PARTICLES) * 2 * TRI_SHADE_FLOATS, 1.0f);
        obj_set_part_triangles(id, 0, nullptr, nullptr, shade.data(), 0, PARTICLES * 2);
        ObjectTable& t = obj_table;
        t.particle_count[id] = PARTICLES;
        t.particle_life[id] = 2.0f;
        t.particle_size[id] = 0.08f;
        t.particle_spread[id] = Vec3{0.6f, 1.5f, 0.6f};
        t.particle_base_velocity[id] = Vec3{0, 0.8f, 0};
        t.particle_flags[id] = PARTICLE_FLAG_FADE_IN;
        std::vector<float>& rec = t.particles[static_cast<size_t>(id)];
        rec.assign(static_cast<size_t>(PARTICLES) * PARTICLE_FLOATS, 0.0f);
        for (int i = 0; i < PARTICLES; ++i) {
            float* p = rec.data() + static_cast<size_t>(i) * PARTICLE_FLOATS;
            p[0] = p[1] = p[2] = -1e13f;
            p[PARTICLE_RED] = u(rng), p[PARTICLE_RED + 1] = u(rng), p[PARTICLE_RED + 2] = u(rng);
            p[PARTICLE_AGE] = 2.0f * u(rng);
        }
        const int col = (id - 1) % 5, row = (id - 1) / 5;
        obj_set_position(id, static_cast<float>(col) * 5 - 10, static_cast<float>(row) * 2 - 3,
                         static_cast<float>(row));
    }
    // Two seconds of emission so that every particle is out and drawn.
    for (int i = 0; i < 120; ++i) render_scene();
}

// A tube of about tris triangles around the bone from a to b (x, y in the figure's front plane).
void tube(std::vector<float>& out, float ax, float ay, float bx, float by, float r, int tris) {
    const int sides = 10, rings = tris / (2 * sides);
    auto at = [&](int ring, int side, float* v) {
        const float f = static_cast<float>(ring) / static_cast<float>(rings);
        const double a = 2.0 * 3.14159265358979 * side / sides;
        v[0] = ax + (bx - ax) * f + r * static_cast<float>(std::cos(a));
        v[1] = ay + (by - ay) * f;
        v[2] = r * static_cast<float>(std::sin(a));
    };
    for (int i = 0; i < rings; ++i) {
        for (int s = 0; s < sides; ++s) {
            float p[4][3];
            at(i, s, p[0]), at(i, s + 1, p[1]), at(i + 1, s + 1, p[2]), at(i + 1, s, p[3]);
            const int order[6] = {0, 1, 2, 0, 2, 3};
            for (int k : order) out.insert(out.end(), p[k], p[k] + 3);
        }
    }
}

// 3,000 triangles on rig 1's bones: torso 600, legs 600 each, arms 450 each, head 300.
std::vector<float> figure_mesh() {
    std::vector<float> m;
    tube(m, 0, 0.95f, 0, 1.45f, 0.15f, 600);
    for (float side : {1.0f, -1.0f}) {
        tube(m, side * 0.11f, 0.95f, side * 0.11f, 0.52f, 0.07f, 300);
        tube(m, side * 0.11f, 0.52f, side * 0.11f, 0.0f, 0.06f, 300);
        tube(m, side * 0.24f, 1.42f, side * 0.25f, 1.12f, 0.045f, 160);
        tube(m, side * 0.25f, 1.12f, side * 0.26f, 0.84f, 0.04f, 160);
        tube(m, side * 0.26f, 0.84f, side * 0.26f, 0.7f, 0.035f, 140);
    }
    tube(m, 0, 1.5f, 0, 1.75f, 0.1f, 300);
    return m;
}

void build_figures() {
    reset_scene();
    camera_set(0, 1.5f, -9, 0, 1, 0);
    const std::vector<float> mesh = figure_mesh();
    const int tris = static_cast<int>(mesh.size() / 9);
    for (ObjectId id = 1; id <= FIGURES; ++id) {
        obj_set_part_triangles(id, 0, mesh.data(), nullptr, nullptr, 0, tris);
        obj_set_color(id, 0.9f, 0.7f - 0.02f * static_cast<float>(id), 0.5f, 1);
        ObjectTable& t = obj_table;
        t.anim_type[id] = 1;
        t.anim_clip[id] = 0;
        t.anim_playing[id] = 1;
        t.anim_time[id] = 0.2 * id;
        const int col = (id - 1) % 5, row = (id - 1) / 5;
        const float x = static_cast<float>(col) * 1.2f - 2.4f, z = static_cast<float>(row) * 1.5f;
        obj_set_position(id, x, 0, z);
        path_push(id, x, 0, z + 1000, 0.8f, 1.25f, 90, -1, 0, 0);
    }
    render_scene();
}

// Steps 6 to 8 of a frame alone (update list, update pass, dirty list, transform) with the pipeline's
// thread counts, then the end-of-frame clearing of the listed parts.
void update_worker(int slot) {
    const WorkerSlice s = worker_slice(slot);
    object_update_pass(s.thread_index, s.thread_count);
}
void transform_worker(int slot) {
    const WorkerSlice s = worker_slice(slot);
    transform_pass(s.thread_index, s.thread_count);
}

double update_and_transform_seconds(int objects) {
    const auto t0 = std::chrono::steady_clock::now();
    UpdateLists& lists = update_lists;
    const int cpus = cpu_count();
    lists.update.count = 0;
    lists.particle_total = 0;
    for (ObjectId id = 1; id <= objects; ++id) {
        id_list_append(lists.update, id);
        lists.particle_total += obj_table.particle_count[id];
    }
    const int t = update_thread_count(cpus, lists.update.count, lists.particle_total);
    if (t > 0) worker_run_pass(t, update_worker);
    object_update_finish(t);
    const int estimate = build_dirty_list(dirty_list_split(cpus));
    GeometryState& g = geometry_state;
    if (g.dirty_count > 0)
        worker_run_pass(std::min(transform_thread_count(cpus, estimate), g.dirty_count), transform_worker);
    const auto t1 = std::chrono::steady_clock::now();
    for (int i = 0; i < g.dirty_count; ++i)
        obj_table.parts[static_cast<size_t>(g.dirty_objects[static_cast<size_t>(i)])]
            .dirty[static_cast<size_t>(g.dirty_parts[static_cast<size_t>(i)])] = 0;
    g.dirty_count = 0;
    lists.update.count = 0;
    return std::chrono::duration<double>(t1 - t0).count();
}

void run(benchmark::State& state, int objects) {
    double frame_total = 0, update_total = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        render_scene();
        const auto t1 = std::chrono::steady_clock::now();
        const double frame = std::chrono::duration<double>(t1 - t0).count();
        state.SetIterationTime(frame);
        frame_total += frame;
        update_total += update_and_transform_seconds(objects);
    }
    state.counters["fps"] =
        benchmark::Counter(frame_total > 0 ? static_cast<double>(state.iterations()) / frame_total : 0);
    state.counters["update_share"] = benchmark::Counter(frame_total > 0 ? update_total / frame_total : 0);
}

void BM_update_particles(benchmark::State& state) {
    build_particles();
    run(state, EMITTERS);
}

void BM_update_figures(benchmark::State& state) {
    build_figures();
    run(state, FIGURES);
}

BENCHMARK(BM_update_particles)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_update_figures)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace
