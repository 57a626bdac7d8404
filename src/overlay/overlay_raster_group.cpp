// Grouped drawing of the tile rasteriser: consecutive upright glyph images (an outlined character's
// outline copies and its ink) drawn together, a row at a time: each image's opacities into a line of its
// own, then every pixel composed from them in drawing order and written once. Called by the tile workers
// on their own tiles; reads only the set-ups.
#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "overlay/overlay_raster.h"

namespace overlay_detail {

namespace {

constexpr fix32 FIX32_UNIT = fix32{1} << FIX32_SHIFT;
// A member's opacity line: a tile's row and room for eight bytes written past its end at once.
constexpr int LINE_STRIDE = GROUP_WIDTH_MAX + 16;
// A member's cells (runs of pixels between texel columns) are listed once per tile: a glyph crosses at
// most its width in texels and one more; an image that crosses more in a tile (its window spanning many
// texture widths, or drawn smaller than its texture) finds its cells again on every row instead.
constexpr int CELLS_MAX = 48;

// A run of pixels that mix the same two texel columns.
struct Cell {
    uint16_t x, run;  // first pixel (from the member's first) and pixels
    uint8_t c0, c1;   // the texel columns
    uint32_t frac;    // the fraction of u at the first pixel: the low 32 bits
};

// A member's state over one tile.
struct Member {
    const CommandSetup* s;
    int known;         // 0 span not searched yet, 1 the span below, -1 no pixel in the tile
    int first, end;    // its pixels of every row it covers, within the tile
    fix32 u, du;       // u at `first` (the same on every row: u_y is zero), and its step
    double per_du;     // 1 / du, for steps_until
    uint32_t r, g, b;  // the tinted colour, the same at every sample
    uint32_t ma;       // the opacity multiplier
    int cells;         // listed cells; -1: too many, found row by row
    int same_rows;     // an earlier member with the same texture and v on every row, whose row it takes; -1
};

// This row's texel rows of a member, their vertical weights and the columns that may hold ink.
struct MemberRow {
    const uint8_t* t0;  // first byte of the upper texel row's alphas (stride 4)
    const uint8_t* t1;  // the lower row's
    uint32_t fy, gy;
    int ink_first, ink_last;  // ink_last < 0: neither row has ink
};

MemberRow member_row(const CommandSetup& s, fix32 v) {
    const size_t row_bytes = static_cast<size_t>(s.tex_width) * 4;
    const int r0 = texel_index(v, s.tex_height), r1 = texel_index(v + FIX32_UNIT, s.tex_height);
    MemberRow m{};
    m.t0 = s.tex + static_cast<size_t>(r0) * row_bytes + 3;
    m.t1 = s.tex + static_cast<size_t>(r1) * row_bytes + 3;
    m.fy = static_cast<uint32_t>((v >> WEIGHT_SHIFT) & 255);
    m.gy = 256 - m.fy;
    m.ink_first = std::min(s.ink_first[r0], s.ink_first[r1]);
    m.ink_last = std::max(s.ink_first[r0] <= s.ink_last[r0] ? s.ink_last[r0] : -1,
                          s.ink_first[r1] <= s.ink_last[r1] ? s.ink_last[r1] : -1);
    return m;
}

// The cells of the member's n pixels from u on, into out; false when there are more than CELLS_MAX.
bool list_cells(const Member& m, int n, Cell* out, int& count) {
    const int tw = m.s->tex_width;
    fix32 u = m.u;
    count = 0;
    for (int x = 0; x < n;) {
        if (count == CELLS_MAX) return false;
        const fix32 next = ((u >> FIX32_SHIFT) + 1) * FIX32_UNIT;
        const fix32 in_cell = steps_until(u, m.du, next, m.per_du);
        const int run = in_cell < n - x ? static_cast<int>(in_cell) : n - x;
        out[count++] = Cell{static_cast<uint16_t>(x), static_cast<uint16_t>(run),
                            static_cast<uint8_t>(texel_index(u, tw)),
                            static_cast<uint8_t>(texel_index(u + FIX32_UNIT, tw)), static_cast<uint32_t>(u)};
        u += m.du * run;
        x += run;
    }
    return true;
}

// One cell's opacities: the filtered alpha, faded. Within a cell the integer part of u stays, so the
// fraction steps in 32 bits. With SSE2 eight pixels at a time, writing up to seven bytes past the run:
// a member's line has room for them, and past its run they are rewritten or cleared before being read.
inline void cell_alphas(uint8_t* q, const Cell& c, const MemberRow& row, uint32_t step, uint32_t ma) {
    const uint32_t a0 = row.t0[c.c0 * 4], a1 = row.t0[c.c1 * 4], b0 = row.t1[c.c0 * 4], b1 = row.t1[c.c1 * 4];
    if (a0 == a1 && a0 == b0 && a0 == b1) {
        std::memset(q, static_cast<int>((a0 * ma) >> 8), c.run);
        return;
    }
    const uint32_t left = a0 * row.gy + b0 * row.fy, right = a1 * row.gy + b1 * row.fy;
#if defined(__SSE2__)
    // left (256 - fx) + right fx in 32 bits from 16-bit halves: the high halves added, plus the carry of
    // the low halves (their saturated and wrapped sums differ exactly when they carry).
    const __m128i vl = _mm_set1_epi16(static_cast<int16_t>(left)),
                  vr = _mm_set1_epi16(static_cast<int16_t>(right));
    const __m128i vma = _mm_set1_epi16(static_cast<int16_t>(ma)), w256 = _mm_set1_epi16(256),
                  one = _mm_set1_epi16(1);
    const __m128i step4 = _mm_set1_epi32(static_cast<int32_t>(step * 4));
    __m128i f0 = _mm_add_epi32(_mm_set1_epi32(static_cast<int32_t>(c.frac)),
                               _mm_set_epi32(static_cast<int32_t>(step * 3), static_cast<int32_t>(step * 2),
                                             static_cast<int32_t>(step), 0));
    __m128i f1 = _mm_add_epi32(f0, step4);
    const __m128i step8 = _mm_add_epi32(step4, step4);
    for (int k = 0; k < c.run; k += 8) {
        const __m128i fx = _mm_packs_epi32(_mm_srli_epi32(f0, 24), _mm_srli_epi32(f1, 24));
        const __m128i gx = _mm_sub_epi16(w256, fx);
        const __m128i lo0 = _mm_mullo_epi16(vl, gx), lo1 = _mm_mullo_epi16(vr, fx);
        const __m128i hi = _mm_add_epi16(_mm_mulhi_epu16(vl, gx), _mm_mulhi_epu16(vr, fx));
        const __m128i no_carry = _mm_cmpeq_epi16(_mm_adds_epu16(lo0, lo1), _mm_add_epi16(lo0, lo1));
        const __m128i a = _mm_add_epi16(hi, _mm_add_epi16(one, no_carry));
        const __m128i faded = _mm_srli_epi16(_mm_mullo_epi16(a, vma), 8);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(q + k), _mm_packus_epi16(faded, faded));
        f0 = _mm_add_epi32(f0, step8);
        f1 = _mm_add_epi32(f1, step8);
    }
#else
    // left (256 - fx) + right fx regrouped as left 256 + (right - left) fx.
    const int32_t base = static_cast<int32_t>(left) * 256;
    const int32_t diff = static_cast<int32_t>(right) - static_cast<int32_t>(left);
    uint32_t frac = c.frac;
    for (int k = 0; k < c.run; ++k, frac += step) {
        const uint32_t a = static_cast<uint32_t>(base + diff * static_cast<int32_t>(frac >> 24)) >> 16;
        q[k] = static_cast<uint8_t>((a * ma) >> 8);
    }
#endif
}

// The member's opacities over its pixels from its listed cells, into line[0, end - first): one run
// [lo, hi) is written; the cells before the first that may hold ink and after the last one draw nothing
// and are left alone.
void alpha_from_cells(uint8_t* line, const Member& m, const Cell* cells, const MemberRow& row, int& lo,
                      int& hi) {
    lo = hi = 0;
    bool started = false;
    const uint32_t step = static_cast<uint32_t>(m.du);
    for (int k = 0; k < m.cells; ++k) {
        const Cell& c = cells[k];
        if (c.c0 > row.ink_last) break;
        if (c.c1 < row.ink_first) continue;
        if (!started) {
            lo = c.x;
            started = true;
        }
        cell_alphas(line + c.x, c, row, step, m.ma);
        hi = c.x + c.run;
    }
}

// The same for a member whose cells are not listed, found on this row: n pixels from u on into out[0, n).
void alpha_cells(uint8_t* out, int n, fix32 u, const Member& m, const MemberRow& row, int& lo, int& hi) {
    const int tw = m.s->tex_width;
    const fix32 du = m.du;
    lo = hi = 0;
    if (row.ink_last < 0) return;
    int x = 0;
    bool started = false;
    while (x < n) {
        if (texel_index(u, tw) > row.ink_last) break;
        if (texel_index(u + FIX32_UNIT, tw) < row.ink_first) {
            const fix32 to = static_cast<fix32>(row.ink_first - 1) * FIX32_UNIT;
            const fix32 skip = steps_until(u, du, to, m.per_du);
            if (skip >= n - x) break;
            const int k = static_cast<int>(skip);
            x += k;
            u += du * k;
            continue;
        }
        const fix32 next = ((u >> FIX32_SHIFT) + 1) * FIX32_UNIT;
        const fix32 in_cell = steps_until(u, du, next, m.per_du);
        const int run = in_cell < n - x ? static_cast<int>(in_cell) : n - x;
        if (!started) {
            lo = x;
            started = true;
        }
        const Cell c{0, static_cast<uint16_t>(run), static_cast<uint8_t>(texel_index(u, tw)),
                     static_cast<uint8_t>(texel_index(u + FIX32_UNIT, tw)), static_cast<uint32_t>(u)};
        cell_alphas(out + x, c, row, static_cast<uint32_t>(du), m.ma);
        u += du * run;
        x += run;
        hi = x;
    }
}

// Pixels [0, n) from the members' opacity lines (line k at lines + k * LINE_STRIDE, of member
// order[k]): put_pixel of each member in turn, in registers. A member that replaces the pixel outright
// makes everything under it irrelevant, so the work starts from the last such member.
[[maybe_unused]] void compose(uint8_t* p, int n, const uint8_t* lines, const Member* const* order,
                              int count) {
    for (int x = 0; x < n; ++x, p += 4) {
        const uint8_t* a = lines + x;
        int top = count - 1;
        while (top >= 0 && a[top * LINE_STRIDE] < ALPHA_REPLACE) --top;
        uint32_t r, g, b, c;
        int k;
        if (top >= 0) {
            const Member& m = *order[top];
            r = m.r;
            g = m.g;
            b = m.b;
            c = a[top * LINE_STRIDE];
            k = top + 1;
        } else {
            k = 0;
            while (k < count && a[k * LINE_STRIDE] <= ALPHA_NOTHING) ++k;
            if (k == count) continue;
            r = p[0];
            g = p[1];
            b = p[2];
            c = p[3];
        }
        for (; k < count; ++k) {
            const uint32_t s = a[k * LINE_STRIDE];
            if (s <= ALPHA_NOTHING) continue;
            const Member& m = *order[k];
            if (c == 0) {
                r = m.r;
                g = m.g;
                b = m.b;
                c = s;
                continue;
            }
            const uint32_t rest = 255 - s;
            r = (r * rest + m.r * s) >> 8;
            g = (g * rest + m.g * s) >> 8;
            b = (b * rest + m.b * s) >> 8;
            c = std::min(c + s, 255u);
        }
        p[0] = static_cast<uint8_t>(r);
        p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(b);
        p[3] = static_cast<uint8_t>(c);
    }
}

#if defined(__SSE2__)

// compose on eight pixels at a time, a channel of eight pixels in 16-bit lanes: the same rule with the
// same integers. A blend never passes 16 bits: r (255 - a) + m a is at most 255 x 255.
struct GroupColors {
    __m128i r[GROUP_MAX], g[GROUP_MAX], b[GROUP_MAX];
};

// Pixels p[0, 8) from the lines' bytes a8[0, 8).
inline void compose_block(uint8_t* p, const uint8_t* a8, const GroupColors& colors, int count) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i nothing = _mm_set1_epi16(ALPHA_NOTHING), replace = _mm_set1_epi16(ALPHA_REPLACE - 1);
    const __m128i full = _mm_set1_epi16(255), nothing8 = _mm_set1_epi8(static_cast<char>(ALPHA_NOTHING));
    __m128i most = zero;
    for (int k = 0; k < count; ++k)
        most = _mm_max_epu8(most, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a8 + k * LINE_STRIDE)));
    if ((_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_subs_epu8(most, nothing8), zero)) & 0xFF) == 0xFF) return;
    // Eight RGBA pixels into a 16-bit vector per channel.
    const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i t0 = _mm_unpacklo_epi8(p0, p1), t1 = _mm_unpackhi_epi8(p0, p1);
    const __m128i u0 = _mm_unpacklo_epi8(t0, t1), u1 = _mm_unpackhi_epi8(t0, t1);
    const __m128i rg = _mm_unpacklo_epi8(u0, u1), bc = _mm_unpackhi_epi8(u0, u1);
    __m128i r = _mm_unpacklo_epi8(rg, zero), g = _mm_unpackhi_epi8(rg, zero);
    __m128i b = _mm_unpacklo_epi8(bc, zero), c = _mm_unpackhi_epi8(bc, zero);
    for (int k = 0; k < count; ++k) {
        const __m128i a =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a8 + k * LINE_STRIDE)), zero);
        const __m128i draw = _mm_cmpgt_epi16(a, nothing);
        if (_mm_movemask_epi8(draw) == 0) continue;
        const __m128i set =
            _mm_and_si128(draw, _mm_or_si128(_mm_cmpgt_epi16(a, replace), _mm_cmpeq_epi16(c, zero)));
        const __m128i blend = _mm_andnot_si128(set, draw);
        const __m128i rest = _mm_sub_epi16(full, a);
        auto mix = [&](__m128i v, __m128i m) {
            const __m128i mixed =
                _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(v, rest), _mm_mullo_epi16(m, a)), 8);
            return _mm_or_si128(_mm_or_si128(_mm_and_si128(set, m), _mm_and_si128(blend, mixed)),
                                _mm_andnot_si128(draw, v));
        };
        r = mix(r, colors.r[k]);
        g = mix(g, colors.g[k]);
        b = mix(b, colors.b[k]);
        const __m128i sum = _mm_min_epi16(_mm_add_epi16(c, a), full);
        c = _mm_or_si128(_mm_or_si128(_mm_and_si128(set, a), _mm_and_si128(blend, sum)),
                         _mm_andnot_si128(draw, c));
    }
    // Back to RGBA bytes.
    const __m128i rg8 = _mm_packus_epi16(r, g), bc8 = _mm_packus_epi16(b, c);
    const __m128i v0 = _mm_unpacklo_epi8(rg8, bc8), v1 = _mm_unpackhi_epi8(rg8, bc8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_unpacklo_epi8(v0, v1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), _mm_unpackhi_epi8(v0, v1));
}

// Pixels [0, n); the lines hold zeros for eight bytes past n. The last pixels short of a block go through
// a copy: the pixels after them may be another tile's, drawn by another thread.
void compose8(uint8_t* p, int n, const uint8_t* lines, const Member* const* order, int count) {
    GroupColors colors;
    for (int k = 0; k < count; ++k) {
        colors.r[k] = _mm_set1_epi16(static_cast<int16_t>(order[k]->r));
        colors.g[k] = _mm_set1_epi16(static_cast<int16_t>(order[k]->g));
        colors.b[k] = _mm_set1_epi16(static_cast<int16_t>(order[k]->b));
    }
    int x = 0;
    for (; x + 8 <= n; x += 8) compose_block(p + static_cast<size_t>(x) * 4, lines + x, colors, count);
    if (x < n) {
        const size_t bytes = static_cast<size_t>(n - x) * 4;
        uint8_t block[32] = {};
        std::memcpy(block, p + static_cast<size_t>(x) * 4, bytes);
        compose_block(block, lines + x, colors, count);
        std::memcpy(p + static_cast<size_t>(x) * 4, block, bytes);
    }
}

#endif

}  // namespace

bool draw_group(uint8_t* buffer, int width, const CommandSetup* const* members, int n, const TileBounds& t) {
    if (n < 1 || n > GROUP_MAX || t.x1 - t.x0 > GROUP_WIDTH_MAX) return false;
    Member ms[GROUP_MAX];
    Cell cells[GROUP_MAX][CELLS_MAX];
    for (int k = 0; k < n; ++k) {
        const CommandSetup& s = *members[k];
        Member& m = ms[k];
        m = Member{};
        m.s = &s;
        const uint32_t mr = multiplier(s.red), mg = multiplier(s.green), mb = multiplier(s.blue);
        m.r = (s.tex[0] * mr) >> 8;
        m.g = (s.tex[1] * mg) >> 8;
        m.b = (s.tex[2] * mb) >> 8;
        m.ma = multiplier(s.alpha);
        // An outline's copies above, level with and below the glyph: three of each share their rows.
        m.same_rows = -1;
        for (int j = 0; j < k && m.same_rows < 0; ++j) {
            const CommandSetup& o = *members[j];
            if (o.tex == s.tex && o.tex_width == s.tex_width && o.tex_height == s.tex_height &&
                o.v_c == s.v_c && o.v_y == s.v_y)
                m.same_rows = j;
        }
    }
    const size_t w = static_cast<size_t>(width);
    alignas(16) uint8_t lines[GROUP_MAX * LINE_STRIDE];
    for (int y = t.y0; y < t.y1; ++y) {
        // The members with pixels on this row, in drawing order, and their opacities.
        const Member* order[GROUP_MAX];
        int from[GROUP_MAX], to[GROUP_MAX];
        MemberRow rows[GROUP_MAX];
        uint32_t rows_found = 0;  // bit k: rows[k] holds member k's texel rows of this row
        int count = 0, lo = t.x1 - t.x0, hi = 0;
        const double yc = y + 0.5;
        for (int k = 0; k < n; ++k) {
            Member& m = ms[k];
            const CommandSetup& s = *m.s;
            if (!(s.py[0] <= yc && yc < s.py[1])) continue;
            if (m.known == 0) {
                // Vertical sides: the span found on one row holds for every row.
                m.known = command_row_span(s, y, t.x0, t.x1, m.first, m.end) ? 1 : -1;
                if (m.known > 0) {
                    const RowFix f = command_row_fix(s, m.first, y);
                    m.u = f.u;
                    m.du = f.du;
                    m.per_du = 1.0 / static_cast<double>(f.du);
                    if (!list_cells(m, m.end - m.first, cells[k], m.cells)) m.cells = -1;
                }
            }
            if (m.known < 0) continue;
            if (m.same_rows >= 0 && (rows_found >> m.same_rows & 1u)) {
                rows[k] = rows[m.same_rows];
            } else {
                rows[k] = member_row(s, command_row_v(s, y));
            }
            rows_found |= 1u << k;
            const MemberRow& row = rows[k];
            if (row.ink_last < 0) continue;
            uint8_t* line = lines + count * LINE_STRIDE + (m.first - t.x0);
            int l, h;
            if (m.cells >= 0) {
                alpha_from_cells(line, m, cells[k], row, l, h);
            } else {
                alpha_cells(line, m.end - m.first, m.u, m, row, l, h);
            }
            if (l >= h) continue;
            from[count] = l + (m.first - t.x0);
            to[count] = h + (m.first - t.x0);
            lo = std::min(lo, from[count]);
            hi = std::max(hi, to[count]);
            order[count++] = &m;
        }
        if (lo >= hi) continue;
        // Outside its written run a member draws nothing.
        for (int k = 0; k < count; ++k) {
            uint8_t* line = lines + k * LINE_STRIDE;
            std::memset(line + lo, 0, static_cast<size_t>(from[k] - lo));
            std::memset(line + to[k], 0, static_cast<size_t>(hi - to[k]));
        }
        uint8_t* p = buffer + (static_cast<size_t>(y) * w + static_cast<size_t>(t.x0 + lo)) * 4;
#if defined(__SSE2__)
        for (int k = 0; k < count; ++k) std::memset(lines + k * LINE_STRIDE + hi, 0, 8);
        compose8(p, hi - lo, lines + lo, order, count);
#else
        compose(p, hi - lo, lines + lo, order, count);
#endif
    }
    return true;
}

}  // namespace overlay_detail
