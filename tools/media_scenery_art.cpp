// The park's pictures: the billboard's concert poster, the house behind the square and the dust puff.
// Single-threaded.
#include <cmath>

#include "media_noise.h"
#include "media_scenery.h"

namespace {

float centre_of(int pixel) {
    return static_cast<float>(pixel) + 0.5f;
}

// Coverage of a pixel by a shape whose signed distance (pixels, negative inside) is `d`.
float inside(float d) {
    return clamp01(0.5f - d);
}

float segment_distance(float px, float py, float ax, float ay, float bx, float by) {
    float vx = bx - ax, vy = by - ay;
    float t = clamp01(((px - ax) * vx + (py - ay) * vy) / (vx * vx + vy * vy));
    float dx = px - ax - t * vx, dy = py - ay - t * vy;
    return std::sqrt(dx * dx + dy * dy);
}

struct GradientStop {
    float at;
    Rgb colour;
};

Rgb gradient(const GradientStop* stops, int count, float at) {
    if (at <= stops[0].at) return stops[0].colour;
    for (int i = 1; i < count; ++i) {
        if (at <= stops[i].at) {
            float t = smoothstep(stops[i - 1].at, stops[i].at, at);
            return rgb_mix(stops[i - 1].colour, stops[i].colour, t);
        }
    }
    return stops[count - 1].colour;
}

// The title's block letters as strokes in a unit box (y down), drawn with a round pen.
struct Stroke {
    float ax, ay, bx, by;
};

struct Letter {
    float width;  // of the letter's box, in letter heights
    int count;
    Stroke strokes[5];
};

const Letter kV = {0.72f, 2, {{0, 0, 0.5f, 1}, {0.5f, 1, 1, 0}}};
const Letter kE = {0.6f, 4, {{0, 0, 0, 1}, {0, 0, 1, 0}, {0, 0.5f, 0.8f, 0.5f}, {0, 1, 1, 1}}};
const Letter kL = {0.56f, 2, {{0, 0, 0, 1}, {0, 1, 1, 1}}};
const Letter kM = {0.86f, 4, {{0, 1, 0, 0}, {0, 0, 0.5f, 0.62f}, {0.5f, 0.62f, 1, 0}, {1, 0, 1, 1}}};
const Letter kO = {0.74f, 4, {{0, 0, 1, 0}, {1, 0, 1, 1}, {1, 1, 0, 1}, {0, 1, 0, 0}}};
const Letter kR = {
    0.66f, 5, {{0, 1, 0, 0}, {0, 0, 1, 0}, {1, 0, 1, 0.5f}, {1, 0.5f, 0, 0.5f}, {0.35f, 0.5f, 1, 1}}};
const Letter kI = {0.0f, 1, {{0, 0, 0, 1}}};
const Letter kN = {0.72f, 3, {{0, 1, 0, 0}, {0, 0, 1, 1}, {1, 1, 1, 0}}};

const Letter* const kTitle[] = {&kV, &kE, &kL, &kM, &kO, &kR, &kI, &kN, &kE};

// Distance in pixels from a point to the title's strokes, set with its top left at (x0, y0).
float title_distance(float px, float py, float x0, float y0, float height, float pen, float gap) {
    float best = 1e9f;
    float x = x0;
    float inner = height - pen;  // strokes' centre lines stay a half pen inside the box
    for (const Letter* letter : kTitle) {
        float w = letter->width * height;
        float iw = w > pen ? w - pen : 0.0f;
        for (int i = 0; i < letter->count; ++i) {
            const Stroke& s = letter->strokes[i];
            float ax = x + pen * 0.5f + s.ax * iw, ay = y0 + pen * 0.5f + s.ay * inner;
            float bx = x + pen * 0.5f + s.bx * iw, by = y0 + pen * 0.5f + s.by * inner;
            best = std::fmin(best, segment_distance(px, py, ax, ay, bx, by));
        }
        x += (w > pen ? w : pen) + gap;
    }
    return best - pen * 0.5f;
}

float title_width(float height, float pen, float gap) {
    float x = 0.0f;
    for (const Letter* letter : kTitle) {
        float w = letter->width * height;
        x += (w > pen ? w : pen) + gap;
    }
    return x - gap;
}

}  // namespace

MediaImage media_poster() {
    constexpr int kWidth = 512, kHeight = 256;
    constexpr float kHorizon = 150.0f;
    constexpr float kBandTop = 184.0f;  // the title band fills the poster below this row
    constexpr float kSunX = 256.0f, kSunY = 146.0f, kSunR = 76.0f;
    constexpr float kLetterHeight = 46.0f, kPen = 9.0f, kGap = 10.0f;
    static const GradientStop kSky[] = {
        {0.0f, {0.09f, 0.06f, 0.24f}},
        {60.0f, {0.34f, 0.10f, 0.42f}},
        {118.0f, {0.88f, 0.30f, 0.40f}},
        {kHorizon, {1.0f, 0.62f, 0.32f}},
    };
    const Rgb sun_top = {1.0f, 0.94f, 0.50f};
    const Rgb sun_bottom = {1.0f, 0.38f, 0.46f};
    const Rgb sea_deep = {0.05f, 0.10f, 0.26f};
    const Rgb sea_crest = {0.10f, 0.55f, 0.62f};
    const Rgb band = {0.06f, 0.04f, 0.13f};
    const Rgb letter_top = {1.0f, 0.88f, 0.42f};
    const Rgb letter_bottom = {1.0f, 0.42f, 0.34f};
    const Rgb letter_shadow = {0.55f, 0.08f, 0.38f};
    const NoiseTable haze = noise_make(701);
    const float title_x = 0.5f * (kWidth - title_width(kLetterHeight, kPen, kGap));
    const float title_y = kBandTop + 0.5f * (kHeight - kBandTop - kLetterHeight) + 2.0f;

    MediaImage image = image_make(kWidth, kHeight, 3);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            float px = centre_of(x), py = centre_of(y);
            float u = px / kWidth, v = py / kHeight;
            Rgb c = gradient(kSky, 4, py);
            // Soft bands of haze across the sky, and a few stars in its dark top.
            c = rgb_scale(c, 1.0f + 0.06f * noise_fbm(haze, u * 3.0f, v * 12.0f, 3, 0.5f, 4, 16));
            float star = hash_unit(x / 2, y / 2, 702);
            if (star > 0.996f && py < 70.0f) c = rgb_mix(c, Rgb{1.0f, 0.95f, 0.9f}, 1.0f - py / 70.0f);

            // The sun: a glow, a ring around it, and the disc cut by widening stripes.
            float dx = px - kSunX, dy = py - kSunY;
            float dist = std::sqrt(dx * dx + dy * dy);
            float glow = 1.0f / (1.0f + (dist - kSunR) * (dist - kSunR) / 900.0f);
            if (dist > kSunR) c = rgb_add(c, rgb_scale(Rgb{1.0f, 0.45f, 0.35f}, 0.35f * glow));
            c = rgb_mix(c, Rgb{1.0f, 0.75f, 0.7f}, 0.45f * inside(std::fabs(dist - kSunR - 16.0f) - 1.0f));
            float disc = inside(dist - kSunR);
            for (int i = 0; i < 5; ++i) {
                float gy = kSunY - 44.0f + 10.0f * i;
                float half = 0.8f + 0.9f * i;
                disc *= 1.0f - inside(std::fabs(py - gy) - half);
            }
            c = rgb_mix(c, rgb_mix(sun_top, sun_bottom, smoothstep(kSunY - kSunR, kSunY, py)), disc);

            // The sea: rows of waves, each crest catching the light, the sun's path glittering on it.
            if (py > kHorizon) {
                float depth = (py - kHorizon) / (kBandTop - kHorizon);
                Rgb sea = rgb_mix(Rgb{0.22f, 0.18f, 0.42f}, sea_deep, depth);
                for (int i = 0; i < 4; ++i) {
                    float row = kHorizon + 6.0f + 8.5f * i;
                    float amp = 1.5f + 0.8f * i;
                    float line = row + amp * std::sin(px * (0.06f - 0.01f * i) + 1.7f * i);
                    float crest = inside(std::fabs(py - line) - (0.6f + 0.35f * i));
                    sea = rgb_mix(sea, rgb_mix(sea_crest, Rgb{1.0f, 0.6f, 0.45f}, 0.25f - 0.06f * i), crest);
                }
                float path = smoothstep(60.0f - 30.0f * depth, 0.0f, std::fabs(px - kSunX));
                float glint = smoothstep(0.2f, 0.6f, noise_fbm(haze, u * 48.0f, v * 64.0f, 2, 0.5f, 64, 64));
                sea = rgb_mix(sea, Rgb{1.0f, 0.72f, 0.45f}, path * glint * (1.0f - 0.5f * depth));
                c = rgb_mix(c, sea, inside(kHorizon - py + 0.5f));
            }

            // The title band: dark, edged with a bright line, chevrons at both ends.
            if (py > kBandTop - 1.0f) {
                float in_band = inside(kBandTop - py);
                Rgb b = rgb_scale(band, 1.0f + 0.4f * (py - kBandTop) / (kHeight - kBandTop));
                Rgb edge = rgb_mix(Rgb{1.0f, 0.3f, 0.55f}, Rgb{1.0f, 0.7f, 0.3f}, u);
                b = rgb_mix(b, edge, inside(std::fabs(py - kBandTop - 2.5f) - 1.5f));
                float side = px < kWidth * 0.5f ? px : kWidth - px;
                float mid = (kBandTop + kHeight) * 0.5f;
                for (int i = 0; i < 3; ++i) {
                    float cx = 14.0f + 14.0f * i;
                    float chevron = std::fabs(side - cx - 0.5f * std::fabs(py - mid)) - 3.0f;
                    float in_rows = inside(std::fabs(py - mid) - 26.0f);
                    b = rgb_mix(b, edge, 0.85f * inside(chevron) * in_rows * (1.0f - 0.25f * i));
                }
                float shadow =
                    title_distance(px - 3.0f, py - 3.0f, title_x, title_y, kLetterHeight, kPen, kGap);
                b = rgb_mix(b, letter_shadow, inside(shadow));
                float glyph = title_distance(px, py, title_x, title_y, kLetterHeight, kPen, kGap);
                Rgb fill = rgb_mix(letter_top, letter_bottom, clamp01((py - title_y) / kLetterHeight));
                // A thin light line along each stroke's upper edge gives the letters a bevel.
                float upper = py < title_y + 30.0f ? 0.5f : 0.0f;
                fill = rgb_mix(fill, Rgb{1.0f, 1.0f, 0.85f}, upper * inside(std::fabs(glyph + 2.0f) - 0.8f));
                b = rgb_mix(b, fill, inside(glyph));
                c = rgb_mix(c, b, in_band);
            }
            image_put(image, x, y, c, 1.0f, hash_unit(x, y, 703) - 0.5f);
        }
    }
    return image;
}

MediaImage media_dust() {
    constexpr int kSize = 64;
    const NoiseTable rim = noise_make(721);
    const NoiseTable wisps = noise_make(722);
    MediaImage image = image_make(kSize, kSize, 4);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            float px = centre_of(x) * 2.0f / kSize - 1.0f;
            float py = centre_of(y) * 2.0f / kSize - 1.0f;
            float r = std::sqrt(px * px + py * py);
            // An irregular outline: the radius swells and shrinks with the direction, so every ray
            // from the centre still fades steadily outwards.
            float nx = r > 0.0f ? px / r : 1.0f, ny = r > 0.0f ? py / r : 0.0f;
            float lobe = noise_fbm(rim, nx * 1.5f + 8.0f, ny * 1.5f + 8.0f, 2, 0.3f, 256, 256);
            float reach = 0.66f * (1.0f + 0.2f * lobe);
            float q = r / reach;
            float body = q < 1.0f ? (1.0f - q * q) * (1.0f - q * q) : 0.0f;
            float inner = noise_fbm(wisps, px * 3.0f + 4.0f, py * 3.0f + 4.0f, 3, 0.5f, 256, 256);
            float alpha = 0.94f * body * (0.84f + 0.16f * inner);
            // Lit from above: a whiter top, a greyer underside.
            float shade = 0.9f - 0.12f * py - 0.05f * px + 0.04f * inner;
            image_put(image, x, y, Rgb{shade, shade, shade * 0.98f}, alpha, hash_unit(x, y, 723) - 0.5f);
        }
    }
    return image;
}
