// Textured spans eight pixels at a time (AVX2), for processors that have it: chosen at run time, since
// the build's baseline is SSE2. Lane for lane the operations of the four-pixel loop (fill_span4.h), so
// the picture is the same bit for bit. A span's last group may be short; spans shorter than
// SPAN8_MIN_PIXELS are left to the four-pixel and one-pixel loops. Only the functions here are compiled for
// AVX2; nothing else of the program uses it. Private to the filler.
#pragma once

#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__)) && \
    (defined(__x86_64__) || defined(__i386__))
#define FILL_SPAN8 1

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "core/rgb8.h"
#include "render/raster/fill_setup.h"
#include "render/raster/fill_span4.h"

#define SPAN8_TARGET RGB8_TARGET

namespace fill_detail {

// Shorter spans, such as a small sprite's, go to the four-pixel loop: for them the set-up of the
// eight lanes and the copies of a short last group cost more than they save.
constexpr int SPAN8_MIN_PIXELS = 16;

// Whether this processor runs the eight-pixel loop (asked once, when the filler starts).
inline bool span8_supported() {
    return rgb8::supported();
}

namespace span8 {

using rgb8::load24;
using rgb8::store24;

SPAN8_TARGET inline __m256i splat(uint32_t v) {
    return _mm256_set1_epi32(static_cast<int32_t>(v));
}

// start + k step for k = 0..7, modulo 2^32 as the pixel loop steps them.
SPAN8_TARGET inline __m256i lanes(uint32_t start, uint32_t step) {
    auto at = [&](uint32_t k) { return static_cast<int32_t>(k * step); };
    return _mm256_add_epi32(splat(start),
                            _mm256_setr_epi32(0, at(1), at(2), at(3), at(4), at(5), at(6), at(7)));
}

// a where the mask's lanes (all ones or all zeros per byte) are set, else b.
SPAN8_TARGET inline __m256i select(__m256i mask, __m256i a, __m256i b) {
    return _mm256_blendv_epi8(b, a, mask);
}

// Each lane's value (below 2^16) in both of its 16-bit halves.
SPAN8_TARGET inline __m256i pair16(__m256i v) {
    return _mm256_or_si256(v, _mm256_slli_epi32(v, 16));
}

// The texels at the eight indices, r | g << 8 | b << 16 (| a << 24), loaded one by one as the four-pixel
// loop loads them: a gather instruction is slower here than eight loads.
template <bool Alpha4>
SPAN8_TARGET inline __m256i fetch(const uint8_t* tex, __m256i index) {
    alignas(32) uint32_t at[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(at), index);
    auto word = [&](int k) { return span4::texel_word<Alpha4>(tex, at[k]); };
    const __m128i low = _mm_insert_epi32(
        _mm_insert_epi32(_mm_insert_epi32(_mm_cvtsi32_si128(word(0)), word(1), 1), word(2), 2), word(3), 3);
    const __m128i high = _mm_insert_epi32(
        _mm_insert_epi32(_mm_insert_epi32(_mm_cvtsi32_si128(word(4)), word(5), 1), word(6), 2), word(7), 3);
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

// The eight texels from p on, laid out as fetch lays them out; nothing past them is read.
template <bool Alpha4>
SPAN8_TARGET inline __m256i load8(const uint8_t* p) {
    if constexpr (Alpha4) {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    } else {
        return load24(p);
    }
}

// Eight texels at once for pixels whose texture is drawn at least at its own size: along a span that
// steps at most one texel column a pixel and less than a seventh of a texel row, eight pixels' columns
// lie within eight of each other and their rows within two neighbours. One load of eight neighbouring
// texels (two when the rows differ) and a permute then stand for eight loads, with the same values.
// `col_least` and `row_least` pick in every lane the lane whose column and row are the least (the first
// or the last, as the span steps); `last_start` is the texture's width less 8, which must not be
// negative. Every lane must be a pixel of the span, inside the texture.
template <bool Alpha4>
SPAN8_TARGET inline __m256i fetch_window(const uint8_t* tex, uint32_t width, __m256i col, __m256i row,
                                         __m256i col_least, __m256i row_least, __m256i last_start) {
    constexpr size_t bytes = Alpha4 ? 4 : 3;
    // The eight texels loaded start at the least column, or end at the texture's right edge.
    const __m256i first = _mm256_min_epi32(_mm256_permutevar8x32_epi32(col, col_least), last_start);
    const __m256i top = _mm256_permutevar8x32_epi32(row, row_least);
    const __m256i at = _mm256_sub_epi32(col, first);
    const uint8_t* p = tex + (static_cast<size_t>(static_cast<uint32_t>(_mm256_cvtsi256_si32(top))) * width +
                              static_cast<uint32_t>(_mm256_cvtsi256_si32(first))) *
                                 bytes;
    __m256i texels = _mm256_permutevar8x32_epi32(load8<Alpha4>(p), at);
    const __m256i below = _mm256_cmpgt_epi32(row, top);
    if (!_mm256_testz_si256(below, below))
        texels = select(below, _mm256_permutevar8x32_epi32(load8<Alpha4>(p + width * bytes), at), texels);
    return texels;
}

}  // namespace span8

// A span of n pixels whose colours are narrow (span4::colours_narrow), eight pixels at a time. The products
// of the four-pixel loop's unpacked channels are formed here in place, each pixel's two pairs of channels
// in the halves of its own lane: the same sums, with no unpacking and packing between them.
template <bool Alpha4, int Color, bool Blend, bool DepthWrite, bool ClampUV>
SPAN8_TARGET void draw_span8(uint8_t* dst, uint32_t* zp, int n, const SpanState& s, const TriPaint& paint) {
    using namespace span8;
    if (n <= 0) return;
    // The last group may be short: it is drawn in copies of its pixels whose missing depths are 0,
    // which nothing passes, and copied back.
    const int whole = n / 8, rest = n % 8, groups = whole + (rest != 0 ? 1 : 0);
    alignas(32) uint32_t z_stage[8];
    uint8_t c_stage[24];
    const uint8_t* tex = paint.tex;
    // Unsigned comparisons as signed ones, both sides offset by 2^31.
    const __m256i bias = splat(0x80000000u);
    __m256i d = _mm256_xor_si256(lanes(s.d, s.dd), bias);
    __m256i u = lanes(s.u, s.du), v = lanes(s.v, s.dv);
    const __m256i d_step = splat(8 * s.dd), u_step = splat(8 * s.du), v_step = splat(8 * s.dv);
    const uint32_t umax = static_cast<uint32_t>(paint.tex_width) * 65535u;
    const uint32_t vmax = static_cast<uint32_t>(paint.tex_height) * 65535u;
    const __m256i umax_v = splat(umax), vmax_v = splat(vmax);
    const __m256i umax_b = splat(umax ^ 0x80000000u), vmax_b = splat(vmax ^ 0x80000000u);
    const __m256i tex_width = splat(static_cast<uint32_t>(paint.tex_width));
    const __m256i byte = splat(255), zero = _mm256_setzero_si256();
    const __m256i low_bytes = splat(0x00FF00FFu), high_bytes = splat(0xFF00FF00u);
    const __m256i visible_fix = splat(static_cast<uint32_t>(ALPHA_VISIBLE_FIX));
    const __m256i invisible = splat(static_cast<uint32_t>(ALPHA_INVISIBLE));
    const __m256i blend_below = splat(static_cast<uint32_t>(BLEND_BELOW));
    // The constant colour's channels laid out as `even` and `odd` hold them below (the alpha's weight 0).
    const auto tint = [&](int k) { return static_cast<uint32_t>(paint.constant_fix[k]) >> FIX16_SHIFT; };
    const __m256i tint_even = splat(tint(0) | tint(2) << 16), tint_odd = splat(tint(1));
    // Whole groups of a texture drawn at least at its own size fetch their texels eight at once.
    const bool window = window_fits<8>(s, n, paint.tex_width, ClampUV);
    const __m256i col_least = splat(static_cast<int32_t>(s.du) >= 0 ? 0 : 7);
    const __m256i row_least = splat(static_cast<int32_t>(s.dv) >= 0 ? 0 : 7);
    const __m256i last_start = splat(static_cast<uint32_t>(paint.tex_width - 8));
    __m256i c[4], c_step[4];
    for (int k = 0; k < 4; ++k) {
        if constexpr (Color == COLOR_CONSTANT) {
            c[k] = splat(static_cast<uint32_t>(paint.constant_fix[k]));
        } else {
            c[k] = lanes(s.c[k], s.dc[k]);
        }
        c_step[k] = splat(8 * s.dc[k]);
    }
    for (int g = 0; g < groups; ++g, dst += 24, zp += 8) {
        uint8_t* px = dst;
        uint32_t* pz = zp;
        if (g == whole) {
            std::memset(z_stage, 0, sizeof z_stage);
            std::memcpy(z_stage, zp, static_cast<size_t>(rest) * 4);
            std::memcpy(c_stage, dst, static_cast<size_t>(rest) * 3);
            px = c_stage;
            pz = z_stage;
        }
        const __m256i z = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pz));
        __m256i draw = _mm256_cmpgt_epi32(_mm256_xor_si256(z, bias), d);
        if constexpr (Color != COLOR_NONE)
            draw = _mm256_and_si256(draw, _mm256_cmpgt_epi32(c[3], visible_fix));
        if (_mm256_movemask_epi8(draw) != 0) {
            __m256i uu = u, vv = v;
            if constexpr (ClampUV) {
                uu = select(_mm256_cmpgt_epi32(umax_b, _mm256_xor_si256(u, bias)), u, umax_v);
                vv = select(_mm256_cmpgt_epi32(vmax_b, _mm256_xor_si256(v, bias)), v, vmax_v);
            }
            const __m256i col = _mm256_srli_epi32(uu, FIX16_SHIFT), row = _mm256_srli_epi32(vv, FIX16_SHIFT);
            __m256i texels;
            if (window && g < whole) {
                texels = fetch_window<Alpha4>(tex, static_cast<uint32_t>(paint.tex_width), col, row,
                                              col_least, row_least, last_start);
            } else {
                // Pixels that are not drawn read the first texel: past the span's end their coordinates
                // may lie outside the texture.
                const __m256i index =
                    _mm256_and_si256(draw, _mm256_add_epi32(_mm256_mullo_epi32(row, tex_width), col));
                texels = fetch<Alpha4>(tex, index);
            }
            __m256i a = byte;
            if constexpr (Color != COLOR_NONE) a = _mm256_srli_epi32(c[3], FIX16_SHIFT);
            if constexpr (Alpha4)
                a = _mm256_srli_epi32(_mm256_mullo_epi16(_mm256_srli_epi32(texels, 24), a), 8);
            if constexpr (Blend) draw = _mm256_and_si256(draw, _mm256_cmpgt_epi32(a, invisible));
            const int drawn = _mm256_movemask_epi8(draw);
            if (drawn != 0) {
                // Each pixel's channels in the two 16-bit halves of its lane: r and b in `even`, g and the
                // texel alpha in `odd`. Every product below stays under 2^16 and every result under 2^8,
                // so the halves never carry into each other and the bytes are those of the unpacked sums.
                __m256i even = _mm256_and_si256(texels, low_bytes);
                __m256i odd = _mm256_srli_epi16(texels, 8);
                if constexpr (Color == COLOR_CONSTANT) {
                    even = _mm256_srli_epi16(_mm256_mullo_epi16(even, tint_even), 8);
                    odd = _mm256_srli_epi16(_mm256_mullo_epi16(odd, tint_odd), 8);
                } else if constexpr (Color == COLOR_GOURAUD) {
                    const __m256i rb =
                        _mm256_or_si256(_mm256_srli_epi32(c[0], FIX16_SHIFT),
                                        _mm256_slli_epi32(_mm256_srli_epi32(c[2], FIX16_SHIFT), 16));
                    even = _mm256_srli_epi16(_mm256_mullo_epi16(even, rb), 8);
                    odd = _mm256_srli_epi16(_mm256_mullo_epi16(odd, _mm256_srli_epi32(c[1], FIX16_SHIFT)), 8);
                }
                __m256i under = zero;  // the pixels already there, once read
                bool have_under = false;
                // r | g << 8 | b << 16 of each lane; the top byte is left to chance, store24 drops it.
                __m256i out = _mm256_or_si256(even, _mm256_slli_epi16(odd, 8));
                if constexpr (Color == COLOR_NONE && !Blend) out = texels;
                if constexpr (Blend) {
                    const __m256i mix = _mm256_and_si256(draw, _mm256_cmpgt_epi32(blend_below, a));
                    if (_mm256_movemask_epi8(mix) != 0) {
                        under = load24(px);
                        have_under = true;
                        // Weights a and 255 - a where the pixel blends; 256 and 0 keep its own colour.
                        const __m256i own = pair16(select(mix, a, splat(256)));
                        const __m256i rest = pair16(_mm256_and_si256(mix, _mm256_sub_epi32(byte, a)));
                        const __m256i e =
                            _mm256_add_epi16(_mm256_mullo_epi16(even, own),
                                             _mm256_mullo_epi16(_mm256_and_si256(under, low_bytes), rest));
                        const __m256i o =
                            _mm256_add_epi16(_mm256_mullo_epi16(odd, own),
                                             _mm256_mullo_epi16(_mm256_srli_epi16(under, 8), rest));
                        out = _mm256_or_si256(_mm256_srli_epi16(e, 8), _mm256_and_si256(o, high_bytes));
                    }
                }
                if (drawn != -1) {
                    if (!have_under) under = load24(px);
                    out = select(draw, out, under);
                }
                store24(px, out);
                if constexpr (DepthWrite)
                    _mm256_storeu_si256(reinterpret_cast<__m256i*>(pz),
                                        select(draw, _mm256_xor_si256(d, bias), z));
            }
        }
        if (g == whole) {
            std::memcpy(dst, c_stage, static_cast<size_t>(rest) * 3);
            if constexpr (DepthWrite) std::memcpy(zp, z_stage, static_cast<size_t>(rest) * 4);
        }
        d = _mm256_add_epi32(d, d_step);
        u = _mm256_add_epi32(u, u_step);
        v = _mm256_add_epi32(v, v_step);
        if constexpr (Color == COLOR_GOURAUD)
            for (int k = 0; k < 4; ++k) c[k] = _mm256_add_epi32(c[k], c_step[k]);
    }
}

// The pixels at the start of a span whose depth test fails (hidden_run of the filler), sixteen depths
// at a time while all are hidden, then eight.
SPAN8_TARGET inline int hidden_run8(const uint32_t* zp, uint32_t d, uint32_t dd, int n) {
    using namespace span8;
    // Both sides offset by 2^31: the signed comparison then orders them as unsigned values.
    const __m256i bias = splat(0x80000000u);
    __m256i depths = lanes(d ^ 0x80000000u, dd);
    const __m256i step = splat(8 * dd);
    int k = 0;
    for (; k + 16 <= n; k += 16) {
        const __m256i z0 =
            _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(zp + k)), bias);
        const __m256i z1 =
            _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(zp + k + 8)), bias);
        const __m256i next = _mm256_add_epi32(depths, step);
        if (!_mm256_testz_si256(_mm256_or_si256(_mm256_cmpgt_epi32(z0, depths), _mm256_cmpgt_epi32(z1, next)),
                                bias))
            break;
        depths = _mm256_add_epi32(next, step);
    }
    for (; k + 8 <= n; k += 8) {
        const __m256i z =
            _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(zp + k)), bias);
        const int visible = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(z, depths)));
        if (visible != 0) return k + __builtin_ctz(static_cast<unsigned>(visible));
        depths = _mm256_add_epi32(depths, step);
    }
    for (d += static_cast<uint32_t>(k) * dd; k < n && !(d < zp[k]); ++k) d += dd;
    return k;
}

// The bytes of the lanes of z that are at most the one value in all lanes of limit, as a mask (four bits a
// lane; all ones when every lane is).
SPAN8_TARGET inline unsigned lanes_at_most(__m256i z, __m256i limit) {
    return static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_max_epu32(z, limit), limit)));
}

SPAN8_TARGET inline __m256i load_depths(const uint32_t* zp) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(zp));
}

// How many of the n depths, from the first, are at most bound (depths_at_most of the filler), thirty-two
// at a time while all are: every depth is at most bound exactly where the largest of them is.
SPAN8_TARGET inline int depths_at_most8(const uint32_t* zp, int n, uint32_t bound) {
    const __m256i limit = span8::splat(bound);
    int k = 0;
    for (; k + 32 <= n; k += 32) {
        const __m256i a = _mm256_max_epu32(load_depths(zp + k), load_depths(zp + k + 8));
        const __m256i b = _mm256_max_epu32(load_depths(zp + k + 16), load_depths(zp + k + 24));
        if (lanes_at_most(_mm256_max_epu32(a, b), limit) != 0xFFFFFFFFu) break;
    }
    for (; k + 8 <= n; k += 8) {
        const unsigned within = lanes_at_most(load_depths(zp + k), limit);
        if (within != 0xFFFFFFFFu) return k + __builtin_ctz(~within) / 4;
    }
    while (k < n && zp[k] <= bound) ++k;
    return k;
}

}  // namespace fill_detail

#endif
