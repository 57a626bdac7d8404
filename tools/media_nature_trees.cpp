// The trees: a broadleaf tree, a birch and a tree line, grown as branching limbs with leaf clusters
// at their ends. Single-threaded.
#include <algorithm>
#include <cmath>
#include <vector>

#include "media_nature.h"
#include "media_nature_paint.h"

namespace {

struct Limb {
    float x0, y0, r0, x1, y1, r1;
};

struct Cluster {
    float x, y, r;
    float depth;  // 0 at the back of the crown, 1 at the front: drawing order and shade
};

// A crown's outline: tips are pulled inside this ellipse so every tree keeps a rounded head.
struct Crown {
    float cx, cy, rx, ry;
};

struct TreeShape {
    float base_x, base_y;  // where the trunk meets the ground (the bottom row)
    float trunk_height;    // pixels up to the first fork
    float trunk_radius;    // half-width at the foot
    float lean;            // radians, the trunk's tilt to the right
    float spread;          // radians between a fork's children
    float shrink;          // each generation's length against its parent's
    int depth;             // generations of forks
    Crown crown;
    float cluster_radius;  // of a tip's cluster; smaller ones fill in along the limbs
    int fill_clusters;     // extra clusters scattered over the crown
};

// A point outside lands between `keep` of the way out and the outline, so that pulled tips do not
// all pile up on the rim.
void pull_inside(const Crown& c, float keep, float& x, float& y) {
    float dx = (x - c.cx) / c.rx, dy = (y - c.cy) / c.ry;
    float d2 = dx * dx + dy * dy;
    if (d2 > 1.0f) {
        float k = keep / std::sqrt(d2);
        x = c.cx + dx * k * c.rx;
        y = c.cy + dy * k * c.ry;
    }
}

// The outline that the clusters' centres keep within, so that their leaves stay inside the crown.
Crown centres_of(const TreeShape& t) {
    float margin = 1.2f * t.cluster_radius;
    return {t.crown.cx, t.crown.cy, t.crown.rx - margin, t.crown.ry - margin};
}

void grow(const TreeShape& t, MediaRng& rng, float x, float y, float angle, float length, float radius,
          int depth, std::vector<Limb>& limbs, std::vector<Cluster>& clusters) {
    float ex = x + std::sin(angle) * length;
    float ey = y - std::cos(angle) * length;
    if (depth > 0) pull_inside(centres_of(t), 0.6f + 0.4f * rng_unit(rng), ex, ey);
    float end_radius = radius * (depth == 0 ? 0.72f : 0.68f);
    if (depth >= t.depth) end_radius = radius * 0.45f;
    limbs.push_back({x, y, radius, ex, ey, end_radius});
    if (depth >= t.depth) {
        clusters.push_back({ex, ey, t.cluster_radius * (0.8f + 0.4f * rng_unit(rng)), rng_unit(rng)});
        return;
    }
    if (depth > 0) {
        // Smaller clusters hide the limb's middle, so the crown reads as full rather than as a skeleton.
        float f = 0.55f + 0.3f * rng_unit(rng);
        clusters.push_back({x + (ex - x) * f, y + (ey - y) * f,
                            t.cluster_radius * (0.55f + 0.3f * rng_unit(rng)), 0.6f * rng_unit(rng)});
    }
    int children = 2 + ((rng_next(rng) % 3) == 0 ? 1 : 0);
    for (int i = 0; i < children; ++i) {
        float side = children == 2 ? (i == 0 ? -0.5f : 0.5f) : static_cast<float>(i - 1) * 0.8f;
        // Children lean back towards upright, so the crown stays round instead of fanning out.
        float a = angle * 0.75f + side * t.spread + (rng_unit(rng) - 0.5f) * 0.35f;
        float l = length * t.shrink * (0.8f + 0.4f * rng_unit(rng));
        grow(t, rng, ex, ey, a, l, end_radius, depth + 1, limbs, clusters);
    }
}

// The tree's limbs, then its leaf clusters from the back of the crown to the front.
void paint_tree(Canvas& canvas, const TreeShape& t, uint64_t seed, const Bark& bark, const Foliage& foliage,
                float shade) {
    MediaRng rng = rng_seed(seed);
    std::vector<Limb> limbs;
    std::vector<Cluster> clusters;
    // The foot flares into the roots.
    limbs.push_back({t.base_x, t.base_y + 2.0f, t.trunk_radius * 1.55f, t.base_x + t.lean * 8.0f,
                     t.base_y - 0.15f * t.trunk_height, t.trunk_radius});
    grow(t, rng, t.base_x, t.base_y, t.lean, t.trunk_height, t.trunk_radius, 0, limbs, clusters);
    const Crown inner = centres_of(t);
    for (int i = 0; i < t.fill_clusters; ++i) {
        float a = rng_unit(rng) * 6.2831853f;
        float d = std::sqrt(rng_unit(rng));
        float x = inner.cx + std::cos(a) * d * inner.rx;
        float y = inner.cy + std::sin(a) * d * inner.ry;
        clusters.push_back({x, y, t.cluster_radius * (0.6f + 0.4f * rng_unit(rng)), rng_unit(rng)});
    }
    // The crown's shaded heart behind everything, so that the sky shows through only here and there.
    for (int i = 0; i < 7; ++i) {
        float a = static_cast<float>(i) * 0.8975979f + rng_unit(rng);
        float x = inner.cx + 0.45f * inner.rx * std::cos(a);
        float y = inner.cy + 0.4f * inner.ry * std::sin(a);
        paint_cluster(canvas, x, y,
                      0.42f * (inner.rx < inner.ry ? inner.rx : inner.ry) + 0.5f * t.cluster_radius,
                      0.45f * shade, foliage);
    }
    for (const Limb& l : limbs) {
        Bark b = bark;
        // Thin limbs sit inside the crown, in the leaves' shadow.
        float inside = smoothstep(t.trunk_radius * 0.3f, t.trunk_radius * 0.8f, l.r0);
        b.light = rgb_scale(bark.light, shade * (0.55f + 0.45f * inside));
        b.dark = rgb_scale(bark.dark, shade * (0.6f + 0.4f * inside));
        paint_limb(canvas, l.x0, l.y0, l.r0, l.x1, l.y1, l.r1, b);
    }
    std::stable_sort(clusters.begin(), clusters.end(),
                     [](const Cluster& a, const Cluster& b) { return a.depth < b.depth; });
    float crown_top = t.crown.cy - t.crown.ry;
    float crown_height = 2.0f * t.crown.ry;
    for (const Cluster& c : clusters) {
        // Lower clusters and those at the back are darker: the crown shades its own underside.
        float up = 1.0f - clamp01((c.y - crown_top) / crown_height);
        float s = shade * (0.58f + 0.3f * c.depth + 0.28f * up);
        paint_cluster(canvas, c.x, c.y, c.r, s, foliage);
    }
}

// A spruce: a straight trunk carrying tiers of drooping branches, narrowing to the tip.
void paint_spruce(Canvas& canvas, float base_x, float base_y, float height, float width, float shade,
                  const NoiseTable& noise, Rgb dark, Rgb light) {
    float top = base_y - height;
    float skirt = base_y - 0.12f * height;  // the lowest branches leave a little trunk showing
    Bark bark = {rgb_scale(Rgb{0.32f, 0.22f, 0.15f}, shade), rgb_scale(Rgb{0.10f, 0.07f, 0.06f}, shade),
                 &noise, 0.4f};
    paint_limb(canvas, base_x, base_y + 1.0f, width * 0.05f + 1.0f, base_x, top + 0.2f * height, 1.0f, bark);
    const int tiers = 7;
    for (int k = 0; k < tiers; ++k) {
        // Tiers from the bottom up, each overlapping the one below.
        float f0 = static_cast<float>(k) / tiers;
        float tier_bottom = skirt - f0 * (skirt - top) * 0.92f;
        float tier_top = tier_bottom - (skirt - top) * 0.32f;
        if (tier_top < top) tier_top = top;
        float half = 0.5f * width * (1.0f - 0.85f * f0);
        int left = static_cast<int>(std::floor(base_x - half - 3.0f));
        int right = static_cast<int>(std::floor(base_x + half + 3.0f));
        for (int y = static_cast<int>(std::floor(tier_top)); y <= static_cast<int>(tier_bottom) + 3; ++y) {
            for (int x = left; x <= right; ++x) {
                float fx = static_cast<float>(x) + 0.5f, fy = static_cast<float>(y) + 0.5f;
                float v = (fy - tier_top) / (tier_bottom - tier_top);  // 0 at the tier's top, 1 at its foot
                float u = (fx - base_x) / half;                        // -1..1 across
                float n = noise_fbm(noise, fx * 0.22f, fy * 0.22f + static_cast<float>(k) * 13.0f, 3, 0.5f,
                                    256, 256);
                // The branch tips droop, so the tier's foot curves down towards its ends.
                float foot = 1.0f + 0.12f * u * u + 0.1f * n;
                float reach = (v > 0.0f ? std::pow(v, 0.8f) : 0.0f) + 0.12f * n;
                float edge = std::min((reach - std::fabs(u)) * half, (foot - v) * (tier_bottom - tier_top));
                float cover = smoothstep(-0.8f, 0.8f, edge);
                if (cover <= 0.0f) continue;
                // Lit from the left; each tier darker at its foot, where the one above shades it.
                float lit = clamp01(0.55f - 0.4f * u + 0.35f * n) * (1.0f - 0.45f * v);
                canvas_over(canvas, x, y, rgb_scale(rgb_mix(dark, light, lit), shade), cover);
            }
        }
    }
}

}  // namespace

MediaImage media_tree(int variant) {
    constexpr int kSize = 256;
    Canvas canvas = canvas_make(kSize, kSize, false);
    if (variant == 0) {
        // A lime or an oak: a short thick trunk and a broad round crown.
        const NoiseTable bark_grain = noise_make(501);
        const NoiseTable leaves = noise_make(502);
        Bark bark = {{0.45f, 0.33f, 0.22f}, {0.14f, 0.10f, 0.08f}, &bark_grain, 0.5f};
        Foliage foliage = {
            {0.05f, 0.14f, 0.07f}, {0.22f, 0.42f, 0.14f}, {0.62f, 0.78f, 0.30f}, &leaves, 4.0f, 0.42f};
        TreeShape t = {128.0f, 256.0f, 96.0f, 9.0f, 0.03f, 1.05f, 0.74f, 4, {128.0f, 104.0f, 112.0f, 90.0f},
                       19.0f,  60};
        paint_tree(canvas, t, 503, bark, foliage, 1.0f);
        return canvas_image(canvas, 504);
    }
    // A birch: a slender white trunk, a light, open crown of small yellow-green clusters.
    const NoiseTable bark_grain = noise_make(511);
    const NoiseTable leaves = noise_make(512);
    Bark bark = {{0.93f, 0.91f, 0.86f}, {0.42f, 0.42f, 0.44f}, &bark_grain, 0.15f, 0.85f,
                 {0.10f, 0.09f, 0.09f}};
    Foliage foliage = {
        {0.10f, 0.20f, 0.08f}, {0.38f, 0.56f, 0.18f}, {0.80f, 0.88f, 0.42f}, &leaves, 3.0f, 0.5f};
    TreeShape t = {126.0f, 256.0f, 110.0f, 5.5f, -0.04f, 0.6f, 0.78f, 5, {130.0f, 98.0f, 70.0f, 92.0f},
                   11.0f,  80};
    paint_tree(canvas, t, 513, bark, foliage, 1.0f);
    return canvas_image(canvas, 514);
}

MediaImage media_forest_strip() {
    constexpr int kWidth = 768;
    constexpr int kHeight = 256;
    Canvas canvas = canvas_make(kWidth, kHeight, true);
    const NoiseTable bark_grain = noise_make(521);
    const NoiseTable leaves = noise_make(522);
    const NoiseTable ground = noise_make(523);
    MediaRng rng = rng_seed(524);

    // Three rows from the back: each darker and bluer than the one before it, as evening haze would.
    struct Row {
        int trees;
        float min_height, max_height;
        float shade;
        Rgb haze;
        float haze_amount;
    };
    const Row rows[3] = {
        {14, 170.0f, 225.0f, 0.55f, {0.16f, 0.22f, 0.34f}, 0.45f},
        {11, 130.0f, 195.0f, 0.75f, {0.16f, 0.22f, 0.34f}, 0.2f},
        {7, 100.0f, 160.0f, 0.95f, {0.16f, 0.22f, 0.34f}, 0.0f},
    };
    for (int r = 0; r < 3; ++r) {
        const Row& row = rows[r];
        float step = static_cast<float>(kWidth) / static_cast<float>(row.trees);
        float offset = rng_unit(rng) * step;
        for (int i = 0; i < row.trees; ++i) {
            float x = offset + step * (static_cast<float>(i) + 0.3f + 0.4f * rng_unit(rng));
            float h = row.min_height + (row.max_height - row.min_height) * rng_unit(rng);
            float shade = row.shade * (0.85f + 0.25f * rng_unit(rng));
            auto hazy = [&](Rgb c) { return rgb_mix(c, row.haze, row.haze_amount); };
            if (rng_unit(rng) < (r == 0 ? 0.45f : 0.2f)) {
                paint_spruce(canvas, x, 256.0f, h, h * 0.42f, shade, ground, hazy({0.04f, 0.10f, 0.08f}),
                             hazy({0.18f, 0.34f, 0.20f}));
                continue;
            }
            Bark bark = {hazy({0.40f, 0.30f, 0.21f}), hazy({0.12f, 0.09f, 0.08f}), &bark_grain, 0.45f};
            Foliage foliage = {hazy({0.04f, 0.12f, 0.07f}),
                               hazy({0.18f, 0.36f, 0.14f}),
                               hazy({0.50f, 0.66f, 0.26f}),
                               &leaves,
                               4.0f,
                               0.3f};
            float crown_ry = h * 0.33f;
            float crown_rx = crown_ry * (0.9f + 0.4f * rng_unit(rng));
            TreeShape t = {x,
                           256.0f,
                           h * 0.42f,
                           2.5f + h * 0.025f,
                           (rng_unit(rng) - 0.5f) * 0.1f,
                           1.0f,
                           0.74f,
                           3,
                           {x, 256.0f - h + crown_ry, crown_rx, crown_ry},
                           10.0f + h * 0.05f,
                           10};
            paint_tree(canvas, t, rng_next(rng), bark, foliage, shade);
        }
    }

    // Undergrowth along the foot: a dark band of bushes that keeps the bottom opaque between trunks.
    Foliage bush = {
        {0.03f, 0.08f, 0.05f}, {0.12f, 0.26f, 0.11f}, {0.36f, 0.52f, 0.20f}, &leaves, 3.5f, 0.35f};
    for (int y = 244; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            float n = noise_fbm(ground, static_cast<float>(x) / 16.0f, static_cast<float>(y) / 16.0f, 3, 0.5f,
                                48, 256);
            canvas_over(canvas, x, y, Rgb{0.05f + 0.02f * n, 0.10f + 0.03f * n, 0.06f},
                        smoothstep(243.0f, 249.0f, static_cast<float>(y)));
        }
    }
    for (int i = 0; i < 40; ++i) {
        float x = (static_cast<float>(i) + rng_unit(rng)) * kWidth / 40.0f;
        float y = 246.0f - 6.0f * rng_unit(rng);
        paint_cluster(canvas, x, y, 9.0f + 8.0f * rng_unit(rng), 0.7f + 0.3f * rng_unit(rng), bush);
    }
    return canvas_image(canvas, 525);
}
