// Pixel conversion for presentation. Runs on whichever thread presents (main or present thread) and on
// the conversion threads it starts; each share writes only its own output rows.
#include "display/convert.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/threads.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VM_CONVERT_SSSE3 1
#endif

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "the converters build pixels as little-endian words");

namespace {

// Rows of one scaled band: the threads' bands interleave, so each gets rows from all over the image.
constexpr int SCALE_BAND_ROWS = 16;
// Output columns whose source offsets are computed at once; small enough for a 32 KiB stack.
constexpr int SCALE_COLUMN_CHUNK = 256;
// Where the running column position starts: biases the nearest-neighbour pick slightly rightwards.
constexpr double SCALE_COLUMN_START = 0.4;

constexpr int64_t SPLIT_TWO_PIXELS = 300000;
constexpr int64_t SPLIT_THREE_PIXELS = 500000;

// 24-bit R, G, B (R in the low byte) in either output order, top byte 0.
template <bool Swap>
inline uint32_t order_word(uint32_t rgb) {
    if constexpr (Swap) return ((rgb & 0xFFu) << 16) | (rgb & 0xFF00u) | ((rgb >> 16) & 0xFFu);
    return rgb;
}

template <bool Swap>
inline uint16_t pack565(uint32_t r, uint32_t g, uint32_t b) {
    if constexpr (Swap) return static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | b >> 3);
    return static_cast<uint16_t>((b >> 3) << 11 | (g >> 2) << 5 | r >> 3);
}

inline void store32(uint8_t* d, uint32_t v) {
    std::memcpy(d, &v, 4);
}
inline void store16(uint8_t* d, uint16_t v) {
    std::memcpy(d, &v, 2);
}

// Four pixels per step: three 32-bit loads cover exactly their twelve bytes, so the span never reads
// past its last pixel and the loop has no per-pixel branch. The swapped order byte-reverses the loaded
// words once instead of moving every channel of every pixel.
template <bool Swap>
void span_to32(const uint8_t* s, uint8_t* d, size_t count) {
    size_t blocks = count / 4;
    for (size_t i = 0; i < blocks; ++i) {
        uint32_t a, b, c;
        std::memcpy(&a, s, 4);
        std::memcpy(&b, s + 4, 4);
        std::memcpy(&c, s + 8, 4);
        uint32_t p0, p1, p2, p3;
        if constexpr (Swap) {
            // Reversed, the words read R0 G0 B0 R1 | G1 B1 R2 G2 | B2 R3 G3 B3 from the top byte down.
            a = __builtin_bswap32(a);
            b = __builtin_bswap32(b);
            c = __builtin_bswap32(c);
            p0 = a >> 8;
            p1 = (a & 0xFFu) << 16 | b >> 16;
            p2 = (b & 0xFFFFu) << 8 | c >> 24;
            p3 = c & 0xFFFFFFu;
        } else {
            p0 = a & 0xFFFFFFu;
            p1 = a >> 24 | (b & 0xFFFFu) << 8;
            p2 = b >> 16 | (c & 0xFFu) << 16;
            p3 = c >> 8;
        }
        store32(d, p0);
        store32(d + 4, p1);
        store32(d + 8, p2);
        store32(d + 12, p3);
        s += 12;
        d += 16;
    }
    for (size_t i = blocks * 4; i < count; ++i) {
        store32(d, order_word<Swap>(s[0] | s[1] << 8 | static_cast<uint32_t>(s[2]) << 16));
        s += 3;
        d += 4;
    }
}

#if defined(VM_CONVERT_SSSE3)
// The same with one byte shuffle per four pixels, on processors that have it (checked once at run
// time; the build itself assumes no more than SSE2). A 16-byte load covers four pixels and four bytes
// more, so the loop stops while six pixels remain and the plain span finishes the row.
template <bool Swap>
__attribute__((target("ssse3"))) void span_to32_shuffled(const uint8_t* s, uint8_t* d, size_t count) {
    const __m128i order = Swap ? _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1)
                               : _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    size_t i = 0;
    for (; i + 6 <= count; i += 4) {
        const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * 3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i * 4), _mm_shuffle_epi8(in, order));
    }
    span_to32<Swap>(s + i * 3, d + i * 4, count - i);
}

bool has_ssse3() {
    static const bool yes = __builtin_cpu_supports("ssse3");
    return yes;
}
#endif

template <bool Swap>
void span_to32_fast(const uint8_t* s, uint8_t* d, size_t count) {
#if defined(VM_CONVERT_SSSE3)
    if (has_ssse3()) {
        span_to32_shuffled<Swap>(s, d, count);
        return;
    }
#endif
    span_to32<Swap>(s, d, count);
}

template <bool Swap>
void span_to16(const uint8_t* s, uint8_t* d, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        store16(d, pack565<Swap>(s[0], s[1], s[2]));
        s += 3;
        d += 2;
    }
}

// Row range clipped to the image; false when empty.
bool clip_rows(int height, int& row_begin, int& row_end) {
    row_begin = std::max(row_begin, 0);
    row_end = std::min(row_end, height);
    return row_begin < row_end;
}

bool valid_format(int bytes_per_pixel) {
    return bytes_per_pixel == 4 || bytes_per_pixel == 2;
}

template <bool Swap>
void scaled_rows(const uint8_t* src, int sw, int sh, uint8_t* out, int ow, int oh, int bpp, int thread_index,
                 int thread_count) {
    const double row_step = static_cast<double>(sh) / static_cast<double>(oh);
    const double col_step = static_cast<double>(sw) / static_cast<double>(ow);
    const size_t src_stride = static_cast<size_t>(sw) * 3;
    const size_t last_offset = (static_cast<size_t>(sw) * static_cast<size_t>(sh) - 1) * 3;
    const size_t out_stride = static_cast<size_t>(ow) * static_cast<size_t>(bpp);
    size_t columns[SCALE_COLUMN_CHUNK];
    double position = SCALE_COLUMN_START;
    for (int chunk = 0; chunk < ow; chunk += SCALE_COLUMN_CHUNK) {
        const int n = std::min(SCALE_COLUMN_CHUNK, ow - chunk);
        // The running sum, not chunk + k times the step: the picked columns follow its rounding.
        for (int k = 0; k < n; ++k) {
            columns[k] = static_cast<size_t>(static_cast<int>(position)) * 3;
            position += col_step;
        }
        for (int band = thread_index * SCALE_BAND_ROWS; band < oh; band += thread_count * SCALE_BAND_ROWS) {
            const int band_end = std::min(band + SCALE_BAND_ROWS, oh);
            size_t previous_row_offset = SIZE_MAX;
            for (int i = band; i < band_end; ++i) {
                const size_t row_offset =
                    static_cast<size_t>(static_cast<int>(row_step * static_cast<double>(i))) * src_stride;
                uint8_t* d = out + static_cast<size_t>(i) * out_stride + static_cast<size_t>(chunk) * bpp;
                const size_t bytes = static_cast<size_t>(n) * static_cast<size_t>(bpp);
                // Enlarged images repeat source rows: the row above in this band already holds the result.
                if (row_offset == previous_row_offset) {
                    std::memcpy(d, d - out_stride, bytes);
                    continue;
                }
                previous_row_offset = row_offset;
                // Columns only grow, so the chunk's last one tells whether every 4-byte load stays short of
                // the last pixel; only the bottom rows need the clamp and byte loads.
                const bool word_loads = row_offset + columns[n - 1] < last_offset;
                if (bpp == 4 && word_loads) {
                    const uint8_t* s = src + row_offset;
                    for (int k = 0; k < n; ++k) {
                        uint32_t v;
                        std::memcpy(&v, s + columns[k], 4);
                        store32(d, Swap ? __builtin_bswap32(v) >> 8 : v & 0xFFFFFFu);
                        d += 4;
                    }
                } else if (bpp == 4) {
                    for (int k = 0; k < n; ++k) {
                        const uint8_t* s = src + std::min(row_offset + columns[k], last_offset);
                        store32(d, order_word<Swap>(s[0] | s[1] << 8 | static_cast<uint32_t>(s[2]) << 16));
                        d += 4;
                    }
                } else {
                    for (int k = 0; k < n; ++k) {
                        const uint8_t* s = src + std::min(row_offset + columns[k], last_offset);
                        store16(d, pack565<Swap>(s[0], s[1], s[2]));
                        d += 2;
                    }
                }
            }
        }
    }
}

// Plain pixel packing for the reference versions.
void put_reference(const uint8_t* s, uint8_t* d, int bytes_per_pixel, int rgb_swap) {
    if (bytes_per_pixel == 4) {
        d[0] = rgb_swap ? s[2] : s[0];
        d[1] = s[1];
        d[2] = rgb_swap ? s[0] : s[2];
        d[3] = 0;
        return;
    }
    uint16_t v = rgb_swap ? pack565<true>(s[0], s[1], s[2]) : pack565<false>(s[0], s[1], s[2]);
    store16(d, v);
}

struct UnscaledJob {
    const uint8_t* src;
    int width, height;
    uint8_t* out;
    int bytes_per_pixel, rgb_swap, row_begin, row_end;
};

void unscaled_thread(void* arg) {
    const auto* j = static_cast<const UnscaledJob*>(arg);
    convert_rows(j->src, j->width, j->height, j->out, j->bytes_per_pixel, j->rgb_swap, j->row_begin,
                 j->row_end);
}

struct ScaledJob {
    const uint8_t* src;
    int src_width, src_height;
    uint8_t* out;
    int out_width, out_height, bytes_per_pixel, rgb_swap, thread_index, thread_count;
};

void run_scaled(const ScaledJob& j) {
    convert_scaled_rows(j.src, j.src_width, j.src_height, j.out, j.out_width, j.out_height, j.bytes_per_pixel,
                        j.rgb_swap, j.thread_index, j.thread_count);
}

void scaled_thread(void* arg) {
    run_scaled(*static_cast<const ScaledJob*>(arg));
}

}  // namespace

void convert_rows(const uint8_t* src, int width, int height, uint8_t* out, int bytes_per_pixel, int rgb_swap,
                  int row_begin, int row_end) {
    if (width <= 0 || !valid_format(bytes_per_pixel) || !clip_rows(height, row_begin, row_end)) return;
    const size_t first = static_cast<size_t>(row_begin) * static_cast<size_t>(width);
    const size_t count = static_cast<size_t>(row_end - row_begin) * static_cast<size_t>(width);
    const uint8_t* s = src + first * 3;
    uint8_t* d = out + first * static_cast<size_t>(bytes_per_pixel);
    if (bytes_per_pixel == 4) {
        if (rgb_swap)
            span_to32_fast<true>(s, d, count);
        else
            span_to32_fast<false>(s, d, count);
    } else {
        if (rgb_swap)
            span_to16<true>(s, d, count);
        else
            span_to16<false>(s, d, count);
    }
}

void convert_rows_reference(const uint8_t* src, int width, int height, uint8_t* out, int bytes_per_pixel,
                            int rgb_swap, int row_begin, int row_end) {
    if (width <= 0 || !valid_format(bytes_per_pixel) || !clip_rows(height, row_begin, row_end)) return;
    for (int y = row_begin; y < row_end; ++y) {
        for (int x = 0; x < width; ++x) {
            size_t p = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
            put_reference(src + p * 3, out + p * static_cast<size_t>(bytes_per_pixel), bytes_per_pixel,
                          rgb_swap);
        }
    }
}

void convert_scaled_rows(const uint8_t* src, int src_width, int src_height, uint8_t* out, int out_width,
                         int out_height, int bytes_per_pixel, int rgb_swap, int thread_index,
                         int thread_count) {
    if (src_width <= 0 || src_height <= 0 || out_width <= 0 || out_height <= 0) return;
    if (!valid_format(bytes_per_pixel) || thread_count <= 0 || thread_index < 0 ||
        thread_index >= thread_count)
        return;
    if (rgb_swap)
        scaled_rows<true>(src, src_width, src_height, out, out_width, out_height, bytes_per_pixel,
                          thread_index, thread_count);
    else
        scaled_rows<false>(src, src_width, src_height, out, out_width, out_height, bytes_per_pixel,
                           thread_index, thread_count);
}

void convert_scaled_rows_reference(const uint8_t* src, int src_width, int src_height, uint8_t* out,
                                   int out_width, int out_height, int bytes_per_pixel, int rgb_swap,
                                   int thread_index, int thread_count) {
    if (src_width <= 0 || src_height <= 0 || out_width <= 0 || out_height <= 0) return;
    if (!valid_format(bytes_per_pixel) || thread_count <= 0 || thread_index < 0 ||
        thread_index >= thread_count)
        return;
    const int64_t end = static_cast<int64_t>(src_width) * src_height * 3;
    const double row_step = static_cast<double>(src_height) / out_height;
    const double col_step = static_cast<double>(src_width) / out_width;
    for (int i = 0; i < out_height; ++i) {
        if ((i / SCALE_BAND_ROWS) % thread_count != thread_index) continue;
        const int row = static_cast<int>(row_step * i);
        double position = SCALE_COLUMN_START;
        for (int j = 0; j < out_width; ++j) {
            const int column = static_cast<int>(position);
            position += col_step;
            int64_t offset = static_cast<int64_t>(row) * src_width * 3 + static_cast<int64_t>(column) * 3;
            if (offset >= end) offset = end - 3;
            put_reference(
                src + offset,
                out + (static_cast<size_t>(i) * static_cast<size_t>(out_width) + static_cast<size_t>(j)) *
                          static_cast<size_t>(bytes_per_pixel),
                bytes_per_pixel, rgb_swap);
        }
    }
}

int convert_thread_count(int64_t pixels, int cpu_count) {
    return cpu_count >= 2 && pixels > SPLIT_THREE_PIXELS ? 2 : 1;
}

int convert_scaled_thread_count(int64_t out_pixels, int cpu_count) {
    if (cpu_count > 2 && out_pixels > SPLIT_THREE_PIXELS) return 3;
    if (cpu_count >= 2 && out_pixels > SPLIT_TWO_PIXELS) return 2;
    return 1;
}

void convert_image(const uint8_t* src, int width, int height, uint8_t* out, int bytes_per_pixel, int rgb_swap,
                   int cpu_count) {
    if (width <= 0 || height <= 0) return;
    const int half = height / 2;
    if (convert_thread_count(static_cast<int64_t>(width) * height, cpu_count) == 2) {
        UnscaledJob job{src, width, height, out, bytes_per_pixel, rgb_swap, half, height};
        EngineThread thread;
        // Without a thread the bottom half is done by the time the start returns.
        thread_start(thread, unscaled_thread, &job, SHORT_STACK_BYTES);
        convert_rows(src, width, height, out, bytes_per_pixel, rgb_swap, 0, half);
        thread_join(thread);
        return;
    }
    convert_rows(src, width, height, out, bytes_per_pixel, rgb_swap, 0, height);
}

void convert_image_scaled(const uint8_t* src, int src_width, int src_height, uint8_t* out, int out_width,
                          int out_height, int bytes_per_pixel, int rgb_swap, int cpu_count) {
    if (out_width <= 0 || out_height <= 0) return;
    const int parts = convert_scaled_thread_count(static_cast<int64_t>(out_width) * out_height, cpu_count);
    ScaledJob jobs[3];
    EngineThread threads[3];
    for (int k = 0; k < parts; ++k)
        jobs[k] = {src,        src_width,       src_height, out, out_width,
                   out_height, bytes_per_pixel, rgb_swap,   k,   parts};
    for (int k = 1; k < parts; ++k) thread_start(threads[k], scaled_thread, &jobs[k], SHORT_STACK_BYTES);
    run_scaled(jobs[0]);
    for (int k = 1; k < parts; ++k) thread_join(threads[k]);
}
