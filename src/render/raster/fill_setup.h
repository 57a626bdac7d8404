// What the fast filler and its reference share: the whole triangle set-up (vertex projection with
// reuse, the rejection tests, the colour and texture rules), vertex ordering, edge stepping and span
// bounds. They differ only in how they fill a triangle's rows. Private to the raster folder; reentrant.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/slices.h"
#include "render/raster/fill.h"
#include "scene/camera.h"

namespace fill_detail {

// Projected coordinates are kept within this range: beyond it float spacing is already far wider than
// any screen, and edge differences stay finite.
constexpr float SCREEN_COORD_LIMIT = 1e12f;
// Pixel columns and rows are clamped before truncation; spans are clipped to the region afterwards.
constexpr float PIXEL_LIMIT = 1e9f;
// Fixed-point values stay inside int32 with room for rounding.
constexpr float FIX_LIMIT = 2.1e9f;
// Interpolated alpha (16.16) must exceed this for a pixel to be considered at all.
constexpr fix16 ALPHA_VISIBLE_FIX = 70000;
// Alpha at or below this writes nothing; below BLEND_BELOW blends with the frame.
constexpr int ALPHA_INVISIBLE = 10;
constexpr int BLEND_BELOW = 240;
// A colour sum (red + green + blue + alpha, 0..1 each) at most this makes the object "coloured".
constexpr float COLORED_SUM_MAX = 3.97f;
// Shade totals above this (12 channels, 0..255 each) are white enough to skip modulation.
constexpr float WHITE_SHADE_SUM = 3020.0f;
// Interpolated colours never drop below this, so a channel stepping down to 0 cannot undershoot.
constexpr float COLOR_FLOOR = 0.6f;
// Triangles whose vertex alphas are all below this are invisible.
constexpr float ALPHA_SKIP = 4.0f;
// Edge stepping: the left edge steps a hair further so neighbouring triangles meet without cracks;
// the bias in the divisor keeps an edge from overshooting its end vertex.
constexpr float LEFT_EDGE_GAIN = 1.00011f;
constexpr float FLAT_EDGE_HEIGHT = 1.1f;
constexpr float SHORT_EDGE_HEIGHT = 8.0f;
constexpr float SHORT_EDGE_BIAS = 0.9f;
constexpr float LONG_EDGE_BIAS = 0.1f;
// Span rounding: a pixel belongs to the span when its centre-ish point lies inside.
constexpr float SPAN_LEFT_ROUND = 0.45f;
constexpr float SPAN_RIGHT_ROUND = 0.55f;

// Truncation toward zero after clamping to [-limit, limit]; NaN gives -limit.
inline int trunc_clamped(float v, float limit) {
    v = v > -limit ? v : -limit;
    v = v < limit ? v : limit;
    return static_cast<int>(v);
}

inline fix16 to_fix(float v) {
    return trunc_clamped(v, FIX_LIMIT);
}

inline float clamp_color(float v) {
    v = v > 0.0f ? v : 0.0f;
    return v < 255.0f ? v : 255.0f;
}

// Vertex attributes carried through sorting and along edges.
enum Attr { A_X = 0, A_DEPTH, A_U, A_V, A_R, A_G, A_B, A_A, ATTR_COUNT };

struct FillVertex {
    float y;
    float a[ATTR_COUNT];  // x, depth, u, v (0..1), r, g, b, a (0..255)
};

// One edge: values at its first row and their change per row.
struct Edge {
    float start[ATTR_COUNT];
    float step[ATTR_COUNT];
    float row0;  // rounded start row, kept as float: vertices far off screen lie beyond int rows
};

inline float edge_value(const Edge& e, int attr, int row) {
    return e.start[attr] + (static_cast<float>(row) - e.row0) * e.step[attr];
}

// What the pixel stage of one triangle needs.
struct TriPaint {
    const uint8_t* tex = nullptr;  // null: untextured
    int tex_width = 0, tex_height = 0, tex_channels = 3;
    int modulate = 0;    // colours multiply texels (or replace white)
    int gouraud = 0;     // colours interpolated (else constant_fix)
    int may_blend = 0;   // some pixel may have alpha below BLEND_BELOW
    int span_limit = 0;  // 0: none
    fix16 constant_fix[4] = {0, 0, 0, 0};
};

inline int round_row(float y) {
    return trunc_clamped(y + 0.5f, PIXEL_LIMIT);
}

inline float inverse_height(float h, bool left) {
    if (!(h >= FLAT_EDGE_HEIGHT)) return 0.0f;
    const float bias = h < SHORT_EDGE_HEIGHT ? SHORT_EDGE_BIAS : LONG_EDGE_BIAS;
    return (left ? LEFT_EDGE_GAIN : 1.0f) / (h + bias);
}

// Every attribute: the reference interpolates them all.
constexpr unsigned ALL_ATTRS = (1u << ATTR_COUNT) - 1;

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
inline void make_edge(Edge& e, const FillVertex& from, const FillVertex& to, bool left) {
    const float inv = inverse_height(to.y - from.y, left);
    for_attrs<Mask>([&](int k) {
        e.start[k] = from.a[k];
        e.step[k] = (to.a[k] - from.a[k]) * inv;
    });
    e.row0 = std::trunc(from.y + 0.5f);
}

// One triangle's vertices from top to bottom and the rows and columns it covers within a slice.
struct TriOrder {
    const FillVertex *v0, *v1, *v2;
    int first_row, end_row, mid_row;
    bool mid_right;                 // the middle vertex is on the right side: the long edge is the left one
    int extent_left, extent_right;  // pixel columns the triangle covers at most
};

// False when no row of [slice_top, slice_bottom) is covered. Always inlined: in the fast filler's
// per-triangle path the call and the trip of its results through memory cost more than the ordering.
[[gnu::always_inline]] inline bool tri_order(const FillVertex* v, int slice_top, int slice_bottom,
                                             TriOrder& o) {
    int i0 = 0, i1 = 1, i2 = 2;
    if (v[i1].y < v[i0].y) std::swap(i0, i1);
    if (v[i2].y < v[i1].y) std::swap(i1, i2);
    if (v[i1].y < v[i0].y) std::swap(i0, i1);
    o.v0 = &v[i0];
    o.v1 = &v[i1];
    o.v2 = &v[i2];
    const int top_row = round_row(o.v0->y);
    o.first_row = top_row > slice_top ? top_row : slice_top;
    const int bottom_row = round_row(o.v2->y);
    o.end_row = bottom_row < slice_bottom ? bottom_row : slice_bottom;
    if (o.first_row >= o.end_row) return false;
    o.mid_row = round_row(o.v1->y);

    // The edge to the middle vertex lies left of the long edge when its slope is smaller at equal
    // height (with a flat top this reduces to the middle vertex lying left of the top one).
    const float lhs = (o.v1->a[A_X] - o.v0->a[A_X]) * (o.v2->y - o.v0->y);
    const float rhs = (o.v2->a[A_X] - o.v0->a[A_X]) * (o.v1->y - o.v0->y);
    o.mid_right = !(lhs < rhs);
    float lo = o.v0->a[A_X], hi = lo;
    for (const FillVertex* w : {o.v1, o.v2}) {
        lo = w->a[A_X] < lo ? w->a[A_X] : lo;
        hi = w->a[A_X] > hi ? w->a[A_X] : hi;
    }
    o.extent_left = trunc_clamped(lo + SPAN_LEFT_ROUND, PIXEL_LIMIT);
    o.extent_right = trunc_clamped(hi + SPAN_RIGHT_ROUND, PIXEL_LIMIT);
    return true;
}

// The ordering and the three edges that bound the rows: mid replaces the edge on the middle vertex's
// side from mid_row on.
struct TriRows : TriOrder {
    Edge left, right, mid;
};

// The ordering with all three edges, every attribute on them. False when no row of the slice is
// covered.
inline bool tri_rows_setup(const FillVertex v[3], int slice_top, int slice_bottom, TriRows& t) {
    if (!tri_order(v, slice_top, slice_bottom, t)) return false;
    make_edge<ALL_ATTRS>(t.left, *t.v0, t.mid_right ? *t.v2 : *t.v1, true);
    make_edge<ALL_ATTRS>(t.right, *t.v0, t.mid_right ? *t.v1 : *t.v2, false);
    make_edge<ALL_ATTRS>(t.mid, *t.v1, *t.v2, !t.mid_right);
    return true;
}

inline const Edge& left_edge(const TriRows& t, int row) {
    return (!t.mid_right && row >= t.mid_row) ? t.mid : t.left;
}
inline const Edge& right_edge(const TriRows& t, int row) {
    return (t.mid_right && row >= t.mid_row) ? t.mid : t.right;
}

// One row's span: pixels [first, end) are drawn; interpolation runs from span_start over count pixels.
struct Span {
    int span_start;  // unclipped left pixel: where the left edge values apply
    int count;       // unclipped pixel count: the interpolation divisor
    int first, end;
};

// The span between the pixel columns left (its span_start) and right once the edges are rounded.
inline bool span_clip(int left, int right, int extent_left, int extent_right, int limit, int width, Span& s) {
    s.span_start = left;
    s.count = right - s.span_start;
    if (s.count <= 0) return false;
    int a = s.span_start > extent_left ? s.span_start : extent_left;
    int b = right < extent_right ? right : extent_right;
    if (limit > 0 && b - a > limit) b = a + limit;
    a = a > 0 ? a : 0;
    b = b < width ? b : width;
    s.first = a;
    s.end = b;
    return a < b;
}

inline bool span_bounds(float left_x, float right_x, int extent_left, int extent_right, int limit, int width,
                        Span& s) {
    return span_clip(trunc_clamped(left_x + SPAN_LEFT_ROUND, PIXEL_LIMIT),
                     trunc_clamped(right_x + SPAN_RIGHT_ROUND, PIXEL_LIMIT), extent_left, extent_right, limit,
                     width, s);
}

inline bool span_bounds(float left_x, float right_x, const TriRows& t, int limit, int width, Span& s) {
    return span_bounds(left_x, right_x, t.extent_left, t.extent_right, limit, width, s);
}

// Start value and per-pixel step of one attribute along a span, in fixed point.
struct SpanFix {
    uint32_t start, step;  // unsigned so that stepping wraps instead of overflowing
};

inline SpanFix span_fix(float left, float right, float scale, float inv_count) {
    const float l = left * scale;
    const float r = right * scale;
    return SpanFix{static_cast<uint32_t>(to_fix(l)), static_cast<uint32_t>(to_fix((r - l) * inv_count))};
}

// Value at pixel `offset` from the span start.
inline uint32_t span_at(SpanFix f, int offset) {
    return f.start + static_cast<uint32_t>(offset) * f.step;
}

// The texture of a triangle whose colours are set up, and whether any of its pixels may blend.
inline void texture_rules(const float vc[3][4], const uint8_t* tex, int tw, int th, int tc, bool has_uvs,
                          TriPaint& paint) {
    if (tc == 0) tc = 3;
    // Without coordinates, or with a shape the fetch cannot address, the triangle is untextured.
    if (!tex || !has_uvs || tw <= 0 || th <= 0 || (tc != 3 && tc != 4)) tex = nullptr;
    paint.tex = tex;
    paint.tex_width = tw;
    paint.tex_height = th;
    paint.tex_channels = tc;
    float min_alpha = 255.0f;
    if (paint.modulate) {
        for (int k = 0; k < 3; ++k) {
            const float a = paint.gouraud ? clamp_color(vc[k][3])
                                          : static_cast<float>(paint.constant_fix[3] >> FIX16_SHIFT);
            min_alpha = a < min_alpha ? a : min_alpha;
        }
    }
    // Interpolated alpha never leaves the range of its vertices, so a margin above the threshold
    // guarantees the opaque path.
    paint.may_blend = (tex && tc == 4) || !(min_alpha >= BLEND_BELOW + 0.5f);
}

// The rows and triangles one call covers.
struct CallShare {
    int64_t first = 0, stride = 1;    // triangle indices first, first + stride, ...
    int row_top = 0, row_bottom = 0;  // rows [row_top, row_bottom) of the region
};

// False when the call draws nothing at all.
inline bool call_share(const FillParams& p, CallShare& c) {
    if (!p.color || !p.depth || !p.tris || p.width <= 0 || p.height <= 0 || p.bytes_per_pixel != 3)
        return false;
    if (p.tri_count <= 0) return false;
    c.row_bottom = p.height;
    if (p.slice_count < 0) {
        if (p.tri_list) return false;
        c.stride = -static_cast<int64_t>(p.slice_count);
        c.first = p.slice_index;
        if (c.first < 0) return false;
    } else if (p.slice_count > 1) {
        if (p.slice_index < 0 || p.slice_index >= p.slice_count) return false;
        const RowRange rows = slice_rows(p.height, p.slice_index, p.slice_count);
        c.row_top = rows.first;
        c.row_bottom = rows.end;
    }
    if (p.band_bottom > p.band_top) {
        c.row_top = p.band_top > c.row_top ? p.band_top : c.row_top;
        c.row_bottom = p.band_bottom < c.row_bottom ? p.band_bottom : c.row_bottom;
        if (c.row_top >= c.row_bottom) return false;
    }
    return true;
}

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

// The view of a call: the camera fields of p over its region.
inline ViewTransform fill_view(const FillParams& p) {
    const float projection[3] = {p.extent_x, p.extent_y, p.depth_factor};
    const float center[2] = {p.view_center_x, p.view_center_y};
    return view_transform_make(Vec3{p.eye_x, -p.neg_eye_y, p.eye_z}, Vec3{p.pitch, -p.neg_yaw, p.roll},
                               projection, center, p.width, p.height);
}

// Projects the vertices of consecutive triangles; a vertex equal to one of the previous triangle's
// reuses its projection, which is the one it would get anyway.
class TriangleProjector {
  public:
    explicit TriangleProjector(const ViewTransform& view) : view_(view) {}
    // x, y and depth of each vertex of the 9 floats at tri.
    void project(const float* tri, float proj[3][3]) {
        VertexKey key[3];
        for (int k = 0; k < 3; ++k) {
            key[k] = vertex_key(tri + k * 3);
            int reuse = -1;
            if (have_prev_) {
                for (int j = 0; j < 3; ++j) {
                    if (key[k].xy == prev_key_[j].xy && key[k].z == prev_key_[j].z) {
                        reuse = j;
                        break;
                    }
                }
            }
            if (reuse >= 0) {
                proj[k][0] = prev_proj_[reuse][0];
                proj[k][1] = prev_proj_[reuse][1];
                proj[k][2] = prev_proj_[reuse][2];
            } else {
                project_vertex(view_, tri + k * 3, proj[k]);
            }
        }
        std::memcpy(prev_key_, key, sizeof key);
        std::memcpy(prev_proj_, proj, sizeof prev_proj_);
        have_prev_ = true;
    }

  private:
    const ViewTransform& view_;
    VertexKey prev_key_[3];
    float prev_proj_[3][3];  // x, y, depth
    bool have_prev_ = false;
};

#if defined(__SSE2__)
// The colour and texture rules of one triangle with a shade array (sh, 12 floats) and the part's
// texture (tex_paint: texture_rules' texture fields for the call), four channels at a time: the same
// values and decisions as the products, color_rules and texture_rules of the plain set-up. The sum
// keeps the plain order; equality, the floor and the clamps are lane by lane (max and min take their
// second operand for NaN as the plain comparisons do). False: the triangle is invisible.
[[gnu::always_inline]] inline bool shaded_rules_sse2(const float* sh, __m128 object_color, bool colored,
                                                     const TriPaint& tex_paint, TriPaint& paint,
                                                     float vc[3][4]) {
    __m128 c[3];
    for (int k = 0; k < 3; ++k) {
        c[k] = _mm_mul_ps(_mm_loadu_ps(sh + k * 4), object_color);
        _mm_storeu_ps(vc[k], c[k]);
    }
    float sum = 0;
    for (int k = 0; k < 3; ++k)
        for (int ch = 0; ch < 4; ++ch) sum += vc[k][ch];
    paint.modulate = colored || !(sum > WHITE_SHADE_SUM);
    if (vc[0][3] < ALPHA_SKIP && vc[1][3] < ALPHA_SKIP && vc[2][3] < ALPHA_SKIP) return false;
    float min_alpha = 255.0f;
    if (!paint.modulate) {
        const __m128 white = _mm_set1_ps(255.0f);
        for (int k = 0; k < 3; ++k) _mm_storeu_ps(vc[k], white);
    } else if (_mm_movemask_ps(_mm_and_ps(_mm_cmpeq_ps(c[0], c[1]), _mm_cmpeq_ps(c[0], c[2]))) == 0xF) {
        const __m128 clamped = _mm_min_ps(_mm_max_ps(c[0], _mm_setzero_ps()), _mm_set1_ps(255.0f));
        __m128 fix = _mm_mul_ps(clamped, _mm_set1_ps(FIX16_ONE));
        fix = _mm_min_ps(_mm_max_ps(fix, _mm_set1_ps(-FIX_LIMIT)), _mm_set1_ps(FIX_LIMIT));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(paint.constant_fix), _mm_cvttps_epi32(fix));
        const float a = static_cast<float>(paint.constant_fix[3] >> FIX16_SHIFT);
        min_alpha = a < min_alpha ? a : min_alpha;
    } else {
        paint.gouraud = 1;
        const __m128 floor = _mm_set1_ps(COLOR_FLOOR);
        for (int k = 0; k < 3; ++k) {
            _mm_storeu_ps(vc[k], _mm_max_ps(floor, c[k]));
            const float a = clamp_color(vc[k][3]);
            min_alpha = a < min_alpha ? a : min_alpha;
        }
    }
    paint.tex = tex_paint.tex;
    paint.tex_width = tex_paint.tex_width;
    paint.tex_height = tex_paint.tex_height;
    paint.tex_channels = tex_paint.tex_channels;
    paint.may_blend = (paint.tex && paint.tex_channels == 4) || !(min_alpha >= BLEND_BELOW + 0.5f);
    return true;
}
#endif

// Walks the triangles of a call over the rows [slice_top, slice_bottom) of its share (a narrower band
// than the share gives the same pixels in those rows): projection with reuse (or the call's projected
// vertices), rejection, colour and
// texture set-up, the one set-up of the fast filler and its reference alike. Work that is the same for
// every triangle of the call (the colour without a shade array, the part's texture) is done once.
// fn(vertices, paint, slice_top, slice_bottom) gets every triangle that may cover a row. Vector (the
// fast filler) takes the shade rules four channels at a time where SSE2 is there.
template <bool Vector = false, class TriFn>
void for_each_triangle(const FillParams& p, const CallShare& share, int slice_top, int slice_bottom,
                       TriFn&& fn) {
    // Only a call without projected vertices projects: the others skip the view's sines and cosines.
    const ViewTransform view = p.projected ? ViewTransform{} : fill_view(p);
    TriangleProjector projector(view);
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
#if defined(__SSE2__)
    constexpr bool vector_rules = Vector;
    const __m128 object_vec = _mm_loadu_ps(object_color);
    // The part's texture as texture_rules decides it (its blending aside, which needs the colours).
    TriPaint tex_paint;
    const float no_colors[3][4] = {};
    texture_rules(no_colors, p.tex_pixels, p.tex_width, p.tex_height, p.tex_channels, has_uvs, tex_paint);
#endif

    // One triangle; called from either loop below, inlined into both.
    auto visit = [&](int64_t i) __attribute__((always_inline)) {
        float proj[3][3];
        if (p.projected) {
            std::memcpy(proj, p.projected + i * 9, sizeof proj);
        } else {
            projector.project(p.tris + i * 9, proj);
        }

        // A vertex that failed to project rejects the whole triangle (NaN fails every test).
        if (!(proj[0][2] >= 0 || proj[1][2] >= 0 || proj[2][2] >= 0)) return;
        if (proj[0][2] != proj[0][2] || proj[1][2] != proj[1][2] || proj[2][2] != proj[2][2]) return;
        if (!(proj[0][1] >= top || proj[1][1] >= top || proj[2][1] >= top)) return;
        if (!(proj[0][1] < bottom || proj[1][1] < bottom || proj[2][1] < bottom)) return;
        if (!(proj[0][0] >= 0 || proj[1][0] >= 0 || proj[2][0] >= 0)) return;
        if (!(proj[0][0] < right || proj[1][0] < right || proj[2][0] < right)) return;

        FillVertex v[3];
        TriPaint own;
        const TriPaint* paint = &call_paint;
        const float(*vc)[4] = call_vc;
        float tri_vc[3][4];
        if (p.shade) {
            const float* sh = p.shade + i * 12;
            const bool tex_override = p.tri_tex_pixels && p.tri_tex_pixels[i];
            bool rules_done = false;
#if defined(__SSE2__)
            if (vector_rules && !tex_override) {
                if (!shaded_rules_sse2(sh, object_vec, colored, tex_paint, own, tri_vc)) return;
                rules_done = true;
            }
#endif
            if (!rules_done) {
                float sum = 0;
                for (int k = 0; k < 3; ++k) {
                    for (int c = 0; c < 4; ++c) {
                        tri_vc[k][c] = sh[k * 4 + c] * object_color[c];
                        sum += tri_vc[k][c];
                    }
                }
                own.modulate = colored || !(sum > WHITE_SHADE_SUM);
                if (!color_rules(tri_vc, true, own)) return;
                if (tex_override) {
                    texture_rules(tri_vc, p.tri_tex_pixels[i], p.tri_tex_width ? p.tri_tex_width[i] : 0,
                                  p.tri_tex_height ? p.tri_tex_height[i] : 0,
                                  p.tri_tex_channels ? p.tri_tex_channels[i] : 3, has_uvs, own);
                } else {
                    texture_rules(tri_vc, p.tex_pixels, p.tex_width, p.tex_height, p.tex_channels, has_uvs,
                                  own);
                }
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
    };
    if (p.tri_list) {
        // A band's listed triangles lie far apart in the arrays, and each would wait for memory: the
        // projected vertices, colours and texture coordinates of the triangle AHEAD places on are asked
        // for now (first and last float of each record, which may straddle two cache lines). Written
        // here and not as a function: GCC finds such a function free of effects and drops its calls.
        constexpr int64_t AHEAD = 6;
        for (int64_t n = 0; n < p.tri_list_count; ++n) {
            const int64_t next =
                n + AHEAD < p.tri_list_count ? static_cast<int64_t>(p.tri_list[n + AHEAD]) : 0;
            if (next < p.tri_count) {
                if (p.projected) {
                    __builtin_prefetch(p.projected + next * 9);
                    __builtin_prefetch(p.projected + next * 9 + 8);
                }
                if (p.shade) {
                    __builtin_prefetch(p.shade + next * 12);
                    __builtin_prefetch(p.shade + next * 12 + 11);
                }
                if (p.uvs) {
                    __builtin_prefetch(p.uvs + next * 6);
                    __builtin_prefetch(p.uvs + next * 6 + 5);
                }
            }
            const int64_t i = static_cast<int64_t>(p.tri_list[n]);
            if (i < p.tri_count) visit(i);
        }
    } else {
        for (int64_t i = share.first; i < p.tri_count; i += share.stride) visit(i);
    }
}

// The whole share of a call.
template <class TriFn>
void for_each_triangle(const FillParams& p, TriFn&& fn) {
    CallShare share;
    if (!call_share(p, share)) return;
    for_each_triangle(p, share, share.row_top, share.row_bottom, fn);
}

}  // namespace fill_detail
