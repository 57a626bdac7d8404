// Textured spans four pixels at a time (SSE2), for a thread that owns the rows it draws. Each lane does
// for its pixel what the one-pixel loop does, with the same integer operations on the same values, so
// the picture is the same bit for bit; the pixels after the last whole group are left to that loop.
// Private to the filler.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/rgb4.h"
#include "render/raster/fill_setup.h"

namespace fill_detail {

// Colour handling of a triangle: texels (or white) as they are, one colour for all pixels, or
// colours interpolated from the vertices.
enum ColorMode { COLOR_NONE = 0, COLOR_CONSTANT = 1, COLOR_GOURAUD = 2 };

// A span's values at its next pixel and their steps per pixel.
struct SpanState {
    uint32_t d, dd;         // depth and its step
    uint32_t u, du, v, dv;  // texture coordinates, 16.16 texels
    uint32_t c[4], dc[4];   // colour channels, 16.16
};

// Steps every value of a span past its next k pixels at once, modulo 2^32 as the pixel loop steps them.
inline void step_span(SpanState& s, int pixels) {
    const uint32_t k = static_cast<uint32_t>(pixels);
    s.d += k * s.dd;
    s.u += k * s.du;
    s.v += k * s.dv;
    for (int c = 0; c < 4; ++c) s.c[c] += k * s.dc[c];
}

// start + k * step, exact, for a value the span steps modulo 2^32.
inline int64_t span_value(uint32_t start, uint32_t step, int64_t k) {
    return static_cast<int64_t>(start) + k * static_cast<int32_t>(step);
}

// Whether the exact values at both ends (and so all between) lie in [0, 2^32): then every pixel's
// value is the exact one and moves one way only.
inline bool steps_without_wrap(uint32_t start, uint32_t step, int n) {
    const int64_t last = span_value(start, step, n - 1);
    return last >= 0 && last <= static_cast<int64_t>(UINT32_MAX);
}

// Whether a span's groups of `lanes` pixels may fetch their texels as one window of neighbouring texels
// (fetch_window of the wide loops): the texture is at least a group wide, and along the span the pixels
// step at most one texel column and less than a texel row over a group. The coordinates of a span drawn
// without clamps stay inside the texture; clamped ones do too, and keep their order and nearness where the
// span's values step without wrapping.
template <int Lanes>
inline bool window_fits(const SpanState& s, int n, int tex_width, bool clamped) {
    constexpr int64_t one = int64_t{1} << FIX16_SHIFT;
    const int64_t du = static_cast<int32_t>(s.du), dv = static_cast<int32_t>(s.dv);
    return tex_width >= Lanes && du >= -one && du <= one && (Lanes - 1) * dv > -one &&
           (Lanes - 1) * dv < one &&
           (!clamped || (steps_without_wrap(s.u, s.du, n) && steps_without_wrap(s.v, s.dv, n)));
}

#if defined(__SSE2__)

namespace span4 {

// Products of lanes below 2^16, exact in 32 bits (SSE2 multiplies 32-bit lanes only in pairs).
inline __m128i mul32(__m128i a, __m128i b) {
    return _mm_or_si128(_mm_mullo_epi16(a, b), _mm_slli_epi32(_mm_mulhi_epu16(a, b), 16));
}

// Products below 2^16 of lanes below 2^16: every colour product, once the multipliers are below 256.
inline __m128i mul(__m128i a, __m128i b) {
    return _mm_mullo_epi16(a, b);
}

inline __m128i select(__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
}

// start, start + step, start + 2 step, start + 3 step, modulo 2^32 as the pixel loop steps them.
inline __m128i lanes(uint32_t start, uint32_t step) {
    return _mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(start)),
                         _mm_setr_epi32(0, static_cast<int32_t>(step), static_cast<int32_t>(2 * step),
                                        static_cast<int32_t>(3 * step)));
}

inline __m128i splat(uint32_t v) {
    return _mm_set1_epi32(static_cast<int32_t>(v));
}

// Each lane's value (below 2^16) in both of its 16-bit halves.
inline __m128i pair16(__m128i v) {
    return _mm_or_si128(v, _mm_slli_epi32(v, 16));
}

// The texel at index i as r | g << 8 | b << 16 (| a << 24), reading only its own bytes.
template <bool Alpha4>
inline int32_t texel_word(const uint8_t* tex, uint32_t i) {
    const uint8_t* t = tex + static_cast<size_t>(i) * (Alpha4 ? 4 : 3);
    uint32_t word;
    if constexpr (Alpha4) {
        std::memcpy(&word, t, 4);
    } else {
        uint16_t rg;
        std::memcpy(&rg, t, 2);
        word = rg | static_cast<uint32_t>(t[2]) << 16;
    }
    return static_cast<int32_t>(word);
}

// The texel at the index in the low lane, in the low lane. The lanes go in by register, not through
// memory: a vector loaded from four separate stores waits for them.
template <bool Alpha4>
inline __m128i fetch(const uint8_t* tex, __m128i index) {
    return _mm_cvtsi32_si128(texel_word<Alpha4>(tex, static_cast<uint32_t>(_mm_cvtsi128_si32(index))));
}

// Textures whose texel index this path can form in 32-bit lanes (all real ones).
inline bool texture_fits(const TriPaint& paint) {
    return paint.tex_width <= 0xFFFF && paint.tex_height <= 0xFFFF;
}

// True when every colour channel's multiplier (its value >> 16) stays below 256 over the n pixels, so
// that every product of 8-bit values fits in 16 bits. The set-up clamps colours to [0, 255], and
// interpolated ones step linearly, so the span's two ends decide; a span outside this is left to the
// one-pixel loop.
template <int Color>
inline bool colours_narrow(const SpanState& s, int n, const TriPaint& paint) {
    constexpr int64_t limit = int64_t{256} << FIX16_SHIFT;
    for (int k = 0; k < 4; ++k) {
        if constexpr (Color == COLOR_CONSTANT) {
            if (paint.constant_fix[k] < 0 || paint.constant_fix[k] >= limit) return false;
        } else if constexpr (Color == COLOR_GOURAUD) {
            const int64_t first = s.c[k];
            const int64_t last = first + int64_t{static_cast<int32_t>(s.dc[k])} * (n - 1);
            if (first >= limit || last < 0 || last >= limit) return false;
        }
    }
    return true;
}

}  // namespace span4

// The whole groups of four of a span of n pixels whose colours are narrow (above): draws them and
// returns how many pixels it drew.
template <bool Alpha4, int Color, bool Blend, bool DepthWrite, bool ClampUV>
inline int draw_span4(uint8_t* dst, uint32_t* zp, int n, const SpanState& s, const TriPaint& paint) {
    using namespace span4;
    const int groups = n / 4;
    if (groups == 0) return 0;
    const uint8_t* tex = paint.tex;
    // Unsigned comparisons as signed ones, both sides offset by 2^31.
    const __m128i bias = splat(0x80000000u);
    __m128i d = _mm_xor_si128(lanes(s.d, s.dd), bias);
    __m128i u = lanes(s.u, s.du), v = lanes(s.v, s.dv);
    const __m128i d_step = splat(4 * s.dd), u_step = splat(4 * s.du), v_step = splat(4 * s.dv);
    const uint32_t umax = static_cast<uint32_t>(paint.tex_width) * 65535u;
    const uint32_t vmax = static_cast<uint32_t>(paint.tex_height) * 65535u;
    const __m128i umax_v = splat(umax), vmax_v = splat(vmax);
    const __m128i umax_b = splat(umax ^ 0x80000000u), vmax_b = splat(vmax ^ 0x80000000u);
    const __m128i tex_width = splat(static_cast<uint32_t>(paint.tex_width));
    const __m128i byte = splat(255), rgb_mask = splat(0xFFFFFF);
    // The constant colour's multipliers in the 16-bit lanes of two pixels.
    const auto tint = [&](int k) { return static_cast<int16_t>(paint.constant_fix[k] >> FIX16_SHIFT); };
    const __m128i constant_tint = _mm_setr_epi16(tint(0), tint(1), tint(2), 0, tint(0), tint(1), tint(2), 0);
    __m128i c[4], c_step[4];
    for (int k = 0; k < 4; ++k) {
        if constexpr (Color == COLOR_CONSTANT) {
            c[k] = splat(static_cast<uint32_t>(paint.constant_fix[k]));
        } else {
            c[k] = lanes(s.c[k], s.dc[k]);
        }
        c_step[k] = splat(4 * s.dc[k]);
    }
    for (int g = 0; g < groups; ++g, dst += 12, zp += 4) {
        const __m128i z = _mm_loadu_si128(reinterpret_cast<const __m128i*>(zp));
        __m128i draw = _mm_cmplt_epi32(d, _mm_xor_si128(z, bias));
        if constexpr (Color != COLOR_NONE)
            draw = _mm_and_si128(draw, _mm_cmpgt_epi32(c[3], _mm_set1_epi32(ALPHA_VISIBLE_FIX)));
        if (_mm_movemask_epi8(draw) != 0) {
            __m128i uu = u, vv = v;
            if constexpr (ClampUV) {
                uu = select(_mm_cmplt_epi32(_mm_xor_si128(u, bias), umax_b), u, umax_v);
                vv = select(_mm_cmplt_epi32(_mm_xor_si128(v, bias), vmax_b), v, vmax_v);
            }
            const __m128i index = _mm_add_epi32(mul32(_mm_srli_epi32(vv, FIX16_SHIFT), tex_width),
                                                _mm_srli_epi32(uu, FIX16_SHIFT));
            const __m128i texels = _mm_unpacklo_epi64(
                _mm_unpacklo_epi32(fetch<Alpha4>(tex, index), fetch<Alpha4>(tex, _mm_srli_si128(index, 4))),
                _mm_unpacklo_epi32(fetch<Alpha4>(tex, _mm_srli_si128(index, 8)),
                                   fetch<Alpha4>(tex, _mm_srli_si128(index, 12))));
            __m128i a = splat(255);
            if constexpr (Color != COLOR_NONE) a = _mm_srli_epi32(c[3], FIX16_SHIFT);
            if constexpr (Alpha4) a = _mm_srli_epi32(mul(_mm_srli_epi32(texels, 24), a), 8);
            // A blended pixel too faint to show writes nothing: four of them (the clear rim of a sprite)
            // are done here.
            if constexpr (Blend)
                draw = _mm_and_si128(draw, _mm_cmpgt_epi32(a, _mm_set1_epi32(ALPHA_INVISIBLE)));
            const int drawn = _mm_movemask_epi8(draw);
            if (drawn != 0) {
                // Two pixels to a vector from here on, one channel to a 16-bit lane (red, green, blue and a
                // fourth that is masked off at the end): every product stays below 2^16.
                const __m128i zero = _mm_setzero_si128();
                __m128i lo = _mm_unpacklo_epi8(texels, zero), hi = _mm_unpackhi_epi8(texels, zero);
                if constexpr (Color == COLOR_CONSTANT) {
                    lo = _mm_srli_epi16(_mm_mullo_epi16(lo, constant_tint), 8);
                    hi = _mm_srli_epi16(_mm_mullo_epi16(hi, constant_tint), 8);
                } else if constexpr (Color == COLOR_GOURAUD) {
                    const __m128i rg = _mm_or_si128(_mm_srli_epi32(c[0], FIX16_SHIFT),
                                                    _mm_slli_epi32(_mm_srli_epi32(c[1], FIX16_SHIFT), 16));
                    const __m128i b = _mm_srli_epi32(c[2], FIX16_SHIFT);
                    lo = _mm_srli_epi16(_mm_mullo_epi16(lo, _mm_unpacklo_epi32(rg, b)), 8);
                    hi = _mm_srli_epi16(_mm_mullo_epi16(hi, _mm_unpackhi_epi32(rg, b)), 8);
                }
                __m128i old = _mm_setzero_si128();
                bool have_old = false;
                if constexpr (Blend) {
                    const __m128i mix = _mm_and_si128(draw, _mm_cmplt_epi32(a, _mm_set1_epi32(BLEND_BELOW)));
                    if (_mm_movemask_epi8(mix) != 0) {
                        old = rgb4::load12(dst);
                        have_old = true;
                        const __m128i under = rgb4::unpack(old);
                        // Weights a and 255 - a where the pixel blends; 256 and 0 keep its own colour.
                        const __m128i own = select(mix, a, splat(256));
                        const __m128i rest = _mm_and_si128(mix, _mm_sub_epi32(byte, a));
                        auto blend = [&](__m128i channels, __m128i below, __m128i own4, __m128i rest4) {
                            return _mm_srli_epi16(
                                _mm_add_epi16(_mm_mullo_epi16(channels, own4), _mm_mullo_epi16(below, rest4)),
                                8);
                        };
                        const __m128i own2 = pair16(own), rest2 = pair16(rest);
                        lo = blend(lo, _mm_unpacklo_epi8(under, zero), _mm_unpacklo_epi32(own2, own2),
                                   _mm_unpacklo_epi32(rest2, rest2));
                        hi = blend(hi, _mm_unpackhi_epi8(under, zero), _mm_unpackhi_epi32(own2, own2),
                                   _mm_unpackhi_epi32(rest2, rest2));
                    }
                }
                __m128i out;  // r | g << 8 | b << 16 of each lane
                if constexpr (Color == COLOR_NONE && !Blend) {
                    out = Alpha4 ? _mm_and_si128(texels, rgb_mask) : texels;
                } else {
                    out = _mm_and_si128(_mm_packus_epi16(lo, hi), rgb_mask);
                }
                if (drawn == 0xFFFF) {
                    rgb4::store12(dst, rgb4::pack(out));
                } else {
                    if (!have_old) old = rgb4::load12(dst);
                    rgb4::store12(dst,
                                  select(rgb4::pack(_mm_and_si128(draw, rgb_mask)), rgb4::pack(out), old));
                }
                if constexpr (DepthWrite)
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(zp), select(draw, _mm_xor_si128(d, bias), z));
            }
        }
        d = _mm_add_epi32(d, d_step);
        u = _mm_add_epi32(u, u_step);
        v = _mm_add_epi32(v, v_step);
        if constexpr (Color == COLOR_GOURAUD)
            for (int k = 0; k < 4; ++k) c[k] = _mm_add_epi32(c[k], c_step[k]);
    }
    return groups * 4;
}

#endif

}  // namespace fill_detail
