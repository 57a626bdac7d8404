// Presentation's conversion cost beside a memcpy of the same output bytes, on one thread.
// Compare the medians: build-display/bench/bench_present --benchmark_repetitions=3
// --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "display/convert.h"

namespace {

constexpr int OUT_WIDTH = 1920;
constexpr int OUT_HEIGHT = 1080;
constexpr size_t OUT_BYTES = static_cast<size_t>(OUT_WIDTH) * OUT_HEIGHT * 4;

std::vector<uint8_t> test_frame(int width, int height) {
    std::vector<uint8_t> frame(static_cast<size_t>(width) * height * 3);
    uint32_t state = 12345;
    for (auto& byte : frame) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 16);
    }
    return frame;
}

void BM_Memcpy1920x1080x4(benchmark::State& state) {
    std::vector<uint8_t> src(OUT_BYTES, 7), dst(OUT_BYTES);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), OUT_BYTES);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(OUT_BYTES));
}

void BM_ConvertUnscaled1920x1080(benchmark::State& state) {
    std::vector<uint8_t> src = test_frame(OUT_WIDTH, OUT_HEIGHT), dst(OUT_BYTES);
    for (auto _ : state) {
        convert_rows(src.data(), OUT_WIDTH, OUT_HEIGHT, dst.data(), 4, 1, 0, OUT_HEIGHT);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(OUT_BYTES));
}

void BM_ConvertScaled1280x720To1920x1080(benchmark::State& state) {
    std::vector<uint8_t> src = test_frame(1280, 720), dst(OUT_BYTES);
    for (auto _ : state) {
        convert_scaled_rows(src.data(), 1280, 720, dst.data(), OUT_WIDTH, OUT_HEIGHT, 4, 1, 0, 1);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(OUT_BYTES));
}

}  // namespace

BENCHMARK(BM_Memcpy1920x1080x4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertUnscaled1920x1080)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConvertScaled1280x720To1920x1080)->Unit(benchmark::kMicrosecond);
