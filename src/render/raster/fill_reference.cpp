// The plain triangle filler: the fast filler's triangle set-up, then every decision taken per pixel and
// every interpolated value computed from its span start, each vertex projected here even when the call
// brings its projection. Used by tests to check the fast filler's rows and the shared projection.
#include "render/raster/fill.h"
#include "render/raster/fill_setup.h"

#include <atomic>

using namespace fill_detail;

namespace {

std::atomic<int64_t> reference_written{0};

}  // namespace

int64_t fill_reference_written() {
    return reference_written.load(std::memory_order_relaxed);
}

void fill_reference_written_reset() {
    reference_written.store(0, std::memory_order_relaxed);
}

void fill_part_triangles_reference(const FillParams& call) {
    FillParams p = call;
    p.projected = nullptr;
    int64_t written = 0;
    for_each_triangle(p, [&](const FillVertex* v, const TriPaint& paint, int slice_top, int slice_bottom) {
        TriRows t;
        if (!tri_rows_setup(v, slice_top, slice_bottom, t)) return;
        for (int row = t.first_row; row < t.end_row; ++row) {
            const Edge& le = left_edge(t, row);
            const Edge& re = right_edge(t, row);
            Span sp;
            if (!span_bounds(edge_value(le, A_X, row), edge_value(re, A_X, row), t, paint.span_limit, p.width,
                             sp))
                continue;
            const float inv = 1.0f / static_cast<float>(sp.count);
            const SpanFix depth =
                span_fix(edge_value(le, A_DEPTH, row), edge_value(re, A_DEPTH, row), DEPTH_SCALE, inv);
            const SpanFix u = span_fix(edge_value(le, A_U, row), edge_value(re, A_U, row),
                                       static_cast<float>(paint.tex_width) * FIX16_ONE, inv);
            const SpanFix vv = span_fix(edge_value(le, A_V, row), edge_value(re, A_V, row),
                                        static_cast<float>(paint.tex_height) * FIX16_ONE, inv);
            SpanFix color[4];
            for (int c = 0; c < 4; ++c) {
                color[c] = span_fix(clamp_color(edge_value(le, A_R + c, row)),
                                    clamp_color(edge_value(re, A_R + c, row)), FIX16_ONE, inv);
            }
            for (int x = sp.first; x < sp.end; ++x) {
                const int k = x - sp.span_start;
                const size_t index =
                    static_cast<size_t>(row) * static_cast<size_t>(p.width) + static_cast<size_t>(x);
                uint8_t* dst = p.color + index * 3;
                uint32_t* zp = p.depth + index;
                const uint32_t d = span_at(depth, k);
                uint32_t ch[4] = {255u << FIX16_SHIFT, 255u << FIX16_SHIFT, 255u << FIX16_SHIFT,
                                  255u << FIX16_SHIFT};
                if (paint.modulate) {
                    for (int c = 0; c < 4; ++c)
                        ch[c] = paint.gouraud ? span_at(color[c], k)
                                              : static_cast<uint32_t>(paint.constant_fix[c]);
                }
                if (!(d < *zp)) continue;
                if (!(static_cast<fix16>(ch[3]) > ALPHA_VISIBLE_FIX)) continue;
                uint32_t rgb[3];
                uint32_t a = ch[3] >> FIX16_SHIFT;
                if (paint.tex) {
                    uint32_t tu = span_at(u, k), tv = span_at(vv, k);
                    const uint32_t umax = static_cast<uint32_t>(paint.tex_width) * 65535u;
                    const uint32_t vmax = static_cast<uint32_t>(paint.tex_height) * 65535u;
                    if (tu > umax) tu = umax;
                    if (tv > vmax) tv = vmax;
                    const size_t texel =
                        static_cast<size_t>(tv >> 16) * static_cast<size_t>(paint.tex_width) + (tu >> 16);
                    const uint8_t* tx = paint.tex + texel * static_cast<size_t>(paint.tex_channels);
                    if (paint.tex_channels == 4) a = (tx[3] * a) >> 8;
                    for (int c = 0; c < 3; ++c)
                        rgb[c] = paint.modulate ? (tx[c] * (ch[c] >> 16)) >> 8 : tx[c];
                } else {
                    for (int c = 0; c < 3; ++c) rgb[c] = ch[c] >> 16;
                }
                if (a <= static_cast<uint32_t>(ALPHA_INVISIBLE)) continue;
                if (a < static_cast<uint32_t>(BLEND_BELOW)) {
                    for (int c = 0; c < 3; ++c) rgb[c] = (rgb[c] * a + dst[c] * (255 - a)) >> 8;
                }
                for (int c = 0; c < 3; ++c) dst[c] = static_cast<uint8_t>(rgb[c]);
                if (!p.no_depth_write) *zp = d;
                ++written;
            }
        }
    });
    reference_written.fetch_add(written, std::memory_order_relaxed);
}
