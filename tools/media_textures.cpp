// The small textures: a tiling block wall, the glowing ball and the spark sprites.
// Single-threaded.
#include <cmath>
#include <vector>

#include "media_catalog.h"
#include "media_noise.h"
#include "media_textures.h"

namespace {

constexpr int kWallSize = 256;
// Blocks twice as wide as high, every other course shifted by half a block; both sizes divide the
// texture so that courses and joints carry on across every edge.
constexpr int kBlockWidth = 64;
constexpr int kBlockHeight = 32;
constexpr float kJointHalfWidth = 1.6f;  // pixels of mortar on each side of a joint line
constexpr float kBevel = 3.5f;           // pixels over which a block's edge rounds off

struct BlockSpot {
    int column;      // block index within its course, 0 at the course's shifted start
    int course;      // course index, 0 at the top
    float edge;      // pixels to the nearest joint line
    float from_top;  // 0 at the block's top edge, 1 at its bottom edge
};

BlockSpot block_at(int x, int y) {
    BlockSpot s;
    s.course = y / kBlockHeight;
    int shift = (s.course & 1) * (kBlockWidth / 2);
    int bx = (x - shift + kWallSize) % kWallSize;
    s.column = bx / kBlockWidth;
    float lx = static_cast<float>(bx % kBlockWidth) + 0.5f;
    float ly = static_cast<float>(y % kBlockHeight) + 0.5f;
    float ex = lx < kBlockWidth - lx ? lx : kBlockWidth - lx;
    float ey = ly < kBlockHeight - ly ? ly : kBlockHeight - ly;
    s.edge = ex < ey ? ex : ey;
    s.from_top = ly / kBlockHeight;
    return s;
}

size_t wall_index(int x, int y) {
    return static_cast<size_t>((y + kWallSize) % kWallSize) * kWallSize +
           static_cast<size_t>((x + kWallSize) % kWallSize);
}

// Sprite pixel centre in -1..1 coordinates, (0, 0) in the middle of the image.
float sprite_coord(int i, int size) {
    return (static_cast<float>(i) + 0.5f) * 2.0f / static_cast<float>(size) - 1.0f;
}

// (1 - r^2)^n clipped at r = 1: a bell that reaches exactly zero at the rim, so the sprite's
// alpha is 0 at the edges without a cut-off step.
float bell(float r2, int n) {
    float b = 1.0f - r2;
    if (b <= 0.0f) return 0.0f;
    float v = 1.0f;
    for (int i = 0; i < n; ++i) v *= b;
    return v;
}

}  // namespace

MediaImage media_wall() {
    const NoiseTable grain = noise_make(301);
    const NoiseTable chips = noise_make(302);
    const NoiseTable stains = noise_make(303);
    const size_t count = static_cast<size_t>(kWallSize) * kWallSize;
    std::vector<float> height(count);
    std::vector<Rgb> albedo(count);

    const Rgb stone = {0.60f, 0.54f, 0.46f};
    const Rgb mortar = {0.50f, 0.47f, 0.43f};
    for (int y = 0; y < kWallSize; ++y) {
        for (int x = 0; x < kWallSize; ++x) {
            float u = static_cast<float>(x) / kWallSize;
            float v = static_cast<float>(y) / kWallSize;
            BlockSpot b = block_at(x, y);
            // Chipped edges: the joint line wanders by a pixel or two.
            float chip = noise_fbm(chips, u * 32.0f, v * 32.0f, 3, 0.5f, 32, 32);
            float inside = b.edge - kJointHalfWidth + 1.4f * chip;
            float fine = noise_fbm(grain, u * 64.0f, v * 64.0f, 4, 0.5f, 64, 64);
            float coarse = noise_fbm(stains, u * 8.0f, v * 8.0f, 5, 0.55f, 8, 8);
            float block = smoothstep(0.0f, kBevel, inside);

            // Each block its own shade and tint, a little darker towards its foot where dirt settles.
            float tone = hash_unit(b.column, b.course, 304);
            float tint = hash_unit(b.column, b.course, 305) - 0.5f;
            Rgb face = rgb_scale(stone, 0.8f + 0.32f * tone + 0.12f * coarse);
            face.r += 0.05f * tint;
            face.b -= 0.04f * tint;
            face = rgb_scale(face, 1.0f - 0.1f * b.from_top * b.from_top + 0.08f * fine);
            Rgb joint = rgb_scale(mortar, 0.9f + 0.15f * fine);
            // Pits: scattered dark specks on the faces, where two octaves of fine noise peak together.
            float pit =
                smoothstep(0.5f, 0.7f, noise_fbm(chips, u * 128.0f + 7.0f, v * 128.0f, 2, 0.6f, 128, 128));

            size_t at = wall_index(x, y);
            albedo[at] = rgb_mix(joint, rgb_scale(face, 1.0f - 0.35f * pit), block);
            height[at] = block * (0.85f + 0.18f * coarse) + 0.07f * fine - 0.25f * pit * block;
        }
    }

    // Light from the top left and a little in front; the face's own shade is what a flat
    // surface gets, so raised bevels catch light and lower ones fall into shadow.
    const float lx = -0.55f, ly = -0.6f, lz = 0.58f;
    const float light_len = std::sqrt(lx * lx + ly * ly + lz * lz);
    const float bump = 3.2f;  // height units to pixels of slope
    MediaImage image = image_make(kWallSize, kWallSize, 3);
    for (int y = 0; y < kWallSize; ++y) {
        for (int x = 0; x < kWallSize; ++x) {
            float dx = (height[wall_index(x + 1, y)] - height[wall_index(x - 1, y)]) * 0.5f * bump;
            float dy = (height[wall_index(x, y + 1)] - height[wall_index(x, y - 1)]) * 0.5f * bump;
            float len = std::sqrt(dx * dx + dy * dy + 1.0f);
            float diffuse = (-dx * lx - dy * ly + lz) / (len * light_len);
            float flat = lz / light_len;
            float light = 0.3f + 0.7f * (diffuse > 0.0f ? diffuse : 0.0f) / flat;
            // Mortar sits back in the joint and gets less light from any side.
            float occlusion = 0.78f + 0.22f * height[wall_index(x, y)];
            image_put(image, x, y, rgb_scale(albedo[wall_index(x, y)], light * occlusion), 1.0f);
        }
    }
    return image;
}

MediaImage media_ball() {
    constexpr int kSize = 128;
    MediaImage image = image_make(kSize, kSize, 4);
    const Rgb halo = {0.35f, 0.62f, 1.0f};
    const Rgb core = {0.82f, 0.93f, 1.0f};
    const Rgb hot = {1.0f, 1.0f, 1.0f};
    constexpr float kCoreRadius = 0.4f;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            float px = sprite_coord(x, kSize);
            float py = sprite_coord(y, kSize);
            float r2 = px * px + py * py;
            float r = std::sqrt(r2);
            float glow = 0.85f * bell(r2, 3) + 0.15f * bell(r2, 1);
            float body = smoothstep(kCoreRadius + 0.03f, kCoreRadius - 0.03f, r);
            // A sphere lit from the top left: its highlight, brightest off-centre.
            float hx = px + 0.14f, hy = py + 0.16f;
            float highlight = bell((hx * hx + hy * hy) / (0.3f * 0.3f), 2);
            Rgb c = rgb_mix(halo, core, body);
            c = rgb_mix(c, hot, highlight * body);
            float alpha = clamp01(glow + body);
            image_put(image, x, y, c, alpha);
        }
    }
    return image;
}

MediaImage media_spark() {
    constexpr int kSize = 64;
    MediaImage image = image_make(kSize, kSize, 4);
    const Rgb ember = {1.0f, 0.55f, 0.15f};
    const Rgb flame = {1.0f, 0.86f, 0.45f};
    const Rgb white = {1.0f, 1.0f, 0.96f};
    constexpr float kDiagonal = 0.70710678f;  // 1/sqrt(2): the diagonal rays' axes
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            float px = sprite_coord(x, kSize);
            float py = sprite_coord(y, kSize);
            float r2 = px * px + py * py;
            float ax = std::fabs(px), ay = std::fabs(py);
            float du = std::fabs((px + py) * kDiagonal), dv = std::fabs((px - py) * kDiagonal);
            // A ray is brightest on its axis and narrows and fades towards its tip.
            auto ray = [](float along, float across, float length, float width) {
                float t = 1.0f - along / length;
                if (t <= 0.0f) return 0.0f;
                float w = width * t;
                float side = 1.0f - across / w;
                if (side <= 0.0f) return 0.0f;
                return t * side * side;
            };
            float rays = ray(ax, ay, 1.0f, 0.16f) + ray(ay, ax, 1.0f, 0.16f);
            rays = rays > 1.0f ? 1.0f : rays;
            float diagonals = ray(du, dv, 0.62f, 0.12f) + ray(dv, du, 0.62f, 0.12f);
            diagonals = diagonals > 1.0f ? 1.0f : diagonals;
            float centre = bell(r2 / (0.24f * 0.24f), 2);
            float glow = bell(r2 / (0.75f * 0.75f), 3);
            float intensity = clamp01(centre + 0.9f * rays + 0.7f * diagonals + 0.35f * glow);
            Rgb c = rgb_mix(ember, flame, smoothstep(0.1f, 0.5f, intensity));
            c = rgb_mix(c, white, smoothstep(0.6f, 1.0f, intensity));
            image_put(image, x, y, c, intensity);
        }
    }
    return image;
}

namespace {

// In the start-up preload order.
const MediaFile kStartFiles[] = {
    {"tex/egbolt2.jpg", [](int) { return media_sky_day(); }, 0, MediaFormat::jpg},
    {"tex/fal1.png", [](int) { return media_wall(); }, 0, MediaFormat::png},
    {"tex/gomb.png", [](int) { return media_ball(); }, 0, MediaFormat::png},
    {"tex/szikra1.png", [](int) { return media_spark(); }, 0, MediaFormat::png},
    {"tex/egbolt3.jpg", [](int) { return media_sky_dusk(); }, 0, MediaFormat::jpg},
};

}  // namespace

MediaList media_start_files() {
    return {kStartFiles, sizeof kStartFiles / sizeof kStartFiles[0]};
}
