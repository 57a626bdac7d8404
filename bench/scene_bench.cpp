// Object table costs on the scene thread: moving a many-part object (dirty marking and box updates)
// and filling a large part (copying triangles into both copies, with and without fresh allocation).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "scene/object.h"
#include "scene/transform.h"

namespace {

constexpr ObjectId BENCH_OBJECT = 300;

void make_parts(int parts) {
    obj_table_reset_all();
    const float tri[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    for (int p = 0; p < parts; ++p) obj_set_part_triangles(BENCH_OBJECT, p, tri, nullptr, nullptr, 0, 1);
}

// One frame's move of a 1000-part object: the frame end has cleared the dirty flags, so every part is
// marked again and every box moves.
void BM_SetPosition1000Parts(benchmark::State& state) {
    make_parts(1000);
    PartArrays& pa = obj_table.parts[BENCH_OBJECT];
    float x = 0;
    for (auto _ : state) {
        std::memset(pa.dirty.data(), 0, 1000);
        x += 0.25f;
        obj_set_position(BENCH_OBJECT, x, 1.5f, -x);
        benchmark::DoNotOptimize(pa.box_max_i.data());
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    obj_table_reset_all();
}
BENCHMARK(BM_SetPosition1000Parts);

std::vector<float> make_tris(size_t n, int floats) {
    std::vector<float> v(n * static_cast<size_t>(floats));
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<float>(i % 977) * 0.5f;
    return v;
}

// Refilling a part of 100000 triangles (with uvs) whose arrays are already large enough.
void BM_SetPartTriangles100k(benchmark::State& state) {
    const int n = 100000;
    const std::vector<float> tris = make_tris(n, TRI_WORLD_FLOATS);
    const std::vector<float> uvs = make_tris(n, TRI_UV_FLOATS);
    obj_table_reset_all();
    for (auto _ : state) {
        obj_set_part_triangles(BENCH_OBJECT, 0, tris.data(), uvs.data(), nullptr, 1, n);
        benchmark::DoNotOptimize(obj_table.parts[BENCH_OBJECT].tri_world[0].data());
    }
    state.SetItemsProcessed(state.iterations() * n);
    state.SetBytesProcessed(state.iterations() * int64_t{n} * (36 * 2 + 24));
    obj_table_reset_all();
}
BENCHMARK(BM_SetPartTriangles100k);

// The same into a freshly cleared part: allocation and first touch included.
void BM_SetPartTriangles100kFresh(benchmark::State& state) {
    const int n = 100000;
    const std::vector<float> tris = make_tris(n, TRI_WORLD_FLOATS);
    const std::vector<float> uvs = make_tris(n, TRI_UV_FLOATS);
    obj_table_reset_all();
    for (auto _ : state) {
        obj_clear_part(BENCH_OBJECT, 0);
        obj_set_part_triangles(BENCH_OBJECT, 0, tris.data(), uvs.data(), nullptr, 1, n);
        benchmark::DoNotOptimize(obj_table.parts[BENCH_OBJECT].tri_world[0].data());
    }
    state.SetItemsProcessed(state.iterations() * n);
    obj_table_reset_all();
}
BENCHMARK(BM_SetPartTriangles100kFresh);

}  // namespace
