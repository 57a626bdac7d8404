// Layered figure drawing: distance fields, materials, shading and the silhouette's outline.
// Single-threaded.
#include "media_people_draw.h"

#include <algorithm>
#include <cmath>

#include "media_noise.h"

namespace {

constexpr float kTwoPi = 6.2831853f;
constexpr float kFar = 1.0e6f;
// Light from the top left and in front (x right, y down, z towards the viewer), normalised.
constexpr float kLightX = -0.45f, kLightY = -0.55f, kLightZ = 0.70f;
constexpr float kAmbient = 0.48f;
constexpr float kDiffuse = 0.55f;
// The dark outline keeps a little of the colour it edges.
constexpr float kOutline = 0.32f;

struct Noises {
    NoiseTable folds, grain, warp;
};

float noise(const NoiseTable& t, float x, float y) {
    return noise_gradient(t, x, y, 256, 256);
}

float sd_capsule(const Shape& s, float px, float py) {
    const float vx = s.bx - s.ax, vy = s.by - s.ay;
    const float len2 = vx * vx + vy * vy;
    float t = len2 > 0 ? ((px - s.ax) * vx + (py - s.ay) * vy) / len2 : 0.0f;
    t = std::clamp(t, 0.0f, 1.0f);
    const float qx = s.ax + vx * t - px, qy = s.ay + vy * t - py;
    return std::sqrt(qx * qx + qy * qy) - (s.ra + (s.rb - s.ra) * t);
}

// A close approximation of the distance to an ellipse, exact on its axes.
float sd_ellipse(const Shape& s, float px, float py) {
    const float x = px - s.ax, y = py - s.ay;
    const float k0 = std::sqrt((x * x) / (s.bx * s.bx) + (y * y) / (s.by * s.by));
    const float k1 = std::sqrt((x * x) / (s.bx * s.bx * s.bx * s.bx) + (y * y) / (s.by * s.by * s.by * s.by));
    if (k1 <= 0) return -std::min(s.bx, s.by);
    return k0 * (k0 - 1.0f) / k1;
}

// Signed distance to a simple polygon (any winding, convex or not): the nearest edge, negative inside.
float sd_polygon(const Shape& s, float px, float py) {
    const float* p = s.points;
    const int n = s.corners;
    float best = kFar, sign = 1.0f;
    for (int i = 0, j = n - 1; i < n; j = i, ++i) {
        const float ex = p[2 * j] - p[2 * i], ey = p[2 * j + 1] - p[2 * i + 1];
        const float wx = px - p[2 * i], wy = py - p[2 * i + 1];
        const float len2 = ex * ex + ey * ey;
        const float t = len2 > 0 ? std::clamp((wx * ex + wy * ey) / len2, 0.0f, 1.0f) : 0.0f;
        const float bx = wx - ex * t, by = wy - ey * t;
        best = std::min(best, bx * bx + by * by);
        const bool c1 = py >= p[2 * i + 1], c2 = py<p[2 * j + 1], c3 = ex * wy> ey * wx;
        if ((c1 && c2 && c3) || (!c1 && !c2 && !c3)) sign = -sign;
    }
    return sign * std::sqrt(best) - s.round;
}

float sd_shape(const Shape& s, const Noises& nz, float px, float py) {
    float d = s.kind == ShapeKind::capsule   ? sd_capsule(s, px, py)
              : s.kind == ShapeKind::ellipse ? sd_ellipse(s, px, py)
                                             : sd_polygon(s, px, py);
    if (s.cut_keep != 0) {
        const float line = s.cut_y + s.cut_wave * std::sin(px * s.cut_freq);
        d = std::max(d, s.cut_keep < 0 ? py - line : line - py);
    }
    if (s.warp > 0) d += s.warp * noise(nz.warp, px * s.warp_freq + 17.0f, py * s.warp_freq + 31.0f);
    return d;
}

struct Box {
    int x0, y0, x1, y1;  // inclusive
};

Box bounds(const Shape& s, int width, int height) {
    float x0, y0, x1, y1;
    if (s.kind == ShapeKind::capsule) {
        const float r = std::max(s.ra, s.rb);
        x0 = std::min(s.ax, s.bx) - r, x1 = std::max(s.ax, s.bx) + r;
        y0 = std::min(s.ay, s.by) - r, y1 = std::max(s.ay, s.by) + r;
    } else if (s.kind == ShapeKind::ellipse) {
        x0 = s.ax - s.bx, x1 = s.ax + s.bx, y0 = s.ay - s.by, y1 = s.ay + s.by;
    } else {
        x0 = y0 = kFar, x1 = y1 = -kFar;
        for (int i = 0; i < s.corners; ++i) {
            x0 = std::min(x0, s.points[2 * i]), x1 = std::max(x1, s.points[2 * i]);
            y0 = std::min(y0, s.points[2 * i + 1]), y1 = std::max(y1, s.points[2 * i + 1]);
        }
        x0 -= s.round, y0 -= s.round, x1 += s.round, y1 += s.round;
    }
    const float m = s.warp + 2.0f;
    return {std::max(0, static_cast<int>(x0 - m)), std::max(0, static_cast<int>(y0 - m)),
            std::min(width - 1, static_cast<int>(x1 + m)), std::min(height - 1, static_cast<int>(y1 + m))};
}

float fbm(const NoiseTable& t, float x, float y, int octaves) {
    return noise_fbm(t, x, y, octaves, 0.5f, 256, 256);
}

Rgb pattern_colour(const Material& m, float x, float y, const Noises& nz) {
    const float k = kTwoPi / m.scale;
    switch (m.pattern) {
        case Pattern::plain:
            return m.base;
        case Pattern::stripes:
            return rgb_mix(m.base, m.second, smoothstep(-0.25f, 0.25f, std::sin(y * k)));
        case Pattern::bands: {
            // Upright bands that wander a little: a tabby's stripes.
            const float wobble = 3.0f * fbm(nz.grain, x * 0.03f, y * 0.05f, 2);
            return rgb_mix(m.base, m.second, smoothstep(0.1f, 0.5f, std::sin((x + wobble) * k)));
        }
        case Pattern::check: {
            const float a = smoothstep(-0.3f, 0.3f, std::sin(x * k));
            const float b = smoothstep(-0.3f, 0.3f, std::sin(y * k));
            return rgb_scale(rgb_mix(m.base, m.second, 0.5f * (a + b)), 1.0f - 0.18f * a * b);
        }
        case Pattern::dots: {
            const float row = std::floor(y / m.scale);
            const float shift = std::fmod(row, 2.0f) * 0.5f * m.scale;
            const float cx = std::fmod(x + shift, m.scale) - 0.5f * m.scale;
            const float cy = y - (row + 0.5f) * m.scale;
            const float r = std::sqrt(cx * cx + cy * cy);
            return rgb_mix(m.base, m.second, smoothstep(0.27f * m.scale, 0.2f * m.scale, r));
        }
        case Pattern::denim: {
            const float twill = 0.05f * fbm(nz.grain, (x + y) * 0.45f, (y - x) * 0.08f, 2);
            const float fade = 0.12f * fbm(nz.grain, x * 0.05f + 40.0f, y * 0.02f, 2);
            return rgb_scale(rgb_mix(m.base, m.second, clamp01(fade + 0.1f)), 1.0f + twill);
        }
        case Pattern::knit:
            return rgb_scale(m.base,
                             1.0f + 0.07f * std::sin(x * k) + 0.04f * fbm(nz.grain, x * 0.3f, y * 0.3f, 2));
        case Pattern::sequin: {
            // Bold cells of a few pixels, each its own sparkle: mid-frequency, so it glitters without
            // shimmering at a distance.
            const int cx = static_cast<int>(std::floor(x / m.scale));
            const int cy = static_cast<int>(std::floor(y / m.scale + 0.5f * static_cast<float>(cx & 1)));
            const float h = hash_unit(cx, cy, 811);
            Rgb c = rgb_scale(m.base, 0.78f + 0.45f * h);
            if (h > 0.86f) c = rgb_mix(c, m.second, 0.75f);
            return c;
        }
        case Pattern::skin:
            return rgb_scale(m.base, 1.0f + 0.025f * fbm(nz.grain, x * 0.2f, y * 0.2f, 2));
        case Pattern::hair: {
            const float strands = fbm(nz.grain, x * 0.32f, y * 0.045f, 3);
            return rgb_mix(rgb_scale(m.base, 1.0f + 0.3f * strands), m.second,
                           clamp01(0.35f * fbm(nz.grain, x * 0.08f + 9.0f, y * 0.03f, 2) + 0.1f));
        }
        case Pattern::fur: {
            const float strands = fbm(nz.grain, x * 0.07f, y * 0.3f, 3);
            return rgb_scale(m.base, 1.0f + 0.16f * strands);
        }
        case Pattern::wool: {
            const float curls = std::fabs(fbm(nz.grain, x * 0.28f, y * 0.28f, 3));
            return rgb_mix(m.base, m.second, clamp01(curls * 2.2f));
        }
        case Pattern::wood: {
            const float grain = fbm(nz.grain, x * 0.5f, y * 0.035f, 3);
            return rgb_mix(m.base, m.second, clamp01(0.5f + 1.2f * grain));
        }
        case Pattern::leather:
            return rgb_scale(m.base, 1.0f + 0.04f * fbm(nz.grain, x * 0.4f, y * 0.4f, 2));
    }
    return m.base;
}

}  // namespace

Shape capsule(float ax, float ay, float bx, float by, float ra, float rb) {
    Shape s;
    s.kind = ShapeKind::capsule;
    s.ax = ax, s.ay = ay, s.bx = bx, s.by = by, s.ra = ra, s.rb = rb;
    return s;
}

Shape ellipse(float cx, float cy, float rx, float ry) {
    Shape s;
    s.kind = ShapeKind::ellipse;
    s.ax = cx, s.ay = cy, s.bx = rx, s.by = ry;
    return s;
}

Shape polygon(std::initializer_list<float> xy, float round) {
    Shape s;
    s.kind = ShapeKind::polygon;
    for (float v : xy) {
        if (s.corners >= 12 * 2) break;
        s.points[s.corners++] = v;
    }
    s.corners /= 2;
    s.round = round;
    return s;
}

Shape cut_above(Shape s, float y, float wave, float freq) {
    s.cut_keep = -1, s.cut_y = y, s.cut_wave = wave, s.cut_freq = freq;
    return s;
}

Shape cut_below(Shape s, float y, float wave, float freq) {
    s.cut_keep = 1, s.cut_y = y, s.cut_wave = wave, s.cut_freq = freq;
    return s;
}

Shape warped(Shape s, float pixels, float freq) {
    s.warp = pixels, s.warp_freq = freq;
    return s;
}

Rgb rgb(float r, float g, float b) {
    return {r, g, b};
}

Rgb rgb_tone(Rgb c, float t) {
    return t >= 0 ? rgb_mix(c, {1, 1, 1}, t) : rgb_scale(c, 1.0f + t);
}

MediaImage draw_figure(const std::vector<Part>& parts, int width, int height, View view, uint64_t seed) {
    const Noises nz{noise_make(seed), noise_make(seed + 1), noise_make(seed + 2)};
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    auto at = [width](int x, int y) {
        return static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
    };

    // The silhouette: every body part, whichever view, so the front and back pictures share it.
    std::vector<uint8_t> solid(count, 0);
    for (const Part& p : parts) {
        if (p.decal) continue;
        const Box b = bounds(p.shape, width, height);
        for (int y = b.y0; y <= b.y1; ++y)
            for (int x = b.x0; x <= b.x1; ++x)
                if (sd_shape(p.shape, nz, x + 0.5f, y + 0.5f) < 0) solid[at(x, y)] = 1;
    }

    std::vector<Rgb> colour(count, Rgb{0, 0, 0});
    std::vector<float> cover(count, 0.0f);
    const float h_len = std::sqrt(kLightX * kLightX + kLightY * kLightY + (kLightZ + 1) * (kLightZ + 1));
    for (size_t i = 0; i < parts.size(); ++i) {
        const Part& p = parts[i];
        if (p.view != View::both && p.view != view) continue;
        const Part& shade = p.shade_from >= 0 ? parts[static_cast<size_t>(p.shade_from)] : p;
        const bool across = p.mat.folds_across;
        const Box b = bounds(p.shape, width, height);
        for (int y = b.y0; y <= b.y1; ++y) {
            for (int x = b.x0; x <= b.x1; ++x) {
                const size_t k = at(x, y);
                if (!solid[k]) continue;
                const float px = x + 0.5f, py = y + 0.5f;
                const float d = sd_shape(p.shape, nz, px, py);
                float cov = p.decal && p.soft > 0 ? clamp01(-d / p.soft) : clamp01(0.5f - d);
                if (!p.decal && d < 0 && cover[k] <= 0) cov = 1;
                cov *= p.opacity;
                if (cov <= 0) continue;

                // The part as a rounded body: the normal leans outwards near its edge.
                const float ds = &shade == &p ? d : sd_shape(shade.shape, nz, px, py);
                float gx = sd_shape(shade.shape, nz, px + 1, py) - sd_shape(shade.shape, nz, px - 1, py);
                float gy = sd_shape(shade.shape, nz, px, py + 1) - sd_shape(shade.shape, nz, px, py - 1);
                const float glen = std::sqrt(gx * gx + gy * gy);
                if (glen > 0) gx /= glen, gy /= glen;
                const float edge = 1.0f - clamp01(-ds / shade.depth);
                const float lean = edge * edge;
                float nx = gx * lean, ny = gy * lean;
                const float nzc = std::sqrt(std::max(0.0f, 1.0f - lean * lean));
                const float diffuse = std::max(0.0f, nx * kLightX + ny * kLightY + nzc * kLightZ);

                const float fold = across ? fbm(nz.folds, px * 0.03f, py * 0.13f, 3)
                                          : fbm(nz.folds, px * 0.11f, py * 0.022f, 3);
                Rgb c = pattern_colour(p.mat, px, py, nz);
                c = rgb_scale(c, (kAmbient + kDiffuse * diffuse) * (1.0f + p.mat.folds * 1.8f * fold));
                if (p.mat.shine > 0) {
                    const float hv =
                        std::max(0.0f, (nx * kLightX + ny * kLightY + nzc * (kLightZ + 1)) / h_len);
                    const float glint = hv * hv * hv * hv * hv * hv * hv * hv;
                    c = rgb_add(c, rgb_scale({1, 1, 1}, p.mat.shine * glint * glint));
                }
                // The evening sky's cool bounce on the edges turned away from the light.
                const float away = std::max(0.0f, nx * 0.7f + ny * 0.3f);
                c = rgb_add(c, rgb_scale({0.03f, 0.05f, 0.11f}, away));
                if (!p.decal && p.line > 0 && cover[k] > 0) {
                    const float ink = clamp01(1.0f - std::fabs(d + 0.8f) / 1.1f);
                    c = rgb_scale(c, 1.0f - p.line * ink);
                }
                colour[k] = rgb_mix(colour[k], c, cov);
                cover[k] = cover[k] + cov * (1.0f - cover[k]);
            }
        }
    }

    MediaImage image = image_make(width, height, 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t k = at(x, y);
            if (!solid[k]) continue;
            const bool rim = x == 0 || y == 0 || x == width - 1 || y == height - 1 || !solid[at(x - 1, y)] ||
                             !solid[at(x + 1, y)] || !solid[at(x, y - 1)] || !solid[at(x, y + 1)];
            const float fx = static_cast<float>(x) / static_cast<float>(width);
            const float fy = static_cast<float>(y) / static_cast<float>(height);
            Rgb c = rgb_scale(colour[k], 1.0f + 0.08f * (0.5f - fy) + 0.05f * (0.5f - fx));
            if (rim) c = rgb_scale(c, kOutline);
            image_put(image, x, y, c, 1.0f, hash_unit(x, y, 97) - 0.5f);
        }
    }
    return image;
}
