// The land around the park: the height map with its hills and pond, the colour map that tints the grass
// over it, and the grass itself. Single-threaded.
#include <cmath>
#include <cstdlib>
#include <vector>

#include "media_nature.h"
#include "media_noise.h"

namespace {

constexpr int kGrid = 200;
constexpr float kCentre = 100.0f;  // the park's pixel; world (0, 0)
constexpr float kFlatRadius = 30.0f;
// The pond's hollow, in pixels: world (-38, 28).
constexpr float kPondX = 62.0f;
constexpr float kPondY = 128.0f;
constexpr float kPondRadius = 8.0f;
constexpr float kPondBottom = 120.0f;
constexpr float kWaterLevel = 125.5f;  // height-map units: below this the colour map shows water
// The road's bed: the road (40 x 20 m around the park's pixel, the square standing on it) is a thin slab
// 10 cm over level ground, too little for the depth test to keep its large triangles over the grid's
// near the camera. Under its footprint the height map is lowered by 35 cm, the most one pixel step may
// change (the grid is walked on and lit smoothly); its edge pixels by only 12 cm, so that the grass
// beside the road, where the back row of chairs stands, stays nearly level. Only the height map: the
// colour map keeps reading the level ground, so the pond's water rule does not tint the bed.
constexpr int kRoadHalfX = 20;  // pixels (metres) each side of the park's pixel
constexpr int kRoadHalfZ = 10;
constexpr float kRoadBedDepth = 3.0f;   // height-map units, inside the footprint
constexpr float kRoadEdgeDepth = 1.0f;  // on its edge

// How far the height map is lowered at pixel (x, y) for the road's bed.
float road_bed(int x, int y) {
    const int dx = std::abs(x - static_cast<int>(kCentre)), dz = std::abs(y - static_cast<int>(kCentre));
    if (dx > kRoadHalfX || dz > kRoadHalfZ) return 0.0f;
    return dx == kRoadHalfX || dz == kRoadHalfZ ? kRoadEdgeDepth : kRoadBedDepth;
}

// Height-map units (128 = level) of a grid point. Flat inside the park's disc, then hills rising
// slowly towards the edges with a rolling variation around; the pond hollowed out to the west.
float terrain_height(const NoiseTable& hills, int x, int y) {
    float dx = static_cast<float>(x) - kCentre, dy = static_cast<float>(y) - kCentre;
    float d = std::sqrt(dx * dx + dy * dy);
    if (d <= kFlatRadius) return 128.0f;
    float rise = smoothstep(kFlatRadius, 150.0f, d);
    float roll =
        noise_fbm(hills, static_cast<float>(x) / 40.0f, static_cast<float>(y) / 40.0f, 3, 0.45f, 256, 256);
    float h = 128.0f + 62.0f * rise + 16.0f * smoothstep(kFlatRadius, 80.0f, d) * roll;
    float px = static_cast<float>(x) - kPondX, py = static_cast<float>(y) - kPondY;
    float pd = std::sqrt(px * px + py * py) / kPondRadius;
    // A bowl, eased into the surrounding ground over the rim.
    float bowl = kPondBottom + 8.0f * pd * pd;
    return h + (bowl - h) * smoothstep(1.75f, 1.0f, pd);
}

std::vector<float> height_grid() {
    const NoiseTable hills = noise_make(601);
    std::vector<float> grid(static_cast<size_t>(kGrid) * kGrid);
    for (int y = 0; y < kGrid; ++y)
        for (int x = 0; x < kGrid; ++x)
            grid[static_cast<size_t>(y) * kGrid + static_cast<size_t>(x)] = terrain_height(hills, x, y);
    return grid;
}

// Distance in pixels from a winding footpath that runs from the edge of the grid in along `angle`
// (radians, image x right, y down) to the park's disc; large where the path is not.
float path_distance(const NoiseTable& wind, float angle, float x, float y) {
    float dx = x - kCentre, dy = y - kCentre;
    float along = dx * std::cos(angle) + dy * std::sin(angle);
    if (along < kFlatRadius - 4.0f) return 1e6f;
    float across = -dx * std::sin(angle) + dy * std::cos(angle);
    // The path wanders more the further out it is.
    float wander = 10.0f * smoothstep(kFlatRadius, 80.0f, along) *
                   noise_gradient(wind, along / 30.0f, angle * 5.0f, 256, 256);
    return std::fabs(across - wander);
}

}  // namespace

MediaImage media_height_map() {
    const std::vector<float> grid = height_grid();
    MediaImage image = image_make(kGrid, kGrid, 3);
    for (int y = 0; y < kGrid; ++y) {
        for (int x = 0; x < kGrid; ++x) {
            float h = grid[static_cast<size_t>(y) * kGrid + static_cast<size_t>(x)];
            h = (h - road_bed(x, y)) / 255.0f;
            image_put(image, x, y, Rgb{h, h, h}, 1.0f);
        }
    }
    return image;
}

MediaImage media_ground_colours() {
    const std::vector<float> grid = height_grid();
    const NoiseTable patches = noise_make(611);
    const NoiseTable wind = noise_make(612);
    // Greyed towards the blue of the evening sky: the grass texture's green is tinted, not pushed.
    const Rgb meadow_light = {0.66f, 0.74f, 0.62f};
    const Rgb meadow_dark = {0.54f, 0.62f, 0.54f};
    const Rgb dry = {0.95f, 0.90f, 0.62f};
    const Rgb path = {0.90f, 0.78f, 0.62f};
    const Rgb shore = {0.62f, 0.66f, 0.50f};
    const Rgb water_shallow = {0.50f, 0.68f, 0.90f};
    const Rgb water_deep = {0.30f, 0.48f, 0.85f};
    MediaImage image = image_make(kGrid, kGrid, 3);
    for (int y = 0; y < kGrid; ++y) {
        for (int x = 0; x < kGrid; ++x) {
            float fx = static_cast<float>(x), fy = static_cast<float>(y);
            float h = grid[static_cast<size_t>(y) * kGrid + static_cast<size_t>(x)];
            float n = noise_fbm(patches, fx / 24.0f, fy / 24.0f, 4, 0.5f, 256, 256);
            Rgb c = rgb_mix(meadow_dark, meadow_light, smoothstep(-0.45f, 0.45f, n));
            // Hill tops dry out first.
            float n2 = noise_fbm(patches, fx / 10.0f + 40.0f, fy / 10.0f, 2, 0.5f, 256, 256);
            c = rgb_mix(c, dry, 0.8f * smoothstep(165.0f, 190.0f, h + 12.0f * n2));
            // Two worn paths lead in to the square, from the north-east and from the south.
            float p = std::fmin(path_distance(wind, -0.75f, fx, fy), path_distance(wind, 1.75f, fx, fy));
            float worn = smoothstep(3.2f, 1.4f, p + 0.8f * n2);
            c = rgb_mix(c, path, 0.85f * worn);
            // The pond: a muddy shore, then water deepening to the middle.
            c = rgb_mix(c, shore, smoothstep(kWaterLevel + 2.5f, kWaterLevel, h));
            float water = smoothstep(kWaterLevel + 0.3f, kWaterLevel - 0.5f, h);
            Rgb pond = rgb_mix(water_shallow, water_deep, smoothstep(kWaterLevel, kPondBottom + 1.0f, h));
            c = rgb_mix(c, pond, water);
            image_put(image, x, y, c, 1.0f, hash_unit(x, y, 613) - 0.5f);
        }
    }
    return image;
}

MediaImage media_grass() {
    constexpr int kSize = 256;
    const NoiseTable mottle = noise_make(621);
    const NoiseTable tint = noise_make(622);
    std::vector<Rgb> colour(static_cast<size_t>(kSize) * kSize);
    // The ground under the blades: mottled green with darker hollows, tiling with the picture. The
    // park is only ever seen at dusk, so the greens are dim and greyed, not the midday ones.
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            float u = static_cast<float>(x) / kSize, v = static_cast<float>(y) / kSize;
            float m = noise_fbm(mottle, u * 16.0f, v * 16.0f, 4, 0.5f, 16, 16);
            float t = noise_fbm(tint, u * 8.0f, v * 8.0f, 3, 0.5f, 8, 8);
            Rgb c = rgb_mix(Rgb{0.14f, 0.21f, 0.10f}, Rgb{0.26f, 0.35f, 0.17f}, smoothstep(-0.5f, 0.5f, m));
            c.r += 0.04f * t;
            colour[static_cast<size_t>(y) * kSize + static_cast<size_t>(x)] = c;
        }
    }
    // Blades in tufts: each a tapered stroke leaning away from its tuft's root, darker at the foot,
    // lit towards the tip. Strokes wrap around both edges.
    MediaRng rng = rng_seed(623);
    const int tufts = 700;
    for (int i = 0; i < tufts; ++i) {
        float rx = rng_unit(rng) * kSize, ry = rng_unit(rng) * kSize;
        float hue = rng_unit(rng);
        int blades = 5 + static_cast<int>(rng_next(rng) % 6);
        for (int b = 0; b < blades; ++b) {
            float angle = rng_unit(rng) * 6.2831853f;
            float length = 5.0f + 8.0f * rng_unit(rng);
            float bend = (rng_unit(rng) - 0.5f) * 0.5f;
            float shade = 0.8f + 0.4f * rng_unit(rng);
            Rgb base = rgb_mix(Rgb{0.18f, 0.28f, 0.12f}, Rgb{0.34f, 0.40f, 0.17f}, hue);
            Rgb tip = rgb_mix(Rgb{0.36f, 0.46f, 0.24f}, Rgb{0.50f, 0.52f, 0.30f}, hue);
            int steps = static_cast<int>(length * 2.0f);
            for (int s = 0; s <= steps; ++s) {
                float t = static_cast<float>(s) / static_cast<float>(steps);
                float a = angle + bend * t;
                float px = rx + std::cos(a) * length * t, py = ry + std::sin(a) * length * t;
                float width = 1.1f * (1.0f - 0.7f * t);
                Rgb c = rgb_scale(rgb_mix(base, tip, t), shade);
                // A soft round dab along the stroke, spread over the pixels it touches.
                for (int oy = -1; oy <= 1; ++oy) {
                    for (int ox = -1; ox <= 1; ++ox) {
                        int cx = static_cast<int>(std::floor(px)) + ox;
                        int cy = static_cast<int>(std::floor(py)) + oy;
                        float ddx = static_cast<float>(cx) + 0.5f - px,
                              ddy = static_cast<float>(cy) + 0.5f - py;
                        float cover = clamp01(width - std::sqrt(ddx * ddx + ddy * ddy) + 0.3f) * 0.5f;
                        if (cover <= 0.0f) continue;
                        Rgb& at = colour[static_cast<size_t>((cy + kSize) % kSize) * kSize +
                                         static_cast<size_t>((cx + kSize) % kSize)];
                        at = rgb_mix(at, c, cover);
                    }
                }
            }
        }
    }
    MediaImage image = image_make(kSize, kSize, 3);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            image_put(image, x, y, colour[static_cast<size_t>(y) * kSize + static_cast<size_t>(x)], 1.0f,
                      hash_unit(x, y, 624) - 0.5f);
    return image;
}
