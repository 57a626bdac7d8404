// The triangle filler on its standard workloads, one frame per iteration (clear + fill), on one thread
// or on two threads drawing the two horizontal slices:
//   fill      200 screen-covering textured quads (256 x 256 RGB, white), back to front, 1920 x 1080
//   fill_f2b  the same quads front to back: one layer written, 199 rejected by the depth test
//   blend     the fill quads with a texture whose alpha varies (256 x 256 RGBA) in a tinted colour:
//             every pixel blended with the one below
//   sprites   400 particle sprites (64 x 64 RGBA, a soft disc) drawn 60 to 500 px wide, tinted, blended,
//             depth tested but not stored: the clouds of the demo's particle scenes, about 7 layers deep
//   small     200,000 untextured per-vertex-coloured triangles of about 4 px^2 at random depths, 1280 x 720
// Spans are drawn eight pixels at a time and four (the second argument), for the ratio of the two.
// Counters: frames per second and millions of pixels written per second (nominal work of the frame).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "render/raster/fill.h"

namespace {

struct Target {
    int width, height;
    std::vector<uint8_t> color;
    std::vector<uint32_t> depth;
    Target(int w, int h)
        : width(w), height(h), color(static_cast<size_t>(w) * h * 3), depth(static_cast<size_t>(w) * h) {}
};

struct Workload {
    std::vector<float> tris, uvs, shade;
    std::vector<uint8_t> texture;
    int tex_size = 0, tex_channels = 3;
    float tint = 1.0f;
    int no_depth_write = 0;
    double pixels = 0;  // the quads' area, for sprites
};

// The camera that maps world (x, -y, z) to screen (x, y) at depth z, without perspective.
FillParams base_params(Target& t) {
    FillParams p;
    p.color = t.color.data();
    p.depth = t.depth.data();
    p.width = t.width;
    p.height = t.height;
    p.extent_x = static_cast<float>(t.width);
    p.extent_y = static_cast<float>(t.height);
    p.depth_factor = 0;
    p.view_center_x = -0.5f;
    p.view_center_y = -0.5f;
    return p;
}

Workload quads(int w, int h, bool back_to_front) {
    Workload wl;
    wl.tex_size = 256;
    wl.texture.resize(256 * 256 * 3);
    std::mt19937 rng(1);
    for (auto& b : wl.texture) b = static_cast<uint8_t>(rng());
    const float fw = static_cast<float>(w), fh = static_cast<float>(h);
    for (int i = 0; i < 200; ++i) {
        const float z = back_to_front ? 300.0f - static_cast<float>(i) : 100.0f + static_cast<float>(i);
        const float q[18] = {0, 0, z, fw, 0, z, 0, -fh, z, fw, 0, z, fw, -fh, z, 0, -fh, z};
        wl.tris.insert(wl.tris.end(), q, q + 18);
        const float uv[12] = {0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 0, 1};
        wl.uvs.insert(wl.uvs.end(), uv, uv + 12);
    }
    return wl;
}

Workload blended_quads(int w, int h) {
    Workload wl = quads(w, h, true);
    wl.tex_channels = 4;
    wl.texture.resize(256 * 256 * 4);
    std::mt19937 rng(3);
    for (size_t i = 0; i < wl.texture.size(); ++i)
        wl.texture[i] = static_cast<uint8_t>(i % 4 == 3 ? 20 + rng() % 200 : rng());
    wl.tint = 0.8f;
    return wl;
}

Workload sprites(int w, int h) {
    Workload wl;
    wl.tex_size = 64;
    wl.tex_channels = 4;
    wl.texture.resize(64 * 64 * 4);
    std::mt19937 rng(4);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const float dx = (static_cast<float>(x) - 31.5f) / 32, dy = (static_cast<float>(y) - 31.5f) / 32;
            const float fall = std::max(0.0f, 1 - std::sqrt(dx * dx + dy * dy));
            uint8_t* t = &wl.texture[static_cast<size_t>(y * 64 + x) * 4];
            for (int c = 0; c < 3; ++c) t[c] = static_cast<uint8_t>(200 + rng() % 56);
            t[3] = static_cast<uint8_t>(255 * fall * (0.7f + 0.3f * static_cast<float>(rng() % 256) / 255));
        }
    wl.tint = 0.6f;
    wl.no_depth_write = 1;
    std::uniform_real_distribution<float> size(60, 500), ux(-250, static_cast<float>(w) - 250),
        uy(-250, static_cast<float>(h) - 250), uz(10, 1000);
    for (int i = 0; i < 400; ++i) {
        const float x = ux(rng), y = uy(rng), z = uz(rng), e = size(rng);
        const float q[18] = {x,     -y, z, x + e, -y,       z, x, -(y + e), z,
                             x + e, -y, z, x + e, -(y + e), z, x, -(y + e), z};
        wl.tris.insert(wl.tris.end(), q, q + 18);
        const float uv[12] = {0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 0, 1};
        wl.uvs.insert(wl.uvs.end(), uv, uv + 12);
        const float x0 = std::max(0.0f, x), x1 = std::min(static_cast<float>(w), x + e);
        const float y0 = std::max(0.0f, y), y1 = std::min(static_cast<float>(h), y + e);
        if (x1 > x0 && y1 > y0) wl.pixels += static_cast<double>((x1 - x0) * (y1 - y0));
    }
    return wl;
}

Workload small_triangles(int w, int h) {
    Workload wl;
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> ux(0, static_cast<float>(w) - 3), uy(0, static_cast<float>(h) - 3);
    std::uniform_real_distribution<float> uz(1, 1000), uc(0.1f, 1);
    for (int i = 0; i < 200000; ++i) {
        const float x = ux(rng), y = uy(rng), z = uz(rng);
        // A right triangle with legs of 2.83 px: 4 px^2.
        const float t[9] = {x, -y, z, x + 2.83f, -y, z, x, -(y + 2.83f), z};
        wl.tris.insert(wl.tris.end(), t, t + 9);
        for (int k = 0; k < 3; ++k) {
            const float c[4] = {uc(rng), uc(rng), uc(rng), 1};
            wl.shade.insert(wl.shade.end(), c, c + 4);
        }
    }
    return wl;
}

// One frame: each thread clears its slice and fills it.
void frame(Target& t, const Workload& wl, int threads) {
    auto share = [&](int index) {
        const int rows = t.height / threads;
        const int top = index * rows, bottom = index == threads - 1 ? t.height : top + rows;
        const size_t first = static_cast<size_t>(top) * t.width,
                     count = static_cast<size_t>(bottom - top) * t.width;
        std::memset(t.color.data() + first * 3, 0, count * 3);
        std::memset(t.depth.data() + first, 127, count * 4);
        FillParams p = base_params(t);
        p.tris = wl.tris.data();
        p.tri_count = static_cast<int64_t>(wl.tris.size() / 9);
        if (!wl.uvs.empty()) {
            p.uvs = wl.uvs.data();
            p.tex_pixels = wl.texture.data();
            p.tex_width = p.tex_height = wl.tex_size;
            p.tex_channels = wl.tex_channels;
        }
        p.red = p.green = p.blue = wl.tint;
        p.no_depth_write = wl.no_depth_write;
        if (!wl.shade.empty()) p.shade = wl.shade.data();
        p.slice_index = index;
        p.slice_count = threads;
        fill_part_triangles(p);
    };
    if (threads == 1) {
        share(0);
        return;
    }
    std::thread other(share, 1);
    share(0);
    other.join();
}

void run(benchmark::State& state, int w, int h, const Workload& wl, double pixels_per_frame) {
    Target t(w, h);
    const int threads = static_cast<int>(state.range(0));
    // The second argument, where given, is the span loop's width: 16 or 8 pixels (where the processor
    // has them) or 4.
    const int width = static_cast<int>(state.range(1));
    fill_set_span_width(width);
    if (fill_span_width() != width) {
        state.SkipWithError("the processor has no span loop this wide");
        return;
    }
    for (int i = 0; i < 3; ++i) frame(t, wl, threads);  // warm-up
    for (auto _ : state) {
        frame(t, wl, threads);
        benchmark::DoNotOptimize(t.color.data());
    }
    fill_set_span_width(16);
    state.counters["fps"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["Mpx/s"] =
        benchmark::Counter(pixels_per_frame / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_fill(benchmark::State& state) {
    static const Workload wl = quads(1920, 1080, true);
    run(state, 1920, 1080, wl, 200.0 * 1920 * 1080);
}

void BM_fill_f2b(benchmark::State& state) {
    static const Workload wl = quads(1920, 1080, false);
    run(state, 1920, 1080, wl, 1920.0 * 1080);
}

void BM_blend(benchmark::State& state) {
    static const Workload wl = blended_quads(1920, 1080);
    run(state, 1920, 1080, wl, 200.0 * 1920 * 1080);
}

void BM_sprites(benchmark::State& state) {
    static const Workload wl = sprites(1920, 1080);
    run(state, 1920, 1080, wl, wl.pixels);
}

void BM_small(benchmark::State& state) {
    static const Workload wl = small_triangles(1280, 720);
    run(state, 1280, 720, wl, 200000.0 * 4);
}

// Each workload on one thread and on two, with spans sixteen, eight and four pixels at a time, three
// repetitions of whole frames.
void frames(benchmark::internal::Benchmark* b, double min_time) {
    b->ArgNames({"threads", "span"})->ArgsProduct({{1, 2}, {16, 8, 4}});
    b->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3)->MinTime(min_time);
}

const bool registered = [] {
    frames(benchmark::RegisterBenchmark("BM_fill", BM_fill), 2.0);
    frames(benchmark::RegisterBenchmark("BM_fill_f2b", BM_fill_f2b), 1.0);
    frames(benchmark::RegisterBenchmark("BM_blend", BM_blend), 2.0);
    frames(benchmark::RegisterBenchmark("BM_sprites", BM_sprites), 1.0);
    frames(benchmark::RegisterBenchmark("BM_small", BM_small), 1.0);
    return true;
}();

}  // namespace
