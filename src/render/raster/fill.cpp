// The fast triangle filler: per triangle it picks one span loop compiled for exactly the features the
// triangle uses, so the per-pixel work is integer adds, shifts and one multiply for the texel address.
// Reentrant; workers of the raster pass call it concurrently on their own shares.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "render/raster/fill.h"
#include "render/raster/fill_setup.h"
#include "render/raster/fill_span16.h"
#include "render/raster/fill_span4.h"
#include "render/raster/fill_span8.h"
#include "scene/camera.h"

using namespace fill_detail;

namespace {

// The widest span loop this processor runs: 16 pixels (AVX-512), 8 (AVX2) or 4.
int processor_span_width() {
#if defined(FILL_SPAN16)
    if (span16_supported()) return 16;
#endif
#if defined(FILL_SPAN8)
    if (span8_supported()) return 8;
#endif
    return 4;
}
const int widest_spans = processor_span_width();
// The widest span loop in use: from the start the processor's widest, until the tests or benchmarks ask
// for a narrower one. One value, so the spans read one load.
std::atomic<int> span_width{widest_spans};

// Pixel access. When other threads may draw the same pixel, every access is a relaxed atomic: the
// nearer of two simultaneous draws is not guaranteed to win, but nothing tears or is undefined.
template <bool Shared>
inline uint32_t load_depth(uint32_t* p) {
    if constexpr (Shared) return std::atomic_ref<uint32_t>(*p).load(std::memory_order_relaxed);
    return *p;
}
template <bool Shared>
inline void store_depth(uint32_t* p, uint32_t v) {
    if constexpr (Shared) {
        std::atomic_ref<uint32_t>(*p).store(v, std::memory_order_relaxed);
    } else {
        *p = v;
    }
}
template <bool Shared>
inline uint8_t load_byte(uint8_t* p) {
    if constexpr (Shared) return std::atomic_ref<uint8_t>(*p).load(std::memory_order_relaxed);
    return *p;
}
template <bool Shared>
inline void store_rgb(uint8_t* p, uint32_t r, uint32_t g, uint32_t b) {
    if constexpr (Shared) {
        std::atomic_ref<uint8_t>(p[0]).store(static_cast<uint8_t>(r), std::memory_order_relaxed);
        std::atomic_ref<uint8_t>(p[1]).store(static_cast<uint8_t>(g), std::memory_order_relaxed);
        std::atomic_ref<uint8_t>(p[2]).store(static_cast<uint8_t>(b), std::memory_order_relaxed);
    } else {
        p[0] = static_cast<uint8_t>(r);
        p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(b);
    }
}

// True when start + k * step, k in [0, n), stays within [0, max]: the values are then also exact as
// unsigned 16.16 numbers and need no clamping.
inline bool coords_inside(uint32_t start, uint32_t step, int n, int64_t max) {
    const int64_t first = static_cast<int32_t>(start);
    const int64_t last = first + static_cast<int64_t>(n - 1) * static_cast<int32_t>(step);
    return first >= 0 && first <= max && last >= 0 && last <= max;
}

// Pixels at the start of a span whose depth test fails: what a triangle behind the drawn ones spends
// its rows on, so it reads only their depths, sixteen, eight or four at a time where AVX-512, AVX2 or
// SSE2 is there, and touches neither colour nor texture. Depths step modulo 2^32 exactly as the pixel loop
// steps them.
template <bool Shared>
inline int hidden_run(uint32_t* zp, uint32_t d, uint32_t dd, int n) {
    // Most spans of a visible triangle start with a visible pixel: those pay one comparison.
    if (n <= 0 || d < load_depth<Shared>(zp)) return 0;
    int k = 0;
#if defined(FILL_SPAN8)
    if constexpr (!Shared) {
        const int width = span_width.load(std::memory_order_relaxed);
#if defined(FILL_SPAN16)
        if (width == 16) return hidden_run16(zp, d, dd, n);
#endif
        if (width >= 8) return hidden_run8(zp, d, dd, n);
    }
#endif
#if defined(__SSE2__)
    if constexpr (!Shared) {
        // Both sides offset by 2^31: the signed comparison then orders them as unsigned values.
        const __m128i bias = _mm_set1_epi32(std::numeric_limits<int32_t>::min());
        __m128i depths = span4::lanes(d ^ 0x80000000u, dd);
        const __m128i step = _mm_set1_epi32(static_cast<int32_t>(4 * dd));
        // Eight at a time while all are hidden; the group of four that holds a visible pixel is found
        // below.
        for (; k + 8 <= n; k += 8) {
            const __m128i z0 = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(zp + k)), bias);
            const __m128i z1 =
                _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(zp + k + 4)), bias);
            const __m128i next = _mm_add_epi32(depths, step);
            if (_mm_movemask_epi8(_mm_or_si128(_mm_cmplt_epi32(depths, z0), _mm_cmplt_epi32(next, z1))) != 0)
                break;
            depths = _mm_add_epi32(next, step);
        }
        for (; k + 4 <= n; k += 4) {
            const __m128i z = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(zp + k)), bias);
            const int visible = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmplt_epi32(depths, z)));
            if (visible != 0) return k + __builtin_ctz(static_cast<unsigned>(visible));
            depths = _mm_add_epi32(depths, step);
        }
    }
#endif
    for (d += static_cast<uint32_t>(k) * dd; k < n && !(d < load_depth<Shared>(zp + k)); ++k) d += dd;
    return k;
}

#if defined(__SSE2__)

// The least depth a pixel of a span can have, given the span's depths at its two ends as the row set-up
// scales them (l and r, lane 1), lowered past every rounding of that set-up: the truncation of the start
// (at most 1), and that of the step and the float operations (below 2^-22 of the larger end). 0 where
// the ends are not numbers or lie outside the range in which the depths step without clamp or wrap
// (below FIX_LIMIT, and so below 2^32).
inline uint32_t span_depth_floor(__m128 l, __m128 r) {
    const __m128 lo4 = _mm_min_ss(_mm_shuffle_ps(l, l, 1), _mm_shuffle_ps(r, r, 1));
    const __m128 hi4 = _mm_max_ss(_mm_shuffle_ps(l, l, 1), _mm_shuffle_ps(r, r, 1));
    const float lo = _mm_cvtss_f32(lo4), hi = _mm_cvtss_f32(hi4);
    if (!(lo >= 0.0f && hi <= 2.0e9f)) return 0;
    const float floor = lo - hi * 0x1p-20f - 4.0f;
    return floor > 0.0f ? static_cast<uint32_t>(floor) : 0;
}

// How many of the n depths, from the first, are at most bound: a pixel there whose own depth is at least
// bound is hidden. That is the hidden run of a span whose depth stays at bound; where AVX-512 or AVX2 is
// there it is counted sixty-four or thirty-two at a time, as a level depth allows. The first depth alone
// decides most rows of a visible triangle.
inline int depths_at_most(uint32_t* zp, int n, uint32_t bound) {
#if defined(FILL_SPAN8)
    if (zp[0] <= bound) {
        const int width = span_width.load(std::memory_order_relaxed);
#if defined(FILL_SPAN16)
        if (width == 16) return depths_at_most16(zp, n, bound);
#endif
        if (width >= 8) return depths_at_most8(zp, n, bound);
    }
#endif
    return hidden_run<false>(zp, bound, 0, n);
}

#endif

// The pixels [first, end) of one row. Every feature test is resolved at compile time.
template <bool Textured, bool Alpha4, int Color, bool Blend, bool DepthWrite, bool Shared, bool ClampUV>
inline void draw_span(uint8_t* dst, uint32_t* zp, int n, const SpanState& s, const TriPaint& paint) {
    // The span's state is read field by field, never copied whole: a copy read right after the row's
    // set-up wrote it field by field waits for those writes.
#if defined(__SSE2__)
    [[maybe_unused]] bool vectors = false;
    if constexpr (Textured && !Shared)
        vectors = span4::texture_fits(paint) && span4::colours_narrow<Color>(s, n, paint);
#if defined(FILL_SPAN8)
    if (vectors) {
        const int width = span_width.load(std::memory_order_relaxed);
#if defined(FILL_SPAN16)
        if (width == 16 && n >= SPAN16_MIN_PIXELS) {
            draw_span16<Alpha4, Color, Blend, DepthWrite, ClampUV>(dst, zp, n, s, paint);
            return;
        }
#endif
        if (width >= 8 && n >= SPAN8_MIN_PIXELS) {
            draw_span8<Alpha4, Color, Blend, DepthWrite, ClampUV>(dst, zp, n, s, paint);
            return;
        }
    }
#endif
#endif
    // The pixels the four-pixel loop drew; the one-pixel loop starts after them.
    uint32_t done = 0;
#if defined(__SSE2__)
    if constexpr (Textured && !Shared) {
        if (vectors) {
            done = static_cast<uint32_t>(
                draw_span4<Alpha4, Color, Blend, DepthWrite, ClampUV>(dst, zp, n, s, paint));
            dst += static_cast<size_t>(done) * 3;
            zp += done;
            n -= static_cast<int>(done);
        }
    }
#endif
    const uint8_t* tex = paint.tex;
    const uint32_t tw = static_cast<uint32_t>(paint.tex_width);
    const uint32_t umax = tw * 65535u;
    const uint32_t vmax = static_cast<uint32_t>(paint.tex_height) * 65535u;
    const uint32_t dd = s.dd, du = s.du, dv = s.dv;
    const uint32_t dc0 = s.dc[0], dc1 = s.dc[1], dc2 = s.dc[2], dc3 = s.dc[3];
    uint32_t c0 = s.c[0] + done * dc0, c1 = s.c[1] + done * dc1, c2 = s.c[2] + done * dc2,
             c3 = s.c[3] + done * dc3;
    if constexpr (Color == COLOR_CONSTANT) {
        c0 = static_cast<uint32_t>(paint.constant_fix[0]);
        c1 = static_cast<uint32_t>(paint.constant_fix[1]);
        c2 = static_cast<uint32_t>(paint.constant_fix[2]);
        c3 = static_cast<uint32_t>(paint.constant_fix[3]);
    }
    uint32_t d = s.d + done * dd, u = s.u + done * du, v = s.v + done * dv;
    for (; n > 0; --n, dst += 3, ++zp) {
        const uint32_t z = load_depth<Shared>(zp);
        bool draw = d < z;
        if constexpr (Color != COLOR_NONE) draw = draw && static_cast<fix16>(c3) > ALPHA_VISIBLE_FIX;
        if (draw) {
            uint32_t r = 255, g = 255, b = 255, a = 255;
            if constexpr (Color != COLOR_NONE) a = c3 >> FIX16_SHIFT;
            if constexpr (Textured) {
                uint32_t uu = u, vv = v;
                if constexpr (ClampUV) {
                    uu = u < umax ? u : umax;
                    vv = v < vmax ? v : vmax;
                }
                const size_t texel = static_cast<size_t>(vv >> FIX16_SHIFT) * tw + (uu >> FIX16_SHIFT);
                const uint8_t* t = tex + texel * (Alpha4 ? 4 : 3);
                r = t[0];
                g = t[1];
                b = t[2];
                if constexpr (Alpha4) a = (t[3] * a) >> 8;
                if constexpr (Color != COLOR_NONE) {
                    r = (r * (c0 >> FIX16_SHIFT)) >> 8;
                    g = (g * (c1 >> FIX16_SHIFT)) >> 8;
                    b = (b * (c2 >> FIX16_SHIFT)) >> 8;
                }
            } else if constexpr (Color != COLOR_NONE) {
                r = c0 >> FIX16_SHIFT;
                g = c1 >> FIX16_SHIFT;
                b = c2 >> FIX16_SHIFT;
            }
            if constexpr (Blend) {
                if (a > static_cast<uint32_t>(ALPHA_INVISIBLE)) {
                    if (a < static_cast<uint32_t>(BLEND_BELOW)) {
                        const uint32_t rest = 255 - a;
                        r = (r * a + load_byte<Shared>(dst) * rest) >> 8;
                        g = (g * a + load_byte<Shared>(dst + 1) * rest) >> 8;
                        b = (b * a + load_byte<Shared>(dst + 2) * rest) >> 8;
                    }
                    store_rgb<Shared>(dst, r, g, b);
                    if constexpr (DepthWrite) store_depth<Shared>(zp, d);
                }
            } else {
                store_rgb<Shared>(dst, r, g, b);
                if constexpr (DepthWrite) store_depth<Shared>(zp, d);
            }
        }
        d += dd;
        if constexpr (Textured) {
            u += du;
            v += dv;
        }
        if constexpr (Color == COLOR_GOURAUD) {
            c0 += dc0;
            c1 += dc1;
            c2 += dc2;
            c3 += dc3;
        }
    }
}

#if !defined(__SSE2__)
// Attributes a span loop reads: x and depth always, u and v when textured, the colour channels when
// they are interpolated. The others are neither computed nor stepped (without SSE2, which computes
// four at once).
constexpr unsigned attr_mask(bool textured, int color) {
    unsigned m = (1u << A_X) | (1u << A_DEPTH);
    if (textured) m |= (1u << A_U) | (1u << A_V);
    if (color == COLOR_GOURAUD) m |= (1u << A_R) | (1u << A_G) | (1u << A_B) | (1u << A_A);
    return m;
}
#endif

// Blended spans of RGBA textures: the pixels at either end whose texels are too faint to show are cut
// off before anything else is read. A sprite's clear margins are most of its square. Only spans that
// cross few texel rows, no more texel columns than they have pixels, and whose values move without
// wrapping are cut, so the texels looked at never outnumber the pixels saved.
constexpr int TRIM_MIN_PIXELS = 16;
constexpr int TRIM_MAX_ROWS = 4;

constexpr int64_t FIX16_ONE_INT = int64_t{1} << FIX16_SHIFT;

// The texel column or row of pixel k, clamped to max as the pixel loop clamps it.
inline int64_t texel_at(uint32_t start, uint32_t step, int64_t k, uint32_t max) {
    const int64_t x = span_value(start, step, k);
    return (x < static_cast<int64_t>(max) ? x : static_cast<int64_t>(max)) >> FIX16_SHIFT;
}

// a / b rounded up, for a, b > 0.
inline int64_t ceil_div(int64_t a, int64_t b) {
    return (a + b - 1) / b;
}

// The first pixel k in [0, n) whose texel column, clamped to max as the pixel loop clamps it, is at
// least col (dir 1) or at most col (dir -1); n when there is none. The span's values move one way
// without wrapping, so this is one division rather than a search.
inline int first_at_column(uint32_t start, uint32_t step, int n, uint32_t max, int64_t col, int64_t dir) {
    const int64_t x0 = start, dx = static_cast<int32_t>(step), last = n;
    if (dir > 0) {
        // min(x, max) >> 16 >= col: x reaches the column's first value, and the clamp lets it.
        const int64_t x = col * FIX16_ONE_INT;
        if (x > static_cast<int64_t>(max)) return n;
        if (x0 >= x) return 0;
        if (dx <= 0) return n;
        return static_cast<int>(std::min(last, ceil_div(x - x0, dx)));
    }
    // min(x, max) >> 16 <= col: x falls below the next column's first value, or the clamp stays below it.
    const int64_t y = (col + 1) * FIX16_ONE_INT;
    if (static_cast<int64_t>(max) < y || x0 < y) return 0;
    if (dx >= 0) return n;
    return static_cast<int>(std::min(last, ceil_div(x0 - y + 1, -dx)));
}

#if defined(__SSE2__)
// Bit i set where column col + i's alpha in one of the rows [r0, r1] is at least `least`, for i < 4.
inline int showing4(const uint8_t* tex, uint32_t tw, int64_t r0, int64_t r1, int64_t col, uint32_t least) {
    const __m128i floor = _mm_set1_epi32(static_cast<int32_t>(least) - 1);
    int mask = 0;
    for (int64_t r = r0; r <= r1; ++r) {
        const __m128i texels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(
            tex + (static_cast<size_t>(r) * tw + static_cast<size_t>(col)) * 4));
        mask |= _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpgt_epi32(_mm_srli_epi32(texels, 24), floor)));
    }
    return mask;
}
#endif

// The first column from `from` on, in direction dir (1 or -1) up to `to`, whose texel alpha in one of
// the rows [r0, r1] is at least `least`; to + dir when there is none.
inline int64_t first_showing(const uint8_t* tex, uint32_t tw, int64_t r0, int64_t r1, int64_t from,
                             int64_t to, int64_t dir, uint32_t least) {
    auto alpha = [&](int64_t r, int64_t col) {
        return tex[(static_cast<size_t>(r) * tw + static_cast<size_t>(col)) * 4 + 3];
    };
    int64_t c = from;
#if defined(__SSE2__)
    // Four texels at a time: lane i holds column lo + i.
    for (; (to - c) * dir >= 3; c += 4 * dir) {
        const int64_t lo = dir > 0 ? c : c - 3;
        const int mask = showing4(tex, tw, r0, r1, lo, least);
        if (mask != 0)
            return lo + (dir > 0 ? __builtin_ctz(static_cast<unsigned>(mask))
                                 : 31 - __builtin_clz(static_cast<unsigned>(mask)));
    }
#endif
    for (; c != to + dir; c += dir)
        for (int64_t r = r0; r <= r1; ++r)
            if (alpha(r, c) >= least) return c;
    return c;
}

// Which columns of one band of texel rows show, for one triangle: the rows of a magnified texture
// cross the same texel rows again and again, each between its own two columns. Once two rows in a row
// ask for the same texel rows, the triangle's texture is taken as magnified and every texel row it
// reaches is marked; the rows of a texture drawn smaller than its size ask for new ones every time,
// and only search from their ends.
struct TrimMemo {
    static constexpr int64_t MAX_WIDTH = 256;
    int64_t row_lo = -1, row_hi = -1;  // the texel rows marked
    uint32_t least = 0;
    uint64_t shows[MAX_WIDTH / 64] = {};
    int64_t asked_lo = -1, asked_hi = -1;  // the texel rows the last row asked for
    uint32_t asked_least = 0;
    bool magnified = false;

    // Whether the columns of the texel rows [r0, r1] of a texture tw wide are marked for `at_least`,
    // marking them first where that is worth it.
    bool marks(const uint8_t* tex, uint32_t tw, int64_t r0, int64_t r1, uint32_t at_least) {
        if (r0 == row_lo && r1 == row_hi && at_least == least) return true;
        if (tw > MAX_WIDTH) return false;
        if (!magnified) {
            magnified = r0 == asked_lo && r1 == asked_hi && at_least == asked_least;
            asked_lo = r0;
            asked_hi = r1;
            asked_least = at_least;
            if (!magnified) return false;
        }
        fill(tex, tw, r0, r1, at_least);
        return true;
    }

    // Bit c is set where column c's alpha in one of the rows [r0, r1] is at least `least`.
    void fill(const uint8_t* tex, uint32_t tw, int64_t r0, int64_t r1, uint32_t at_least) {
        row_lo = r0;
        row_hi = r1;
        least = at_least;
        for (uint64_t& word : shows) word = 0;
        const int64_t width = tw;
        int64_t c = 0;
#if defined(__SSE2__)
        for (; c + 4 <= width; c += 4)
            shows[c / 64] |= static_cast<uint64_t>(showing4(tex, tw, r0, r1, c, at_least)) << (c % 64);
#endif
        for (; c < width; ++c)
            if (first_showing(tex, tw, r0, r1, c, c, 1, at_least) == c)
                shows[c / 64] |= uint64_t{1} << (c % 64);
    }

    // first_showing over the columns marked.
    int64_t first(int64_t from, int64_t to, int64_t dir) const {
        if (dir > 0) {
            for (int64_t w = from / 64; w <= to / 64; ++w) {
                uint64_t bits = shows[w];
                if (w == from / 64) bits &= ~uint64_t{0} << (from % 64);
                if (bits != 0) {
                    const int64_t c = w * 64 + __builtin_ctzll(bits);
                    return c <= to ? c : to + 1;
                }
            }
            return to + 1;
        }
        for (int64_t w = from / 64; w >= to / 64; --w) {
            uint64_t bits = shows[w];
            if (w == from / 64 && from % 64 != 63) bits &= (uint64_t{1} << (from % 64 + 1)) - 1;
            if (bits != 0) {
                const int64_t c = w * 64 + 63 - __builtin_clzll(bits);
                return c >= to ? c : to - 1;
            }
        }
        return to - 1;
    }
};

// Cuts the span to the pixels from the first to the last whose texel column can show in one of the
// rows the span crosses, stepping s and offset past the cut-off start; false when no pixel can show.
// A texel shows when its alpha times the span's largest colour alpha, >> 8, passes ALPHA_INVISIBLE.
template <int Color>
inline bool trim_clear_ends(SpanState& s, int& n, size_t& offset, const TriPaint& paint, TrimMemo& memo) {
    if (n < TRIM_MIN_PIXELS || paint.tex_width <= 0 || paint.tex_height <= 0 || paint.tex_width > 0xFFFF ||
        paint.tex_height > 0xFFFF)
        return true;
    if (!steps_without_wrap(s.u, s.du, n) || !steps_without_wrap(s.v, s.dv, n)) return true;
    uint32_t alpha = 255;
    if constexpr (Color == COLOR_CONSTANT)
        alpha = static_cast<uint32_t>(paint.constant_fix[3]) >> FIX16_SHIFT;
    if constexpr (Color == COLOR_GOURAUD) {
        if (!steps_without_wrap(s.c[3], s.dc[3], n)) return true;
        alpha = std::max(s.c[3], static_cast<uint32_t>(span_value(s.c[3], s.dc[3], n - 1))) >> FIX16_SHIFT;
    }
    // The least texel alpha that shows: (t * alpha) >> 8 > ALPHA_INVISIBLE holds from t * alpha >= limit.
    constexpr uint32_t limit = static_cast<uint32_t>(ALPHA_INVISIBLE + 1) << 8;
    if (alpha == 0) return false;
    const uint32_t least = (limit + alpha - 1) / alpha;
    if (least > 255) return false;
    const uint32_t tw = static_cast<uint32_t>(paint.tex_width);
    const uint32_t umax = tw * 65535u;
    const uint32_t vmax = static_cast<uint32_t>(paint.tex_height) * 65535u;
    const int64_t row_a = texel_at(s.v, s.dv, 0, vmax), row_b = texel_at(s.v, s.dv, n - 1, vmax);
    const int64_t row_lo = std::min(row_a, row_b), row_hi = std::max(row_a, row_b);
    if (row_hi - row_lo >= TRIM_MAX_ROWS) return true;
    const int64_t col_first = texel_at(s.u, s.du, 0, umax), col_last = texel_at(s.u, s.du, n - 1, umax);
    const int64_t dir = col_last >= col_first ? 1 : -1;
    if ((col_last - col_first) * dir + 1 > n) return true;
    int64_t from, to;
    if (memo.marks(paint.tex, tw, row_lo, row_hi, least)) {
        from = memo.first(col_first, col_last, dir);
        if (from == col_last + dir) return false;
        to = memo.first(col_last, from, -dir);
    } else {
        from = first_showing(paint.tex, tw, row_lo, row_hi, col_first, col_last, dir, least);
        if (from == col_last + dir) return false;
        to = first_showing(paint.tex, tw, row_lo, row_hi, col_last, from, -dir, least);
    }
    const int first = first_at_column(s.u, s.du, n, umax, from, dir);
    const int end = first_at_column(s.u, s.du, n, umax, to + dir, dir);
    offset += static_cast<size_t>(first);
    step_span(s, first);
    n = end - first;
    return true;
}

// The pixels [sp.first, sp.end) of one row once its span state is set, stepping s past the pixels it
// skips: the clamps of the texture coordinates drop out of the loop when both ends of the span lie inside
// the texture (every pixel between then does).
template <bool Textured, bool Alpha4, int Color, bool Blend, bool DepthWrite, bool Shared>
inline void draw_row_span(SpanState& s, const Span& sp, int row, int64_t umax, int64_t vmax,
                          const TriPaint& paint, const FillParams& p, TrimMemo& memo, int known_hidden = 0) {
    size_t offset = static_cast<size_t>(row) * static_cast<size_t>(p.width) + static_cast<size_t>(sp.first);
    int n = sp.end - sp.first;
    if constexpr (Textured && Alpha4 && Blend) {
        const size_t untrimmed = offset;
        if (!trim_clear_ends<Color>(s, n, offset, paint, memo)) return;
        known_hidden -= static_cast<int>(offset - untrimmed);
    }
    // The hidden pixels before the first visible one are skipped, every value stepped over them at once;
    // the first known_hidden of them are known already.
    const int known = std::clamp(known_hidden, 0, n);
    const int hidden = known + hidden_run<Shared>(p.depth + offset + known,
                                                  s.d + static_cast<uint32_t>(known) * s.dd, s.dd, n - known);
    if (hidden == n) return;
    offset += static_cast<size_t>(hidden);
    n -= hidden;
    step_span(s, hidden);
    if constexpr (Textured) {
        if (coords_inside(s.u, s.du, n, umax) && coords_inside(s.v, s.dv, n, vmax)) {
            draw_span<Textured, Alpha4, Color, Blend, DepthWrite, Shared, false>(
                p.color + offset * 3, p.depth + offset, n, s, paint);
            return;
        }
    }
    draw_span<Textured, Alpha4, Color, Blend, DepthWrite, Shared, true>(p.color + offset * 3,
                                                                        p.depth + offset, n, s, paint);
}

#if defined(__SSE2__)

// Four attributes at a time: the row set-up of the plain path below, lane by lane with the same
// operations in the same order, so every value is bit for bit the scalar one. x, depth, u and v share
// one vector, the four colour channels the other; lanes the variant does not read are computed from
// the vertices' zeros and left unused.

// to_fix on four lanes: max and min take the second operand for NaN, as the clamps of trunc_clamped do.
inline __m128i to_fix4(__m128 v) {
    v = _mm_max_ps(v, _mm_set1_ps(-FIX_LIMIT));
    v = _mm_min_ps(v, _mm_set1_ps(FIX_LIMIT));
    return _mm_cvttps_epi32(v);
}

// start + skip * step on four lanes, modulo 2^32 as span_at computes it.
inline __m128i span_at4(__m128i start, __m128i step, int skip) {
    if (skip == 0) return start;
    const __m128i k = _mm_set1_epi32(skip);
    const __m128i even = _mm_mul_epu32(step, k);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(step, 32), k);
    const __m128i product = _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                                               _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
    return _mm_add_epi32(start, product);
}

// make_edge with every attribute: the same start and step for the ones a variant reads.
inline void make_edge_all(Edge& e, const FillVertex& from, const FillVertex& to, bool left) {
    const __m128 inv = _mm_set1_ps(inverse_height(to.y - from.y, left));
    const __m128 f0 = _mm_loadu_ps(from.a), f1 = _mm_loadu_ps(from.a + 4);
    _mm_storeu_ps(e.start, f0);
    _mm_storeu_ps(e.start + 4, f1);
    _mm_storeu_ps(e.step, _mm_mul_ps(_mm_sub_ps(_mm_loadu_ps(to.a), f0), inv));
    _mm_storeu_ps(e.step + 4, _mm_mul_ps(_mm_sub_ps(_mm_loadu_ps(to.a + 4), f1), inv));
    e.row0 = std::trunc(from.y + 0.5f);
}

// 1 / n for the span lengths most rows have, the same float the division gives: a load in place of a
// conversion and a division at the head of every row's set-up.
constexpr int RECIPROCAL_COUNTS = 1024;
constexpr std::array<float, RECIPROCAL_COUNTS> RECIPROCALS = [] {
    std::array<float, RECIPROCAL_COUNTS> r{};
    for (int n = 1; n < RECIPROCAL_COUNTS; ++n) r[static_cast<size_t>(n)] = 1.0f / static_cast<float>(n);
    return r;
}();

inline float reciprocal(int n) {
    return n < RECIPROCAL_COUNTS ? RECIPROCALS[static_cast<size_t>(n)] : 1.0f / static_cast<float>(n);
}

// Rows [row, end) of one triangle between two edges made by make_edge_all.
template <bool Textured, bool Alpha4, int Color, bool Blend, bool DepthWrite, bool Shared>
inline void draw_rows(const Edge& le, const Edge& re, int row, int end, int extent_left, int extent_right,
                      const TriPaint& paint, const FillParams& p) {
    const int64_t umax = static_cast<int64_t>(static_cast<uint32_t>(paint.tex_width) * 65535u);
    const int64_t vmax = static_cast<int64_t>(static_cast<uint32_t>(paint.tex_height) * 65535u);
    const __m128 scale = _mm_setr_ps(1.0f, DEPTH_SCALE, static_cast<float>(paint.tex_width) * FIX16_ONE,
                                     static_cast<float>(paint.tex_height) * FIX16_ONE);
    const __m128 l_start = _mm_loadu_ps(le.start), l_step = _mm_loadu_ps(le.step);
    const __m128 r_start = _mm_loadu_ps(re.start), r_step = _mm_loadu_ps(re.step);
    const __m128 l_cstart = _mm_loadu_ps(le.start + 4), l_cstep = _mm_loadu_ps(le.step + 4);
    const __m128 r_cstart = _mm_loadu_ps(re.start + 4), r_cstep = _mm_loadu_ps(re.step + 4);
    const __m128 zero = _mm_setzero_ps(), top = _mm_set1_ps(255.0f), one = _mm_set1_ps(FIX16_ONE);
    const __m128 round = _mm_setr_ps(SPAN_LEFT_ROUND, SPAN_RIGHT_ROUND, 0.0f, 0.0f);
    const __m128 pixel_limit = _mm_set1_ps(PIXEL_LIMIT), neg_pixel_limit = _mm_set1_ps(-PIXEL_LIMIT);
    TrimMemo memo;
    for (; row < end; ++row) {
        const __m128 tl = _mm_set1_ps(static_cast<float>(row) - le.row0);
        const __m128 tr = _mm_set1_ps(static_cast<float>(row) - re.row0);
        const __m128 left = _mm_add_ps(l_start, _mm_mul_ps(tl, l_step));
        const __m128 right = _mm_add_ps(r_start, _mm_mul_ps(tr, r_step));
        // span_bounds with both ends rounded and clamped at once.
        const __m128 ends = _mm_add_ps(_mm_unpacklo_ps(left, right), round);
        const __m128i px = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(ends, neg_pixel_limit), pixel_limit));
        Span sp;
        if (!span_clip(_mm_cvtsi128_si32(px),
                       _mm_cvtsi128_si32(_mm_shuffle_epi32(px, _MM_SHUFFLE(1, 1, 1, 1))), extent_left,
                       extent_right, paint.span_limit, p.width, sp))
            continue;
        // Lanes x (unused), depth, u, v.
        const __m128 l = _mm_mul_ps(left, scale);
        const __m128 r = _mm_mul_ps(right, scale);
        // A row whose columns are all nearer than the nearest depth the row can have is hidden whole: it
        // is skipped before the rest of its set-up. Otherwise the columns found nearer at its start are
        // hidden pixels the span need not look at again. Where other threads draw the same pixels, the
        // row's depths are only read pixel by pixel.
        int known_hidden = 0;
        if constexpr (!Shared) {
            const size_t at = static_cast<size_t>(row) * static_cast<size_t>(p.width);
            known_hidden = depths_at_most(p.depth + at + sp.first, sp.end - sp.first, span_depth_floor(l, r));
            if (known_hidden == sp.end - sp.first) continue;
        }
        const __m128 inv = _mm_set1_ps(reciprocal(sp.count));
        const int skip = sp.first - sp.span_start;
        const __m128i step = to_fix4(_mm_mul_ps(_mm_sub_ps(r, l), inv));
        const __m128i start = span_at4(to_fix4(l), step, skip);
        alignas(16) uint32_t at[4], by[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(at), start);
        _mm_store_si128(reinterpret_cast<__m128i*>(by), step);
        SpanState s;
        s.d = at[1];
        s.dd = by[1];
        s.u = at[2];
        s.du = by[2];
        s.v = at[3];
        s.dv = by[3];
        if constexpr (Color == COLOR_GOURAUD) {
            const __m128 lc = _mm_add_ps(l_cstart, _mm_mul_ps(tl, l_cstep));
            const __m128 rc = _mm_add_ps(r_cstart, _mm_mul_ps(tr, r_cstep));
            const __m128 lf = _mm_mul_ps(_mm_min_ps(_mm_max_ps(lc, zero), top), one);
            const __m128 rf = _mm_mul_ps(_mm_min_ps(_mm_max_ps(rc, zero), top), one);
            const __m128i cstep = to_fix4(_mm_mul_ps(_mm_sub_ps(rf, lf), inv));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(s.c), span_at4(to_fix4(lf), cstep, skip));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(s.dc), cstep);
        } else {
            for (int c = 0; c < 4; ++c) s.c[c] = s.dc[c] = 0;
        }
        if constexpr (!Textured) s.u = s.du = s.v = s.dv = 0;
        draw_row_span<Textured, Alpha4, Color, Blend, DepthWrite, Shared>(s, sp, row, umax, vmax, paint, p,
                                                                          memo, known_hidden);
    }
}

#else

// Rows [row, end) of one triangle between two edges.
template <bool Textured, bool Alpha4, int Color, bool Blend, bool DepthWrite, bool Shared>
inline void draw_rows(const Edge& le, const Edge& re, int row, int end, int extent_left, int extent_right,
                      const TriPaint& paint, const FillParams& p) {
    const float tex_w = static_cast<float>(paint.tex_width) * FIX16_ONE;
    const float tex_h = static_cast<float>(paint.tex_height) * FIX16_ONE;
    const int64_t umax = static_cast<int64_t>(static_cast<uint32_t>(paint.tex_width) * 65535u);
    const int64_t vmax = static_cast<int64_t>(static_cast<uint32_t>(paint.tex_height) * 65535u);
    TrimMemo memo;
    for (; row < end; ++row) {
        // The same expression as edge_value, with the row offset of each edge taken once.
        const float tl = static_cast<float>(row) - le.row0;
        const float tr = static_cast<float>(row) - re.row0;
        Span sp;
        if (!span_bounds(le.start[A_X] + tl * le.step[A_X], re.start[A_X] + tr * re.step[A_X], extent_left,
                         extent_right, paint.span_limit, p.width, sp))
            continue;
        const float inv = 1.0f / static_cast<float>(sp.count);
        const int skip = sp.first - sp.span_start;
        SpanState s;
        SpanFix f = span_fix(le.start[A_DEPTH] + tl * le.step[A_DEPTH],
                             re.start[A_DEPTH] + tr * re.step[A_DEPTH], DEPTH_SCALE, inv);
        s.d = span_at(f, skip);
        s.dd = f.step;
        if constexpr (Textured) {
            f = span_fix(le.start[A_U] + tl * le.step[A_U], re.start[A_U] + tr * re.step[A_U], tex_w, inv);
            s.u = span_at(f, skip);
            s.du = f.step;
            f = span_fix(le.start[A_V] + tl * le.step[A_V], re.start[A_V] + tr * re.step[A_V], tex_h, inv);
            s.v = span_at(f, skip);
            s.dv = f.step;
        } else {
            s.u = s.du = s.v = s.dv = 0;
        }
        if constexpr (Color == COLOR_GOURAUD) {
            for (int c = 0; c < 4; ++c) {
                const int k = A_R + c;
                f = span_fix(clamp_color(le.start[k] + tl * le.step[k]),
                             clamp_color(re.start[k] + tr * re.step[k]), FIX16_ONE, inv);
                s.c[c] = span_at(f, skip);
                s.dc[c] = f.step;
            }
        } else {
            for (int c = 0; c < 4; ++c) s.c[c] = s.dc[c] = 0;
        }
        draw_row_span<Textured, Alpha4, Color, Blend, DepthWrite, Shared>(s, sp, row, umax, vmax, paint, p,
                                                                          memo);
    }
}

#endif

// The rows of one triangle: the shared ordering, with only the attributes the variant reads and only the
// edges that reach a row of the slice.
template <bool Textured, bool Alpha4, int Color, bool Blend, bool DepthWrite, bool Shared>
void draw_triangle(const FillVertex* verts, const TriPaint& paint, const FillParams& p, int slice_top,
                   int slice_bottom) {
    TriOrder o;
    if (!tri_order(verts, slice_top, slice_bottom, o)) return;
    const FillVertex& v0 = *o.v0;
    const FillVertex& v1 = *o.v1;
    const FillVertex& v2 = *o.v2;
    const int first_row = o.first_row, end_row = o.end_row, mid_row = o.mid_row;
    const bool mid_right = o.mid_right;
    const int extent_left = o.extent_left, extent_right = o.extent_right;

#if defined(__SSE2__)
    auto edge = [](Edge& e, const FillVertex& from, const FillVertex& to, bool left) {
        make_edge_all(e, from, to, left);
    };
#else
    auto edge = [](Edge& e, const FillVertex& from, const FillVertex& to, bool left) {
        make_edge<attr_mask(Textured, Color)>(e, from, to, left);
    };
#endif
    Edge long_edge;
    edge(long_edge, v0, v2, mid_right);
    const int upper_end = mid_row < end_row ? mid_row : end_row;
    if (first_row < upper_end) {
        Edge upper;
        edge(upper, v0, v1, !mid_right);
        if (mid_right) {
            draw_rows<Textured, Alpha4, Color, Blend, DepthWrite, Shared>(
                long_edge, upper, first_row, upper_end, extent_left, extent_right, paint, p);
        } else {
            draw_rows<Textured, Alpha4, Color, Blend, DepthWrite, Shared>(
                upper, long_edge, first_row, upper_end, extent_left, extent_right, paint, p);
        }
    }
    const int lower_first = mid_row > first_row ? mid_row : first_row;
    if (lower_first < end_row) {
        Edge lower;
        edge(lower, v1, v2, !mid_right);
        if (mid_right) {
            draw_rows<Textured, Alpha4, Color, Blend, DepthWrite, Shared>(
                long_edge, lower, lower_first, end_row, extent_left, extent_right, paint, p);
        } else {
            draw_rows<Textured, Alpha4, Color, Blend, DepthWrite, Shared>(
                lower, long_edge, lower_first, end_row, extent_left, extent_right, paint, p);
        }
    }
}

// Banding within one call (bands of fill_band_rows rows): at most this many triangles kept for the
// bands at once (about 170 bytes each); a group whose bounding boxes cover less than the share this
// many times is not worth banding.
constexpr size_t BAND_GROUP = 8192;
constexpr int64_t BAND_MIN_OVERDRAW = 2;

// One triangle after projection, rejection and colour set-up, kept for the bands it reaches.
struct SetupTriangle {
    FillVertex v[3];
    TriPaint paint;
};
struct VertexRows {
    int top, bottom;  // rounded rows of the top and bottom vertex
};

// Per-thread store of the banded triangles; it keeps its capacity between calls.
struct BandStore {
    std::vector<SetupTriangle> tris;
    std::vector<VertexRows> rows;
};
BandStore& band_store() {
    thread_local BandStore store;
    return store;
}

// At most this many triangles are kept in deferred mode (about 2.8 MB) before they are drawn.
constexpr size_t DEFER_MAX_TRIANGLES = 16384;

// The deferred mode of one thread: the calls and their set-up triangles, and per band the indices of
// the triangles that reach it, in order.
struct DeferState {
    int active = 0;
    int row_top = 0, row_bottom = 0, band_rows = 1, bands = 0;
    std::vector<FillParams> calls;
    std::vector<SetupTriangle> tris;
    std::vector<uint32_t> call_of;  // per kept triangle: its call
    std::vector<std::vector<uint32_t>> bins;
    std::vector<int>
        band_of;  // per row from row_top: its band, a look-up instead of two divisions a triangle
};
DeferState& defer_state() {
    thread_local DeferState state;
    return state;
}

using DrawFn = void (*)(const FillVertex*, const TriPaint&, const FillParams&, int, int);

// Table index: textured, alpha4, colour mode (3), blend, depth write, shared.
constexpr int key_of(int textured, int alpha4, int color, int blend, int depth_write, int shared) {
    return ((((textured * 2 + alpha4) * 3 + color) * 2 + blend) * 2 + depth_write) * 2 + shared;
}
constexpr int DRAW_VARIANTS = 2 * 2 * 3 * 2 * 2 * 2;

template <int Key>
constexpr DrawFn draw_fn_for() {
    constexpr int shared = Key % 2;
    constexpr int depth_write = Key / 2 % 2;
    constexpr int blend = Key / 4 % 2;
    constexpr int color = Key / 8 % 3;
    constexpr int alpha4 = Key / 24 % 2;
    constexpr int textured = Key / 48 % 2;
    // Alpha without a texture never happens; point those entries at the plain variant.
    constexpr int a4 = textured ? alpha4 : 0;
    return &draw_triangle<textured != 0, a4 != 0, color, blend != 0, depth_write != 0, shared != 0>;
}

template <int... Keys>
constexpr auto make_draw_table(std::integer_sequence<int, Keys...>) {
    return std::array<DrawFn, sizeof...(Keys)>{draw_fn_for<Keys>()...};
}

constexpr auto draw_table = make_draw_table(std::make_integer_sequence<int, DRAW_VARIANTS>{});

// Draws one set-up triangle of the call p over the rows [slice_top, slice_bottom).
inline void draw_one(const FillVertex* v, const TriPaint& paint, const FillParams& p, int slice_top,
                     int slice_bottom) {
    const int textured = paint.tex ? 1 : 0;
    const int alpha4 = textured && paint.tex_channels == 4 ? 1 : 0;
    const int color = !paint.modulate ? COLOR_NONE : (paint.gouraud ? COLOR_GOURAUD : COLOR_CONSTANT);
    const int key =
        key_of(textured, alpha4, color, paint.may_blend, p.no_depth_write ? 0 : 1, p.shared_target ? 1 : 0);
    draw_table[static_cast<size_t>(key)](v, paint, p, slice_top, slice_bottom);
}

// Draws the kept triangles band by band and empties the store (the calls stay: a call may still be
// adding triangles).
void defer_flush(DeferState& df) {
    for (int b = 0; b < df.bands; ++b) {
        std::vector<uint32_t>& bin = df.bins[static_cast<size_t>(b)];
        const int band_top = df.row_top + b * df.band_rows;
        const int band_bottom = std::min(band_top + df.band_rows, df.row_bottom);
        for (const uint32_t i : bin) {
            const FillParams& p = df.calls[df.call_of[i]];
            draw_one(df.tris[i].v, df.tris[i].paint, p, band_top, band_bottom);
        }
        bin.clear();
    }
    df.tris.clear();
    df.call_of.clear();
}

// Keeps the triangles of one call for the bands.
void defer_call(const FillParams& p, const CallShare& share, DeferState& df) {
    const uint32_t call = static_cast<uint32_t>(df.calls.size());
    df.calls.push_back(p);
    for_each_triangle<true>(p, share, share.row_top, share.row_bottom,
                            [&](const FillVertex* v, const TriPaint& paint, int slice_top, int slice_bottom) {
                                float y0 = v[0].y, y1 = v[0].y;
                                for (int k = 1; k < 3; ++k) {
                                    y0 = std::min(y0, v[k].y);
                                    y1 = std::max(y1, v[k].y);
                                }
                                const int top = std::max(round_row(y0), slice_top);
                                const int bottom = std::min(round_row(y1), slice_bottom);
                                if (top >= bottom) return;
                                const uint32_t index = static_cast<uint32_t>(df.tris.size());
                                // Built in place from its values: an empty one would first be zeroed.
                                df.tris.push_back(SetupTriangle{{v[0], v[1], v[2]}, paint});
                                df.call_of.push_back(call);
                                const int first = df.band_of[static_cast<size_t>(top - df.row_top)];
                                const int last = df.band_of[static_cast<size_t>(bottom - 1 - df.row_top)];
                                for (int b = first; b <= last; ++b)
                                    df.bins[static_cast<size_t>(b)].push_back(index);
                                if (df.tris.size() >= DEFER_MAX_TRIANGLES) defer_flush(df);
                            });
}

}  // namespace

void fill_set_span_width(int pixels) {
    span_width.store(std::min(pixels >= 16  ? 16
                              : pixels >= 8 ? 8
                                            : 4,
                              widest_spans),
                     std::memory_order_relaxed);
}

int fill_span_width() {
    return span_width.load(std::memory_order_relaxed);
}

void fill_defer_begin(int row_top, int row_bottom, int band_rows) {
    DeferState& df = defer_state();
    if (df.active) fill_defer_end();
    if (row_top < 0 || row_bottom <= row_top || band_rows < 1) return;
    df.active = 1;
    df.row_top = row_top;
    df.row_bottom = row_bottom;
    df.band_rows = band_rows;
    df.bands = (row_bottom - row_top + band_rows - 1) / band_rows;
    if (df.bins.size() < static_cast<size_t>(df.bands)) df.bins.resize(static_cast<size_t>(df.bands));
    df.band_of.resize(static_cast<size_t>(row_bottom - row_top));
    for (int r = 0; r < row_bottom - row_top; ++r) df.band_of[static_cast<size_t>(r)] = r / band_rows;
}

void fill_defer_end() {
    DeferState& df = defer_state();
    if (!df.active) return;
    defer_flush(df);
    df.calls.clear();
    df.active = 0;
}

#if defined(__SSE2__)
namespace {

// Four vertices at a time: the operations of project_point and project_vertex in the same order, lane
// by lane, so every lane is bit for bit the scalar result (SSE arithmetic rounds each operation to float
// exactly as the scalar one). The clamp becomes min and max, equal for every finite value.
void project_vertices_sse2(const ViewTransform& v, const float* in, int64_t count, float* out) {
    const __m128 eye_x = _mm_set1_ps(v.eye_x), eye_y = _mm_set1_ps(v.eye_y), eye_z = _mm_set1_ps(v.eye_z);
    const __m128 cos_yaw = _mm_set1_ps(v.cos_yaw), sin_yaw = _mm_set1_ps(v.sin_yaw);
    const __m128 cos_pitch = _mm_set1_ps(v.cos_pitch), sin_pitch = _mm_set1_ps(v.sin_pitch);
    const __m128 cos_roll = _mm_set1_ps(v.cos_roll), sin_roll = _mm_set1_ps(v.sin_roll);
    const __m128 depth_factor = _mm_set1_ps(v.depth_factor), one = _mm_set1_ps(1.0f);
    const __m128 center_x = _mm_set1_ps(v.center_x), center_y = _mm_set1_ps(v.center_y);
    const __m128 scale_x = _mm_set1_ps(v.scale_x), scale_y = _mm_set1_ps(v.scale_y);
    const __m128 limit = _mm_set1_ps(SCREEN_COORD_LIMIT), neg_limit = _mm_set1_ps(-SCREEN_COORD_LIMIT);
    const __m128 nan = _mm_set1_ps(std::numeric_limits<float>::quiet_NaN());
    const __m128 sign = _mm_set1_ps(-0.0f), zero = _mm_setzero_ps();
    int64_t k = 0;
    for (; k + 4 <= count; k += 4, in += 12, out += 12) {
        // The four vertices' x, y and z out of their 12 consecutive floats a, b, c.
        const __m128 a = _mm_loadu_ps(in), b = _mm_loadu_ps(in + 4), c = _mm_loadu_ps(in + 8);
        const __m128 in_x =
            _mm_shuffle_ps(_mm_shuffle_ps(a, a, _MM_SHUFFLE(3, 3, 3, 0)),
                           _mm_shuffle_ps(b, c, _MM_SHUFFLE(1, 1, 2, 2)), _MM_SHUFFLE(2, 0, 1, 0));
        const __m128 in_y =
            _mm_shuffle_ps(_mm_shuffle_ps(a, b, _MM_SHUFFLE(0, 0, 1, 1)),
                           _mm_shuffle_ps(b, c, _MM_SHUFFLE(2, 2, 3, 3)), _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 in_z =
            _mm_shuffle_ps(_mm_shuffle_ps(a, b, _MM_SHUFFLE(1, 1, 2, 2)),
                           _mm_shuffle_ps(c, c, _MM_SHUFFLE(3, 3, 0, 0)), _MM_SHUFFLE(2, 0, 2, 0));
        __m128 x = _mm_sub_ps(in_x, eye_x);
        __m128 y = _mm_sub_ps(eye_y, in_y);
        __m128 z = _mm_sub_ps(in_z, eye_z);
        if (v.rotated) {
            const __m128 z1 = _mm_sub_ps(_mm_mul_ps(cos_yaw, z), _mm_mul_ps(sin_yaw, x));
            const __m128 x1 = _mm_add_ps(_mm_mul_ps(cos_yaw, x), _mm_mul_ps(sin_yaw, z));
            const __m128 depth = _mm_add_ps(_mm_mul_ps(cos_pitch, z1), _mm_mul_ps(sin_pitch, y));
            const __m128 y1 = _mm_sub_ps(_mm_mul_ps(cos_pitch, y), _mm_mul_ps(sin_pitch, z1));
            x = x1;
            y = y1;
            z = depth;
            if (v.rolled) {
                y = _mm_add_ps(_mm_mul_ps(cos_roll, y1), _mm_mul_ps(sin_roll, x1));
                x = _mm_sub_ps(_mm_mul_ps(cos_roll, x1), _mm_mul_ps(sin_roll, y1));
            }
        }
        const __m128 scale =
            _mm_div_ps(one, _mm_add_ps(_mm_andnot_ps(sign, _mm_mul_ps(z, depth_factor)), one));
        const __m128 px = _mm_add_ps(center_x, _mm_mul_ps(_mm_mul_ps(x, scale_x), scale));
        const __m128 py = _mm_add_ps(center_y, _mm_mul_ps(_mm_mul_ps(y, scale_y), scale));
        const __m128 test = _mm_add_ps(_mm_add_ps(_mm_sub_ps(px, px), _mm_sub_ps(py, py)), _mm_sub_ps(z, z));
        const __m128 finite = _mm_cmpeq_ps(test, zero);
        auto pick = [&](__m128 value) {
            return _mm_or_ps(_mm_and_ps(finite, value), _mm_andnot_ps(finite, nan));
        };
        const __m128 ox = pick(_mm_max_ps(_mm_min_ps(px, limit), neg_limit));
        const __m128 oy = pick(_mm_max_ps(_mm_min_ps(py, limit), neg_limit));
        const __m128 oz = pick(z);
        // Back to x, y, depth per vertex: 12 consecutive floats.
        const __m128 xy_lo = _mm_unpacklo_ps(ox, oy), xy_hi = _mm_unpackhi_ps(ox, oy);
        _mm_storeu_ps(out, _mm_shuffle_ps(xy_lo, _mm_shuffle_ps(oz, xy_lo, _MM_SHUFFLE(2, 2, 0, 0)),
                                          _MM_SHUFFLE(2, 0, 1, 0)));
        _mm_storeu_ps(out + 4, _mm_shuffle_ps(_mm_shuffle_ps(xy_lo, oz, _MM_SHUFFLE(1, 1, 3, 3)), xy_hi,
                                              _MM_SHUFFLE(1, 0, 2, 0)));
        _mm_storeu_ps(out + 8, _mm_shuffle_ps(_mm_shuffle_ps(oz, xy_hi, _MM_SHUFFLE(2, 2, 2, 2)),
                                              _mm_shuffle_ps(xy_hi, oz, _MM_SHUFFLE(3, 3, 3, 3)),
                                              _MM_SHUFFLE(2, 0, 2, 0)));
    }
    for (; k < count; ++k, in += 3, out += 3) project_vertex(v, in, out);
}

}  // namespace
#endif

void fill_project_triangles(const FillParams& p, int64_t first, int64_t end, float* out) {
    if (!p.tris || first < 0 || end <= first) return;
    const ViewTransform view = fill_view(p);
#if defined(__SSE2__)
    project_vertices_sse2(view, p.tris + first * 9, (end - first) * 3, out);
#else
    TriangleProjector projector(view);
    for (int64_t i = first; i < end; ++i, out += 9) {
        float proj[3][3];
        projector.project(p.tris + i * 9, proj);
        std::memcpy(out, proj, sizeof proj);
    }
#endif
}

void fill_part_triangles(const FillParams& p) {
    CallShare share;
    if (!call_share(p, share)) return;
    DeferState& df = defer_state();
    if (df.active) {
        if (share.row_top >= df.row_top && share.row_bottom <= df.row_bottom) {
            defer_call(p, share, df);
            return;
        }
        // Rows the bands do not cover: what is kept goes first.
        defer_flush(df);
    }
    auto draw = [&](const FillVertex* v, const TriPaint& paint, int slice_top, int slice_bottom) {
        draw_one(v, paint, p, slice_top, slice_bottom);
    };
    // Triangles that overdraw each other (sky layers, billboards, full-screen quads) are drawn band by
    // band, every band running all of them in order: each pixel still sees the same triangles in the
    // same order, but the band's colour and depth stay in the cache instead of streaming the whole
    // share from memory once per triangle. Triangles are drawn straight away until their bounding
    // boxes add up to the share's area; the rest are set up once, kept, and replayed band by band in
    // groups of at most BAND_GROUP (a group drawn after the ones before it keeps the order per pixel).
    const int band_rows = fill_band_rows(p.width);
    const int rows = share.row_bottom - share.row_top;
    if (rows <= band_rows) {
        for_each_triangle<true>(p, share, share.row_top, share.row_bottom, draw);
        return;
    }
    const int64_t share_pixels = static_cast<int64_t>(rows) * p.width;
    BandStore& store = band_store();
    store.tris.clear();
    store.rows.clear();
    int64_t direct_pixels = 0, group_pixels = 0;
    auto flush = [&]() {
        const size_t count = store.tris.size();
        if (group_pixels < BAND_MIN_OVERDRAW * share_pixels) {
            for (size_t i = 0; i < count; ++i)
                draw(store.tris[i].v, store.tris[i].paint, share.row_top, share.row_bottom);
        } else {
            for (int top = share.row_top; top < share.row_bottom; top += band_rows) {
                const int bottom = std::min(top + band_rows, share.row_bottom);
                for (size_t i = 0; i < count; ++i) {
                    const VertexRows r = store.rows[i];
                    if (r.bottom <= top || r.top >= bottom) continue;
                    draw(store.tris[i].v, store.tris[i].paint, top, bottom);
                }
            }
        }
        store.tris.clear();
        store.rows.clear();
        group_pixels = 0;
    };
    for_each_triangle<true>(
        p, share, share.row_top, share.row_bottom,
        [&](const FillVertex* v, const TriPaint& paint, int slice_top, int slice_bottom) {
            float y0 = v[0].y, y1 = v[0].y, x0 = v[0].a[A_X], x1 = v[0].a[A_X];
            for (int k = 1; k < 3; ++k) {
                y0 = std::min(y0, v[k].y);
                y1 = std::max(y1, v[k].y);
                x0 = std::min(x0, v[k].a[A_X]);
                x1 = std::max(x1, v[k].a[A_X]);
            }
            const VertexRows r{round_row(y0), round_row(y1)};
            const int top = std::max(r.top, slice_top), bottom = std::min(r.bottom, slice_bottom);
            if (top >= bottom) return;
            const int left = std::max(trunc_clamped(x0 + SPAN_LEFT_ROUND, PIXEL_LIMIT), 0);
            const int right = std::min(trunc_clamped(x1 + SPAN_RIGHT_ROUND, PIXEL_LIMIT), p.width);
            if (left >= right) return;
            // A bound on the pixels the triangle draws.
            const int64_t box = static_cast<int64_t>(bottom - top) * (right - left);
            if (direct_pixels + box < share_pixels) {
                direct_pixels += box;
                draw(v, paint, slice_top, slice_bottom);
                return;
            }
            direct_pixels = share_pixels;
            group_pixels += box;
            store.tris.push_back(SetupTriangle{{v[0], v[1], v[2]}, paint});
            store.rows.push_back(r);
            if (store.tris.size() >= BAND_GROUP) flush();
        });
    flush();
}
