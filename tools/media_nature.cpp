// The park's living things and its land: trees, forest strips, leaves, flowers, the lamp cone, the
// sky dome and the terrain's colour, height and grass maps.
// Single-threaded; every maker returns the same pixels on every run.
#include <cmath>

#include "media_catalog.h"
#include "media_nature.h"
#include "media_nature_paint.h"
#include "media_noise.h"
#include "media_textures.h"

namespace {

// Two leaves drifting down: an autumn orange one and a yellow-green one, turned different ways. They
// fill most of the picture: a falling leaf is a small sprite seen from afar, and leaves drawn small in
// it would shrink to specks of a pixel or two.
MediaImage media_falling_leaves() {
    Canvas canvas = canvas_make(64, 64, false);
    const NoiseTable spots = noise_make(701);
    Leaf green = {30.0f, 9.0f, {0.45f, 0.60f, 0.16f}, {0.85f, 0.80f, 0.22f}, {0.62f, 0.66f, 0.30f}};
    Leaf orange = {42.0f, 12.5f, {0.90f, 0.62f, 0.14f}, {0.88f, 0.32f, 0.08f}, {0.96f, 0.78f, 0.40f}};
    paint_leaf(canvas, 30.0f, 32.0f, 0.35f, green, spots);
    paint_leaf(canvas, 12.0f, 50.0f, -0.9f, orange, spots);
    return canvas_image(canvas, 702);
}

// The lamp's light cone: white, brightest at the top row (at the lamp) and fading to nothing at the
// bottom, the same all across a row. The cone is a tapered box whose faces map this picture affinely,
// each as two triangles: anything that changed across a row would be sheared along their diagonals
// into bright spikes, while a fade along v stays a fade down every face.
MediaImage media_light_cone() {
    constexpr int kSize = 128;
    MediaImage image = image_make(kSize, kSize, 4);
    for (int y = 0; y < kSize; ++y) {
        float v = static_cast<float>(y) / (kSize - 1);  // 0 at the lamp, 1 at the bottom row
        float down = 1.0f - v;
        float b = clamp01(down * std::sqrt(down));
        for (int x = 0; x < kSize; ++x) image_put(image, x, y, Rgb{1.0f, 1.0f, 1.0f}, b);
    }
    return image;
}

// One blossom: petals around a centre, lit from the top left.
void paint_blossom(Canvas& canvas, float cx, float cy, float r, int petals, Rgb petal, Rgb centre,
                   float turn) {
    int left = static_cast<int>(std::floor(cx - r - 1.0f)),
        right = static_cast<int>(std::floor(cx + r + 1.0f));
    int top = static_cast<int>(std::floor(cy - r - 1.0f)),
        bottom = static_cast<int>(std::floor(cy + r + 1.0f));
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            float dx = static_cast<float>(x) + 0.5f - cx, dy = static_cast<float>(y) + 0.5f - cy;
            float d = std::sqrt(dx * dx + dy * dy);
            float a = std::atan2(dy, dx) + turn;
            float lobe = std::fabs(std::cos(0.5f * static_cast<float>(petals) * a));
            float rim = r * (0.55f + 0.45f * lobe);
            float cover = clamp01(rim - d + 0.5f);
            if (cover <= 0.0f) continue;
            float t = d / r;
            Rgb c = rgb_scale(petal, 0.75f + 0.35f * t - 0.15f * (dx + dy) / r);
            c = rgb_mix(c, centre, 1.0f - smoothstep(0.22f, 0.34f, t));
            canvas_over(canvas, x, y, c, cover);
        }
    }
}

// A clump of garden flowers: leaves at the foot, stems fanning up, blossoms in three colours.
MediaImage media_flowers() {
    Canvas canvas = canvas_make(64, 128, false);
    const NoiseTable noise = noise_make(721);
    MediaRng rng = rng_seed(722);
    const Rgb kPetals[3] = {{0.92f, 0.16f, 0.14f}, {1.0f, 0.84f, 0.18f}, {0.62f, 0.30f, 0.90f}};
    const Rgb kCentres[3] = {{0.25f, 0.08f, 0.05f}, {0.80f, 0.45f, 0.08f}, {1.0f, 0.88f, 0.35f}};
    Bark stem = {{0.40f, 0.62f, 0.20f}, {0.14f, 0.30f, 0.10f}, &noise, 0.1f};
    struct Bloom {
        float x, y;
    };
    Bloom blooms[7];
    for (int i = 0; i < 7; ++i) {
        float spread = (static_cast<float>(i) - 3.0f) / 3.0f;
        blooms[i] = {32.0f + spread * 20.0f + (rng_unit(rng) - 0.5f) * 6.0f,
                     16.0f + 30.0f * std::fabs(spread) + 18.0f * rng_unit(rng)};
        float mx = 32.0f + spread * 6.0f, my = 90.0f;
        paint_limb(canvas, 32.0f + spread * 3.0f, 129.0f, 1.5f, mx, my, 1.2f, stem);
        paint_limb(canvas, mx, my, 1.2f, blooms[i].x, blooms[i].y, 0.9f, stem);
    }
    Leaf leaf = {30.0f, 4.5f, {0.14f, 0.36f, 0.10f}, {0.34f, 0.58f, 0.18f}, {0.42f, 0.66f, 0.26f}};
    for (int i = 0; i < 6; ++i) {
        float side = (i & 1) ? 1.0f : -1.0f;
        float angle =
            -1.5708f + side * (0.35f + 0.18f * static_cast<float>(i)) + (rng_unit(rng) - 0.5f) * 0.2f;
        Leaf l = leaf;
        l.length *= 0.75f + 0.35f * rng_unit(rng);
        paint_leaf(canvas, 32.0f + side * 2.0f, 124.0f - 3.0f * static_cast<float>(i / 2), angle, l, noise);
    }
    for (int i = 0; i < 7; ++i) {
        int kind = static_cast<int>((static_cast<uint32_t>(i) * 2u + (rng_next(rng) & 1u)) % 3u);
        paint_blossom(canvas, blooms[i].x, blooms[i].y, 6.0f + 2.5f * rng_unit(rng), 5, kPetals[kind],
                      kCentres[kind], rng_unit(rng) * 1.2f);
    }
    return canvas_image(canvas, 723);
}

const MediaFile kNatureFiles[] = {
    {"tex/fa0.png", media_tree, 0, MediaFormat::png},
    {"tex/fa1.png", media_tree, 1, MediaFormat::png},
    {"tex/erdo0.png", [](int) { return media_forest_strip(); }, 0, MediaFormat::png},
    {"tex/leafs.png", [](int) { return media_falling_leaves(); }, 0, MediaFormat::png},
    {"tex/feny1.png", [](int) { return media_light_cone(); }, 0, MediaFormat::png},
    {"tex/pip.png", [](int) { return media_flowers(); }, 0, MediaFormat::png},
    {"tex/egbolt1.jpg", [](int) { return media_sky_evening(); }, 0, MediaFormat::jpg},
    {"tex/hmap.png", [](int) { return media_height_map(); }, 0, MediaFormat::png},
    {"tex/tszin.jpg", [](int) { return media_ground_colours(); }, 0, MediaFormat::jpg},
    {"tex/fu.jpg", [](int) { return media_grass(); }, 0, MediaFormat::jpg},
};

}  // namespace

MediaList media_nature_files() {
    return {kNatureFiles, sizeof kNatureFiles / sizeof kNatureFiles[0]};
}
