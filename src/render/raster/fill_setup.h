// What the fast filler and its reference share: vertex projection with reuse, the rejection tests,
// the colour rules, vertex ordering, edge stepping and span bounds. Private to src/render; reentrant.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

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

// The rows of one triangle within the slice, and the edges that bound them.
struct TriRows {
    Edge left, right, mid;  // mid replaces the edge on mid_side from mid_row on
    int mid_right;          // 1: the middle vertex is on the right side
    int first_row, end_row, mid_row;
    int extent_left, extent_right;  // pixel columns the triangle covers at most
};

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

inline void make_edge(Edge& e, const FillVertex& from, const FillVertex& to, bool left, int attrs) {
    const float inv = inverse_height(to.y - from.y, left);
    for (int k = 0; k < attrs; ++k) {
        e.start[k] = from.a[k];
        e.step[k] = (to.a[k] - from.a[k]) * inv;
    }
    e.row0 = std::trunc(from.y + 0.5f);
}

// Orders the vertices and prepares the edges; attrs limits the work to the first attributes needed.
// Returns false when no row of the slice is covered.
inline bool tri_rows_setup(FillVertex v[3], int slice_top, int slice_bottom, int attrs, TriRows& t) {
    if (v[1].y < v[0].y) std::swap(v[0], v[1]);
    if (v[2].y < v[1].y) std::swap(v[1], v[2]);
    if (v[1].y < v[0].y) std::swap(v[0], v[1]);
    const int top_row = round_row(v[0].y);
    t.first_row = top_row > slice_top ? top_row : slice_top;
    const int bottom_row = round_row(v[2].y);
    t.end_row = bottom_row < slice_bottom ? bottom_row : slice_bottom;
    if (t.first_row >= t.end_row) return false;
    t.mid_row = round_row(v[1].y);

    // The edge to the middle vertex lies left of the long edge when its slope is smaller at equal
    // height (with a flat top this reduces to the middle vertex lying left of the top one).
    const float lhs = (v[1].a[A_X] - v[0].a[A_X]) * (v[2].y - v[0].y);
    const float rhs = (v[2].a[A_X] - v[0].a[A_X]) * (v[1].y - v[0].y);
    t.mid_right = !(lhs < rhs);
    if (t.mid_right) {
        make_edge(t.left, v[0], v[2], true, attrs);
        make_edge(t.right, v[0], v[1], false, attrs);
        make_edge(t.mid, v[1], v[2], false, attrs);
    } else {
        make_edge(t.left, v[0], v[1], true, attrs);
        make_edge(t.right, v[0], v[2], false, attrs);
        make_edge(t.mid, v[1], v[2], true, attrs);
    }
    float lo = v[0].a[A_X], hi = lo;
    for (int k = 1; k < 3; ++k) {
        lo = v[k].a[A_X] < lo ? v[k].a[A_X] : lo;
        hi = v[k].a[A_X] > hi ? v[k].a[A_X] : hi;
    }
    t.extent_left = trunc_clamped(lo + SPAN_LEFT_ROUND, PIXEL_LIMIT);
    t.extent_right = trunc_clamped(hi + SPAN_RIGHT_ROUND, PIXEL_LIMIT);
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

inline bool span_bounds(float left_x, float right_x, int extent_left, int extent_right, int limit, int width,
                        Span& s) {
    s.span_start = trunc_clamped(left_x + SPAN_LEFT_ROUND, PIXEL_LIMIT);
    const int right = trunc_clamped(right_x + SPAN_RIGHT_ROUND, PIXEL_LIMIT);
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

// Walks the triangles of a call over the rows [slice_top, slice_bottom) of its share (a narrower band
// than the share gives the same pixels in those rows): projection with reuse, rejection, colour
// set-up. fn(vertices, paint, slice_top, slice_bottom) gets every triangle that may cover a row.
template <class TriFn>
void for_each_triangle(const FillParams& p, const CallShare& share, int slice_top, int slice_bottom,
                       TriFn&& fn) {
    const int64_t first = share.first, stride = share.stride;

    const float projection[3] = {p.extent_x, p.extent_y, p.depth_factor};
    const float center[2] = {p.view_center_x, p.view_center_y};
    const ViewTransform view =
        view_transform_make(Vec3{p.eye_x, -p.neg_eye_y, p.eye_z}, Vec3{p.pitch, -p.neg_yaw, p.roll},
                            projection, center, p.width, p.height);
    const bool colored = p.red + p.green + p.blue + p.alpha <= COLORED_SUM_MAX;
    const float object_color[4] = {p.red * 255.0f, p.green * 255.0f, p.blue * 255.0f, p.alpha * 255.0f};
    const int width = p.width;

    // Projections of the previous triangle's vertices, keyed by their bit patterns.
    uint32_t prev_bits[3][3];
    float prev_proj[3][3];  // x, y, depth
    bool have_prev = false;

    for (int64_t i = first; i < p.tri_count; i += stride) {
        const float* tri = p.tris + i * 9;
        float proj[3][3];
        uint32_t bits[3][3];
        std::memcpy(bits, tri, sizeof bits);
        for (int k = 0; k < 3; ++k) {
            int reuse = -1;
            if (have_prev) {
                for (int j = 0; j < 3; ++j) {
                    if (bits[k][0] == prev_bits[j][0] && bits[k][1] == prev_bits[j][1] &&
                        bits[k][2] == prev_bits[j][2]) {
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
                const ProjectedPoint pp = project_point(view, tri[k * 3], tri[k * 3 + 1], tri[k * 3 + 2]);
                float x = pp.x, y = pp.y;
                // Non-finite input marks the vertex unusable (depth NaN fails every test below).
                if (!(x - x == 0.0f) || !(y - y == 0.0f) || !(pp.depth - pp.depth == 0.0f)) {
                    proj[k][0] = proj[k][1] = proj[k][2] = std::numeric_limits<float>::quiet_NaN();
                } else {
                    x = x > -SCREEN_COORD_LIMIT ? (x < SCREEN_COORD_LIMIT ? x : SCREEN_COORD_LIMIT)
                                                : -SCREEN_COORD_LIMIT;
                    y = y > -SCREEN_COORD_LIMIT ? (y < SCREEN_COORD_LIMIT ? y : SCREEN_COORD_LIMIT)
                                                : -SCREEN_COORD_LIMIT;
                    proj[k][0] = x;
                    proj[k][1] = y;
                    proj[k][2] = pp.depth;
                }
            }
        }
        std::memcpy(prev_bits, bits, sizeof bits);
        std::memcpy(prev_proj, proj, sizeof proj);
        have_prev = true;

        // A vertex that failed to project rejects the whole triangle.
        if (proj[0][2] != proj[0][2] || proj[1][2] != proj[1][2] || proj[2][2] != proj[2][2]) continue;
        if (!(proj[0][2] >= 0 || proj[1][2] >= 0 || proj[2][2] >= 0)) continue;
        if (!(proj[0][1] >= slice_top || proj[1][1] >= slice_top || proj[2][1] >= slice_top)) continue;
        if (!(proj[0][1] < slice_bottom || proj[1][1] < slice_bottom || proj[2][1] < slice_bottom)) continue;
        if (!(proj[0][0] >= 0 || proj[1][0] >= 0 || proj[2][0] >= 0)) continue;
        if (!(proj[0][0] < width || proj[1][0] < width || proj[2][0] < width)) continue;

        TriPaint paint;
        float vc[3][4];
        if (!p.shade) {
            paint.modulate = colored;
            for (int k = 0; k < 3; ++k)
                for (int c = 0; c < 4; ++c) vc[k][c] = object_color[c];
        } else {
            const float* sh = p.shade + i * 12;
            float sum = 0;
            for (int k = 0; k < 3; ++k) {
                for (int c = 0; c < 4; ++c) {
                    vc[k][c] = sh[k * 4 + c] * object_color[c];
                    sum += vc[k][c];
                }
            }
            paint.modulate = colored || !(sum > WHITE_SHADE_SUM);
        }
        // Transparent vertices skip the triangle whether or not their colours modulate; without shade
        // and colour there are no vertex alphas.
        if ((p.shade || paint.modulate) && vc[0][3] < ALPHA_SKIP && vc[1][3] < ALPHA_SKIP &&
            vc[2][3] < ALPHA_SKIP)
            continue;
        if (paint.modulate) {
            bool constant = true;
            for (int c = 0; c < 4; ++c) constant = constant && vc[0][c] == vc[1][c] && vc[0][c] == vc[2][c];
            if (constant) {
                for (int c = 0; c < 4; ++c) paint.constant_fix[c] = to_fix(clamp_color(vc[0][c]) * FIX16_ONE);
            } else {
                paint.gouraud = 1;
                for (int k = 0; k < 3; ++k)
                    for (int c = 0; c < 4; ++c) vc[k][c] = vc[k][c] < COLOR_FLOOR ? COLOR_FLOOR : vc[k][c];
            }
        } else {
            for (int k = 0; k < 3; ++k)
                for (int c = 0; c < 4; ++c) vc[k][c] = 255.0f;
        }

        const uint8_t* tex = p.tex_pixels;
        int tw = p.tex_width, th = p.tex_height, tc = p.tex_channels;
        if (p.tri_tex_pixels && p.tri_tex_pixels[i]) {
            tex = p.tri_tex_pixels[i];
            tw = p.tri_tex_width ? p.tri_tex_width[i] : 0;
            th = p.tri_tex_height ? p.tri_tex_height[i] : 0;
            tc = p.tri_tex_channels ? p.tri_tex_channels[i] : 3;
        }
        if (tc == 0) tc = 3;
        texture_rules(vc, tex, tw, th, tc, p.uvs != nullptr, paint);
        paint.span_limit = (p.tri_outline && p.tri_outline[i]) ? 1 : p.span_limit;

        // The texture the rules kept, not the one given: without uvs the triangle is untextured.
        const bool textured = paint.tex != nullptr;
        FillVertex v[3];
        for (int k = 0; k < 3; ++k) {
            v[k].y = proj[k][1];
            v[k].a[A_X] = proj[k][0];
            v[k].a[A_DEPTH] = proj[k][2];
            v[k].a[A_U] = textured ? p.uvs[i * 6 + k * 2] : 0.0f;
            v[k].a[A_V] = textured ? p.uvs[i * 6 + k * 2 + 1] : 0.0f;
            for (int c = 0; c < 4; ++c) v[k].a[A_R + c] = vc[k][c];
        }
        fn(v, paint, slice_top, slice_bottom);
    }
}

}  // namespace fill_detail

namespace fill_detail {

// The whole share of a call.
template <class TriFn>
void for_each_triangle(const FillParams& p, TriFn&& fn) {
    CallShare share;
    if (!call_share(p, share)) return;
    for_each_triangle(p, share, share.row_top, share.row_bottom, fn);
}

}  // namespace fill_detail
