// The sky panoramas: gradient, sun or afterglow, clouds on a flat cloud layer, stars, a hill ridge.
// Single-threaded. Horizontal positions are azimuths, so everything wraps at the left/right edge.
#include <cmath>
#include <vector>

#include "media_noise.h"
#include "media_textures.h"

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 512;
// The horizon sits four fifths of the way down: most of the picture is sky, with a strip of land
// so that the panorama reads as a landscape from any side.
constexpr float kHorizonRow = 0.8f * kHeight;

// Height above the horizon of a pixel row's centre: 1 at the top edge, 0 on the horizon, negative below.
float row_elevation(int y, float horizon_row = kHorizonRow) {
    return (horizon_row - (static_cast<float>(y) + 0.5f)) / horizon_row;
}

float column_azimuth(int x) {
    return (static_cast<float>(x) + 0.5f) / kWidth;
}

// Distance in pixels between two azimuths, the short way round.
float azimuth_pixels(float a, float b) {
    float d = a > b ? a - b : b - a;
    if (d > 0.5f) d = 1.0f - d;
    return d * kWidth;
}

// Halo falloff: 1 at the centre, 1/2 at `radius`, no library exponentials.
float halo(float distance, float radius) {
    float q = distance / radius;
    return 1.0f / (1.0f + q * q);
}

struct GradientStop {
    float elevation;
    Rgb colour;
};

// Smooth blend between the stops, which are sorted by rising elevation.
Rgb gradient_at(const GradientStop* stops, int count, float elevation) {
    if (elevation <= stops[0].elevation) return stops[0].colour;
    for (int i = 1; i < count; ++i) {
        if (elevation <= stops[i].elevation) {
            float t = smoothstep(stops[i - 1].elevation, stops[i].elevation, elevation);
            return rgb_mix(stops[i - 1].colour, stops[i].colour, t);
        }
    }
    return stops[count - 1].colour;
}

// A cloud layer seen from below: rows near the horizon look far along the layer, so the same
// noise is squeezed vertically there, as perspective would; near the zenith it is about as tall as wide.
// Returns the warped noise value (about -1..1) and, in `toward_light`, the value a step nearer the zenith
// (for self-shadowing).
struct CloudSample {
    float density;
    float toward_light;
};

CloudSample cloud_sample(const NoiseTable& shape, const NoiseTable& warp, float azimuth, float elevation,
                         int period, float depth_scale) {
    float depth = depth_scale / (elevation + 0.25f);
    float cx = azimuth * static_cast<float>(period);
    float wx = 0.55f * noise_fbm(warp, cx * 0.5f, depth * 0.5f, 3, 0.5f, period / 2, 256);
    float wy = 0.55f * noise_fbm(warp, cx * 0.5f + 17.0f, depth * 0.5f + 5.0f, 3, 0.5f, period / 2, 256);
    CloudSample s;
    s.density = noise_fbm(shape, cx + wx, depth + wy, 6, 0.52f, period, 256);
    s.toward_light = noise_fbm(shape, cx + wx, depth + wy - 0.09f, 6, 0.52f, period, 256);
    return s;
}

// Height above the horizon (in elevation units) of a ridge line at an azimuth.
float ridge_height(const NoiseTable& table, float azimuth, float base, float rise, float row) {
    float n = noise_fbm(table, azimuth * 8.0f, row, 6, 0.55f, 8, 256);
    float peaks = 1.0f - std::fabs(n);  // creased crests read as mountains, not dunes
    return base + rise * peaks * peaks;
}

// Fraction of a pixel that lies below a ridge line, so silhouettes are anti-aliased.
float ridge_cover(float ridge, float elevation) {
    return clamp01((ridge - elevation) * kHorizonRow + 0.5f);
}

float dither_at(int x, int y, uint32_t salt) {
    return hash_unit(x, y, salt) - 0.5f;
}

// A star field in its own buffer: small soft dots at random sub-pixel positions above `lowest_row`,
// mostly faint, a few bright, tinted white, blue or yellow. Added to the sky where no cloud covers it.
std::vector<Rgb> make_stars(uint64_t seed, int count, float lowest_row = kHorizonRow) {
    std::vector<Rgb> stars(static_cast<size_t>(kWidth) * kHeight, Rgb{0.0f, 0.0f, 0.0f});
    static const Rgb kTints[4] = {
        {1.0f, 1.0f, 1.0f}, {0.78f, 0.86f, 1.0f}, {1.0f, 0.92f, 0.76f}, {0.9f, 0.94f, 1.0f}};
    MediaRng rng = rng_seed(seed);
    for (int i = 0; i < count; ++i) {
        float sx = rng_unit(rng) * kWidth;
        float sy = rng_unit(rng) * lowest_row;
        float u = rng_unit(rng);
        float brightness = 0.18f + 0.82f * u * u * u * u;
        Rgb tint = kTints[rng_next(rng) & 3];
        float radius = 0.75f + 0.9f * brightness;
        int cx = static_cast<int>(sx);
        int cy = static_cast<int>(sy);
        for (int dy = -2; dy <= 2; ++dy) {
            for (int dx = -2; dx <= 2; ++dx) {
                int px = cx + dx;
                int py = cy + dy;
                if (py < 0 || py >= kHeight) continue;
                float ox = static_cast<float>(px) + 0.5f - sx;
                float oy = static_cast<float>(py) + 0.5f - sy;
                float w = 1.0f - (ox * ox + oy * oy) / (radius * radius);
                if (w <= 0.0f) continue;
                int wx = (px + kWidth) % kWidth;
                Rgb& at = stars[static_cast<size_t>(py) * kWidth + static_cast<size_t>(wx)];
                at = rgb_add(at, rgb_scale(tint, brightness * w * w));
            }
        }
    }
    return stars;
}

}  // namespace

MediaImage media_sky_day() {
    MediaImage image = image_make(kWidth, kHeight, 3);
    const NoiseTable shape = noise_make(101);
    const NoiseTable warp = noise_make(102);
    const NoiseTable ridges = noise_make(103);
    const NoiseTable ground = noise_make(104);

    static const GradientStop kSky[] = {
        {0.0f, {0.80f, 0.87f, 0.95f}},
        {0.18f, {0.55f, 0.72f, 0.93f}},
        {0.5f, {0.27f, 0.52f, 0.87f}},
        {1.0f, {0.11f, 0.29f, 0.68f}},
    };
    const Rgb sun_light = {1.0f, 0.93f, 0.78f};
    const Rgb cloud_shadow = {0.58f, 0.63f, 0.74f};
    const Rgb cloud_lit = {1.0f, 1.0f, 1.0f};
    const Rgb far_hills = {0.47f, 0.57f, 0.70f};
    const Rgb near_hills = {0.20f, 0.30f, 0.27f};
    const Rgb ground_low = {0.13f, 0.20f, 0.14f};
    const Rgb meadow = {0.33f, 0.38f, 0.19f};
    const float sun_azimuth = 0.28f;
    const float sun_elevation = 0.45f;

    for (int x = 0; x < kWidth; ++x) {
        float a = column_azimuth(x);
        float far_ridge = ridge_height(ridges, a, 0.015f, 0.085f, 0.5f);
        float near_ridge = ridge_height(ridges, a, -0.03f, 0.05f, 7.5f);
        float sun_dx = azimuth_pixels(a, sun_azimuth);
        for (int y = 0; y < kHeight; ++y) {
            float h = row_elevation(y);
            float sun_dy = (h - sun_elevation) * kHorizonRow;
            float sun_d = std::sqrt(sun_dx * sun_dx + sun_dy * sun_dy);
            float glow = 0.5f * halo(sun_d, 16.0f) + 0.22f * halo(sun_d, 80.0f);

            Rgb c = gradient_at(kSky, 4, h > 0.0f ? h : 0.0f);
            c = rgb_add(c, rgb_scale(sun_light, glow));
            c = rgb_mix(c, Rgb{1.0f, 1.0f, 0.97f}, smoothstep(9.5f, 7.0f, sun_d));

            if (h > 0.0f) {
                CloudSample s = cloud_sample(shape, warp, a, h, 8, 5.0f);
                float cover = smoothstep(0.02f, 0.34f, s.density) * smoothstep(0.0f, 0.22f, h);
                // Denser towards the zenith side means the lit face is turned away: shade it.
                float lit = clamp01(0.62f + 2.6f * (s.density - s.toward_light));
                Rgb cloud = rgb_mix(cloud_shadow, cloud_lit, lit);
                cloud = rgb_add(cloud, rgb_scale(sun_light, 0.6f * glow));
                // Distant clouds melt into the horizon haze.
                cloud = rgb_mix(cloud, kSky[0].colour, 0.6f * (1.0f - smoothstep(0.0f, 0.3f, h)));
                c = rgb_mix(c, cloud, 0.95f * cover);
            }

            float far = ridge_cover(far_ridge, h);
            if (far > 0.0f) {
                float grain = noise_fbm(ground, a * 64.0f, h * 40.0f, 4, 0.5f, 64, 256);
                Rgb hill = rgb_scale(far_hills, 0.92f + 0.1f * grain + 0.6f * (h - far_ridge));
                hill = rgb_mix(hill, kSky[0].colour, 0.25f);
                c = rgb_mix(c, hill, far);
            }
            float near = ridge_cover(near_ridge, h);
            if (near > 0.0f) {
                float grain = noise_fbm(ground, a * 128.0f + 3.0f, h * 90.0f, 5, 0.55f, 128, 256);
                float depth = clamp01((near_ridge - h) * 4.0f);
                Rgb land = rgb_mix(near_hills, ground_low, depth);
                // Meadows and woods: broad patches of a drier, yellower green.
                float patch = noise_fbm(ground, a * 32.0f + 11.0f, h * 24.0f, 3, 0.5f, 32, 256);
                land = rgb_mix(land, meadow, 0.4f * smoothstep(-0.1f, 0.5f, patch));
                land = rgb_scale(land, 0.9f + 0.22f * grain);
                // Haze thins as the ground comes nearer.
                land = rgb_mix(land, far_hills, 0.3f * (1.0f - depth));
                c = rgb_mix(c, land, near);
            }
            image_put(image, x, y, c, 1.0f, dither_at(x, y, 105));
        }
    }
    return image;
}

MediaImage media_sky_dusk() {
    MediaImage image = image_make(kWidth, kHeight, 3);
    const NoiseTable shape = noise_make(201);
    const NoiseTable warp = noise_make(202);
    const NoiseTable ridges = noise_make(203);
    const std::vector<Rgb> stars = make_stars(204, 1400);

    static const GradientStop kSky[] = {
        {0.0f, {1.0f, 0.66f, 0.34f}},   {0.07f, {0.93f, 0.42f, 0.30f}}, {0.22f, {0.40f, 0.17f, 0.33f}},
        {0.48f, {0.10f, 0.08f, 0.24f}}, {1.0f, {0.015f, 0.02f, 0.08f}},
    };
    const Rgb afterglow = {0.5f, 0.24f, 0.05f};
    const Rgb cloud_dark = {0.10f, 0.07f, 0.15f};
    const Rgb cloud_lit = {1.0f, 0.55f, 0.38f};
    const Rgb far_hills = {0.12f, 0.07f, 0.13f};
    const Rgb near_hills = {0.025f, 0.02f, 0.04f};
    const float sun_azimuth = 0.62f;
    const float evening_star_azimuth = 0.67f;
    const float evening_star_elevation = 0.26f;

    for (int x = 0; x < kWidth; ++x) {
        float a = column_azimuth(x);
        float far_ridge = ridge_height(ridges, a, 0.01f, 0.06f, 0.5f);
        float near_ridge = ridge_height(ridges, a, -0.035f, 0.055f, 9.5f);
        float sun_dx = azimuth_pixels(a, sun_azimuth);
        // The sun has set at sun_azimuth: the sky glows there and is dimmer the other way round.
        float glow_near = halo(sun_dx, 150.0f);
        float glow_wide = halo(sun_dx, 380.0f);
        float star_dx = azimuth_pixels(a, evening_star_azimuth);
        for (int y = 0; y < kHeight; ++y) {
            float h = row_elevation(y);
            float hp = h > 0.0f ? h : 0.0f;
            Rgb c = gradient_at(kSky, 5, hp);
            float low = 1.0f - smoothstep(0.0f, 0.4f, hp);
            c = rgb_scale(c, 1.0f - 0.55f * low * (1.0f - glow_wide));
            c = rgb_add(c, rgb_scale(afterglow, glow_near * low * low));

            float cover = 0.0f;
            if (h > 0.0f) {
                CloudSample s = cloud_sample(shape, warp, a, h, 4, 4.0f);
                cover = smoothstep(0.1f, 0.5f, s.density) * smoothstep(0.0f, 0.1f, h) * 0.9f;
                // Lit from below by the set sun: bright undersides low down and towards the glow.
                float lit = (1.0f - smoothstep(0.02f, 0.55f, h)) * (0.35f + 0.65f * glow_wide);
                lit = clamp01(lit + 1.5f * (s.toward_light - s.density) * lit);
                Rgb cloud = rgb_mix(cloud_dark, cloud_lit, lit);
                c = rgb_mix(c, cloud, cover);
            }

            // Stars come out where the sky is dark enough, behind the clouds.
            float star_vis = smoothstep(0.15f, 0.55f, h) * (1.0f - cover);
            const Rgb& star = stars[static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)];
            c = rgb_add(c, rgb_scale(star, star_vis));
            float sdy = (h - evening_star_elevation) * kHorizonRow;
            float sd = std::sqrt(star_dx * star_dx + sdy * sdy);
            c = rgb_add(c, rgb_scale(Rgb{1.0f, 0.97f, 0.9f},
                                     (1.0f - cover) * (0.9f * halo(sd, 1.3f) + 0.08f * halo(sd, 6.0f))));

            float far = ridge_cover(far_ridge, h);
            if (far > 0.0f) {
                Rgb hill = rgb_add(far_hills, rgb_scale(afterglow, 0.25f * glow_near));
                c = rgb_mix(c, hill, far);
            }
            float near = ridge_cover(near_ridge, h);
            if (near > 0.0f) c = rgb_mix(c, near_hills, near);
            image_put(image, x, y, c, 1.0f, dither_at(x, y, 205));
        }
    }
    return image;
}

MediaImage media_sky_evening() {
    MediaImage image = image_make(kWidth, kHeight, 3);
    const NoiseTable shape = noise_make(401);
    const NoiseTable warp = noise_make(402);
    const NoiseTable haze = noise_make(403);
    // The dome's horizon is its middle row: the top half is the sky, the bottom half the ground
    // under it, which the terrain hides.
    const float horizon = 0.5f * kHeight;
    const std::vector<Rgb> stars = make_stars(404, 700, 0.6f * horizon);

    static const GradientStop kSky[] = {
        {0.0f, {0.42f, 0.36f, 0.56f}},  {0.08f, {0.31f, 0.27f, 0.52f}}, {0.25f, {0.15f, 0.16f, 0.41f}},
        {0.55f, {0.06f, 0.09f, 0.28f}}, {1.0f, {0.02f, 0.04f, 0.15f}},
    };
    const Rgb glow_low = {1.0f, 0.56f, 0.30f};    // just over the point where the sun went down
    const Rgb glow_high = {0.86f, 0.42f, 0.50f};  // rose, fading into the violet
    const Rgb belt = {0.50f, 0.36f, 0.52f};       // the pinkish band over the dark side's horizon
    const Rgb cloud_dark = {0.16f, 0.15f, 0.30f};
    const Rgb cloud_lit = {1.0f, 0.62f, 0.50f};
    const Rgb ground_haze = {0.20f, 0.27f, 0.30f};
    const Rgb ground_deep = {0.04f, 0.08f, 0.08f};
    const float sun_azimuth = 0.25f;

    for (int x = 0; x < kWidth; ++x) {
        float a = column_azimuth(x);
        float sun_dx = azimuth_pixels(a, sun_azimuth);
        float glow_near = halo(sun_dx, 130.0f);
        float glow_wide = halo(sun_dx, 320.0f);
        // 1 straight opposite the glow, 0 at right angles to it and on the glowing side.
        float dark_side = smoothstep(256.0f, 512.0f, sun_dx);
        for (int y = 0; y < kHeight; ++y) {
            float h = row_elevation(y, horizon);
            float hp = h > 0.0f ? h : 0.0f;
            Rgb c = gradient_at(kSky, 5, hp);
            float low = 1.0f - smoothstep(0.0f, 0.45f, hp);
            // The afterglow: orange on the horizon, rose higher up, wider than it is tall.
            Rgb warm = rgb_mix(glow_low, glow_high, smoothstep(0.0f, 0.2f, hp));
            c = rgb_mix(c, warm,
                        clamp01(0.95f * glow_near * low * low + 0.25f * glow_wide * low * low * low));
            // The other way round the sky is dimmer, with a faint rose band over the horizon.
            float band = smoothstep(0.02f, 0.09f, hp) * (1.0f - smoothstep(0.11f, 0.24f, hp));
            c = rgb_scale(c, 1.0f - 0.25f * dark_side * low);
            c = rgb_mix(c, belt, 0.35f * dark_side * band);

            float cover = 0.0f;
            if (h > 0.0f) {
                CloudSample s = cloud_sample(shape, warp, a, h, 8, 3.0f);
                // Thin, broken streaks: only the densest parts of the noise, never thick.
                cover = smoothstep(0.12f, 0.5f, s.density) * smoothstep(0.01f, 0.08f, h) *
                        (1.0f - smoothstep(0.35f, 0.7f, h)) * 0.8f;
                float lit = (1.0f - smoothstep(0.0f, 0.4f, h)) * (0.25f + 0.75f * glow_wide);
                lit = clamp01(lit + 1.5f * (s.toward_light - s.density) * lit);
                Rgb cloud = rgb_mix(cloud_dark, cloud_lit, lit);
                // Far clouds sink into the haze of the horizon.
                cloud = rgb_mix(cloud, c, 0.5f * (1.0f - smoothstep(0.0f, 0.12f, h)));
                c = rgb_mix(c, cloud, cover);
            }

            float star_vis = smoothstep(0.3f, 0.65f, h) * (1.0f - cover);
            const Rgb& star = stars[static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)];
            c = rgb_add(c, rgb_scale(star, 0.8f * star_vis));

            if (h < 0.02f) {
                // Below the horizon: hazy blue-green ground darkening downwards, mist drifting over it.
                float depth = -h;
                float mist = noise_fbm(haze, a * 16.0f, depth * 12.0f, 4, 0.5f, 16, 256);
                Rgb ground = rgb_mix(ground_haze, ground_deep, smoothstep(0.0f, 0.35f, depth));
                ground = rgb_scale(ground, 0.92f + 0.12f * mist);
                ground = rgb_add(
                    ground, rgb_scale(glow_low, 0.12f * glow_near * (1.0f - smoothstep(0.0f, 0.1f, depth))));
                c = rgb_mix(c, ground, smoothstep(0.02f, -0.02f, h));
            }
            image_put(image, x, y, c, 1.0f, dither_at(x, y, 405));
        }
    }
    return image;
}
