// Textured spans sixteen pixels at a time (AVX-512), for processors that have it: chosen at run time,
// like the eight-pixel loop (fill_span8.h), whose lane operations these are, lane for lane, so the picture
// is the same bit for bit. Masked loads and stores do what the eight-pixel loop does with copies: a short
// last group reads and writes only its own pixels, and only the pixels drawn are written. 64-bit builds
// only. Only the functions here are compiled for AVX-512; nothing else of the program uses it. Private to
// the filler.
#pragma once

#if defined(__SSE2__) && defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
// g++ 12's AVX-512 header leaves the pass-through operand of its unmasked operations undefined on
// purpose, and then warns about it where they are inlined; the warnings are about the header alone.
// Included here first, so that its lines are read with them off.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

#include <cstdint>

#include "render/raster/fill_span8.h"

#if defined(FILL_SPAN8) && defined(__x86_64__)
#define FILL_SPAN16 1

#define SPAN16_TARGET __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,bmi2")))

namespace fill_detail {

// Spans shorter than this go to the eight-pixel loop.
constexpr int SPAN16_MIN_PIXELS = 16;

// Whether this processor (and its operating system) runs the sixteen-pixel loop; asked once.
inline bool span16_supported() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
           __builtin_cpu_supports("bmi2") && span8_supported();
}

namespace span16 {

SPAN16_TARGET inline __m512i splat(uint32_t v) {
    return _mm512_set1_epi32(static_cast<int32_t>(v));
}

// start + k step for k = 0..15, modulo 2^32 as the pixel loop steps them.
SPAN16_TARGET inline __m512i lanes(uint32_t start, uint32_t step) {
    const __m256i low = span8::lanes(start, step);
    const __m256i high = _mm256_add_epi32(low, _mm256_set1_epi32(static_cast<int32_t>(8 * step)));
    return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
}

// The first `count` lanes (all sixteen from 16 on): a span's group, short at its end.
SPAN16_TARGET inline __mmask16 first_lanes(int count) {
    return count >= 16 ? __mmask16{0xFFFF} : static_cast<__mmask16>((1u << count) - 1);
}

// The bytes of the pixels of a 16-bit mask, three to a pixel.
SPAN16_TARGET inline __mmask64 pixel_bytes(__mmask16 pixels) {
    return _pdep_u64(pixels, 0x249249249249ull) * 7;
}

// The RGB pixels of the mask's lanes at p, as lanes of r | g << 8 | b << 16; the other lanes are 0 and
// no byte of theirs is read.
SPAN16_TARGET inline __m512i load48(const uint8_t* p, __mmask16 pixels) {
    const __m512i spread =
        _mm512_set_epi8(0, 47, 46, 45, 0, 44, 43, 42, 0, 41, 40, 39, 0, 38, 37, 36, 0, 35, 34, 33, 0, 32, 31,
                        30, 0, 29, 28, 27, 0, 26, 25, 24, 0, 23, 22, 21, 0, 20, 19, 18, 0, 17, 16, 15, 0, 14,
                        13, 12, 0, 11, 10, 9, 0, 8, 7, 6, 0, 5, 4, 3, 0, 2, 1, 0);
    const __m512i bytes = _mm512_maskz_loadu_epi8(pixel_bytes(pixels), p);
    return _mm512_maskz_permutexvar_epi8(0x7777777777777777ull, spread, bytes);
}

// The r, g and b bytes of the mask's lanes back to their pixels at p; no other byte is written.
SPAN16_TARGET inline void store48(uint8_t* p, __m512i pixels, __mmask16 lanes) {
    const __m512i gather =
        _mm512_set_epi8(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 62, 61, 60, 58, 57, 56, 54, 53, 52,
                        50, 49, 48, 46, 45, 44, 42, 41, 40, 38, 37, 36, 34, 33, 32, 30, 29, 28, 26, 25, 24,
                        22, 21, 20, 18, 17, 16, 14, 13, 12, 10, 9, 8, 6, 5, 4, 2, 1, 0);
    _mm512_mask_storeu_epi8(p, pixel_bytes(lanes), _mm512_permutexvar_epi8(gather, pixels));
}

// Four texels at the indices from at on, as fetch lays them out.
template <bool Alpha4>
SPAN16_TARGET inline __m128i fetch4(const uint8_t* tex, const uint32_t* at) {
    auto word = [&](int k) { return span4::texel_word<Alpha4>(tex, at[k]); };
    return _mm_insert_epi32(
        _mm_insert_epi32(_mm_insert_epi32(_mm_cvtsi32_si128(word(0)), word(1), 1), word(2), 2), word(3), 3);
}

// fetch of the eight-pixel loop for sixteen indices.
template <bool Alpha4>
SPAN16_TARGET inline __attribute__((always_inline)) __m512i fetch(const uint8_t* tex, __m512i index) {
    alignas(64) uint32_t at[16];
    _mm512_store_si512(at, index);
    const __m256i low = _mm256_inserti128_si256(_mm256_castsi128_si256(fetch4<Alpha4>(tex, at)),
                                                fetch4<Alpha4>(tex, at + 4), 1);
    const __m256i high = _mm256_inserti128_si256(_mm256_castsi128_si256(fetch4<Alpha4>(tex, at + 8)),
                                                 fetch4<Alpha4>(tex, at + 12), 1);
    return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
}

// The sixteen texels from p on, laid out as fetch lays them out; nothing past them is read.
template <bool Alpha4>
SPAN16_TARGET inline __m512i load16(const uint8_t* p) {
    if constexpr (Alpha4) {
        return _mm512_loadu_si512(p);
    } else {
        return load48(p, 0xFFFF);
    }
}

// fetch_window of the eight-pixel loop for sixteen pixels: along a span that steps at most one texel
// column a pixel and less than a fifteenth of a texel row, their columns lie within sixteen of each
// other and their rows within two neighbours. `last_start` is the texture's width less 16, which must not
// be negative.
template <bool Alpha4>
SPAN16_TARGET inline __m512i fetch_window(const uint8_t* tex, uint32_t width, __m512i col, __m512i row,
                                          __m512i col_least, __m512i row_least, __m512i last_start) {
    constexpr size_t bytes = Alpha4 ? 4 : 3;
    const __m512i first = _mm512_min_epi32(_mm512_permutexvar_epi32(col_least, col), last_start);
    const __m512i top = _mm512_permutexvar_epi32(row_least, row);
    const __m512i at = _mm512_sub_epi32(col, first);
    const uint32_t top_row = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm512_castsi512_si128(top)));
    const uint32_t first_col = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm512_castsi512_si128(first)));
    const uint8_t* p = tex + (static_cast<size_t>(top_row) * width + first_col) * bytes;
    __m512i texels = _mm512_permutexvar_epi32(at, load16<Alpha4>(p));
    const __mmask16 below = _mm512_cmpgt_epi32_mask(row, top);
    if (below != 0)
        texels = _mm512_mask_permutexvar_epi32(texels, below, at, load16<Alpha4>(p + width * bytes));
    return texels;
}

}  // namespace span16

// draw_span8 sixteen pixels at a time, with the same products in the same lanes.
template <bool Alpha4, int Color, bool Blend, bool DepthWrite, bool ClampUV>
SPAN16_TARGET void draw_span16(uint8_t* dst, uint32_t* zp, int n, const SpanState& s, const TriPaint& paint) {
    using namespace span16;
    if (n <= 0) return;
    const int whole = n / 16, groups = (n + 15) / 16;
    const uint8_t* tex = paint.tex;
    __m512i d = lanes(s.d, s.dd), u = lanes(s.u, s.du), v = lanes(s.v, s.dv);
    const __m512i d_step = splat(16 * s.dd), u_step = splat(16 * s.du), v_step = splat(16 * s.dv);
    const __m512i umax = splat(static_cast<uint32_t>(paint.tex_width) * 65535u);
    const __m512i vmax = splat(static_cast<uint32_t>(paint.tex_height) * 65535u);
    const __m512i tex_width = splat(static_cast<uint32_t>(paint.tex_width));
    const __m512i byte = splat(255), full = splat(256);
    const __m512i low_bytes = splat(0x00FF00FFu), high_bytes = splat(0xFF00FF00u);
    const __m512i visible_fix = splat(static_cast<uint32_t>(ALPHA_VISIBLE_FIX));
    const __m512i invisible = splat(static_cast<uint32_t>(ALPHA_INVISIBLE));
    const __m512i blend_below = splat(static_cast<uint32_t>(BLEND_BELOW));
    const auto tint = [&](int k) { return static_cast<uint32_t>(paint.constant_fix[k]) >> FIX16_SHIFT; };
    const __m512i tint_even = splat(tint(0) | tint(2) << 16), tint_odd = splat(tint(1));
    const bool window = window_fits<16>(s, n, paint.tex_width, ClampUV);
    const __m512i col_least = splat(static_cast<int32_t>(s.du) >= 0 ? 0 : 15);
    const __m512i row_least = splat(static_cast<int32_t>(s.dv) >= 0 ? 0 : 15);
    const __m512i last_start = splat(static_cast<uint32_t>(paint.tex_width - 16));
    __m512i c[4], c_step[4];
    for (int k = 0; k < 4; ++k) {
        if constexpr (Color == COLOR_CONSTANT) {
            c[k] = splat(static_cast<uint32_t>(paint.constant_fix[k]));
        } else {
            c[k] = lanes(s.c[k], s.dc[k]);
        }
        c_step[k] = splat(16 * s.dc[k]);
    }
    for (int g = 0; g < groups; ++g, dst += 48, zp += 16) {
        // The lanes of the span's pixels: all but in a short last group. The depths of the others read
        // as 0, which nothing passes.
        const __mmask16 in_span = first_lanes(n - 16 * g);
        const __m512i z = _mm512_maskz_loadu_epi32(in_span, zp);
        __mmask16 draw = _mm512_cmplt_epu32_mask(d, z);
        if constexpr (Color != COLOR_NONE) draw &= _mm512_cmpgt_epi32_mask(c[3], visible_fix);
        if (draw != 0) {
            __m512i uu = u, vv = v;
            if constexpr (ClampUV) {
                uu = _mm512_min_epu32(u, umax);
                vv = _mm512_min_epu32(v, vmax);
            }
            const __m512i col = _mm512_srli_epi32(uu, FIX16_SHIFT), row = _mm512_srli_epi32(vv, FIX16_SHIFT);
            __m512i texels;
            if (window && g < whole) {
                texels = fetch_window<Alpha4>(tex, static_cast<uint32_t>(paint.tex_width), col, row,
                                              col_least, row_least, last_start);
            } else {
                // Pixels that are not drawn read the first texel.
                const __m512i index = _mm512_maskz_add_epi32(draw, _mm512_mullo_epi32(row, tex_width), col);
                texels = fetch<Alpha4>(tex, index);
            }
            __m512i a = byte;
            if constexpr (Color != COLOR_NONE) a = _mm512_srli_epi32(c[3], FIX16_SHIFT);
            if constexpr (Alpha4)
                a = _mm512_srli_epi32(_mm512_mullo_epi16(_mm512_srli_epi32(texels, 24), a), 8);
            if constexpr (Blend) draw &= _mm512_cmpgt_epi32_mask(a, invisible);
            if (draw != 0) {
                __m512i even = _mm512_and_si512(texels, low_bytes);
                __m512i odd = _mm512_srli_epi16(texels, 8);
                if constexpr (Color == COLOR_CONSTANT) {
                    even = _mm512_srli_epi16(_mm512_mullo_epi16(even, tint_even), 8);
                    odd = _mm512_srli_epi16(_mm512_mullo_epi16(odd, tint_odd), 8);
                } else if constexpr (Color == COLOR_GOURAUD) {
                    const __m512i rb =
                        _mm512_or_si512(_mm512_srli_epi32(c[0], FIX16_SHIFT),
                                        _mm512_slli_epi32(_mm512_srli_epi32(c[2], FIX16_SHIFT), 16));
                    even = _mm512_srli_epi16(_mm512_mullo_epi16(even, rb), 8);
                    odd = _mm512_srli_epi16(_mm512_mullo_epi16(odd, _mm512_srli_epi32(c[1], FIX16_SHIFT)), 8);
                }
                __m512i out = _mm512_or_si512(even, _mm512_slli_epi16(odd, 8));
                if constexpr (Color == COLOR_NONE && !Blend) out = texels;
                if constexpr (Blend) {
                    const __mmask16 mix = draw & _mm512_cmpgt_epi32_mask(blend_below, a);
                    if (mix != 0) {
                        const __m512i under = load48(dst, mix);
                        const __m512i own = _mm512_mask_blend_epi32(mix, full, a);
                        const __m512i rest_w = _mm512_maskz_sub_epi32(mix, byte, a);
                        const __m512i own2 = _mm512_or_si512(own, _mm512_slli_epi32(own, 16));
                        const __m512i rest2 = _mm512_or_si512(rest_w, _mm512_slli_epi32(rest_w, 16));
                        const __m512i e =
                            _mm512_add_epi16(_mm512_mullo_epi16(even, own2),
                                             _mm512_mullo_epi16(_mm512_and_si512(under, low_bytes), rest2));
                        const __m512i o =
                            _mm512_add_epi16(_mm512_mullo_epi16(odd, own2),
                                             _mm512_mullo_epi16(_mm512_srli_epi16(under, 8), rest2));
                        out = _mm512_or_si512(_mm512_srli_epi16(e, 8), _mm512_and_si512(o, high_bytes));
                    }
                }
                store48(dst, out, draw);
                if constexpr (DepthWrite) _mm512_mask_storeu_epi32(zp, draw, d);
            }
        }
        d = _mm512_add_epi32(d, d_step);
        u = _mm512_add_epi32(u, u_step);
        v = _mm512_add_epi32(v, v_step);
        if constexpr (Color == COLOR_GOURAUD)
            for (int k = 0; k < 4; ++k) c[k] = _mm512_add_epi32(c[k], c_step[k]);
    }
}

// The pixels at the start of a span whose depth test fails (hidden_run8), sixteen depths at a time; the
// last group reads only the span's own depths.
SPAN16_TARGET inline int hidden_run16(const uint32_t* zp, uint32_t d, uint32_t dd, int n) {
    __m512i depths = span16::lanes(d, dd);
    const __m512i step = span16::splat(16 * dd);
    for (int k = 0; k < n; k += 16) {
        const __mmask16 in_span = span16::first_lanes(n - k);
        const __mmask16 visible =
            _mm512_mask_cmplt_epu32_mask(in_span, depths, _mm512_maskz_loadu_epi32(in_span, zp + k));
        if (visible != 0) return k + __builtin_ctz(visible);
        depths = _mm512_add_epi32(depths, step);
    }
    return n;
}

// How many of the n depths, from the first, are at most bound (depths_at_most8), sixty-four at a time
// while all are, then sixteen.
SPAN16_TARGET inline int depths_at_most16(const uint32_t* zp, int n, uint32_t bound) {
    const __m512i limit = span16::splat(bound);
    int k = 0;
    for (; k + 64 <= n; k += 64) {
        const __m512i a = _mm512_max_epu32(_mm512_loadu_si512(zp + k), _mm512_loadu_si512(zp + k + 16));
        const __m512i b = _mm512_max_epu32(_mm512_loadu_si512(zp + k + 32), _mm512_loadu_si512(zp + k + 48));
        if (_mm512_cmpgt_epu32_mask(_mm512_max_epu32(a, b), limit) != 0) break;
    }
    for (; k < n; k += 16) {
        const __mmask16 in_span = span16::first_lanes(n - k);
        const __mmask16 over =
            _mm512_mask_cmpgt_epu32_mask(in_span, _mm512_maskz_loadu_epi32(in_span, zp + k), limit);
        if (over != 0) return k + __builtin_ctz(over);
    }
    return n;
}

}  // namespace fill_detail

#endif
