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

#include "render/raster/fill.h"
#include "render/raster/fill_setup.h"
#include "scene/camera.h"

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

// Attributes a span loop reads: x and depth always, u and v when textured, the colour channels when
// they are interpolated. The others are neither computed nor stepped.
constexpr unsigned attr_mask(bool textured, int color) {
    unsigned m = (1u << A_X) | (1u << A_DEPTH);
    if (textured) m |= (1u << A_U) | (1u << A_V);
    if (color == COLOR_GOURAUD) m |= (1u << A_R) | (1u << A_G) | (1u << A_B) | (1u << A_A);
    return m;
}

template <unsigned Mask, int I, class F>
inline void for_attr(F& f) {
    if constexpr (((Mask >> I) & 1u) != 0) f(I);
}
template <unsigned Mask, class F, int... I>
inline void for_attrs(F&& f, std::integer_sequence<int, I...>) {
    (for_attr<Mask, I>(f), ...);
}
// Calls f(attribute) for every attribute of Mask, unrolled.
template <unsigned Mask, class F>
inline void for_attrs(F&& f) {
    for_attrs<Mask>(f, std::make_integer_sequence<int, ATTR_COUNT>{});
}

template <unsigned Mask>
inline void make_edge_of(Edge& e, const FillVertex& from, const FillVertex& to, bool left) {
    const float inv = inverse_height(to.y - from.y, left);
    for_attrs<Mask>([&](int k) {
        e.start[k] = from.a[k];
        e.step[k] = (to.a[k] - from.a[k]) * inv;
    });
    e.row0 = std::trunc(from.y + 0.5f);
}

// Rows [row, end) of one triangle between two edges.
template <bool Textured, bool Alpha4, int Color, bool Blend, bool DepthWrite, bool Shared>
inline void draw_rows(const Edge& le, const Edge& re, int row, int end, int extent_left, int extent_right,
                      const TriPaint& paint, const FillParams& p) {
    const float tex_w = static_cast<float>(paint.tex_width) * FIX16_ONE;
    const float tex_h = static_cast<float>(paint.tex_height) * FIX16_ONE;
    const size_t width = static_cast<size_t>(p.width);
    const int64_t umax = static_cast<int64_t>(static_cast<uint32_t>(paint.tex_width) * 65535u);
    const int64_t vmax = static_cast<int64_t>(static_cast<uint32_t>(paint.tex_height) * 65535u);
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

// The rows of one triangle: the ordering and edges of tri_rows_setup, with only the attributes the
// variant reads and only the edges that reach a row of the slice.
template <bool Textured, bool Alpha4, int Color, bool Blend, bool DepthWrite, bool Shared>
void draw_triangle(FillVertex* verts, const TriPaint& paint, const FillParams& p, int slice_top,
                   int slice_bottom) {
    constexpr unsigned mask = attr_mask(Textured, Color);
    int i0 = 0, i1 = 1, i2 = 2;
    if (verts[i1].y < verts[i0].y) std::swap(i0, i1);
    if (verts[i2].y < verts[i1].y) std::swap(i1, i2);
    if (verts[i1].y < verts[i0].y) std::swap(i0, i1);
    const FillVertex& v0 = verts[i0];
    const FillVertex& v1 = verts[i1];
    const FillVertex& v2 = verts[i2];
    const int top_row = round_row(v0.y);
    const int first_row = top_row > slice_top ? top_row : slice_top;
    const int bottom_row = round_row(v2.y);
    const int end_row = bottom_row < slice_bottom ? bottom_row : slice_bottom;
    if (first_row >= end_row) return;
    const int mid_row = round_row(v1.y);

    const float lhs = (v1.a[A_X] - v0.a[A_X]) * (v2.y - v0.y);
    const float rhs = (v2.a[A_X] - v0.a[A_X]) * (v1.y - v0.y);
    const bool mid_right = !(lhs < rhs);

    float lo = v0.a[A_X], hi = lo;
    lo = v1.a[A_X] < lo ? v1.a[A_X] : lo;
    hi = v1.a[A_X] > hi ? v1.a[A_X] : hi;
    lo = v2.a[A_X] < lo ? v2.a[A_X] : lo;
    hi = v2.a[A_X] > hi ? v2.a[A_X] : hi;
    const int extent_left = trunc_clamped(lo + SPAN_LEFT_ROUND, PIXEL_LIMIT);
    const int extent_right = trunc_clamped(hi + SPAN_RIGHT_ROUND, PIXEL_LIMIT);

    Edge long_edge;
    make_edge_of<mask>(long_edge, v0, v2, mid_right);
    const int upper_end = mid_row < end_row ? mid_row : end_row;
    if (first_row < upper_end) {
        Edge upper;
        make_edge_of<mask>(upper, v0, v1, !mid_right);
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
        make_edge_of<mask>(lower, v1, v2, !mid_right);
        if (mid_right) {
            draw_rows<Textured, Alpha4, Color, Blend, DepthWrite, Shared>(
                long_edge, lower, lower_first, end_row, extent_left, extent_right, paint, p);
        } else {
            draw_rows<Textured, Alpha4, Color, Blend, DepthWrite, Shared>(
                lower, long_edge, lower_first, end_row, extent_left, extent_right, paint, p);
        }
    }
}

// Banding: rows whose colour and depth (7 bytes a pixel) fill about half the second-level cache; at
// most this many triangles kept for the bands at once (about 170 bytes each); a group whose bounding
// boxes cover less than the share this many times is not worth banding.
constexpr int BAND_BYTES = 512 * 1024;
constexpr int BAND_MIN_ROWS = 8;
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
};
DeferState& defer_state() {
    thread_local DeferState state;
    return state;
}

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

// The colour rules once the vertex colours are known and paint.modulate is decided: the transparent
// skip, constant or interpolated colour, and the floor of interpolated channels. False: the triangle
// is invisible.
inline bool color_rules(float vc[3][4], bool shaded, TriPaint& paint) {
    // A shade array's alphas hold even when its bright colours turn modulation off; only an object
    // without shade and colour has no vertex alphas and is drawn opaque.
    if ((shaded || paint.modulate) && vc[0][3] < ALPHA_SKIP && vc[1][3] < ALPHA_SKIP && vc[2][3] < ALPHA_SKIP)
        return false;
    if (!paint.modulate) {
        for (int k = 0; k < 3; ++k)
            for (int c = 0; c < 4; ++c) vc[k][c] = 255.0f;
        return true;
    }
    bool constant = true;
    for (int c = 0; c < 4; ++c) constant = constant && vc[0][c] == vc[1][c] && vc[0][c] == vc[2][c];
    if (constant) {
        for (int c = 0; c < 4; ++c) paint.constant_fix[c] = to_fix(clamp_color(vc[0][c]) * FIX16_ONE);
    } else {
        paint.gouraud = 1;
        for (int k = 0; k < 3; ++k)
            for (int c = 0; c < 4; ++c) vc[k][c] = vc[k][c] < COLOR_FLOOR ? COLOR_FLOOR : vc[k][c];
    }
    return true;
}

// Bit pattern of a world vertex: a vertex equal to one of the previous triangle reuses its projection.
struct VertexKey {
    uint64_t xy;
    uint32_t z;
};
inline VertexKey vertex_key(const float* v) {
    VertexKey k;
    std::memcpy(&k.xy, v, sizeof k.xy);
    std::memcpy(&k.z, v + 2, sizeof k.z);
    return k;
}

// Screen x, y and depth of a world vertex; all NaN when the projection is not finite.
inline void project_vertex(const ViewTransform& view, const float* w, float out[3]) {
    const ProjectedPoint pp = project_point(view, w[0], w[1], w[2]);
    // One test for all three: a difference of a value with itself is 0 unless it is infinite or NaN.
    if (!((pp.x - pp.x) + (pp.y - pp.y) + (pp.depth - pp.depth) == 0.0f)) {
        out[0] = out[1] = out[2] = std::numeric_limits<float>::quiet_NaN();
        return;
    }
    out[0] = pp.x > -SCREEN_COORD_LIMIT ? (pp.x < SCREEN_COORD_LIMIT ? pp.x : SCREEN_COORD_LIMIT)
                                        : -SCREEN_COORD_LIMIT;
    out[1] = pp.y > -SCREEN_COORD_LIMIT ? (pp.y < SCREEN_COORD_LIMIT ? pp.y : SCREEN_COORD_LIMIT)
                                        : -SCREEN_COORD_LIMIT;
    out[2] = pp.depth;
}

// The fast walk over a call's triangles, with the results of for_each_triangle: projection with
// reuse, rejection against the rows [slice_top, slice_bottom), colour and texture set-up. Work that is
// the same for every triangle of the call (the colour without a shade array, the part's texture) is
// done once.
template <class TriFn>
void setup_triangles(const FillParams& p, const CallShare& share, int slice_top, int slice_bottom,
                     TriFn&& fn) {
    const float projection[3] = {p.extent_x, p.extent_y, p.depth_factor};
    const float center[2] = {p.view_center_x, p.view_center_y};
    const ViewTransform view =
        view_transform_make(Vec3{p.eye_x, -p.neg_eye_y, p.eye_z}, Vec3{p.pitch, -p.neg_yaw, p.roll},
                            projection, center, p.width, p.height);
    const bool colored = p.red + p.green + p.blue + p.alpha <= COLORED_SUM_MAX;
    const float object_color[4] = {p.red * 255.0f, p.green * 255.0f, p.blue * 255.0f, p.alpha * 255.0f};
    // Rows and columns as floats: the comparisons convert them so anyway.
    const float top = static_cast<float>(slice_top);
    const float bottom = static_cast<float>(slice_bottom);
    const float right = static_cast<float>(p.width);
    const bool has_uvs = p.uvs != nullptr;

    // Without a shade array every triangle has the object colour.
    TriPaint call_paint;
    float call_vc[3][4];
    if (!p.shade) {
        call_paint.modulate = colored;
        for (int k = 0; k < 3; ++k)
            for (int c = 0; c < 4; ++c) call_vc[k][c] = object_color[c];
        if (!color_rules(call_vc, false, call_paint)) return;
        texture_rules(call_vc, p.tex_pixels, p.tex_width, p.tex_height, p.tex_channels, has_uvs, call_paint);
        call_paint.span_limit = p.span_limit;
    }

    VertexKey prev_key[3];
    float prev_proj[3][3];  // x, y, depth
    bool have_prev = false;

    for (int64_t i = share.first; i < p.tri_count; i += share.stride) {
        const float* tri = p.tris + i * 9;
        float proj[3][3];
        VertexKey key[3];
        for (int k = 0; k < 3; ++k) {
            key[k] = vertex_key(tri + k * 3);
            int reuse = -1;
            if (have_prev) {
                for (int j = 0; j < 3; ++j) {
                    if (key[k].xy == prev_key[j].xy && key[k].z == prev_key[j].z) {
                        reuse = j;
                        break;
                    }
                }
            }
            if (reuse >= 0) {
                proj[k][0] = prev_proj[reuse][0];
                proj[k][1] = prev_proj[reuse][1];
                proj[k][2] = prev_proj[reuse][2];
            } else {
                project_vertex(view, tri + k * 3, proj[k]);
            }
        }
        std::memcpy(prev_key, key, sizeof key);
        std::memcpy(prev_proj, proj, sizeof proj);
        have_prev = true;

        // A vertex that failed to project rejects the whole triangle (NaN fails every test).
        if (!(proj[0][2] >= 0 || proj[1][2] >= 0 || proj[2][2] >= 0)) continue;
        if (proj[0][2] != proj[0][2] || proj[1][2] != proj[1][2] || proj[2][2] != proj[2][2]) continue;
        if (!(proj[0][1] >= top || proj[1][1] >= top || proj[2][1] >= top)) continue;
        if (!(proj[0][1] < bottom || proj[1][1] < bottom || proj[2][1] < bottom)) continue;
        if (!(proj[0][0] >= 0 || proj[1][0] >= 0 || proj[2][0] >= 0)) continue;
        if (!(proj[0][0] < right || proj[1][0] < right || proj[2][0] < right)) continue;

        FillVertex v[3];
        TriPaint own;
        const TriPaint* paint = &call_paint;
        const float(*vc)[4] = call_vc;
        float tri_vc[3][4];
        if (p.shade) {
            const float* sh = p.shade + i * 12;
            float sum = 0;
            for (int k = 0; k < 3; ++k) {
                for (int c = 0; c < 4; ++c) {
                    tri_vc[k][c] = sh[k * 4 + c] * object_color[c];
                    sum += tri_vc[k][c];
                }
            }
            own.modulate = colored || !(sum > WHITE_SHADE_SUM);
            if (!color_rules(tri_vc, true, own)) continue;
            const bool tex_override = p.tri_tex_pixels && p.tri_tex_pixels[i];
            if (tex_override) {
                texture_rules(tri_vc, p.tri_tex_pixels[i], p.tri_tex_width ? p.tri_tex_width[i] : 0,
                              p.tri_tex_height ? p.tri_tex_height[i] : 0,
                              p.tri_tex_channels ? p.tri_tex_channels[i] : 3, has_uvs, own);
            } else {
                texture_rules(tri_vc, p.tex_pixels, p.tex_width, p.tex_height, p.tex_channels, has_uvs, own);
            }
            own.span_limit = p.span_limit;
            paint = &own;
            vc = tri_vc;
        } else if (p.tri_tex_pixels && p.tri_tex_pixels[i]) {
            own = call_paint;
            texture_rules(call_vc, p.tri_tex_pixels[i], p.tri_tex_width ? p.tri_tex_width[i] : 0,
                          p.tri_tex_height ? p.tri_tex_height[i] : 0,
                          p.tri_tex_channels ? p.tri_tex_channels[i] : 3, has_uvs, own);
            paint = &own;
        }
        if (p.tri_outline && p.tri_outline[i]) {
            if (paint != &own) {
                own = *paint;
                paint = &own;
            }
            own.span_limit = 1;
        }

        const bool tex = paint->tex != nullptr;
        for (int k = 0; k < 3; ++k) {
            v[k].y = proj[k][1];
            v[k].a[A_X] = proj[k][0];
            v[k].a[A_DEPTH] = proj[k][2];
            v[k].a[A_U] = tex ? p.uvs[i * 6 + k * 2] : 0.0f;
            v[k].a[A_V] = tex ? p.uvs[i * 6 + k * 2 + 1] : 0.0f;
            for (int c = 0; c < 4; ++c) v[k].a[A_R + c] = vc[k][c];
        }
        fn(v, *paint, slice_top, slice_bottom);
    }
}

// Draws one set-up triangle of the call p over the rows [slice_top, slice_bottom).
inline void draw_one(FillVertex* v, const TriPaint& paint, const FillParams& p, int slice_top,
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
            FillVertex v[3];
            std::copy(df.tris[i].v, df.tris[i].v + 3, v);
            draw_one(v, df.tris[i].paint, p, band_top, band_bottom);
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
    setup_triangles(p, share, share.row_top, share.row_bottom,
                    [&](FillVertex* v, const TriPaint& paint, int slice_top, int slice_bottom) {
                        float y0 = v[0].y, y1 = v[0].y;
                        for (int k = 1; k < 3; ++k) {
                            y0 = std::min(y0, v[k].y);
                            y1 = std::max(y1, v[k].y);
                        }
                        const int top = std::max(round_row(y0), slice_top);
                        const int bottom = std::min(round_row(y1), slice_bottom);
                        if (top >= bottom) return;
                        const uint32_t index = static_cast<uint32_t>(df.tris.size());
                        SetupTriangle& t = df.tris.emplace_back();
                        std::copy(v, v + 3, t.v);
                        t.paint = paint;
                        df.call_of.push_back(call);
                        const int first = (top - df.row_top) / df.band_rows;
                        const int last = (bottom - 1 - df.row_top) / df.band_rows;
                        for (int b = first; b <= last; ++b) df.bins[static_cast<size_t>(b)].push_back(index);
                        if (df.tris.size() >= DEFER_MAX_TRIANGLES) defer_flush(df);
                    });
}

}  // namespace

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
}

void fill_defer_end() {
    DeferState& df = defer_state();
    if (!df.active) return;
    defer_flush(df);
    df.calls.clear();
    df.active = 0;
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
    auto draw = [&](FillVertex* v, const TriPaint& paint, int slice_top, int slice_bottom) {
        draw_one(v, paint, p, slice_top, slice_bottom);
    };
    // Triangles that overdraw each other (sky layers, billboards, full-screen quads) are drawn band by
    // band, every band running all of them in order: each pixel still sees the same triangles in the
    // same order, but the band's colour and depth stay in the cache instead of streaming the whole
    // share from memory once per triangle. Triangles are drawn straight away until their bounding
    // boxes add up to the share's area; the rest are set up once, kept, and replayed band by band in
    // groups of at most BAND_GROUP (a group drawn after the ones before it keeps the order per pixel).
    const int band_rows = std::max(BAND_MIN_ROWS, BAND_BYTES / (p.width * 7));
    const int rows = share.row_bottom - share.row_top;
    if (rows <= band_rows) {
        setup_triangles(p, share, share.row_top, share.row_bottom, draw);
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
                    FillVertex v[3];
                    std::copy(store.tris[i].v, store.tris[i].v + 3, v);
                    draw(v, store.tris[i].paint, top, bottom);
                }
            }
        }
        store.tris.clear();
        store.rows.clear();
        group_pixels = 0;
    };
    setup_triangles(p, share, share.row_top, share.row_bottom,
                    [&](FillVertex* v, const TriPaint& paint, int slice_top, int slice_bottom) {
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
                        const int right =
                            std::min(trunc_clamped(x1 + SPAN_RIGHT_ROUND, PIXEL_LIMIT), p.width);
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
                        SetupTriangle& t = store.tris.emplace_back();
                        std::copy(v, v + 3, t.v);
                        t.paint = paint;
                        store.rows.push_back(r);
                        if (store.tris.size() >= BAND_GROUP) flush();
                    });
    flush();
}
