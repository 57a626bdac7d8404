// The merge pass: the screen-space post effects on the 3D image, the overlay buffer laid over it and the
// trail, row by row; each slice of rows runs on its own thread (the pipeline thread and workers 1..11) and
// writes only its rows of the frame, of its depth plane and of the trail. Also the copy-out and the
// overlay-only frame of start-up.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/cpu.h"
#include "core/frame_stats.h"
#include "core/log.h"
#include "core/rgb4.h"
#include "core/rgb8.h"
#include "core/slices.h"
#include "core/workers.h"
#include "display/framebuffer.h"
#include "display/present.h"
#include "overlay/overlay.h"

namespace {

const char MERGE_SIZE_MESSAGE[] =
    "A SPRITEBUFFER ES KEPBUFFER OSSZEFUTTATO MERETENEK EGYEZNIE KELL A SPRITEBUFFER FELBONTASAVAL, MERT "
    "MASKULONBEN NEM TUNT BIZALOMGERJESZTONEK AZ A PIPELINE, SZTEM SZARRA FOG SZALLNI, ES LUSTA VOLTAM "
    "MEGIRNI. ELVILEG KISZEDTEM A FUGGVENYT IS, AMIVEL EZT AT LEHETNE ALLITTANI, HOGY A FASZOMBA ALLITODOTT "
    "AT, HOGY TRIGGERELODJON EZ AZ ESEMENY? NEM LESZ KEPED, VAZZEGH!\n";

// Neighbouring depths further apart than this are an edge worth smoothing.
constexpr uint32_t EDGE_DEPTH_STEP = 15;
// Frames below this many pixels are copied out on one thread: a second one costs more than it saves.
constexpr int64_t COPY_OUT_SPLIT_PIXELS = 20481;

// What the effects of this frame need, decided once per slice.
struct EffectPlan {
    int speckle, edge, glow;
    int combined;     // several effects, or the switches that ask for the combined path
    int blur;         // the depth blur (combined path only)
    int glow_byte;    // a channel above this is bright
    int glow_window;  // o: pixels averaged
    int glow_shift;   // s
};

int glow_byte_of(float threshold) {
    const float b = threshold * 255.0f;
    if (!(b < 255.0f)) return 255;  // NaN too: no glow
    return b < 0.0f ? 0 : static_cast<int>(b);
}

EffectPlan effect_plan(int width) {
    const OverlayEffects& e = overlay_state.effects;
    EffectPlan p{};
    p.speckle = e.speckle != 0;
    p.edge = e.edge_smooth != 0;
    p.glow_byte = glow_byte_of(e.glow_threshold);
    const float span = static_cast<float>(width) * e.glow_width;
    const float window =
        (span > 0.0f && span < 1e7f) ? e.projection_ratio * static_cast<float>(static_cast<int>(span)) : 0.0f;
    p.glow_window = window > 0.0f && window < 1e7f ? static_cast<int>(window) : 0;
    p.glow_shift = std::clamp(e.glow_strength, 0, 16);
    // A window of one pixel would make the running average's weight negative.
    p.glow = p.glow_byte < 255 && p.glow_window >= 2;
    p.combined = p.speckle + p.edge + p.glow > 1 || e.depth_blur != 0 || e.second_effect != 0;
    p.blur = e.depth_blur != 0 && overlay_state.blur_ready;
    return p;
}

// Rows of a merge slice. Glow writes the odd row under each even one, so with glow the slices start on
// even rows and every 2 x 2 block stays inside one slice.
RowRange merge_rows(int height, int slice, int slices, bool even) {
    if (!even) return slice_rows(height, slice, slices);
    if (slices < 2 || slice < 0 || slice >= slices) return RowRange{0, height};
    const int rows = (height / slices) & ~1;
    const int first = slice * rows;
    return RowRange{first, slice == slices - 1 ? height : first + rows};
}

// A pixel nearer than both neighbours (or a pair of them nearer than the pixels around the pair) is a
// speckle: it takes the average of the pixels beside it.
// `write_depth`: the pixel also takes the average depth (not while the blur reads other rows' depths).
void speckle_row(uint8_t* row, uint32_t* depth, int width, bool write_depth) {
    for (int x = 1; x + 1 < width; ++x) {
        const uint32_t d = depth[x];
        int right = -1;
        if (d < depth[x - 1] && d < depth[x + 1]) {
            right = x + 1;
        } else if (x + 2 < width && d < depth[x - 1] && depth[x + 1] < depth[x - 1] && d < depth[x + 2] &&
                   depth[x + 1] < depth[x + 2]) {
            right = x + 2;
        }
        if (right < 0) continue;
        const uint8_t* a = row + static_cast<size_t>(x - 1) * 3;
        const uint8_t* b = row + static_cast<size_t>(right) * 3;
        const uint32_t dd = static_cast<uint32_t>((static_cast<uint64_t>(depth[x - 1]) + depth[right]) / 2);
        for (int k = x; k < right; ++k) {
            uint8_t* p = row + static_cast<size_t>(k) * 3;
            for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>((a[c] + b[c]) / 2);
            if (write_depth) depth[k] = dd;
        }
        x = right - 1;
    }
}

// Depth blur of row y from the copy of the frame taken before the merge: with a radius, every third
// pixel at least `blur_depth` deep becomes the average of itself and of those of its four neighbours at
// the radius (halved when it is nearer than `blur_near_depth`) that are that deep too, and the next two
// pixels take the same colour; without a radius, every pixel becomes the average of itself, its left and
// right neighbours and the pixel below.
uint32_t depth_units(float depth) {
    const float d = depth * 1024.0f;
    if (!(d > 0.0f)) return 0;
    return d >= 4294967040.0f ? 0xFFFFFF00u : static_cast<uint32_t>(d);
}

void blur_row(uint8_t* row, const uint8_t* src, const uint32_t* depth, int width, int height, int y) {
    const OverlayEffects& e = overlay_state.effects;
    const size_t w = static_cast<size_t>(width);
    auto at = [&](int x, int yy) { return src + (static_cast<size_t>(yy) * w + static_cast<size_t>(x)) * 3; };
    if (!(e.blur_radius > 0.0f)) {
        for (int x = 0; x < width; ++x) {
            uint32_t sum[3] = {0, 0, 0}, n = 0;
            const int xs[4] = {x, x - 1, x + 1, x}, ys[4] = {y, y, y, y + 1};
            for (int k = 0; k < 4; ++k) {
                if (xs[k] < 0 || xs[k] >= width || ys[k] >= height) continue;
                for (int c = 0; c < 3; ++c) sum[c] += at(xs[k], ys[k])[c];
                ++n;
            }
            for (int c = 0; c < 3; ++c)
                row[static_cast<size_t>(x) * 3 + static_cast<size_t>(c)] = static_cast<uint8_t>(sum[c] / n);
        }
        return;
    }
    const float fx = std::min(e.blur_radius * static_cast<float>(width) * e.projection_ratio, 1e6f);
    const float fy = std::min(e.blur_radius * static_cast<float>(height), 1e6f);
    const int rx = fx > 0.0f ? static_cast<int>(fx) : 0, ry = static_cast<int>(fy);
    const uint32_t deep = depth_units(e.blur_depth), near = depth_units(e.blur_near_depth);
    for (int x = 0; x < width; x += 3) {
        const uint32_t d = depth[static_cast<size_t>(y) * w + static_cast<size_t>(x)];
        if (d < deep) continue;
        const int hx = d < near ? rx / 2 : rx, hy = d < near ? ry / 2 : ry;
        uint32_t sum[3] = {0, 0, 0}, n = 0;
        const int xs[5] = {x, x - hx, x + hx, x, x}, ys[5] = {y, y, y, y - hy, y + hy};
        for (int k = 0; k < 5; ++k) {
            if (xs[k] < 0 || xs[k] >= width || ys[k] < 0 || ys[k] >= height) continue;
            if (k > 0 && depth[static_cast<size_t>(ys[k]) * w + static_cast<size_t>(xs[k])] < deep) continue;
            for (int c = 0; c < 3; ++c) sum[c] += at(xs[k], ys[k])[c];
            ++n;
        }
        for (int k = x; k < x + 3 && k < width; ++k)
            for (int c = 0; c < 3; ++c)
                row[static_cast<size_t>(k) * 3 + static_cast<size_t>(c)] = static_cast<uint8_t>(sum[c] / n);
    }
}

void edge_smooth_row(uint8_t* row, const uint32_t* depth, int width) {
    for (int x = 0; x + 1 < width; ++x) {
        const uint32_t a = depth[x], b = depth[x + 1];
        if ((a > b ? a - b : b - a) <= EDGE_DEPTH_STEP) continue;
        uint8_t* p = row + static_cast<size_t>(x) * 3;
        for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>((p[c] + p[c + 3]) / 2);
    }
}

// Glow of one even row onto its 2 x 2 blocks (this row and `next`, when there is one): a running 16.16
// average per channel of the bright pixels ahead; where it rises high enough it is added to the block.
// `excess` adds only what a bright channel has above the threshold.
void glow_row(uint8_t* row, uint8_t* next, int width, const EffectPlan& p, bool excess) {
    const int o = p.glow_window, b = p.glow_byte, s = p.glow_shift;
    auto bright = [&](const uint8_t* q) { return q[0] > b || q[1] > b || q[2] > b; };
    auto level = [&](int v) { return excess ? std::max(v - b, 0) : v; };
    int64_t avg[3] = {0, 0, 0};
    for (int x = 0; x < o && x < width; x += 3) {
        const uint8_t* q = row + static_cast<size_t>(x) * 3;
        if (!bright(q)) continue;
        for (int c = 0; c < 3; ++c) avg[c] += level(q[c]);
    }
    for (int64_t& a : avg) a = (a << 16) / o;
    const int ahead = static_cast<int>(0.6 * o);
    const int64_t above = 0xFFFF >> (s + 1);
    for (int x = 0; x < width; x += 2) {
        const int xa = x + ahead;
        const uint8_t* q = xa < width ? row + static_cast<size_t>(xa) * 3 : nullptr;
        const bool lit = q && bright(q);
        for (int c = 0; c < 3; ++c) {
            avg[c] = (avg[c] * (2 * o - 3) + (lit ? int64_t{65536} * level(q[c]) : 0)) / (2 * o);
            if (avg[c] <= above) continue;
            const int add = static_cast<int>(std::min<int64_t>(avg[c] >> (16 - s), 255));
            uint8_t* targets[4] = {row + static_cast<size_t>(x) * 3, row + static_cast<size_t>(x + 1) * 3,
                                   next ? next + static_cast<size_t>(x) * 3 : nullptr,
                                   next ? next + static_cast<size_t>(x + 1) * 3 : nullptr};
            for (int t = 0; t < 4; ++t) {
                if (!targets[t] || ((t & 1) != 0 && x + 1 >= width)) continue;
                targets[t][c] = static_cast<uint8_t>(std::min(targets[t][c] + add, 255));
            }
        }
    }
}

#if defined(__SSE2__)
// Four overlay pixels over four frame pixels, with the pixel rule of merge_row below in 16-bit lanes:
// every product and sum stays under 2^16, and x / 255 for x <= 255 * 255 is (x + 1 + x / 256) / 256.
void merge_four(uint8_t* out, const uint8_t* in) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i over = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i under = rgb4::unpack(rgb4::load12(out));  // the frame's pixels spread like the overlay's
    auto mix = [&](__m128i o, __m128i f) {
        const __m128i c =
            _mm_shufflehi_epi16(_mm_shufflelo_epi16(o, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
        const __m128i x =
            _mm_add_epi16(_mm_mullo_epi16(f, _mm_sub_epi16(_mm_set1_epi16(255), c)), _mm_mullo_epi16(o, c));
        const __m128i blended =
            _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, _mm_set1_epi16(1)), _mm_srli_epi16(x, 8)), 8);
        const __m128i replace = _mm_cmpgt_epi16(c, _mm_set1_epi16(253));
        const __m128i keep = _mm_cmpeq_epi16(c, zero);
        const __m128i r = _mm_or_si128(_mm_and_si128(replace, o), _mm_andnot_si128(replace, blended));
        return _mm_or_si128(_mm_and_si128(keep, f), _mm_andnot_si128(keep, r));
    };
    const __m128i merged =
        _mm_and_si128(_mm_packus_epi16(mix(_mm_unpacklo_epi8(over, zero), _mm_unpacklo_epi8(under, zero)),
                                       mix(_mm_unpackhi_epi8(over, zero), _mm_unpackhi_epi8(under, zero))),
                      _mm_set1_epi32(0xFFFFFF));
    rgb4::store12(out, rgb4::pack(merged));
}
#endif

#if defined(HAVE_RGB8)
// merge_four's mix of two pixels' 16-bit channels, on both 128-bit halves at once.
RGB8_TARGET inline __m256i merge_mix(__m256i o, __m256i f) {
    const __m256i c =
        _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(o, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
    const __m256i x = _mm256_add_epi16(_mm256_mullo_epi16(f, _mm256_sub_epi16(_mm256_set1_epi16(255), c)),
                                       _mm256_mullo_epi16(o, c));
    const __m256i blended = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_add_epi16(x, _mm256_set1_epi16(1)), _mm256_srli_epi16(x, 8)), 8);
    const __m256i replace = _mm256_cmpgt_epi16(c, _mm256_set1_epi16(253));
    const __m256i keep = _mm256_cmpeq_epi16(c, _mm256_setzero_si256());
    return _mm256_blendv_epi8(_mm256_blendv_epi8(blended, o, replace), f, keep);
}

// Eight overlay pixels over eight frame pixels where the processor has AVX2: merge_four's operations on
// pixels 0-3 in the low half and 4-7 in the high one, so the pixels are the same.
RGB8_TARGET void merge_eight(uint8_t* out, const uint8_t* in) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i over = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    const __m256i under = rgb8::load24(out);
    rgb8::store24(out, _mm256_packus_epi16(
                           merge_mix(_mm256_unpacklo_epi8(over, zero), _mm256_unpacklo_epi8(under, zero)),
                           merge_mix(_mm256_unpackhi_epi8(over, zero), _mm256_unpackhi_epi8(under, zero))));
}

// Whether merge_row takes eight pixels at a time: from the start where the processor has AVX2, until a
// test turns it off.
std::atomic<bool> wide_merge{rgb8::supported()};
#endif

// The overlay over one row. Runs of empty overlay pixels, the common case, are skipped eight at a time;
// a block of eight with any coverage is merged at once where AVX2 is there, four pixels at a time where
// SSE2 is, else pixel by pixel.
void merge_row(uint8_t* out, const uint8_t* in, int width) {
    constexpr uint64_t COVERAGE = 0xFF000000FF000000ull;  // the coverage bytes of two pixels
    constexpr int BLOCK = 8;
#if defined(HAVE_RGB8)
    const bool wide = wide_merge.load(std::memory_order_relaxed);
#endif
    int n = width;
    while (n > 0) {
        if (n >= BLOCK) {
            uint64_t q[BLOCK / 2];
            std::memcpy(q, in, sizeof q);
            if (((q[0] | q[1] | q[2] | q[3]) & COVERAGE) == 0) {
                in += BLOCK * 4;
                out += BLOCK * 3;
                n -= BLOCK;
                continue;
            }
#if defined(__SSE2__)
#if defined(HAVE_RGB8)
            if (wide) {
                merge_eight(out, in);
            } else
#endif
            {
                merge_four(out, in);
                merge_four(out + 12, in + 16);
            }
            in += BLOCK * 4;
            out += BLOCK * 3;
            n -= BLOCK;
            continue;
#endif
        }
        for (int k = n < BLOCK ? n : BLOCK; k > 0; --k, --n, in += 4, out += 3) {
            const uint32_t c = in[3];
            if (c > 253) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
            } else if (c != 0) {
                const uint32_t rest = 255 - c;
                out[0] = static_cast<uint8_t>((out[0] * rest + in[0] * c) / 255);
                out[1] = static_cast<uint8_t>((out[1] * rest + in[1] * c) / 255);
                out[2] = static_cast<uint8_t>((out[2] * rest + in[2] * c) / 255);
            }
        }
    }
}

// The overlay over row y, leaving out the tiles the tile pass found empty; `edges` are the tile grid's
// column edges in pixels, `tile_row` the grid row holding y.
void merge_row_tiles(uint8_t* out, const uint8_t* in, const int* edges, const uint8_t* tile_row) {
    for (int c = 0; c < OVERLAY_TILES;) {
        if (tile_row[c]) {
            ++c;
            continue;
        }
        int end = c + 1;
        while (end < OVERLAY_TILES && !tile_row[end]) ++end;
        const size_t x = static_cast<size_t>(edges[c]);
        merge_row(out + x * 3, in + x * 4, edges[end] - edges[c]);
        c = end;
    }
}

void trail_row(uint8_t* out, uint8_t* trail, int width) {
    const uint32_t f = static_cast<uint32_t>(overlay_state.trail_new_weight);
    const uint32_t g = static_cast<uint32_t>(overlay_state.trail_old_weight);
    for (size_t n = static_cast<size_t>(width) * 3; n > 0; --n, ++out, ++trail) {
        const uint8_t v = static_cast<uint8_t>((g * *trail + f * *out) >> 16);
        *out = v;
        *trail = v;
    }
}

void copy_out_worker(int) {
    const OverlayState& os = overlay_state;
    overlay_copy_out(os.buffer.data(), os.buffer_width, os.buffer_height, frame_buffer.fb_pixels, 1, 2);
}

}  // namespace

int overlay_effects_on() {
    const OverlayEffects& e = overlay_state.effects;
    return e.speckle || e.edge_smooth || glow_byte_of(e.glow_threshold) < 255 || e.depth_blur ||
           e.second_effect || overlay_state.trail_seconds > 0;
}

int overlay_merge_slice_count(int cpu_count, int width, int height) {
    const OverlayEffects& e = overlay_state.effects;
    int n = std::min(cpu_count, 12);
    const int64_t pixels = static_cast<int64_t>(width) * height;
    if (glow_byte_of(e.glow_threshold) < 255 || e.depth_blur || e.second_effect) {
        if (pixels < 500000) {
            n = std::min(n, 4);
        } else if (pixels <= 1799999 && n >= 9 && overlay_state.opteron_six_core && cpu_count / 2 == 6) {
            // A machine of two six-core Opterons merges these mid-sized frames best in six slices.
            n = 6;
        }
    } else {
        n = std::min(n, pixels > 1799999 ? 4 : 2);
    }
    return n < 1 ? 1 : n;
}

void overlay_set_trail(float seconds) {
    OverlayState& os = overlay_state;
    os.trail_seconds = seconds > 0 ? seconds : 0;
    if (!(seconds > 0)) os.trail_initialised = 0;
}

void overlay_merge_prepare(int width, int height) {
    OverlayState& os = overlay_state;
    const FrameBuffer& fb = frame_buffer;
    os.blur_ready = 0;
    if (os.effects.depth_blur && fb.fb_pixels && fb.fb_depth && fb.fb_width == width &&
        fb.fb_height == height && width > 0 && height > 0) {
        os.blur_source.assign(fb.fb_pixels,
                              fb.fb_pixels + static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
        os.blur_ready = 1;
    }
    os.trail_new_weight = os.trail_old_weight = 0;
    if (!(os.trail_seconds > 0) || width <= 0 || height <= 0) return;
    if (os.trail_width != width || os.trail_height != height) {
        os.trail.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
        os.trail_width = width;
        os.trail_height = height;
        os.trail_initialised = 0;
    }
    const double fps = frame_stats.frames_per_second;
    const double w = 1.0 / (os.trail_seconds * fps);
    // A trail shorter than one frame would weigh the new frame more than fully.
    if (!(fps > 0) || os.trail_seconds < 1.0 / fps || !(w <= 1.0)) {
        os.trail_initialised = 0;
        return;
    }
    if (!os.trail_initialised) {
        os.trail_new_weight = 65536;
        os.trail_old_weight = 0;
    } else if (w < 0.0001) {
        // The slowest fade that still moves: the old weight must leave some of the new frame in.
        os.trail_new_weight = 6;
        os.trail_old_weight = 65529;
    } else {
        os.trail_new_weight = static_cast<int>(w * 65536);
        os.trail_old_weight = static_cast<int>((1 - w) * 65536);
    }
}

void overlay_merge_finish() {
    OverlayState& os = overlay_state;
    if (os.trail_new_weight > 0) os.trail_initialised = 1;
}

void overlay_merge(uint8_t* frame, int frame_width, int frame_height, const uint8_t* buffer, int buffer_width,
                   int buffer_height, int slice, int slices) {
    if (frame_width != buffer_width || frame_height != buffer_height) {
        // The overlay always follows the frame's size; a mismatch means the frame changed under the pass.
        // This runs on a merge slice's thread while other slices still read the overlay and the frame:
        // exit() would run the static destructors and exit handlers under them, so the process ends at
        // once. The message leaves through a plain write, with nothing buffered to flush.
        log_message(LogStream::out, MERGE_SIZE_MESSAGE);
        _exit(1);
    }
    if (frame == nullptr || buffer == nullptr || frame_width <= 0 || frame_height <= 0) return;
    if (slices < 1) slices = 1;
    if (slice < 0 || slice >= slices) return;
    OverlayState& os = overlay_state;
    const EffectPlan plan = effect_plan(frame_width);
    const RowRange rows = merge_rows(frame_height, slice, slices, plan.glow);
    const FrameBuffer& fb = frame_buffer;
    uint32_t* depth = frame == fb.fb_pixels && fb.fb_width == frame_width && fb.fb_height == frame_height
                          ? fb.fb_depth
                          : nullptr;
    uint8_t* trail =
        os.trail_new_weight > 0 && os.trail_width == frame_width && os.trail_height == frame_height
            ? os.trail.data()
            : nullptr;
    const size_t w = static_cast<size_t>(frame_width);
    // The overlay buffer's own tiles tell which hold nothing; any other buffer is merged whole.
    const bool by_tiles =
        buffer == os.buffer.data() && buffer_width == os.buffer_width && buffer_height == os.buffer_height;
    int column_edges[OVERLAY_TILES + 1], row_edges[OVERLAY_TILES + 1];
    for (int k = 0; k <= OVERLAY_TILES; ++k) {
        column_edges[k] = static_cast<int>(static_cast<int64_t>(k) * frame_width / OVERLAY_TILES);
        row_edges[k] = static_cast<int>(static_cast<int64_t>(k) * frame_height / OVERLAY_TILES);
    }
    int tile_row = 0;
    for (int y = rows.first; y < rows.end; ++y) {
        uint8_t* row = frame + static_cast<size_t>(y) * w * 3;
        uint32_t* zrow = depth ? depth + static_cast<size_t>(y) * w : nullptr;
        if (depth && plan.blur) blur_row(row, os.blur_source.data(), depth, frame_width, frame_height, y);
        if (zrow && plan.speckle) speckle_row(row, zrow, frame_width, !plan.blur);
        if (zrow && plan.edge) edge_smooth_row(row, zrow, frame_width);
        if (plan.glow && (y & 1) == 0) {
            uint8_t* next = y + 1 < frame_height ? row + w * 3 : nullptr;
            glow_row(row, next, frame_width, plan, plan.combined != 0);
        }
        if (by_tiles) {
            while (tile_row < OVERLAY_TILES - 1 && y >= row_edges[tile_row + 1]) ++tile_row;
            merge_row_tiles(row, buffer + static_cast<size_t>(y) * w * 4, column_edges,
                            os.tile_empty + tile_row * OVERLAY_TILES);
        } else {
            merge_row(row, buffer + static_cast<size_t>(y) * w * 4, frame_width);
        }
        if (trail) trail_row(row, trail + static_cast<size_t>(y) * w * 3, frame_width);
    }
}

void overlay_set_wide_merge(bool on) {
#if defined(HAVE_RGB8)
    wide_merge.store(on && rgb8::supported(), std::memory_order_relaxed);
#else
    (void)on;
#endif
}

bool overlay_wide_merge() {
#if defined(HAVE_RGB8)
    return wide_merge.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

void overlay_merge_rows_reference(uint8_t* frame, const uint8_t* buffer, int width, int first, int end) {
    for (int y = first; y < end; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t i = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
            uint8_t* out = frame + i * 3;
            const uint8_t* in = buffer + i * 4;
            const int c = in[3];
            for (int k = 0; k < 3; ++k) {
                if (c == 0) continue;
                if (c > 253) {
                    out[k] = in[k];
                } else {
                    out[k] = static_cast<uint8_t>((out[k] * (255 - c) + in[k] * c) / 255);
                }
            }
        }
    }
}

void overlay_copy_out(const uint8_t* buffer, int width, int height, uint8_t* frame, int slice, int slices) {
    if (!buffer || !frame || width <= 0 || height <= 0) return;
    if (slices < 1) slices = 1;
    if (slice < 0 || slice >= slices) return;
    const RowRange rows = slice_rows(height, slice, slices);
    const size_t w = static_cast<size_t>(width);
    for (int y = rows.first; y < rows.end; ++y) {
        const uint8_t* in = buffer + static_cast<size_t>(y) * w * 4;
        uint8_t* out = frame + static_cast<size_t>(y) * w * 3;
        for (size_t n = w; n > 0; --n, in += 4, out += 3) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
        }
    }
}

void overlay_present() {
    OverlayState& os = overlay_state;
    const FrameBuffer& fb = frame_buffer;
    if (overlay_build()) {
        os.overlay_content = 1;
        overlay_rasterize();
        frame_statistics_update();
        if (fb.fb_pixels && os.buffer_width == fb.fb_width && os.buffer_height == fb.fb_height) {
            const int64_t pixels = static_cast<int64_t>(fb.fb_width) * fb.fb_height;
            if (pixels < COPY_OUT_SPLIT_PIXELS || cpu_count() <= 1) {
                overlay_copy_out(os.buffer.data(), fb.fb_width, fb.fb_height, fb.fb_pixels, 0, 1);
            } else {
                worker_start(1, copy_out_worker);
                overlay_copy_out(os.buffer.data(), fb.fb_width, fb.fb_height, fb.fb_pixels, 0, 2);
                worker_join(1);
            }
        }
    } else {
        frame_statistics_update();
    }
    if (os.headless || !fb.fb_pixels) return;
    if (cpu_count() > 1) {
        present_async(fb.fb_pixels, fb.fb_width, fb.fb_height);
    } else {
        present_sized(fb.fb_pixels, fb.fb_width, fb.fb_height);
    }
}
