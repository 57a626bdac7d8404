// The overlay's cost per frame at 1920 x 1080 on one thread: a static screen of 20 elements (after its
// first frame only the merge runs), 20 moving elements (tiles redrawn every frame), 20 static captions,
// 20 waving outlined captions (set anew every frame, as the scenes do), one waving caption as the credits
// show it, and the merge alone (eight pixels at a time and four) beside a memcpy of the frame's bytes.
// Compare the medians: build/bench/bench_overlay --benchmark_repetitions=5
// --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "assets/texture.h"
#include "core/cpu.h"
#include "display/framebuffer.h"
#include "overlay/elements.h"
#include "overlay/glyphs.h"
#include "overlay/overlay.h"
#include "overlay/text.h"

namespace {

constexpr int WIDTH = 1920, HEIGHT = 1080, ELEMENTS = 20;
constexpr size_t FRAME_BYTES = static_cast<size_t>(WIDTH) * HEIGHT * 3;

// Named, so that the glyph cache, which takes the first slot without a name, leaves the pictures alone.
void make_texture(int slot, int size, int channels) {
    std::vector<uint8_t> px(static_cast<size_t>(size * size * channels));
    for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i * 7);
    tex_set_pixels(slot, 1, px.data(), size, size, channels, TEX_COPIED);
    const char name[] = {'b', 'e', 'n', 'c', 'h', static_cast<char>('0' + slot), 0};
    tex_set_name(slot, name);
}

// Rectangles, small pictures and faded glyph-sized images spread over the frame, as a scene's captions
// and panels would be.
void setup_scene() {
    cpu_count_set(1);
    set_resolution(WIDTH, HEIGHT);
    overlay_reset();
    overlay_table_reset();
    // Every case starts without glyphs: an earlier case's glyphs may sit in the slots the pictures take.
    glyph_cache_reset();
    make_texture(1, 64, 3);
    make_texture(2, 16, 4);
    for (int k = 0; k < ELEMENTS; ++k) {
        const int slot = k + 1;
        const float x = 0.04f * static_cast<float>(k), y = 0.045f * static_cast<float>(k);
        overlay_set_image_color(slot, x, y, 0.12f, 0.08f, nullptr, 0.3f + 0.03f * k, 0.6f, 0.9f,
                                k % 3 ? 1.0f : 0.7f);
        if (k % 3 == 1) overlay_set_texture(slot, 1);
        if (k % 3 == 2) overlay_set_texture(slot, 2);
    }
    std::memset(frame_buffer.fb_pixels, 90, FRAME_BYTES);
}

// The font table the build writes beside the benchmarks' folder.
void load_font() {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string path = n > 0 ? std::string(exe, static_cast<size_t>(n)) : std::string();
    path = path.substr(0, path.find_last_of('/') + 1) + "../" + UNIFONT_FILE;
    font_load(path.c_str());
}

// Twenty lines of text, half Japanese through the Unicode font, half in the built-in glyphs.
void setup_captions() {
    setup_scene();
    overlay_hide_from(1, 1);
    load_font();
    for (int k = 0; k < ELEMENTS; ++k) {
        const float y = 0.04f + 0.045f * static_cast<float>(k);
        if (k % 2)
            overlay_set_text(k + 1, "\xe5\xa4\x9c\xe3\x81\xae\xe5\x85\xac\xe5\x9c\x92 park at night",
                             TEXT_UTF8, 0.05f, y, 1, 1, 1, 1, 0.04f, 0.5f, 0);
        else
            overlay_set_text(k + 1, "Velmorine caption line", TEXT_LATIN1, 0.05f, y, 1, 0.8f, 0.3f, 1, 0.04f,
                             0.5f, 0);
    }
}

void waving_captions(int frame) {
    for (int k = 0; k < ELEMENTS; ++k)
        caption_wave(100 + 100 * k, "Velmorine", 0.05f + 0.04f * static_cast<float>(k % 4),
                     0.04f + 0.045f * static_cast<float>(k), 1, 0.15f, 0.45f, 1, 0.05f, 0.36f,
                     12.0f * static_cast<float>(frame));
}

void overlay_frame() {
    text_prepare_glyphs();
    overlay_frame_prepare();
    const OverlayState& os = overlay_state;
    overlay_merge(frame_buffer.fb_pixels, WIDTH, HEIGHT, os.buffer.data(), os.buffer_width, os.buffer_height,
                  0, 1);
}

void BM_OverlayStatic20(benchmark::State& state) {
    setup_scene();
    overlay_frame();
    for (auto _ : state) {
        overlay_frame();
        benchmark::ClobberMemory();
    }
}

void BM_OverlayMoving20(benchmark::State& state) {
    setup_scene();
    int frame = 0;
    for (auto _ : state) {
        ++frame;
        for (int k = 0; k < ELEMENTS; ++k) {
            const float t = 0.002f * static_cast<float>((frame * (k + 3)) % 300);
            overlay_set_pos(k + 1, 0.04f * static_cast<float>(k) + t,
                            0.045f * static_cast<float>(k) + t * 0.5f);
        }
        overlay_frame();
        benchmark::ClobberMemory();
    }
}

void BM_CaptionsStatic20(benchmark::State& state) {
    setup_captions();
    overlay_frame();
    for (auto _ : state) {
        overlay_frame();
        benchmark::ClobberMemory();
    }
}

void BM_CaptionsWaving20(benchmark::State& state) {
    setup_captions();
    overlay_hide_from(1, 1);
    int frame = 0;
    for (auto _ : state) {
        waving_captions(++frame);
        overlay_frame();
        benchmark::ClobberMemory();
    }
}

// One credit line as the corridor shows it: centred, 0.11 of the frame high, the Latin advance, the
// outline in the credits' colour, waving at 140 degrees a second at 60 frames a second. A frame of its
// own (not inlined) so that an instruction profile can collect exactly the frames the loop times.
constexpr char CREDIT_LINE[] = "THE VELMORINE TEAM";
constexpr float CREDIT_SIZE = 0.11f, CREDIT_ADVANCE = 0.3f;

[[gnu::noinline]] void credit_caption_frame(int frame) {
    const float width = CREDIT_SIZE * (CREDIT_ADVANCE * static_cast<float>(sizeof CREDIT_LINE - 2) + 0.5f);
    const float phase = 140.0f * static_cast<float>(frame) / 60.0f;
    caption_wave(100, CREDIT_LINE, 0.5f - width * 0.5f, 0.2f - CREDIT_SIZE * 0.5f, 0.55f, 0.1f, 0.25f, 1,
                 CREDIT_SIZE, CREDIT_ADVANCE, phase);
    overlay_frame();
}

void BM_CaptionWaving1(benchmark::State& state) {
    setup_captions();
    overlay_hide_from(1, 1);
    // The first frame draws every tile: the loop times the frames after it.
    int frame = 0;
    credit_caption_frame(frame);
    for (auto _ : state) {
        credit_caption_frame(++frame);
        benchmark::ClobberMemory();
    }
}

// The argument: pixels merged at a time (8 where the processor has AVX2, or 4).
void BM_Merge(benchmark::State& state) {
    overlay_set_wide_merge(state.range(0) == 8);
    if (state.range(0) == 8 && !overlay_wide_merge()) {
        state.SkipWithError("no eight-pixel merge on this processor");
        return;
    }
    setup_scene();
    overlay_frame_prepare();
    const OverlayState& os = overlay_state;
    for (auto _ : state) {
        overlay_merge(frame_buffer.fb_pixels, WIDTH, HEIGHT, os.buffer.data(), os.buffer_width,
                      os.buffer_height, 0, 1);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(FRAME_BYTES));
    overlay_set_wide_merge(true);
}

void BM_MemcpyFrame(benchmark::State& state) {
    std::vector<uint8_t> src(FRAME_BYTES, 7), dst(FRAME_BYTES);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), FRAME_BYTES);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(FRAME_BYTES));
}

}  // namespace

BENCHMARK(BM_OverlayStatic20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OverlayMoving20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CaptionsStatic20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CaptionsWaving20)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CaptionWaving1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Merge)->Arg(8)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemcpyFrame)->Unit(benchmark::kMicrosecond);
