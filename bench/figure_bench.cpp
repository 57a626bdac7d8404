// The figure builder: one figure from a person picture and its back picture (the whole build on the
// 25 x 25 x 25 cube), and the duplicate test of its mesher, fast and plain, on that figure's triangles.
#include <benchmark/benchmark.h>

#include <vector>

#include "assets/figure_build.h"

namespace {

constexpr int W = 64, H = 128;

// A standing person from boxes: head, torso, arms held away from the body, two legs apart.
std::vector<uint8_t> person_picture(uint8_t shade) {
    struct Box {
        int x0, y0, x1, y1;
    };
    const Box boxes[] = {{24, 4, 40, 22},  {28, 22, 36, 30},  {20, 30, 44, 76},
                         {10, 32, 17, 74}, {47, 32, 54, 74},  {17, 32, 20, 40},
                         {44, 32, 47, 40}, {20, 76, 30, 124}, {34, 76, 44, 124}};
    std::vector<uint8_t> px(static_cast<size_t>(W) * H * 4, 0);
    for (const Box& b : boxes) {
        for (int y = b.y0; y < b.y1; ++y) {
            for (int x = b.x0; x < b.x1; ++x) {
                uint8_t* p = &px[(static_cast<size_t>(y) * W + static_cast<size_t>(x)) * 4];
                p[0] = static_cast<uint8_t>(x * 4);
                p[1] = static_cast<uint8_t>(y * 2);
                p[2] = shade;
                p[3] = 255;
            }
        }
    }
    return px;
}

void BM_FigureBuildWithBack(benchmark::State& state) {
    const std::vector<uint8_t> front = person_picture(40), back = person_picture(200);
    const FigurePicture f{front.data(), W, H, 4}, b{back.data(), W, H, 4};
    size_t triangles = 0;
    for (auto _ : state) {
        FigureMesh mesh;
        figure_build(f, &b, 1, mesh);
        triangles = (mesh.front_tris.size() + mesh.back_tris.size()) / 9;
        benchmark::DoNotOptimize(mesh.front_tris.data());
    }
    state.counters["triangles"] = static_cast<double>(triangles);
}
BENCHMARK(BM_FigureBuildWithBack)->Unit(benchmark::kMillisecond);

std::vector<FigureTriangle> candidates() {
    const std::vector<uint8_t> front = person_picture(40), back = person_picture(200);
    const FigurePicture f{front.data(), W, H, 4}, b{back.data(), W, H, 4};
    FigureMesh mesh;
    std::vector<FigureTriangle> raw;
    figure_build(f, &b, 1, mesh, &raw);
    return raw;
}

void BM_UniqueTrianglesHashed(benchmark::State& state) {
    const std::vector<FigureTriangle> raw = candidates();
    for (auto _ : state) benchmark::DoNotOptimize(figure_unique_triangles(raw).data());
    state.counters["candidates"] = static_cast<double>(raw.size());
}
BENCHMARK(BM_UniqueTrianglesHashed)->Unit(benchmark::kMillisecond);

void BM_UniqueTrianglesReference(benchmark::State& state) {
    const std::vector<FigureTriangle> raw = candidates();
    for (auto _ : state) benchmark::DoNotOptimize(figure_unique_triangles_reference(raw).data());
}
BENCHMARK(BM_UniqueTrianglesReference)->Unit(benchmark::kMillisecond);

}  // namespace
