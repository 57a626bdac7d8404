// Deterministic randomness for the media generator: a fixed-seed generator and tileable gradient noise.
// Single-threaded. Only +, -, * and exact conversions are used, so results do not vary by machine.
#include "media_noise.h"

namespace {

// Eight unit gradients around the circle; the diagonal ones use 1/sqrt(2) written out, so no library
// trigonometry (which may round differently between C libraries) ever enters the media.
constexpr float kGradients[8][2] = {
    {1.0f, 0.0f},
    {-1.0f, 0.0f},
    {0.0f, 1.0f},
    {0.0f, -1.0f},
    {0.70710678f, 0.70710678f},
    {-0.70710678f, 0.70710678f},
    {0.70710678f, -0.70710678f},
    {-0.70710678f, -0.70710678f},
};

// 2D gradient noise peaks near +-0.7 with unit gradients; this brings it to about +-1.
constexpr float kNoiseScale = 1.4f;

uint64_t mix64(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int floor_to_int(float v) {
    int i = static_cast<int>(v);
    return (v < static_cast<float>(i)) ? i - 1 : i;
}

int wrap(int i, int period) {
    int m = i % period;
    return m < 0 ? m + period : m;
}

// Quintic fade: smooth second derivative, so lit height fields show no lattice creases.
float fade(float t) {
    return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}

float lerp(float a, float b, float t) {
    return a + (b - a) * t;
}

float corner(const NoiseTable& table, int ix, int iy, float dx, float dy) {
    int h = table.perm[(table.perm[ix & 255] + iy) & 255] & 7;
    return kGradients[h][0] * dx + kGradients[h][1] * dy;
}

}  // namespace

MediaRng rng_seed(uint64_t seed) {
    return MediaRng{mix64(seed + 0x9E3779B97F4A7C15ull)};
}

uint32_t rng_next(MediaRng& rng) {
    rng.state += 0x9E3779B97F4A7C15ull;
    return static_cast<uint32_t>(mix64(rng.state) >> 32);
}

float rng_unit(MediaRng& rng) {
    return static_cast<float>(rng_next(rng) >> 8) * (1.0f / 16777216.0f);
}

uint32_t hash_point(int32_t x, int32_t y, uint32_t salt) {
    uint64_t key = (static_cast<uint64_t>(static_cast<uint32_t>(x)) << 32) | static_cast<uint32_t>(y);
    return static_cast<uint32_t>(mix64(key ^ (static_cast<uint64_t>(salt) * 0xD6E8FEB86659FD93ull)) >> 32);
}

float hash_unit(int32_t x, int32_t y, uint32_t salt) {
    return static_cast<float>(hash_point(x, y, salt) >> 8) * (1.0f / 16777216.0f);
}

NoiseTable noise_make(uint64_t seed) {
    NoiseTable table;
    for (int i = 0; i < 256; ++i) table.perm[i] = static_cast<uint8_t>(i);
    MediaRng rng = rng_seed(seed);
    for (int i = 255; i > 0; --i) {  // Fisher-Yates
        int j = static_cast<int>(rng_next(rng) % static_cast<uint32_t>(i + 1));
        uint8_t t = table.perm[i];
        table.perm[i] = table.perm[j];
        table.perm[j] = t;
    }
    return table;
}

float noise_gradient(const NoiseTable& table, float x, float y, int period_x, int period_y) {
    if (period_x < 1) period_x = 1;
    if (period_y < 1) period_y = 1;
    int x0 = floor_to_int(x);
    int y0 = floor_to_int(y);
    float fx = x - static_cast<float>(x0);
    float fy = y - static_cast<float>(y0);
    int ix0 = wrap(x0, period_x);
    int iy0 = wrap(y0, period_y);
    int ix1 = wrap(x0 + 1, period_x);
    int iy1 = wrap(y0 + 1, period_y);
    float n00 = corner(table, ix0, iy0, fx, fy);
    float n10 = corner(table, ix1, iy0, fx - 1.0f, fy);
    float n01 = corner(table, ix0, iy1, fx, fy - 1.0f);
    float n11 = corner(table, ix1, iy1, fx - 1.0f, fy - 1.0f);
    float u = fade(fx);
    float v = fade(fy);
    return kNoiseScale * lerp(lerp(n00, n10, u), lerp(n01, n11, u), v);
}

float noise_fbm(const NoiseTable& table, float x, float y, int octaves, float gain, int period_x,
                int period_y) {
    float sum = 0.0f;
    float norm = 0.0f;
    float amp = 1.0f;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * noise_gradient(table, x, y, period_x, period_y);
        norm += amp;
        amp *= gain;
        x *= 2.0f;
        y *= 2.0f;
        // Past 256 the shuffle itself repeats, and 256 divides every larger power of two.
        if (period_x < 256) period_x *= 2;
        if (period_y < 256) period_y *= 2;
    }
    return norm > 0.0f ? sum / norm : 0.0f;
}
