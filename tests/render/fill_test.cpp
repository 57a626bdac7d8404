// The triangle filler: covered pixels against the edge and span rules, the depth test, texel alpha,
// the colour thresholds and blending, span limits, vertices behind the eye, hostile coordinates, and
// the fast filler against the plain reference over many random triangles.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "render/raster/fill.h"
#include "render_test_util.h"
#include "scene/camera.h"

namespace {

using rtest::add_tri;
using rtest::Canvas;
using rtest::pixel_params;
using rtest::same_image;

struct Pt {
    double x, y;
};

// Columns [first, end) per row expected from the edge rules, computed independently in double: the
// vertices are sorted by y, the long edge and the two short edges step by (1 or 1.00011) / (height +
// bias) per row from their rounded start rows, spans round with +0.45 / +0.55 and are clipped to the
// triangle's horizontal extent. Fails the test when a rounding falls too close to call.
std::vector<std::pair<int, int>> expected_spans(Pt a, Pt b, Pt c, int width, int height, int limit = 0) {
    Pt v[3] = {a, b, c};
    std::sort(v, v + 3, [](Pt p, Pt q) { return p.y < q.y; });
    auto row_of = [](double y) { return static_cast<int>(std::trunc(y + 0.5)); };
    auto inv = [](double h, bool left) {
        if (h < 1.1) return 0.0;
        return (left ? 1.00011 : 1.0) / (h + (h < 8 ? 0.9 : 0.1));
    };
    const bool mid_right = (v[1].x - v[0].x) * (v[2].y - v[0].y) >= (v[2].x - v[0].x) * (v[1].y - v[0].y);
    const int top = row_of(v[0].y), mid = row_of(v[1].y), bottom = row_of(v[2].y);
    const double ext_l = std::trunc(std::min({v[0].x, v[1].x, v[2].x}) + 0.45);
    const double ext_r = std::trunc(std::max({v[0].x, v[1].x, v[2].x}) + 0.55);
    std::vector<std::pair<int, int>> rows(static_cast<size_t>(height), {0, 0});
    for (int r = std::max(top, 0); r < std::min(bottom, height); ++r) {
        const double longx = v[0].x + (r - top) * (v[2].x - v[0].x) * inv(v[2].y - v[0].y, !mid_right);
        double shortx;
        if (r < mid) {
            shortx = v[0].x + (r - top) * (v[1].x - v[0].x) * inv(v[1].y - v[0].y, mid_right ? false : true);
        } else {
            shortx = v[1].x + (r - mid) * (v[2].x - v[1].x) * inv(v[2].y - v[1].y, mid_right ? false : true);
        }
        const double lx = (mid_right ? longx : shortx) + 0.45, rx = (mid_right ? shortx : longx) + 0.55;
        EXPECT_GT(std::fabs(lx - std::round(lx)), 1e-3) << "row " << r;
        EXPECT_GT(std::fabs(rx - std::round(rx)), 1e-3) << "row " << r;
        int first = static_cast<int>(std::max(std::trunc(lx), ext_l));
        int end = static_cast<int>(std::min(std::trunc(rx), ext_r));
        if (limit > 0 && end - first > limit) end = first + limit;
        first = std::max(first, 0);
        end = std::min(end, width);
        if (first < end && std::trunc(rx) > std::trunc(lx)) rows[static_cast<size_t>(r)] = {first, end};
    }
    return rows;
}

void expect_coverage(const Canvas& c, const std::vector<std::pair<int, int>>& rows) {
    for (int y = 0; y < c.height; ++y) {
        const auto [first, end] = rows[static_cast<size_t>(y)];
        for (int x = 0; x < c.width; ++x) {
            const bool inside = x >= first && x < end;
            ASSERT_EQ(c.written(x, y), inside) << "pixel " << x << ", " << y;
            if (inside) {
                EXPECT_EQ(c.pixel(x, y)[0], 255);
            }
        }
    }
}

// Draws tris with p, whose target is already the canvas.
void draw(Canvas&, const std::vector<float>& tris, FillParams p) {
    p.tris = tris.data();
    p.tri_count = static_cast<int64_t>(tris.size() / 9);
    fill_part_triangles(p);
}

// Draws p with the fast filler into its own target, then with the reference into ref.
void draw_fast_and_reference(FillParams p, Canvas& ref) {
    fill_part_triangles(p);
    p.color = ref.color.data();
    p.depth = ref.depth.data();
    fill_part_triangles_reference(p);
}

TEST(FillCoverage, TrianglesCoverTheSpanRules) {
    const Pt shapes[][3] = {
        {{10.2, 5.3}, {40.7, 12.1}, {15.5, 30.9}},    // middle vertex right, short upper edge
        {{30.3, 2.2}, {4.6, 20.8}, {38.1, 27.3}},     // middle vertex left
        {{5.3, 8.2}, {50.6, 8.2}, {20.1, 40.7}},      // flat top
        {{22.2, 3.1}, {2.7, 33.3}, {44.3, 33.3}},     // flat bottom
        {{-20.3, -5.2}, {70.4, 10.3}, {12.7, 50.2}},  // clipped on three sides
        {{3.2, 10.3}, {60.1, 12.2}, {6.3, 14.1}},     // thin sliver
    };
    for (const auto& s : shapes) {
        Canvas c(64, 40);
        std::vector<float> tris;
        add_tri(tris, static_cast<float>(s[0].x), static_cast<float>(s[0].y), static_cast<float>(s[1].x),
                static_cast<float>(s[1].y), static_cast<float>(s[2].x), static_cast<float>(s[2].y), 5);
        draw(c, tris, pixel_params(c));
        SCOPED_TRACE(testing::Message() << "triangle at " << s[0].x << ", " << s[0].y);
        expect_coverage(c, expected_spans(s[0], s[1], s[2], c.width, c.height));
    }
}

TEST(FillCoverage, BothWindingsAreDrawnAlike) {
    Canvas a(48, 32), b(48, 32);
    std::vector<float> cw, ccw;
    add_tri(cw, 3.3, 2.2, 40.1, 9.7, 12.4, 28.6, 2);
    add_tri(ccw, 3.3, 2.2, 12.4, 28.6, 40.1, 9.7, 2);
    draw(a, cw, pixel_params(a));
    draw(b, ccw, pixel_params(b));
    EXPECT_EQ(a.color, b.color);
    EXPECT_EQ(a.depth, b.depth);
}

TEST(FillCoverage, SpanLimitOneKeepsTheLeftmostPixelOfEveryRow) {
    const Pt s[3] = {{10.2, 5.3}, {40.7, 12.1}, {15.5, 30.9}};
    Canvas c(64, 40);
    std::vector<float> tris;
    add_tri(tris, 10.2f, 5.3f, 40.7f, 12.1f, 15.5f, 30.9f, 5);
    FillParams p = pixel_params(c);
    p.span_limit = 1;
    draw(c, tris, p);
    const auto rows = expected_spans(s[0], s[1], s[2], c.width, c.height, 1);
    expect_coverage(c, rows);
    int drawn_rows = 0;
    for (const auto& r : rows) drawn_rows += r.second - r.first == 1;
    EXPECT_GT(drawn_rows, 20);

    // The per-triangle outline list forces the same limit on the triangle it marks only.
    Canvas d(64, 40);
    std::vector<float> two = tris;
    add_tri(two, 50.2f, 2.3f, 62.7f, 2.1f, 56.5f, 9.9f, 5);
    const int outline[2] = {1, 0};
    p = pixel_params(d);
    p.tri_outline = outline;
    draw(d, two, p);
    for (int y = 0; y < 40; ++y) {
        int n = 0;
        for (int x = 0; x < 48; ++x) n += d.written(x, y);
        EXPECT_LE(n, 1) << "row " << y;
    }
    EXPECT_TRUE(d.written(56, 5));
    EXPECT_TRUE(d.written(57, 5));
}

TEST(FillCoverage, SpanLimitOnAnOffscreenLeftEndKeepsOnlyWhatIsWithinReach) {
    Canvas c(32, 16);
    std::vector<float> tris;
    add_tri(tris, -10.2f, 0.1f, 30.3f, 0.2f, -10.1f, 15.7f, 5);
    FillParams p = pixel_params(c);
    p.span_limit = 12;
    draw(c, tris, p);
    // Spans start at column -9 (trunc(-10.2 + 0.45), toward zero): 12 pixels from there end before column 3.
    for (int y = 1; y < 8; ++y) {
        EXPECT_TRUE(c.written(0, y));
        EXPECT_TRUE(c.written(2, y));
        EXPECT_FALSE(c.written(3, y)) << y;
    }
}

TEST(FillDepth, EqualDepthIsNotDrawnNearerIs) {
    Canvas c(32, 32);
    std::vector<float> tris;
    add_tri(tris, 2, 2, 30, 3, 5, 29, 7.5f);
    FillParams p = pixel_params(c);
    p.red = 1, p.green = 0, p.blue = 0, p.alpha = 1;
    draw(c, tris, p);
    EXPECT_EQ(c.depth_at(8, 8), 7680u);  // 7.5 x 1024
    EXPECT_EQ(c.pixel(8, 8)[0], 255);

    p.red = 0, p.green = 1;
    draw(c, tris, p);  // same depth: the test is strict
    EXPECT_EQ(c.pixel(8, 8)[0], 255);
    EXPECT_EQ(c.pixel(8, 8)[1], 0);

    std::vector<float> nearer;
    add_tri(nearer, 2, 2, 30, 3, 5, 29, 7.4f);
    draw(c, nearer, p);
    EXPECT_EQ(c.pixel(8, 8)[0], 0);
    EXPECT_EQ(c.pixel(8, 8)[1], 255);
    EXPECT_EQ(c.depth_at(8, 8), static_cast<uint32_t>(7.4f * 1024.0f));
}

TEST(FillDepth, EmittersTestDepthButDoNotStoreIt) {
    Canvas c(16, 16);
    std::vector<float> tris;
    add_tri(tris, 0.1f, 0.1f, 15.9f, 0.2f, 0.3f, 15.8f, 3);
    FillParams p = pixel_params(c);
    p.no_depth_write = 1;
    draw(c, tris, p);
    EXPECT_EQ(c.pixel(3, 3)[1], 255);
    EXPECT_EQ(c.depth_at(3, 3), rtest::CLEARED_DEPTH);
}

TEST(FillDepth, AVertexBehindTheEyeStillDraws) {
    Canvas c(64, 64);
    FillParams p = pixel_params(c);
    p.depth_factor = 1;  // perspective: the far-behind vertex is mirrored through the centre
    p.view_center_x = 0;
    p.view_center_y = 0;
    // Centre of the view at (32, 32); two vertices in front, one behind the eye.
    const std::vector<float> tris = {-20, 20, 1, 20, 20, 1, 0, -30, -1};
    draw(c, tris, p);
    int written = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) written += c.written(x, y);
    EXPECT_GT(written, 60);
    // Every stored depth is in front of the eye: pixels whose interpolated depth is negative compare as
    // huge unsigned values and lose to the cleared frame.
    for (uint32_t d : c.depth) EXPECT_TRUE(d == rtest::CLEARED_DEPTH || d <= 1024u);

    // All three behind the eye: rejected.
    Canvas e(64, 64);
    const std::vector<float> behind = {-20, 20, -1, 20, 20, -1, 0, -30, -3};
    p = pixel_params(e);
    draw(e, behind, p);
    for (uint32_t d : e.depth) ASSERT_EQ(d, rtest::CLEARED_DEPTH);
}

TEST(FillDepth, HostileCoordinatesDrawNothingOutOfBounds) {
    Canvas c(40, 30);
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> tris = {
        0,      0,     1,    nan,   5,     1,    10, -10,    1,  // NaN vertex: rejected
        0,      0,     1,    inf,   -5,    1,    10, -10,    1,  // infinite vertex: rejected
        -3e30f, 3e30f, 1,    3e30f, 3e30f, 1,    0,  -3e30f, 1,  // enormous: clipped to the region
        1e9f,   -1e9f, 2e9f, -1e9f, 5,     3e9f, 20, -20,    1e-30f,
    };
    FillParams p = pixel_params(c);
    p.red = 0.5f;
    draw(c, tris, p);
    // The enormous triangle covers the view.
    EXPECT_TRUE(c.written(20, 15));
}

// A 1 x 1 texture: every texture coordinate reads its single texel.
struct OneTexel {
    uint8_t px[4];
};

FillParams textured(Canvas& c, const OneTexel& t, int channels, float r, float g, float b, float a) {
    static const std::vector<float> uvs(6, 0.5f);
    FillParams p = pixel_params(c);
    p.tex_pixels = t.px;
    p.tex_width = p.tex_height = 1;
    p.tex_channels = channels;
    p.uvs = uvs.data();
    p.red = r, p.green = g, p.blue = b, p.alpha = a;
    return p;
}

TEST(FillColor, ThresholdsDecideModulationAndBlending) {
    std::vector<float> tris;
    add_tri(tris, 0.1f, 0.1f, 15.9f, 0.2f, 0.3f, 15.8f, 3);
    const OneTexel t{{200, 100, 50, 255}};
    struct Case {
        float r, g, b, a;
        uint8_t expect[3];
    };
    // The frame under the triangle holds (40, 80, 120) at a farther depth.
    const Case cases[] = {
        {1, 1, 1, 1, {200, 100, 50}},         // white: texels as they are
        {1, 1, 1, 0.99f, {200, 100, 50}},     // sum 3.99 > 3.97: still unmodulated
        {1, 1, 0.98f, 0.98f, {199, 99, 48}},  // sum 3.96: modulated; alpha 249 is opaque
        {1,
         1,
         1,
         0.5f,
         {(199 * 127 + 40 * 128) >> 8, (99 * 127 + 80 * 128) >> 8, (49 * 127 + 120 * 128) >> 8}},
    };
    for (const Case& k : cases) {
        Canvas c(16, 16);
        for (size_t i = 0; i < c.color.size(); i += 3) {
            c.color[i] = 40, c.color[i + 1] = 80, c.color[i + 2] = 120;
        }
        FillParams p = textured(c, t, 3, k.r, k.g, k.b, k.a);
        draw(c, tris, p);
        SCOPED_TRACE(testing::Message() << "colour " << k.r << " " << k.g << " " << k.b << " " << k.a);
        EXPECT_EQ(c.pixel(4, 4)[0], k.expect[0]);
        EXPECT_EQ(c.pixel(4, 4)[1], k.expect[1]);
        EXPECT_EQ(c.pixel(4, 4)[2], k.expect[2]);
        EXPECT_EQ(c.depth_at(4, 4), 3072u);
    }
}

TEST(FillColor, TexelAlphaZeroLeavesColourAndDepth) {
    std::vector<float> tris;
    add_tri(tris, 0.1f, 0.1f, 15.9f, 0.2f, 0.3f, 15.8f, 3);
    Canvas c(16, 16);
    const OneTexel clear{{9, 9, 9, 0}};
    draw(c, tris, textured(c, clear, 4, 1, 1, 1, 1));
    for (uint8_t v : c.color) ASSERT_EQ(v, 0);
    for (uint32_t d : c.depth) ASSERT_EQ(d, rtest::CLEARED_DEPTH);

    // Alpha 128 (x 255 >> 8 = 127) blends half the texel over the frame and stores the depth.
    const OneTexel half{{200, 100, 50, 128}};
    draw(c, tris, textured(c, half, 4, 1, 1, 1, 1));
    EXPECT_EQ(c.pixel(4, 4)[0], (200 * 127) >> 8);
    EXPECT_EQ(c.depth_at(4, 4), 3072u);
}

TEST(FillColor, ShadeArraysFloorsAndTransparentTriangles) {
    std::vector<float> tris;
    add_tri(tris, 0.1f, 0.1f, 31.9f, 0.2f, 0.3f, 31.8f, 3);
    // Near-white shade sums above 3020 are drawn without modulation.
    std::vector<float> shade(12, 0.99f);
    Canvas c(32, 32);
    FillParams p = pixel_params(c);
    p.shade = shade.data();
    draw(c, tris, p);
    EXPECT_EQ(c.pixel(5, 5)[0], 255);
    EXPECT_EQ(c.pixel(5, 5)[2], 255);

    // A darker shade modulates: constant colour 0.5 x 255.
    std::fill(shade.begin(), shade.end(), 0.5f);
    for (int k = 0; k < 3; ++k) shade[static_cast<size_t>(k) * 4 + 3] = 1;
    Canvas d(32, 32);
    p = pixel_params(d);
    p.shade = shade.data();
    draw(d, tris, p);
    EXPECT_EQ(d.pixel(5, 5)[0], 127);

    // Interpolated colours: a channel going to 0 is floored at 0.6 and never wraps below zero.
    const float grad[12] = {0, 1, 0, 1, 1, 0, 0, 1, 0, 0, 1, 1};
    Canvas e(32, 32);
    p = pixel_params(e);
    p.shade = grad;
    draw(e, tris, p);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            if (!e.written(x, y)) continue;
            const uint8_t* px = e.pixel(x, y);
            ASSERT_LE(px[0] + px[1] + px[2], 262) << x << "," << y;  // weights sum to one: no overshoot
        }
    }
    EXPECT_GT(e.pixel(0, 0)[1], 250);

    // All vertex alphas below 4: skipped.
    const float faint[12] = {1, 1, 1, 0.01f, 1, 1, 1, 0.01f, 1, 1, 1, 0.015f};
    Canvas f(32, 32);
    p = pixel_params(f);
    p.shade = faint;
    draw(f, tris, p);
    for (uint32_t v : f.depth) ASSERT_EQ(v, rtest::CLEARED_DEPTH);

    // Shade colours bright enough to turn modulation off do not make transparent vertices opaque:
    // the triangle is still skipped, by the fast filler and the reference alike.
    const float bright_faint[12] = {1.4f, 1.4f,  1.4f, 0.01f, 1.4f, 1.4f,
                                    1.4f, 0.01f, 1.4f, 1.4f,  1.4f, 0.015f};
    for (auto fill : {&fill_part_triangles, &fill_part_triangles_reference}) {
        Canvas g(32, 32);
        p = pixel_params(g);
        p.shade = bright_faint;
        p.tris = tris.data();
        p.tri_count = 1;
        fill(p);
        SCOPED_TRACE(fill == &fill_part_triangles ? "fast" : "reference");
        EXPECT_EQ(std::count(g.depth.begin(), g.depth.end(), rtest::CLEARED_DEPTH), 32 * 32);
        EXPECT_EQ(std::count(g.color.begin(), g.color.end(), 0), 32 * 32 * 3);
    }
}

// --- The fast filler against the reference ---------------------------------------------------------

// Every comparison runs with spans drawn sixteen pixels at a time, eight (where the processor has those)
// and four.
class FillReference : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        fill_set_span_width(GetParam());
        if (fill_span_width() != GetParam())
            GTEST_SKIP() << "no " << GetParam() << "-pixel spans on this processor";
    }
    void TearDown() override { fill_set_span_width(16); }
};

INSTANTIATE_TEST_SUITE_P(Spans, FillReference, ::testing::Values(16, 8, 4),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "by" + std::to_string(info.param);
                         });

struct RandomScene {
    std::mt19937 rng;
    std::vector<uint8_t> rgb, rgba;

    explicit RandomScene(uint32_t seed) : rng(seed), rgb(13 * 7 * 3), rgba(8 * 16 * 4) {
        for (auto& b : rgb) b = static_cast<uint8_t>(rng());
        for (auto& b : rgba) b = static_cast<uint8_t>(rng());
        for (size_t i = 3; i < rgba.size(); i += 16) rgba[i] = 0;  // some fully transparent texels
    }
    float uni(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }
    int pick(int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); }
};

TEST_P(FillReference, FastFillerMatchesReferencePixelForPixel) {
    RandomScene s(12345);
    const int w = 97, h = 61;
    int64_t written = 0;
    for (int round = 0; round < 300; ++round) {
        Canvas fast(w, h), ref(w, h);
        for (size_t i = 0; i < fast.color.size(); ++i)
            fast.color[i] = ref.color[i] = static_cast<uint8_t>(i * 7);
        const int parts = 1 + s.pick(6);
        for (int part = 0; part < parts; ++part) {
            const int n = 1 + s.pick(12);
            std::vector<float> tris, uvs, shade;
            for (int i = 0; i < n; ++i) {
                for (int k = 0; k < 3; ++k) {
                    // Mostly on screen, sometimes far off, sometimes sharing the previous vertex.
                    const float spread = s.pick(8) == 0 ? 300.0f : 40.0f;
                    if (i > 0 && s.pick(4) == 0) {
                        const size_t prev = tris.size() - 9 + static_cast<size_t>(s.pick(3)) * 3;
                        tris.insert(tris.end(), {tris[prev], tris[prev + 1], tris[prev + 2]});
                    } else {
                        tris.insert(tris.end(), {s.uni(-spread, w + spread), -s.uni(-spread, h + spread),
                                                 s.uni(-0.5f, 20.0f)});
                    }
                    uvs.insert(uvs.end(), {s.uni(-0.3f, 1.3f), s.uni(-0.3f, 1.3f)});
                    const float base = s.pick(3) == 0 ? 1.0f : s.uni(0, 1);
                    shade.insert(shade.end(), {base, s.uni(0, 1), base, s.pick(2) ? 1.0f : s.uni(0, 1)});
                }
            }
            FillParams p = pixel_params(fast);
            p.depth_factor = s.pick(2) ? 0.0f : 0.05f;
            p.tris = tris.data();
            p.tri_count = n;
            const int tex = s.pick(3);
            if (tex) {
                p.tex_pixels = tex == 1 ? s.rgb.data() : s.rgba.data();
                p.tex_width = tex == 1 ? 13 : 8;
                p.tex_height = tex == 1 ? 7 : 16;
                p.tex_channels = tex == 1 ? (s.pick(2) ? 3 : 0) : 4;
                // The driver passes no uvs for a part whose uv array is too short.
                p.uvs = s.pick(6) ? uvs.data() : nullptr;
            }
            if (s.pick(2)) p.shade = shade.data();
            const int colour = s.pick(4);
            if (colour == 1) p.red = p.green = p.blue = p.alpha = 0.99f;
            if (colour == 2)
                p.red = s.uni(0, 1), p.green = s.uni(0, 1), p.blue = s.uni(0, 1), p.alpha = s.uni(0, 1);
            if (colour == 3) p.alpha = s.uni(0.9f, 1);
            if (s.pick(5) == 0) p.span_limit = 1 + s.pick(6);
            p.no_depth_write = s.pick(6) == 0;
            if (s.pick(4) == 0) {
                p.slice_count = 2 + s.pick(3);
                p.slice_index = s.pick(p.slice_count);
            } else if (s.pick(6) == 0) {
                p.slice_count = -(2 + s.pick(2));
                p.slice_index = s.pick(-p.slice_count);
            }
            draw_fast_and_reference(p, ref);
        }
        ASSERT_TRUE(same_image(fast, ref)) << "round " << round;
        for (uint32_t d : fast.depth) written += d != rtest::CLEARED_DEPTH;
    }
    EXPECT_GT(written, 100000);  // the comparison covered real work
}

TEST_P(FillReference, ShadeRulesOnEdgeValuesMatchTheReference) {
    // Shade values picked around every threshold of the colour rules (the white sum, the transparent
    // skip, the blending margin, the colour floor), equal on all vertices (constant colour) or not, and
    // hostile (negative, above 1, infinite, NaN): the fast filler must decide as the reference does.
    const float edge[] = {0.0f,
                          0.0023f,
                          0.0157f,
                          0.0158f,
                          0.5f,
                          0.9431f,
                          0.9432f,
                          0.9869f,
                          0.987f,
                          1.0f,
                          1.3f,
                          -0.2f,
                          std::numeric_limits<float>::infinity(),
                          std::numeric_limits<float>::quiet_NaN()};
    constexpr int EDGES = sizeof edge / sizeof edge[0];
    RandomScene s(55);
    for (int round = 0; round < 200; ++round) {
        Canvas fast(40, 30), ref(40, 30);
        std::vector<float> tris, shade, uvs;
        const int n = 1 + s.pick(6);
        for (int i = 0; i < n; ++i) {
            float xy[6];
            for (float& f : xy) f = s.uni(-5, 40);
            add_tri(tris, xy[0], xy[1], xy[2], xy[3], xy[4], xy[5], s.uni(1, 9));
            const bool same = s.pick(3) == 0;
            float first[4];
            for (int k = 0; k < 3; ++k)
                for (int c = 0; c < 4; ++c) {
                    const float value = s.pick(4) ? edge[s.pick(EDGES - (s.pick(8) ? 2 : 0))] : s.uni(0, 1);
                    if (k == 0) first[c] = value;
                    shade.push_back(same ? first[c] : value);
                    if (c < 2) uvs.push_back(s.uni(0, 1));
                }
        }
        FillParams p = pixel_params(fast);
        p.tris = tris.data();
        p.tri_count = n;
        p.shade = shade.data();
        if (s.pick(2)) p.red = p.green = p.blue = p.alpha = s.pick(2) ? 0.99f : 1.0f;
        if (s.pick(3) == 0) {
            p.tex_pixels = s.pick(2) ? s.rgb.data() : s.rgba.data();
            p.tex_channels = p.tex_pixels == s.rgb.data() ? 3 : 4;
            p.tex_width = p.tex_channels == 3 ? 13 : 8;
            p.tex_height = p.tex_channels == 3 ? 7 : 16;
            p.uvs = uvs.data();
        }
        draw_fast_and_reference(p, ref);
        ASSERT_TRUE(same_image(fast, ref)) << "round " << round;
    }
}

// The same random colours in both canvases, and depths that hide one pixel in `one_in` (the others
// clear).
void random_frame(Canvas& fast, Canvas& ref, std::mt19937& rng, uint32_t one_in) {
    std::uniform_real_distribution<float> depth(2, 12);
    for (size_t i = 0; i < fast.depth.size(); ++i) {
        fast.depth[i] = ref.depth[i] =
            rng() % one_in == 0 ? static_cast<uint32_t>(depth(rng) * 1024.0f) : ~0u;
        for (size_t c = 0; c < 3; ++c)
            fast.color[i * 3 + c] = ref.color[i * 3 + c] = static_cast<uint8_t>(rng());
    }
}

// Draws p with the round's colour mode (none, one colour, the vertices' shades) and depth rule, fast into
// p's canvas and plain into ref; true when the two images are the same.
bool draws_as_reference(FillParams p, int round, const std::vector<float>& shade, std::mt19937& rng,
                        const Canvas& fast, Canvas& ref) {
    std::uniform_real_distribution<float> unit(0, 1), strong(0.5f, 1);
    const int colour = round / 3 % 3;
    if (colour == 1) p.red = unit(rng), p.green = unit(rng), p.blue = unit(rng), p.alpha = strong(rng);
    if (colour == 2) p.shade = shade.data();
    p.no_depth_write = round / 9 % 2;
    draw_fast_and_reference(p, ref);
    return same_image(fast, ref);
}

TEST_P(FillReference, LargeTexturesMatchTheReference) {
    // Spans are drawn four pixels at a time with texel indices formed in 32-bit lanes: textures whose
    // indices pass 2^16 (the demo's sky is 1024 x 512), wide and tall, RGB and RGBA, under every colour
    // mode, blending and depth rule, over a frame already drawn at random depths.
    std::mt19937 rng(4242);
    auto uni = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    struct Texture {
        int width, height, channels;
        std::vector<uint8_t> texels;
    };
    std::vector<Texture> textures = {{1024, 300, 3, {}}, {700, 1100, 4, {}}, {4097, 17, 3, {}}};
    for (Texture& t : textures) {
        t.texels.resize(static_cast<size_t>(t.width) * static_cast<size_t>(t.height) *
                        static_cast<size_t>(t.channels));
        for (auto& b : t.texels) b = static_cast<uint8_t>(rng());
    }
    const int w = 83, h = 57;
    for (int round = 0; round < 60; ++round) {
        Canvas fast(w, h), ref(w, h);
        random_frame(fast, ref, rng, 3);
        const Texture& t = textures[static_cast<size_t>(round) % textures.size()];
        std::vector<float> tris, uvs, shade;
        for (int i = 0; i < 6; ++i) {
            for (int k = 0; k < 3; ++k) {
                tris.insert(tris.end(), {uni(-20, w + 20), -uni(-20, h + 20), uni(1, 12)});
                uvs.insert(uvs.end(), {uni(-0.1f, 1.1f), uni(-0.1f, 1.1f)});
                shade.insert(shade.end(), {uni(0, 1), uni(0, 1), uni(0, 1), uni(0.3f, 1)});
            }
        }
        FillParams p = pixel_params(fast);
        p.tris = tris.data();
        p.tri_count = 6;
        p.uvs = uvs.data();
        p.tex_pixels = t.texels.data();
        p.tex_width = t.width;
        p.tex_height = t.height;
        p.tex_channels = t.channels;
        ASSERT_TRUE(draws_as_reference(p, round, shade, rng, fast, ref)) << "round " << round;
    }
}

TEST_P(FillReference, ClearSpriteMarginsMatchTheReference) {
    // Blended spans are cut to the texels that can show: sprites whose rows are clear towards both
    // ends, one row clear throughout, and texels just under and just over what shows at the margins
    // (faint ones show only under a strong enough colour alpha). Quads magnified and shrunk, mirrored,
    // slightly turned so that a span crosses two texel rows, and with coordinates beyond the texture, which
    // the clamp folds onto its edges, under every colour mode and depth rule.
    // Textures narrow, wider than 64 texels (clear for more than 64 of them at the ends, and not a
    // multiple of 4 wide), and wider than 256.
    std::mt19937 rng(9001);
    auto uni = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    struct Sprite {
        int tw, th, margin, rounds;
    };
    for (const Sprite& sp : {Sprite{32, 24, 14, 90}, Sprite{203, 9, 95, 40}, Sprite{300, 5, 140, 20}}) {
        const int tw = sp.tw, th = sp.th;
        std::vector<uint8_t> sprite(static_cast<size_t>(tw) * th * 4);
        for (int y = 0; y < th; ++y) {
            const int first = static_cast<int>(rng() % sp.margin),
                      last = tw - 1 - static_cast<int>(rng() % sp.margin);
            for (int x = 0; x < tw; ++x) {
                uint8_t* t = &sprite[(static_cast<size_t>(y) * tw + static_cast<size_t>(x)) * 4];
                for (int c = 0; c < 3; ++c) t[c] = static_cast<uint8_t>(rng());
                const bool inside = y != th / 4 && x >= first && x <= last;
                // (12 * 255) >> 8 passes the threshold and 11 never does; a fainter colour alpha needs more.
                t[3] = static_cast<uint8_t>(inside ? rng() % 256 : rng() % 12);
                if (x == first || x == last) t[3] = static_cast<uint8_t>(11 + rng() % 2);
                if (x == first + 1 || x == last - 1) t[3] = static_cast<uint8_t>(12 + rng() % 20);
            }
        }
        const int w = 2 * tw + 90, h = 60;
        for (int round = 0; round < sp.rounds; ++round) {
            Canvas fast(w, h), ref(w, h);
            random_frame(fast, ref, rng, 4);
            // A quad around a centre, turned by a small angle (none every third round), its texture
            // coordinates running either way and sometimes past the edges.
            const float cx = uni(20, static_cast<float>(w - 20)), cy = uni(10, h - 10);
            const float half_w = uni(6, static_cast<float>(tw) * 0.6f + 70), half_h = uni(4, 40);
            const float angle = round % 3 == 0 ? 0.0f : uni(-0.03f, 0.03f);
            const float c = std::cos(angle), sn = std::sin(angle);
            const float u0 = round % 2 ? 1.0f : 0.0f, u1 = 1.0f - u0;
            const float reach = round % 5 == 4 ? uni(0.05f, 0.4f) : 0.0f;
            const float corner[4][4] = {{-half_w, -half_h, u0 - reach, -reach},
                                        {half_w, -half_h, u1 + reach, -reach},
                                        {half_w, half_h, u1 + reach, 1 + reach},
                                        {-half_w, half_h, u0 - reach, 1 + reach}};
            std::vector<float> tris, uvs, shade;
            for (int k : {0, 1, 2, 0, 2, 3}) {
                const float x = cx + corner[k][0] * c - corner[k][1] * sn;
                const float y = cy + corner[k][0] * sn + corner[k][1] * c;
                tris.insert(tris.end(), {x, -y, uni(3, 10)});
                uvs.insert(uvs.end(), {corner[k][2], corner[k][3]});
                shade.insert(shade.end(), {uni(0, 1), uni(0, 1), uni(0, 1), uni(0.3f, 1)});
            }
            FillParams p = pixel_params(fast);
            p.tris = tris.data();
            p.tri_count = 2;
            p.uvs = uvs.data();
            p.tex_pixels = sprite.data();
            p.tex_width = tw;
            p.tex_height = th;
            p.tex_channels = 4;
            ASSERT_TRUE(draws_as_reference(p, round, shade, rng, fast, ref))
                << tw << " wide, round " << round;
        }
    }
}

TEST_P(FillReference, TexturesEndingWhereTheirMemoryEndsAreReadNoFurther) {
    // Spans read texels several at a time, an RGB texel as four bytes where it can, and eight
    // neighbours at once where the texture is magnified: textures ending at the last byte of mapped
    // memory, under texture coordinates that run past their far corner (folded onto the last texel) or
    // reach it exactly, RGB and RGBA, under every colour mode and depth rule. A byte read past the
    // texture faults.
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* map = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    ASSERT_EQ(mprotect(static_cast<uint8_t*>(map) + page, page, PROT_NONE), 0);
    std::mt19937 rng(31337);
    auto uni = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    const int w = 70, h = 30;
    for (int round = 0; round < 72; ++round) {
        // Five texels wide with coordinates past the corner, then nine (magnified) with coordinates
        // inside, so that the last pixels' texels are the texture's last.
        const bool past = round < 36;
        const int tw = past ? 5 : 9, th = 3;
        const int channels = round % 2 ? 4 : 3;
        const size_t bytes = static_cast<size_t>(tw * th * channels);
        uint8_t* texels = static_cast<uint8_t*>(map) + page - bytes;
        for (size_t i = 0; i < bytes; ++i) texels[i] = static_cast<uint8_t>(rng());
        Canvas fast(w, h), ref(w, h);
        random_frame(fast, ref, rng, 4);
        std::vector<float> tris, uvs, shade;
        rtest::add_tri(tris, -0.5f, -0.5f, w + 0.5f, -0.5f, -0.5f, h + 0.5f, uni(2, 10));
        rtest::add_tri(tris, w + 0.5f, -0.5f, w + 0.5f, h + 0.5f, -0.5f, h + 0.5f, uni(2, 10));
        const float from = past ? uni(0.2f, 0.9f) : 0.0f, to = past ? uni(1.5f, 4.0f) : 1.0f;
        uvs = {from, from, to, from, from, to, to, from, to, to, from, to};
        for (int k = 0; k < 6; ++k)
            shade.insert(shade.end(), {uni(0, 1), uni(0, 1), uni(0, 1), uni(0.3f, 1)});
        FillParams p = pixel_params(fast);
        p.tris = tris.data();
        p.tri_count = 2;
        p.uvs = uvs.data();
        p.tex_pixels = texels;
        p.tex_width = tw;
        p.tex_height = th;
        p.tex_channels = channels;
        ASSERT_TRUE(draws_as_reference(p, round % 36, shade, rng, fast, ref)) << "round " << round;
    }
    munmap(map, 2 * page);
}

TEST_P(FillReference, HiddenSpanStartsMatchTheReference) {
    // A quad whose depth slopes across the rows, over stored depths that hide each row up to a
    // different column (every offset within and across groups of four and eight), then around the
    // quad's own depth, and at the far end of the unsigned range, which a signed comparison would put
    // first; some vertices lie behind the eye, so their depths wrap to large values too. Each variant
    // (texture, colours, blending, shared target, no depth write) must skip exactly the hidden pixels
    // and step its values past them as the reference does.
    RandomScene s(777);
    const int w = 45, h = 40;  // neither a multiple of four nor of eight
    for (int round = 0; round < 48; ++round) {
        Canvas fast(w, h), ref(w, h);
        const float z0 = round % 4 == 3 ? -6.0f : s.uni(4, 8), z1 = s.uni(4, 8), z2 = s.uni(4, 8);
        for (int y = 0; y < h; ++y) {
            const int hidden_to = (y + round) % (w + 1);
            for (int x = 0; x < w; ++x) {
                const size_t i = static_cast<size_t>(y) * w + static_cast<size_t>(x);
                uint32_t d = 0;  // nothing is nearer
                if (x >= hidden_to) {
                    const int kind = s.pick(4);
                    d = kind == 0   ? 0xFFFFFFF0u
                        : kind == 1 ? 0x80000010u
                                    : static_cast<uint32_t>(s.uni(3.5f, 8.5f) * 1024.0f);
                }
                fast.depth[i] = ref.depth[i] = d;
                fast.color[i * 3] = ref.color[i * 3] = static_cast<uint8_t>(i);
            }
        }
        std::vector<float> tris, uvs, shade;
        rtest::add_tri(tris, -0.5f, -0.5f, w + 0.5f, -0.5f, -0.5f, h + 0.5f, 0);
        rtest::add_tri(tris, w + 0.5f, -0.5f, w + 0.5f, h + 0.5f, -0.5f, h + 0.5f, 0);
        const float z[6] = {z0, z1, z2, z1, z0, z2};
        for (int k = 0; k < 6; ++k) tris[static_cast<size_t>(k) * 3 + 2] = z[k];
        for (int k = 0; k < 6; ++k) {
            uvs.insert(uvs.end(), {s.uni(-0.2f, 1.2f), s.uni(-0.2f, 1.2f)});
            shade.insert(shade.end(), {s.uni(0, 1), s.uni(0, 1), s.uni(0, 1), s.uni(0.5f, 1)});
        }
        FillParams p = pixel_params(fast);
        p.tris = tris.data();
        p.tri_count = 2;
        if (round % 3 != 0) {
            p.uvs = uvs.data();
            p.tex_pixels = round % 3 == 1 ? s.rgb.data() : s.rgba.data();
            p.tex_width = round % 3 == 1 ? 13 : 8;
            p.tex_height = round % 3 == 1 ? 7 : 16;
            p.tex_channels = round % 3 == 1 ? 3 : 4;
        }
        if (round / 3 % 2) p.shade = shade.data();
        p.shared_target = round / 6 % 2;
        p.no_depth_write = round / 12 % 2;
        draw_fast_and_reference(p, ref);
        ASSERT_TRUE(same_image(fast, ref)) << "round " << round;
    }
}

TEST_P(FillReference, DepthsOneBeyondATrianglesOwnLetEveryPixelShowAgain) {
    // Each pixel two triangles drew holds its own depth plus one, and the triangles are drawn again: every
    // one of those pixels passes the depth test by the least margin there is, so a shortcut that drops a
    // row as hidden without looking at its pixels must keep each of them. Depths near and far, up to and
    // past the end of the range they step in without wrapping (where a span's far end wraps to near
    // values), level and steep.
    RandomScene s(4242);
    const int w = 61, h = 37;
    const float scales[] = {4.0f, 3e3f, 1.7e6f, 3.5e6f};
    for (int round = 0; round < 48; ++round) {
        const float scale = scales[round % 4];
        const float slope = round / 4 % 3 == 0 ? 0.0f : (round / 4 % 3 == 1 ? 0.01f : 0.5f);
        std::vector<float> tris;
        for (int t = 0; t < 2; ++t) {
            for (int k = 0; k < 3; ++k) {
                const float x = s.uni(-10, w + 10), y = s.uni(-10, h + 10);
                tris.insert(tris.end(), {x, -y, scale * (1 + slope * s.uni(0, 1))});
            }
        }
        Canvas first(w, h);
        FillParams p = pixel_params(first);
        p.tris = tris.data();
        p.tri_count = 2;
        fill_part_triangles_reference(p);
        Canvas fast(w, h), ref(w, h);
        int written = 0;
        for (size_t i = 0; i < first.depth.size(); ++i) {
            const bool drawn = first.depth[i] != rtest::CLEARED_DEPTH;
            written += drawn;
            fast.depth[i] = ref.depth[i] = drawn ? first.depth[i] + 1 : 0;
        }
        p.color = fast.color.data();
        p.depth = fast.depth.data();
        draw_fast_and_reference(p, ref);
        ASSERT_TRUE(same_image(fast, ref)) << "round " << round;
        int again = 0;
        for (size_t i = 0; i < ref.depth.size(); ++i) again += ref.color[i * 3] != 0;
        EXPECT_EQ(again, written) << "round " << round;
    }
}

TEST_P(FillReference, WideTargetsDrawnInBandsMatchTheReference) {
    // At 1200 pixels across, a part of few large triangles is drawn band by band: the image must be the
    // one of drawing each triangle over the whole share in turn.
    RandomScene s(99);
    for (int round = 0; round < 6; ++round) {
        Canvas fast(1200, 200), ref(1200, 200);
        std::vector<float> tris, uvs, shade;
        const int n = 40;
        for (int i = 0; i < n * 3; ++i) {
            tris.insert(tris.end(), {s.uni(-100, 1300), -s.uni(-50, 250), s.uni(1, 30)});
            uvs.insert(uvs.end(), {s.uni(0, 1), s.uni(0, 1)});
            shade.insert(shade.end(), {s.uni(0, 1), s.uni(0, 1), s.uni(0, 1), s.uni(0.3f, 1)});
        }
        FillParams p = pixel_params(fast);
        p.tris = tris.data();
        p.tri_count = n;
        p.uvs = uvs.data();
        p.tex_pixels = s.rgba.data();
        p.tex_width = 8;
        p.tex_height = 16;
        p.tex_channels = 4;
        if (round % 2) p.shade = shade.data();
        if (round >= 4) {
            p.slice_count = round == 4 ? 2 : -2;
            p.slice_index = 1;
        }
        draw_fast_and_reference(p, ref);
        ASSERT_TRUE(same_image(fast, ref)) << "round " << round;
    }
}

// Random calls of one frame: parts of random triangles with random textures, colours, shades, span
// limits and depth writes, all over the target.
struct RandomCall {
    std::vector<float> tris, uvs, shade;
    FillParams p;
};

std::vector<RandomCall> random_calls(RandomScene& s, Canvas& c, int calls, int max_tris) {
    std::vector<RandomCall> out(static_cast<size_t>(calls));
    for (RandomCall& call : out) {
        // Above 1000 the count is exact: enough triangles to overflow what deferred mode keeps.
        const int n = max_tris > 1000 ? max_tris : 1 + s.pick(max_tris);
        const bool large = s.pick(3) == 0;
        for (int i = 0; i < n * 3; ++i) {
            const float x = large ? s.uni(-40, c.width + 40.0f) : s.uni(0, static_cast<float>(c.width));
            const float y = large ? s.uni(-40, c.height + 40.0f) : s.uni(0, static_cast<float>(c.height));
            const float jitter = large ? 0.0f : 6.0f;
            call.tris.insert(call.tris.end(),
                             {x + s.uni(-jitter, jitter), -(y + s.uni(-jitter, jitter)), s.uni(1, 30)});
            call.uvs.insert(call.uvs.end(), {s.uni(-0.2f, 1.2f), s.uni(-0.2f, 1.2f)});
            call.shade.insert(call.shade.end(), {s.uni(0, 1), s.uni(0, 1), s.uni(0, 1), s.uni(0.2f, 1)});
        }
        FillParams& p = call.p;
        p = pixel_params(c);
        p.tris = call.tris.data();
        p.tri_count = n;
        const int tex = s.pick(3);
        if (tex) {
            p.tex_pixels = tex == 1 ? s.rgb.data() : s.rgba.data();
            p.tex_width = tex == 1 ? 13 : 8;
            p.tex_height = tex == 1 ? 7 : 16;
            p.tex_channels = tex == 1 ? 3 : 4;
            p.uvs = s.pick(6) ? call.uvs.data() : nullptr;
        }
        if (s.pick(2)) p.shade = call.shade.data();
        if (s.pick(3) == 0) p.red = s.uni(0, 1), p.alpha = s.uni(0.5f, 1);
        if (s.pick(6) == 0) p.span_limit = 1 + s.pick(4);
        p.no_depth_write = s.pick(6) == 0;
    }
    return out;
}

void draw_reference(std::vector<RandomCall>& calls, Canvas& ref) {
    for (RandomCall& call : calls) {
        FillParams p = call.p;
        p.color = ref.color.data();
        p.depth = ref.depth.data();
        fill_part_triangles_reference(p);
    }
}

TEST_P(FillReference, DeferredBandsMatchTheReference) {
    // In deferred mode the calls only set up their triangles, which are drawn band by band at the end
    // (or whenever too many are kept): every pixel must still see them in the order of the calls.
    RandomScene s(4242);
    for (int round = 0; round < 40; ++round) {
        Canvas fast(120, 90), ref(120, 90);
        // A slice of the target, as a raster thread has, or all of it.
        const int slices = round % 3 == 0 ? 1 : 2 + s.pick(2);
        const int slice = s.pick(slices);
        const int rows = fast.height / slices;
        const int top = slice * rows, bottom = slice == slices - 1 ? fast.height : top + rows;
        std::vector<RandomCall> calls =
            random_calls(s, fast, round == 7 ? 3 : 1 + s.pick(8), round == 7 ? 6000 : 30);
        fill_defer_begin(top, bottom, 1 + s.pick(20));
        for (size_t i = 0; i < calls.size(); ++i) {
            RandomCall& call = calls[i];
            call.p.slice_index = slice;
            call.p.slice_count = slices;
            // A call over rows the bands do not cover is drawn at once, after what is kept.
            if (slices > 1 && i == 2) call.p.slice_count = 1;
            fill_part_triangles(call.p);
        }
        fill_defer_end();
        draw_reference(calls, ref);
        ASSERT_TRUE(same_image(fast, ref)) << "round " << round;
    }
    // Outside deferred mode the filler draws at once again.
    Canvas c(16, 16);
    std::vector<float> tris;
    add_tri(tris, 0, 0, 16, 0, 0, 16, 3);
    draw(c, tris, pixel_params(c));
    EXPECT_TRUE(c.written(1, 1));
}

TEST_P(FillReference, CallsDrawnBandByBandMatchTheReference) {
    // Running every call of a frame once per band of rows gives each pixel the image of the whole frame.
    RandomScene s(777);
    for (int round = 0; round < 20; ++round) {
        Canvas fast(100, 70), ref(100, 70);
        std::vector<RandomCall> calls = random_calls(s, fast, 1 + s.pick(6), 25);
        const int band = 1 + s.pick(30);
        for (int top = 0; top < fast.height; top += band) {
            for (RandomCall& call : calls) {
                call.p.band_top = top;
                call.p.band_bottom = std::min(top + band, fast.height);
                fill_part_triangles(call.p);
            }
        }
        for (RandomCall& call : calls) call.p.band_top = call.p.band_bottom = 0;
        draw_reference(calls, ref);
        ASSERT_TRUE(same_image(fast, ref)) << "round " << round;
    }
}

TEST_P(FillReference, ListedTrianglesDrawTheirBandsAsTheWholeShare) {
    // A caller that lists, per band of rows, the triangles that may reach it (and a few that do not,
    // and indices past the end) gets, band by band, the image of drawing every triangle; the fast
    // filler and the reference alike.
    RandomScene s(919);
    for (int round = 0; round < 25; ++round) {
        Canvas fast(100, 70), ref(100, 70), ref_listed(100, 70);
        std::vector<RandomCall> calls = random_calls(s, fast, 1 + s.pick(5), 40);
        std::vector<std::vector<float>> projected(calls.size());
        for (size_t c = 0; c < calls.size(); ++c) {
            calls[c].p.depth_factor = s.pick(2) ? 0.0f : 0.05f;
            projected[c].resize(static_cast<size_t>(calls[c].p.tri_count) * 9);
            fill_project_triangles(calls[c].p, 0, calls[c].p.tri_count, projected[c].data());
            if (s.pick(2)) calls[c].p.projected = projected[c].data();
        }
        const int band = 1 + s.pick(25);
        for (int top = 0; top < fast.height; top += band) {
            const int bottom = std::min(top + band, fast.height);
            for (size_t c = 0; c < calls.size(); ++c) {
                // Rows a triangle draws lie within its vertices' rows: listed with a margin.
                std::vector<uint32_t> list;
                for (uint32_t i = 0; i < calls[c].p.tri_count; ++i) {
                    const float* v = &projected[c][i * 9];
                    const float lo = std::min({v[1], v[4], v[7]}), hi = std::max({v[1], v[4], v[7]});
                    if ((hi >= top - 1.0f && lo <= bottom + 1.0f) || s.pick(8) == 0 ||
                        !(lo == lo && hi == hi))
                        list.push_back(i);
                }
                list.push_back(static_cast<uint32_t>(calls[c].p.tri_count) + 3);
                for (Canvas* target : {&fast, &ref_listed}) {
                    FillParams p = calls[c].p;
                    p.color = target->color.data();
                    p.depth = target->depth.data();
                    p.band_top = top;
                    p.band_bottom = bottom;
                    p.tri_list = list.data();
                    p.tri_list_count = static_cast<int64_t>(list.size());
                    if (target == &fast) {
                        fill_part_triangles(p);
                    } else {
                        fill_part_triangles_reference(p);
                    }
                }
            }
        }
        draw_reference(calls, ref);
        ASSERT_TRUE(same_image(fast, ref)) << "round " << round;
        ASSERT_TRUE(same_image(ref_listed, ref)) << "round " << round;
    }
}

TEST_P(FillReference, SharedProjectionMatchesTheReference) {
    // Slices drawing the same part read one projection, made in runs that may start anywhere in the
    // part: the filler must draw from it what the reference draws projecting every vertex itself,
    // vertices behind the eye, far off, not finite or repeated from the previous triangle included.
    RandomScene s(2024);
    const float odd[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(),
                         1e30f,
                         -1e30f,
                         -5.0f};
    for (int round = 0; round < 30; ++round) {
        Canvas fast(120, 90), ref(120, 90);
        std::vector<RandomCall> calls = random_calls(s, fast, 1 + s.pick(6), 40);
        std::vector<std::vector<float>> projected(calls.size());
        for (size_t c = 0; c < calls.size(); ++c) {
            RandomCall& call = calls[c];
            std::vector<float>& tris = call.tris;
            for (size_t v = 9; v < tris.size(); v += 3) {
                if (s.pick(5) == 0)
                    std::copy_n(&tris[v - 3 * static_cast<size_t>(1 + s.pick(3))], 3, &tris[v]);
                if (s.pick(40) == 0) tris[v + static_cast<size_t>(s.pick(3))] = odd[s.pick(6)];
            }
            call.p.depth_factor = s.pick(2) ? 0.0f : 0.05f;
            const int64_t n = call.p.tri_count;
            const int64_t cut = s.pick(static_cast<int>(n) + 1);
            projected[c].assign(static_cast<size_t>(n) * 9, -1.0f);
            fill_project_triangles(call.p, 0, cut, projected[c].data());
            fill_project_triangles(call.p, cut, n, projected[c].data() + cut * 9);
            call.p.projected = projected[c].data();
        }
        const int slices = 1 + s.pick(3);
        for (int slice = 0; slice < slices; ++slice) {
            for (RandomCall& call : calls) {
                call.p.slice_index = slice;
                call.p.slice_count = slices;
                fill_part_triangles(call.p);
            }
        }
        for (RandomCall& call : calls) call.p.slice_index = 0, call.p.slice_count = 1;
        draw_reference(calls, ref);
        ASSERT_TRUE(same_image(fast, ref)) << "round " << round;
    }
}

TEST(FillProjection, SharedProjectionIsTheCamerasBitForBit) {
    // Every vertex as the scene's projection gives it, clamped to the screen coordinate limit, or NaN
    // in all three values when it is not finite; views rotated, rolled or straight, runs of any length.
    std::mt19937 rng(31);
    auto uni = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    const float odd[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         1e30f,
                         -1e30f,
                         -0.0f,
                         0.0f};
    for (int round = 0; round < 40; ++round) {
        FillParams p;
        p.width = 64 + static_cast<int>(rng() % 1900);
        p.height = 48 + static_cast<int>(rng() % 1000);
        p.eye_x = uni(-50, 50), p.neg_eye_y = uni(-5, 5), p.eye_z = uni(-50, 50);
        const int view = round % 3;  // straight, rotated, rolled
        p.pitch = view ? uni(-40, 40) : 0.0f;
        p.neg_yaw = view ? uni(-180, 180) : 0.0f;
        p.roll = view == 2 ? uni(-30, 30) : 0.0f;
        p.extent_x = uni(0.2f, 2), p.extent_y = uni(0.1f, 1), p.depth_factor = uni(0, 3);
        p.view_center_x = uni(-0.5f, 0.5f), p.view_center_y = uni(-0.5f, 0.5f);
        const int64_t n = 1 + static_cast<int64_t>(rng() % 40);
        std::vector<float> tris(static_cast<size_t>(n) * 9);
        for (float& v : tris) v = rng() % 30 == 0 ? odd[rng() % 6] : uni(-300, 300);
        p.tris = tris.data();
        p.tri_count = n;
        const int64_t first = static_cast<int64_t>(rng() % static_cast<uint32_t>(n));
        std::vector<float> out(static_cast<size_t>(n - first) * 9);
        fill_project_triangles(p, first, n, out.data());

        const float projection[3] = {p.extent_x, p.extent_y, p.depth_factor};
        const float center[2] = {p.view_center_x, p.view_center_y};
        const ViewTransform vt =
            view_transform_make(Vec3{p.eye_x, -p.neg_eye_y, p.eye_z}, Vec3{p.pitch, -p.neg_yaw, p.roll},
                                projection, center, p.width, p.height);
        for (int64_t v = first * 3; v < n * 3; ++v) {
            const float* w = &tris[static_cast<size_t>(v) * 3];
            const ProjectedPoint pp = project_point(vt, w[0], w[1], w[2]);
            const float* got = &out[static_cast<size_t>(v - first * 3) * 3];
            SCOPED_TRACE(testing::Message() << "round " << round << ", vertex " << v);
            if (!std::isfinite(pp.x) || !std::isfinite(pp.y) || !std::isfinite(pp.depth)) {
                EXPECT_TRUE(std::isnan(got[0]) && std::isnan(got[1]) && std::isnan(got[2]));
                continue;
            }
            const float want[3] = {std::clamp(pp.x, -1e12f, 1e12f), std::clamp(pp.y, -1e12f, 1e12f),
                                   pp.depth};
            EXPECT_EQ(std::memcmp(got, want, sizeof want), 0) << got[0] << " " << got[1] << " " << got[2];
        }
    }
}

TEST(FillParamsCheck, UnusableCallsDrawNothing) {
    Canvas c(8, 8);
    std::vector<float> tris;
    add_tri(tris, 0.1f, 0.1f, 7.9f, 0.2f, 0.3f, 7.8f, 3);
    FillParams p = pixel_params(c);
    p.bytes_per_pixel = 4;
    draw(c, tris, p);
    p = pixel_params(c);
    p.slice_count = 3;
    p.slice_index = 3;
    draw(c, tris, p);
    for (uint32_t d : c.depth) ASSERT_EQ(d, rtest::CLEARED_DEPTH);

    // A texture without coordinates cannot be addressed: the triangle is drawn untextured (white).
    const uint8_t texel[3] = {1, 2, 3};
    p = pixel_params(c);
    p.tex_pixels = texel;
    p.tex_width = p.tex_height = 1;
    draw(c, tris, p);
    EXPECT_EQ(c.pixel(2, 2)[0], 255);
}

}  // namespace
