// The fast triangle filler: per triangle it picks one span loop compiled for exactly the features the
// triangle uses, so the per-pixel work is integer adds, shifts and one multiply for the texel address.
// Reentrant; workers of the raster pass call it concurrently on their own shares.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <utility>

#include "render/fill.h"
#include "render/fill_internal.h"

using namespace fill_detail;

namespace {

// Colour handling of a triangle: texels (or white) as they are, one colour for all pixels, or
// colours interpolated from the vertices.
enum ColorMode { COLOR_NONE = 0, COLOR_CONSTANT = 1, COLOR_GOURAUD = 2 };

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

struct SpanState {
    uint32_t d, dd;         // depth and its step
    uint32_t u, du, v, dv;  // texture coordinates, 16.16 texels
    uint32_t c[4], dc[4];   // colour channels, 16.16
};

// The pixels [first, end) of one row. Every feature test is resolved at compile time.
template <bool Textured, bool Alpha4, int Color, bool Blend, bool DepthWrite, bool Shared, bool ClampUV>
inline void draw_span(uint8_t* dst, uint32_t* zp, int n, SpanState s, const TriPaint& paint) {
    const uint8_t* tex = paint.tex;
    const uint32_t tw = static_cast<uint32_t>(paint.tex_width);
    const uint32_t umax = tw * 65535u;
    const uint32_t vmax = static_cast<uint32_t>(paint.tex_height) * 65535u;
    uint32_t c0 = s.c[0], c1 = s.c[1], c2 = s.c[2], c3 = s.c[3];
    if constexpr (Color == COLOR_CONSTANT) {
        c0 = static_cast<uint32_t>(paint.constant_fix[0]);
        c1 = static_cast<uint32_t>(paint.constant_fix[1]);
        c2 = static_cast<uint32_t>(paint.constant_fix[2]);
        c3 = static_cast<uint32_t>(paint.constant_fix[3]);
    }
    uint32_t d = s.d, u = s.u, v = s.v;
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
        d += s.dd;
        if constexpr (Textured) {
            u += s.du;
            v += s.dv;
        }
        if constexpr (Color == COLOR_GOURAUD) {
            c0 += s.dc[0];
            c1 += s.dc[1];
            c2 += s.dc[2];
            c3 += s.dc[3];
        }
    }
}

// The rows of one triangle.
template <bool Textured, bool Alpha4, int Color, bool Blend, bool DepthWrite, bool Shared>
void draw_triangle(FillVertex* verts, const TriPaint& paint, const FillParams& p, int slice_top,
                   int slice_bottom) {
    constexpr int attrs = Color == COLOR_GOURAUD ? ATTR_COUNT : (Textured ? A_V + 1 : A_DEPTH + 1);
    TriRows t;
    if (!tri_rows_setup(verts, slice_top, slice_bottom, attrs, t)) return;
    const float tex_w = static_cast<float>(paint.tex_width) * FIX16_ONE;
    const float tex_h = static_cast<float>(paint.tex_height) * FIX16_ONE;
    const size_t width = static_cast<size_t>(p.width);
    const int64_t umax = static_cast<int64_t>(static_cast<uint32_t>(paint.tex_width) * 65535u);
    const int64_t vmax = static_cast<int64_t>(static_cast<uint32_t>(paint.tex_height) * 65535u);
    for (int row = t.first_row; row < t.end_row; ++row) {
        const Edge& le = left_edge(t, row);
        const Edge& re = right_edge(t, row);
        Span sp;
        if (!span_bounds(edge_value(le, A_X, row), edge_value(re, A_X, row), t, paint.span_limit, p.width,
                         sp))
            continue;
        const float inv = 1.0f / static_cast<float>(sp.count);
        const int skip = sp.first - sp.span_start;
        SpanState s;
        SpanFix f = span_fix(edge_value(le, A_DEPTH, row), edge_value(re, A_DEPTH, row), DEPTH_SCALE, inv);
        s.d = span_at(f, skip);
        s.dd = f.step;
        if constexpr (Textured) {
            f = span_fix(edge_value(le, A_U, row), edge_value(re, A_U, row), tex_w, inv);
            s.u = span_at(f, skip);
            s.du = f.step;
            f = span_fix(edge_value(le, A_V, row), edge_value(re, A_V, row), tex_h, inv);
            s.v = span_at(f, skip);
            s.dv = f.step;
        } else {
            s.u = s.du = s.v = s.dv = 0;
        }
        if constexpr (Color == COLOR_GOURAUD) {
            for (int c = 0; c < 4; ++c) {
                f = span_fix(clamp_color(edge_value(le, A_R + c, row)),
                             clamp_color(edge_value(re, A_R + c, row)), FIX16_ONE, inv);
                s.c[c] = span_at(f, skip);
                s.dc[c] = f.step;
            }
        } else {
            for (int c = 0; c < 4; ++c) s.c[c] = s.dc[c] = 0;
        }
        const size_t offset = static_cast<size_t>(row) * width + static_cast<size_t>(sp.first);
        const int n = sp.end - sp.first;
        if constexpr (Textured) {
            // When both ends of the span lie inside the texture, every pixel between does: the
            // clamps drop out of the loop.
            if (coords_inside(s.u, s.du, n, umax) && coords_inside(s.v, s.dv, n, vmax)) {
                draw_span<Textured, Alpha4, Color, Blend, DepthWrite, Shared, false>(
                    p.color + offset * 3, p.depth + offset, n, s, paint);
                continue;
            }
        }
        draw_span<Textured, Alpha4, Color, Blend, DepthWrite, Shared, true>(p.color + offset * 3,
                                                                            p.depth + offset, n, s, paint);
    }
}

// Banding: rows whose colour and depth (7 bytes a pixel) fill about half the second-level cache,
// and a bound on the extra triangle set-ups it may cost.
constexpr int BAND_BYTES = 512 * 1024;
constexpr int BAND_MIN_ROWS = 8;
constexpr int64_t BAND_MAX_TRIANGLE_PASSES = 16384;

using DrawFn = void (*)(FillVertex*, const TriPaint&, const FillParams&, int, int);

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

}  // namespace

void fill_part_triangles(const FillParams& p) {
    CallShare share;
    if (!call_share(p, share)) return;
    const int depth_write = p.no_depth_write ? 0 : 1;
    const int shared = p.shared_target ? 1 : 0;
    auto draw = [&](FillVertex* v, const TriPaint& paint, int slice_top, int slice_bottom) {
        const int textured = paint.tex ? 1 : 0;
        const int alpha4 = textured && paint.tex_channels == 4 ? 1 : 0;
        const int color = !paint.modulate ? COLOR_NONE : (paint.gouraud ? COLOR_GOURAUD : COLOR_CONSTANT);
        const int key = key_of(textured, alpha4, color, paint.may_blend, depth_write, shared);
        draw_table[static_cast<size_t>(key)](v, paint, p, slice_top, slice_bottom);
    };
    // A part of few triangles that overdraw each other (sky layers, billboards, full-screen quads) is
    // drawn band by band, every band running all of its triangles in order: each pixel still sees
    // the same triangles in the same order, but the band's colour and depth stay in the cache
    // instead of streaming the whole share from memory once per triangle.
    const int band_rows = std::max(BAND_MIN_ROWS, BAND_BYTES / (p.width * 7));
    const int rows = share.row_bottom - share.row_top;
    const int64_t bands = (rows + band_rows - 1) / band_rows;
    const int64_t triangles = (p.tri_count - share.first + share.stride - 1) / share.stride;
    if (bands < 2 || triangles * bands > BAND_MAX_TRIANGLE_PASSES) {
        for_each_triangle(p, share, share.row_top, share.row_bottom, draw);
        return;
    }
    for (int top = share.row_top; top < share.row_bottom; top += band_rows) {
        const int bottom = std::min(top + band_rows, share.row_bottom);
        for_each_triangle(p, share, top, bottom, draw);
    }
}
