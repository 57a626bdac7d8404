// The park's built things: paving, road, wood, crates, loudspeakers, billboard, house, dust.
// This file holds the lit height field every surface here is drawn on, the ground's surfaces (the
// square's slabs and kerb, the asphalt and its marking) and the group's list of files.
// Single-threaded; every maker returns the same pixels on every run.
#include <cmath>

#include "media_catalog.h"
#include "media_noise.h"
#include "media_scenery.h"

namespace {

constexpr int kSize = 256;

int wrap_index(int i, int n) {
    int m = i % n;
    return m < 0 ? m + n : m;
}

int hold_index(int i, int n) {
    return i < 0 ? 0 : (i >= n ? n - 1 : i);
}

float unit(int pixel) {
    return (static_cast<float>(pixel) + 0.5f) / kSize;
}

// Distance in pixels from a pixel centre to the nearest edge of a cell of `w` x `h` pixels that
// starts at (x0, y0), for a pixel inside it.
float cell_edge(int x, int y, int x0, int y0, int w, int h) {
    float lx = static_cast<float>(x - x0) + 0.5f;
    float ly = static_cast<float>(y - y0) + 0.5f;
    float ex = std::fmin(lx, static_cast<float>(w) - lx);
    float ey = std::fmin(ly, static_cast<float>(h) - ly);
    return std::fmin(ex, ey);
}

// The asphalt as a relief: bitumen between small stones of aggregate (the nearest of a jittered
// point per 4 x 4 pixel cell), worn lighter in broad patches where the stones show, darker where
// fresh binder or oil lies, and a few hairline cracks.
Relief asphalt_relief() {
    constexpr int kCell = 4;
    constexpr int kCells = kSize / kCell;
    const NoiseTable wear = noise_make(611);
    const NoiseTable grain = noise_make(612);
    const NoiseTable cracks = noise_make(613);
    const Rgb binder = {0.15f, 0.15f, 0.16f};
    const Rgb worn = {0.33f, 0.32f, 0.31f};
    Relief r = relief_make(kSize, kSize, true);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            int cx = x / kCell, cy = y / kCell;
            float nearest = 1e9f;
            uint32_t stone = 0;
            for (int oy = -1; oy <= 1; ++oy) {
                for (int ox = -1; ox <= 1; ++ox) {
                    int gx = wrap_index(cx + ox, kCells), gy = wrap_index(cy + oy, kCells);
                    uint32_t h = hash_point(gx, gy, 614);
                    float px = static_cast<float>((cx + ox) * kCell) + kCell * ((h & 255) / 256.0f);
                    float py = static_cast<float>((cy + oy) * kCell) + kCell * (((h >> 8) & 255) / 256.0f);
                    float dx = static_cast<float>(x) + 0.5f - px, dy = static_cast<float>(y) + 0.5f - py;
                    float d = dx * dx + dy * dy;
                    if (d < nearest) {
                        nearest = d;
                        stone = h;
                    }
                }
            }
            float radius = 1.1f + 1.3f * (((stone >> 16) & 255) / 256.0f);
            float in_stone = smoothstep(radius + 0.6f, radius - 0.6f, std::sqrt(nearest));
            float shade = ((stone >> 24) & 255) / 256.0f;
            // Mostly grey stones, some darker basalt, a few warm pebbles.
            Rgb stone_colour = {0.26f + 0.17f * shade, 0.26f + 0.16f * shade, 0.26f + 0.14f * shade};
            if ((stone & 0x30000) == 0) stone_colour = rgb_scale(stone_colour, 0.6f);
            if ((stone & 0xC0000) == 0)
                stone_colour = {stone_colour.r + 0.06f, stone_colour.g + 0.02f, stone_colour.b - 0.02f};

            float u = unit(x), v = unit(y);
            float patch = noise_fbm(wear, u * 4.0f, v * 4.0f, 5, 0.55f, 4, 4);
            float fine = noise_fbm(grain, u * 64.0f, v * 64.0f, 2, 0.5f, 64, 64);
            float worn_amount = smoothstep(0.05f, 0.6f, patch);
            float dark_amount = smoothstep(-0.25f, -0.65f, patch);
            // Stones surface where traffic has worn the binder away.
            float exposed = in_stone * (0.35f + 0.55f * worn_amount);
            Rgb base = rgb_mix(binder, worn, 0.5f * worn_amount);
            base = rgb_scale(base, 1.0f - 0.3f * dark_amount + 0.08f * fine);
            Rgb colour = rgb_mix(base, stone_colour, exposed);

            float crack_line = std::fabs(noise_fbm(cracks, u * 6.0f, v * 6.0f, 4, 0.5f, 8, 8));
            float crack_mask =
                smoothstep(0.2f, 0.45f, noise_fbm(cracks, u * 3.0f + 9.0f, v * 3.0f, 2, 0.5f, 4, 4));
            float crack = smoothstep(0.025f, 0.008f, crack_line) * crack_mask;
            colour = rgb_scale(colour, 1.0f - 0.55f * crack);

            size_t at = relief_index(r, x, y);
            r.albedo[at] = colour;
            r.depth[at] = 0.55f + 0.35f * in_stone + 0.05f * fine - 0.4f * crack;
        }
    }
    return r;
}

constexpr ReliefLight kAsphaltLight = {1.6f, 0.55f, 0.25f, 0.0f, 0.0f};

}  // namespace

Relief relief_make(int width, int height, bool wrap) {
    Relief r;
    r.width = width;
    r.height = height;
    r.wrap = wrap;
    size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    r.depth.assign(count, 0.0f);
    r.albedo.assign(count, Rgb{0.0f, 0.0f, 0.0f});
    return r;
}

size_t relief_index(const Relief& r, int x, int y) {
    int px = r.wrap ? wrap_index(x, r.width) : hold_index(x, r.width);
    int py = r.wrap ? wrap_index(y, r.height) : hold_index(y, r.height);
    return static_cast<size_t>(py) * static_cast<size_t>(r.width) + static_cast<size_t>(px);
}

MediaImage relief_light(const Relief& r, const ReliefLight& light) {
    const float lx = -0.55f, ly = -0.6f, lz = 0.58f;
    const float light_len = std::sqrt(lx * lx + ly * ly + lz * lz);
    const float flat = lz / light_len;
    const float hx = lx / light_len, hy = ly / light_len, hz = lz / light_len + 1.0f;
    const float half_len = std::sqrt(hx * hx + hy * hy + hz * hz);
    constexpr int kShadowReach = 8;  // pixels towards the lamp searched for an occluder
    MediaImage image = image_make(r.width, r.height, 3);
    for (int y = 0; y < r.height; ++y) {
        for (int x = 0; x < r.width; ++x) {
            float h = r.depth[relief_index(r, x, y)];
            float dx =
                (r.depth[relief_index(r, x + 1, y)] - r.depth[relief_index(r, x - 1, y)]) * 0.5f * light.bump;
            float dy =
                (r.depth[relief_index(r, x, y + 1)] - r.depth[relief_index(r, x, y - 1)]) * 0.5f * light.bump;
            float len = std::sqrt(dx * dx + dy * dy + 1.0f);
            float diffuse = (-dx * lx - dy * ly + lz) / (len * light_len);
            float direct = (diffuse > 0.0f ? diffuse : 0.0f) / flat;
            if (light.shadow > 0.0f) {
                float shade = 0.0f;
                for (int s = 1; s <= kShadowReach; ++s) {
                    float above =
                        r.depth[relief_index(r, x - s, y - s)] - light.shadow * static_cast<float>(s);
                    shade = std::fmax(shade, clamp01((above - h) * 4.0f));
                }
                direct *= 1.0f - 0.65f * shade;
            }
            float lit = light.ambient + (1.0f - light.ambient) * direct;
            float occlusion = 1.0f - light.occlusion * (1.0f - clamp01(h));
            Rgb c = rgb_scale(r.albedo[relief_index(r, x, y)], lit * occlusion);
            if (light.gloss > 0.0f) {
                // Blinn's half vector between the lamp and a viewer straight in front.
                float n_dot_h = (-dx * hx - dy * hy + hz) / (len * half_len);
                float sheen = n_dot_h > 0.0f ? n_dot_h : 0.0f;
                sheen *= sheen;
                sheen *= sheen;
                sheen *= sheen;
                sheen *= sheen;  // a sixteenth power: a broad sheen, not a pin-point
                float s = light.gloss * sheen * direct;
                c = rgb_add(c, Rgb{s, s, s});
            }
            image_put(image, x, y, c, 1.0f, hash_unit(x, y, 699) - 0.5f);
        }
    }
    return image;
}

MediaImage media_paving() {
    constexpr int kSlab = 64;    // four by four square slabs
    constexpr int kOffset = 32;  // joints away from the wrap, where a seam would hide them
    constexpr float kJoint = 0.9f;
    constexpr float kBevel = 2.0f;
    const NoiseTable grain = noise_make(601);
    const NoiseTable stains = noise_make(602);
    const NoiseTable chips = noise_make(603);
    const Rgb stone = {0.74f, 0.70f, 0.64f};
    const Rgb joint = {0.47f, 0.44f, 0.40f};  // sand swept into the joints
    Relief r = relief_make(kSize, kSize, true);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            int ox = (x + kOffset) % kSize, oy = (y + kOffset) % kSize;
            int sx = ox / kSlab, sy = oy / kSlab;
            float u = unit(x), v = unit(y);
            float chip = noise_fbm(chips, u * 32.0f, v * 32.0f, 3, 0.5f, 32, 32);
            float edge = cell_edge(ox, oy, sx * kSlab, sy * kSlab, kSlab, kSlab);
            float inside = edge - kJoint + 0.9f * chip;
            float face = smoothstep(0.0f, kBevel, inside);
            float fine = noise_fbm(grain, u * 64.0f, v * 64.0f, 3, 0.5f, 64, 64);
            float stain = noise_fbm(stains, u * 4.0f, v * 4.0f, 5, 0.55f, 4, 4);
            float speck =
                smoothstep(0.35f, 0.6f, noise_fbm(grain, u * 128.0f + 3.0f, v * 128.0f, 1, 0.5f, 128, 128));

            // Each slab its own shade and tint; dirt gathers along the joints and in soft stains.
            float tone = hash_unit(sx, sy, 604);
            float tint = hash_unit(sx, sy, 605) - 0.5f;
            Rgb c = rgb_scale(stone, 0.9f + 0.1f * tone);
            c.r += 0.035f * tint;
            c.b -= 0.03f * tint;
            c = rgb_scale(c, 1.0f - 0.08f * smoothstep(12.0f, 2.0f, edge) + 0.04f * fine);
            c = rgb_scale(c, 1.0f - 0.16f * smoothstep(0.1f, 0.7f, stain) + 0.05f * stain);
            c = rgb_scale(c, 1.0f - 0.08f * speck);
            Rgb gap = rgb_scale(joint, 0.9f + 0.2f * fine);

            size_t at = relief_index(r, x, y);
            r.albedo[at] = rgb_mix(gap, c, face);
            r.depth[at] = face * (0.92f + 0.04f * fine) - 0.04f * speck * face;
        }
    }
    return relief_light(r, {2.4f, 0.45f, 0.3f, 0.25f, 0.0f});
}

MediaImage media_kerb() {
    constexpr int kCourse = 64;  // four courses of blocks of uneven length
    constexpr int kCourses = kSize / kCourse;
    constexpr float kJoint = 1.8f;
    const NoiseTable grain = noise_make(621);
    const NoiseTable chisel = noise_make(622);
    const NoiseTable stains = noise_make(623);
    const Rgb stone = {0.42f, 0.41f, 0.39f};
    const Rgb mortar = {0.33f, 0.32f, 0.30f};

    // Block boundaries per course, from a random start, wrapping round the texture.
    int starts[kCourses][6];
    int counts[kCourses];
    for (int c = 0; c < kCourses; ++c) {
        MediaRng rng = rng_seed(624 + static_cast<uint64_t>(c));
        int at = static_cast<int>(rng_unit(rng) * kSize);
        int n = 0;
        int end = at + kSize;
        while (n < 6) {
            starts[c][n++] = at;
            int w = 72 + static_cast<int>(rng_unit(rng) * 64.0f);
            if (at + w > end - 56) break;  // the last block takes what is left
            at += w;
        }
        counts[c] = n;
    }

    Relief r = relief_make(kSize, kSize, true);
    for (int y = 0; y < kSize; ++y) {
        int c = y / kCourse;
        for (int x = 0; x < kSize; ++x) {
            // The block holding x: shift x into the course's range [start, start + kSize).
            int px = x < starts[c][0] ? x + kSize : x;
            int b = counts[c] - 1;
            while (b > 0 && px < starts[c][b]) --b;
            int x0 = starts[c][b];
            int x1 = b + 1 < counts[c] ? starts[c][b + 1] : starts[c][0] + kSize;
            float edge = cell_edge(px, y, x0, c * kCourse, x1 - x0, kCourse);

            float u = unit(x), v = unit(y);
            float fine = noise_fbm(grain, u * 64.0f, v * 64.0f, 3, 0.5f, 64, 64);
            float rough = noise_fbm(chisel, u * 16.0f, v * 16.0f, 4, 0.6f, 16, 16);
            float stain = noise_fbm(stains, u * 4.0f, v * 4.0f, 4, 0.55f, 4, 4);
            float face = smoothstep(0.0f, 4.0f, edge - kJoint + 2.0f * rough);

            float tone = hash_unit(b, c, 625);
            float tint = hash_unit(b, c, 626) - 0.5f;
            Rgb col = rgb_scale(stone, 0.85f + 0.25f * tone + 0.12f * rough + 0.05f * fine);
            col.r += 0.03f * tint;
            col.b -= 0.03f * tint;
            col = rgb_scale(col, 1.0f - 0.15f * smoothstep(0.0f, 0.6f, stain));
            // Granite: a scatter of dark and light grains.
            float dark = smoothstep(0.3f, 0.55f, fine);
            float light = smoothstep(-0.35f, -0.6f, fine);
            col = rgb_scale(col, 1.0f - 0.25f * dark + 0.18f * light);

            size_t at = relief_index(r, x, y);
            r.albedo[at] = rgb_mix(rgb_scale(mortar, 0.9f + 0.2f * fine), col, face);
            // Pillowed faces: highest in the middle, rounding off towards the joints.
            r.depth[at] = face * (0.7f + 0.3f * smoothstep(0.0f, 18.0f, edge) + 0.2f * rough);
        }
    }
    return relief_light(r, {2.6f, 0.4f, 0.35f, 0.2f, 0.0f});
}

MediaImage media_asphalt() {
    return relief_light(asphalt_relief(), kAsphaltLight);
}

MediaImage media_road_marking() {
    constexpr float kCentre = 128.0f;    // the stripe's middle row
    constexpr float kHalfWidth = 13.0f;  // pixels each side of it
    constexpr float kDashStart = 40.0f;  // one dash per tile; the gap spans the wrap
    constexpr float kDashEnd = 216.0f;
    const NoiseTable wear = noise_make(631);
    const NoiseTable edge_noise = noise_make(632);
    const Rgb paint = {0.88f, 0.87f, 0.82f};
    Relief r = asphalt_relief();
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            float u = unit(x), v = unit(y);
            float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
            float wobble = 1.2f * noise_fbm(edge_noise, u * 16.0f, v * 16.0f, 3, 0.5f, 16, 16);
            float across = kHalfWidth - std::fabs(py - kCentre) + wobble;
            float along = std::fmin(px - kDashStart, kDashEnd - px) + 2.0f * wobble;
            float cover = smoothstep(-0.6f, 0.8f, across) * smoothstep(-0.6f, 0.8f, along);
            // Worn through in patches and where the tyres run, most at the dash's ends.
            float worn = noise_fbm(wear, u * 8.0f, v * 8.0f, 5, 0.6f, 8, 8);
            float end_wear = 0.35f * smoothstep(30.0f, 0.0f, along);
            cover *= 0.35f + 0.65f * smoothstep(0.45f, 0.15f, worn + end_wear);
            size_t at = relief_index(r, x, y);
            // Thin paint: the stones' relief shows through and their tops lose it first.
            float tops = clamp01((r.depth[at] - 0.8f) * 4.0f);
            cover *= 1.0f - 0.45f * tops;
            Rgb painted = rgb_scale(paint, 0.82f + 0.18f * (1.0f - worn));
            r.albedo[at] = rgb_mix(r.albedo[at], painted, cover * 0.95f);
            r.depth[at] += 0.06f * cover;
        }
    }
    return relief_light(r, kAsphaltLight);
}

namespace {

const MediaFile kSceneryFiles[] = {
    {"tex/floor1.jpg", [](int) { return media_paving(); }, 0, MediaFormat::jpg},
    {"tex/floor2.jpg", [](int) { return media_kerb(); }, 0, MediaFormat::jpg},
    {"tex/aszfalt1.jpg", [](int) { return media_asphalt(); }, 0, MediaFormat::jpg},
    {"tex/aszfaltcsik.jpg", [](int) { return media_road_marking(); }, 0, MediaFormat::jpg},
    {"tex/gerenda1.jpg", [](int) { return media_beams(); }, 0, MediaFormat::jpg},
    {"tex/box1.jpg", [](int) { return media_crate(); }, 0, MediaFormat::jpg},
    {"tex/box5.jpg", [](int) { return media_cabinet(); }, 0, MediaFormat::jpg},
    {"tex/speaker1.png", [](int) { return media_speaker_front(); }, 0, MediaFormat::png},
    {"tex/mh2.jpg", [](int) { return media_poster(); }, 0, MediaFormat::jpg},
    {"tex/rhaz1.png", [](int) { return media_house(); }, 0, MediaFormat::png},
    {"effect_dust.png", [](int) { return media_dust(); }, 0, MediaFormat::png},
};

}  // namespace

MediaList media_scenery_files() {
    return {kSceneryFiles, sizeof kSceneryFiles / sizeof kSceneryFiles[0]};
}
