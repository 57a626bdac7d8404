// The park's wooden things and the loudspeaker: step beams, the crate face (also the chairs), the
// cabinet's vinyl and the speaker's front. Single-threaded.
#include <cmath>

#include "media_noise.h"
#include "media_scenery.h"

namespace {

constexpr int kSize = 256;

const NoiseTable& grain_warp() {
    static const NoiseTable table = noise_make(641);
    return table;
}

const NoiseTable& grain_streaks() {
    static const NoiseTable table = noise_make(642);
    return table;
}

float fract(float v) {
    return v - std::floor(v);
}

// Distance in pixels to the nearest edge of the span [lo, hi) for a pixel centre at `p`.
float span_edge(float p, float lo, float hi) {
    return std::fmin(p - lo, hi - p);
}

// The cabinet's textured vinyl: near-black with a soft pebbled grain (mid-frequency, so it does not
// shimmer when small). Returns the colour and adds the pebbles' height to `depth`.
Rgb vinyl_at(int x, int y, float& depth) {
    static const NoiseTable pebbles = noise_make(651);
    static const NoiseTable scuffs = noise_make(652);
    float u = (static_cast<float>(x) + 0.5f) / kSize, v = (static_cast<float>(y) + 0.5f) / kSize;
    float p = noise_fbm(pebbles, u * 48.0f, v * 48.0f, 2, 0.45f, 64, 64);
    float s = noise_fbm(scuffs, u * 4.0f, v * 4.0f, 4, 0.55f, 4, 4);
    depth += 0.08f * p;
    float shade = 1.0f + 0.12f * p + 0.18f * smoothstep(0.2f, 0.7f, s);
    return rgb_scale(Rgb{0.085f, 0.085f, 0.092f}, shade);
}

// A bevelled border `width` pixels wide, a shade lighter than the vinyl, rising from the picture's
// edge: returns how far up the bevel (0 at the edge, 1 on the face).
float bevel_rise(int x, int y, float width) {
    float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
    float edge = std::fmin(span_edge(px, 0.0f, kSize), span_edge(py, 0.0f, kSize));
    return smoothstep(0.0f, width, edge);
}

// A domed screw head of radius `radius` at (cx, cy) with a cross slot; true when the pixel is on it.
bool screw_at(float px, float py, float cx, float cy, float radius, float& depth, Rgb& colour) {
    float dx = px - cx, dy = py - cy;
    float q = (dx * dx + dy * dy) / (radius * radius);
    if (q >= 1.0f) return false;
    float dome = std::sqrt(1.0f - q);
    bool slot = (std::fabs(dx) < 0.8f || std::fabs(dy) < 0.8f) && q < 0.55f;
    depth += 0.9f * dome - (slot ? 0.6f : 0.0f);
    colour = slot ? Rgb{0.08f, 0.08f, 0.085f} : Rgb{0.42f, 0.42f, 0.44f};
    return true;
}

}  // namespace

Rgb wood_grain(float along, float across, int seed, Rgb base, int period) {
    const float p = static_cast<float>(period);
    float a = along / p;
    // Growth rings cut lengthwise: lines along the board that drift slowly across it.
    float warp = 0.9f * noise_fbm(grain_warp(), a * 2.0f, across / 64.0f + static_cast<float>(seed) * 3.1f, 3,
                                  0.45f, 2, 256);
    float t = across * 0.085f + warp + hash_unit(seed, 0, 661) * 7.0f;

    // A knot: the rings bulge round it, its core is dark.
    float kx = hash_unit(seed, 1, 661) * p;
    float ky = 8.0f + hash_unit(seed, 2, 661) * 40.0f;
    float da = std::fabs(along - kx);
    if (da > p * 0.5f) da = p - da;
    float dc = across - ky;
    float kr = 3.0f + 4.0f * hash_unit(seed, 3, 661);
    float q = (da * da * 0.25f + dc * dc) / (kr * kr);
    bool has_knot = (hash_point(seed, 4, 661) & 1) != 0;
    float bulge = has_knot ? 1.0f / (1.0f + q) : 0.0f;
    t += 1.6f * bulge * (dc < 0.0f ? -1.0f : 1.0f);

    float ring = fract(t);
    float late = smoothstep(0.55f, 0.9f, ring) * smoothstep(1.0f, 0.93f, ring);
    float streak = noise_fbm(grain_streaks(), a * 16.0f, across * 0.6f, 3, 0.5f, 16, 256);
    float fibre = noise_gradient(grain_streaks(), a * 64.0f, across * 1.7f + 40.0f, 64, 256);
    Rgb c = rgb_scale(base, 0.92f + 0.16f * hash_unit(seed, 5, 661) + 0.12f * streak + 0.04f * fibre);
    c = rgb_mix(c, rgb_scale(base, 0.62f), 0.5f * late);
    float core = has_knot ? smoothstep(1.2f, 0.4f, q) : 0.0f;
    return rgb_mix(c, Rgb{base.r * 0.38f, base.g * 0.28f, base.b * 0.22f}, core);
}

MediaImage media_beams() {
    constexpr int kPlank = 64;  // four planks, each with one butt joint somewhere along it
    constexpr float kGap = 1.5f;
    const NoiseTable weather = noise_make(671);
    const Rgb oak = {0.56f, 0.37f, 0.21f};
    Relief r = relief_make(kSize, kSize, true);
    for (int y = 0; y < kSize; ++y) {
        int plank = y / kPlank;
        float py = static_cast<float>(y) + 0.5f;
        float across = py - static_cast<float>(plank * kPlank);
        int joint = static_cast<int>(hash_unit(plank, 0, 672) * kSize);
        for (int x = 0; x < kSize; ++x) {
            float px = static_cast<float>(x) + 0.5f;
            // The board's own frame: along it from its butt joint, so each half has its own grain.
            float along = fract((px - static_cast<float>(joint)) / kSize) * kSize;
            float edge = std::fmin(span_edge(across, 0.0f, kPlank), std::fmin(along, kSize - along));
            float face = smoothstep(kGap - 1.0f, kGap + 1.5f, edge);

            float u = px / kSize, v = py / kSize;
            float w = noise_fbm(weather, u * 4.0f, v * 4.0f, 4, 0.55f, 4, 4);
            Rgb wood = wood_grain(along, across, 10 + plank, oak, kSize);
            // Weathered: greyer and paler in patches, darker near the gaps where water stands.
            float grey = 0.25f * smoothstep(0.0f, 0.6f, w);
            float lum = (wood.r + wood.g + wood.b) * (1.0f / 3.0f);
            wood = rgb_mix(wood, Rgb{lum * 1.05f, lum, lum * 0.95f}, grey);
            wood = rgb_scale(wood, 0.85f + 0.15f * smoothstep(0.0f, 8.0f, edge));

            size_t at = relief_index(r, x, y);
            r.albedo[at] = rgb_mix(Rgb{0.12f, 0.075f, 0.045f}, wood, face);
            r.depth[at] = face * (0.95f + 0.03f * w);
        }
    }
    return relief_light(r, {2.2f, 0.45f, 0.35f, 0.3f, 0.0f});
}

MediaImage media_crate() {
    constexpr float kFrame = 30.0f;  // the border boards' width
    constexpr float kBrace = 32.0f;  // the diagonal board's width
    constexpr float kPlank = (kSize - 2.0f * kFrame) / 3.0f;
    const Rgb pine = {0.72f, 0.53f, 0.32f};
    const Rgb stained = {0.50f, 0.33f, 0.19f};
    const NoiseTable dirt = noise_make(681);
    Relief r = relief_make(kSize, kSize, false);
    // The brace runs from the inner bottom-left corner to the inner top-right one.
    const float ax = kFrame, ay = kSize - kFrame, bx = kSize - kFrame, by = kFrame;
    const float ux = (bx - ax) / std::sqrt((bx - ax) * (bx - ax) + (by - ay) * (by - ay));
    const float uy = (by - ay) / std::sqrt((bx - ax) * (bx - ax) + (by - ay) * (by - ay));
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
            Rgb colour;
            float depth;
            float side = std::fmin(span_edge(px, 0.0f, kSize), span_edge(py, 0.0f, kSize));
            float along_brace = (px - ax) * ux + (py - ay) * uy;
            float across_brace = -(px - ax) * uy + (py - ay) * ux;
            if (py < kFrame || py >= kSize - kFrame) {
                // Top and bottom boards, full width, grain along them.
                float y0 = py < kFrame ? 0.0f : kSize - kFrame;
                float edge = std::fmin(span_edge(py, y0, y0 + kFrame), span_edge(px, 0.0f, kSize));
                colour = wood_grain(px, py - y0, py < kFrame ? 21 : 22, stained, kSize);
                depth = 1.0f + 0.2f * smoothstep(0.0f, 3.0f, edge) - 0.25f;
            } else if (px < kFrame || px >= kSize - kFrame) {
                // The side boards stand between them, grain upright.
                float x0 = px < kFrame ? 0.0f : kSize - kFrame;
                float edge = std::fmin(span_edge(px, x0, x0 + kFrame), span_edge(py, kFrame, kSize - kFrame));
                colour = wood_grain(py, px - x0, px < kFrame ? 23 : 24, stained, kSize);
                depth = 1.0f + 0.2f * smoothstep(0.0f, 3.0f, edge) - 0.25f;
            } else if (std::fabs(across_brace) < kBrace * 0.5f) {
                float edge = kBrace * 0.5f - std::fabs(across_brace);
                colour = wood_grain(along_brace, across_brace + kBrace * 0.5f, 25, stained, kSize);
                depth = 1.0f + 0.2f * smoothstep(0.0f, 3.0f, edge) - 0.25f;
            } else {
                // The planks behind, lighter and lower, with gaps between them.
                int plank = static_cast<int>((py - kFrame) / kPlank);
                float y0 = kFrame + plank * kPlank;
                float edge = span_edge(py, y0, y0 + kPlank);
                colour = wood_grain(px, py - y0, 26 + plank, pine, kSize);
                float face = smoothstep(1.0f, 3.5f, edge);
                colour = rgb_mix(Rgb{0.1f, 0.065f, 0.04f}, colour, face);
                depth = 0.45f * face;
            }
            // Nails: two at each end of every frame board and of the brace.
            static const float kNails[][2] = {
                {10, 15}, {246, 15}, {10, 241}, {246, 241}, {15, 46},  {241, 46}, {15, 210}, {241, 210},
                {45, 15}, {211, 15}, {45, 241}, {211, 241}, {42, 200}, {56, 214}, {200, 42}, {214, 56},
            };
            for (const auto& nail : kNails) {
                float ndepth = 0.0f;
                Rgb ncolour;
                if (screw_at(px, py, nail[0], nail[1], 2.6f, ndepth, ncolour)) {
                    depth += 0.3f * ndepth;
                    colour = rgb_scale(ncolour, 0.7f);
                }
            }
            // Handling has darkened the edges; a little grime in soft patches.
            float u = px / kSize, v = py / kSize;
            float d = noise_fbm(dirt, u * 4.0f, v * 4.0f, 4, 0.55f, 4, 4);
            colour = rgb_scale(colour, (0.8f + 0.2f * smoothstep(0.0f, 10.0f, side)) *
                                           (1.0f - 0.12f * smoothstep(0.0f, 0.6f, d)));
            size_t at = relief_index(r, x, y);
            r.albedo[at] = colour;
            r.depth[at] = depth;
        }
    }
    return relief_light(r, {2.0f, 0.45f, 0.35f, 0.12f, 0.0f});
}

MediaImage media_cabinet() {
    Relief r = relief_make(kSize, kSize, false);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            float rise = bevel_rise(x, y, 14.0f);
            float depth = 0.3f + 0.7f * rise;
            Rgb c = vinyl_at(x, y, depth);
            // The bevel's worn edge shows a lighter, greyer vinyl.
            c = rgb_mix(Rgb{0.2f, 0.2f, 0.21f}, c, smoothstep(0.0f, 0.8f, rise));
            size_t at = relief_index(r, x, y);
            r.albedo[at] = c;
            r.depth[at] = depth;
        }
    }
    return relief_light(r, {4.0f, 0.55f, 0.1f, 0.0f, 0.08f});
}

MediaImage media_speaker_front() {
    constexpr float kWooferX = 128.0f, kWooferY = 166.0f;
    constexpr float kTweeterX = 128.0f, kTweeterY = 44.0f;
    // Eight screws round the woofer's trim ring, every 45 degrees.
    static const float kRing[8][2] = {{1, 0},  {0.7071f, 0.7071f},   {0, 1},  {-0.7071f, 0.7071f},
                                      {-1, 0}, {-0.7071f, -0.7071f}, {0, -1}, {0.7071f, -0.7071f}};
    static const float kCorners[4][2] = {{16, 16}, {240, 16}, {16, 240}, {240, 240}};
    const NoiseTable fibre = noise_make(691);
    const Rgb trim = {0.2f, 0.2f, 0.21f};
    const Rgb rubber = {0.06f, 0.06f, 0.065f};
    const Rgb paper = {0.12f, 0.12f, 0.125f};
    Relief r = relief_make(kSize, kSize, false);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
            float rise = bevel_rise(x, y, 10.0f);
            float depth = 0.6f + 0.4f * rise;
            Rgb c = vinyl_at(x, y, depth);
            c = rgb_mix(Rgb{0.2f, 0.2f, 0.21f}, c, smoothstep(0.0f, 0.8f, rise));

            float wx = px - kWooferX, wy = py - kWooferY;
            float wr = std::sqrt(wx * wx + wy * wy);
            float fine = noise_fbm(fibre, px * 0.25f, py * 0.25f, 2, 0.5f, 64, 64);
            if (wr < 88.0f) {
                if (wr >= 80.0f) {
                    // The trim ring, flat and slightly raised.
                    c = trim;
                    depth = 1.3f + 0.3f * smoothstep(88.0f, 86.0f, wr) * smoothstep(80.0f, 82.0f, wr);
                } else if (wr >= 68.0f) {
                    // The surround: a half-round rubber roll.
                    float s = (wr - 74.0f) / 6.0f;
                    c = rubber;
                    depth = 1.0f + 0.9f * std::sqrt(clamp01(1.0f - s * s));
                } else if (wr >= 24.0f) {
                    // The cone falls towards the middle, with faint pressed rings in the paper.
                    float t = (wr - 24.0f) / 44.0f;
                    c = rgb_scale(paper, 0.9f + 0.08f * fine + 0.1f * t);
                    depth = -1.6f + 2.6f * t + 0.03f * std::sin(wr * 0.9f);
                } else {
                    // The dust cap: a shallow dome.
                    float s = wr / 24.0f;
                    c = {0.15f, 0.15f, 0.155f};
                    depth = -1.6f + 1.3f * std::sqrt(1.0f - s * s);
                }
            }
            // Its gasket's shadow line where the trim ring meets the baffle.
            c = rgb_scale(c, 1.0f - 0.6f * smoothstep(3.0f, 0.0f, std::fabs(wr - 89.0f)));

            float tx = px - kTweeterX, ty = py - kTweeterY;
            float tr = std::sqrt(tx * tx + ty * ty);
            if (tr < 30.0f) {
                if (tr >= 26.0f) {
                    c = trim;
                    depth = 1.4f;
                } else if (tr >= 11.0f) {
                    float t = (tr - 11.0f) / 15.0f;
                    c = rgb_scale(trim, 0.55f + 0.15f * t);
                    depth = -0.4f + 1.6f * t;
                } else {
                    float s = tr / 11.0f;
                    c = {0.11f, 0.11f, 0.12f};
                    depth = -0.4f + 1.0f * std::sqrt(1.0f - s * s);
                }
            }
            c = rgb_scale(c, 1.0f - 0.6f * smoothstep(3.0f, 0.0f, std::fabs(tr - 31.0f)));

            Rgb screw;
            float sd = 0.0f;
            for (const auto& k : kRing) {
                if (screw_at(px, py, kWooferX + 84.0f * k[0], kWooferY + 84.0f * k[1], 2.8f, sd, screw)) {
                    c = screw;
                    depth = 1.4f + 0.5f * sd;
                }
            }
            for (const auto& k : kCorners) {
                sd = 0.0f;
                if (screw_at(px, py, k[0], k[1], 5.0f, sd, screw)) {
                    c = screw;
                    depth = 1.0f + 0.5f * sd;
                }
            }
            size_t at = relief_index(r, x, y);
            r.albedo[at] = c;
            r.depth[at] = depth;
        }
    }
    return relief_light(r, {3.0f, 0.5f, 0.15f, 0.25f, 0.25f});
}
