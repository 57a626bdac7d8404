// The town house behind the square, 16 x 8 m on a 512 x 256 picture (32 pixels a metre): a two-storey
// plastered facade under a hipped tile roof, seen straight on at dusk, with some rooms lit.
// Single-threaded.
#include <cmath>

#include "media_noise.h"
#include "media_scenery.h"

namespace {

constexpr int kWidth = 512, kHeight = 256;
// Roof: a trapezoid from the eaves up to the ridge.
constexpr float kRidge = 24.0f, kEaves = 84.0f;
constexpr float kRidgeLeft = 100.0f, kRidgeRight = 412.0f;
constexpr float kEavesLeft = 10.0f, kEavesRight = 502.0f;
// Facade and its bands.
constexpr float kWallLeft = 24.0f, kWallRight = 488.0f, kWallTop = 88.0f;
constexpr float kStringCourse = 166.0f;  // the band between the storeys
constexpr float kPlinth = 232.0f;
constexpr float kQuoin = 20.0f;  // width of the corner stones
// Chimney through the roof's right slope.
constexpr float kChimneyLeft = 338.0f, kChimneyRight = 362.0f, kChimneyTop = 6.0f;

struct Window {
    float x0, y0, x1, y1;
    bool lit;
    bool shutters;
};

// Upstairs six, downstairs four beside the door; the lit rooms are chosen for a lived-in look.
const Window kWindows[] = {
    {46, 102, 80, 154, false, true},   {123, 102, 157, 154, true, true},   {200, 102, 234, 154, false, true},
    {278, 102, 312, 154, true, true},  {355, 102, 389, 154, true, true},   {432, 102, 466, 154, false, true},
    {46, 182, 80, 226, true, false},   {123, 182, 157, 226, false, false}, {355, 182, 389, 226, false, false},
    {432, 182, 466, 226, true, false},
};

constexpr float kDoorLeft = 236.0f, kDoorRight = 276.0f, kDoorTop = 178.0f, kDoorBottom = 250.0f;
constexpr float kLampX = 292.0f, kLampY = 190.0f;

const Rgb kPlaster = {0.80f, 0.67f, 0.50f};
const Rgb kTrim = {0.90f, 0.85f, 0.75f};
const Rgb kStone = {0.50f, 0.48f, 0.45f};
const Rgb kWarmLight = {1.0f, 0.74f, 0.40f};

float centre_of(int pixel) {
    return static_cast<float>(pixel) + 0.5f;
}

float inside(float d) {
    return clamp01(0.5f - d);
}

// Signed distance (pixels) to an axis-aligned box, negative inside.
float box(float px, float py, float x0, float y0, float x1, float y1) {
    return std::fmax(std::fmax(x0 - px, px - x1), std::fmax(y0 - py, py - y1));
}

// The hip lines' x at a row of the roof.
float hip_left(float py) {
    return kEavesLeft + (kEaves - py) / (kEaves - kRidge) * (kRidgeLeft - kEavesLeft);
}

float hip_right(float py) {
    return kEavesRight - (kEaves - py) / (kEaves - kRidge) * (kEavesRight - kRidgeRight);
}

// Rows of round clay tiles, each a barrel that catches the light on its crown, darker where the row
// above overlaps it; ridge and hip lines capped with lighter tiles.
Rgb roof_at(float px, float py, const NoiseTable& moss) {
    constexpr float kRow = 7.0f, kTile = 11.0f;
    float rowf = (py - kRidge) / kRow;
    int row = static_cast<int>(std::floor(rowf));
    float ly = rowf - static_cast<float>(row);
    float shift = (row & 1) ? kTile * 0.5f : 0.0f;
    float colf = (px + shift) / kTile;
    int col = static_cast<int>(std::floor(colf));
    float lx = colf - static_cast<float>(col);
    float barrel = 1.0f - (2.0f * lx - 1.0f) * (2.0f * lx - 1.0f);
    float tone = 0.82f + 0.3f * hash_unit(col, row, 731);
    float shade = (0.55f + 0.45f * smoothstep(0.0f, 0.45f, ly)) * (0.7f + 0.3f * barrel);
    Rgb c = rgb_scale(Rgb{0.60f, 0.26f, 0.16f}, tone * shade);
    float m = noise_fbm(moss, px / 32.0f, py / 32.0f, 4, 0.5f, 16, 16);
    c = rgb_mix(c, Rgb{0.30f, 0.28f, 0.20f}, 0.35f * smoothstep(0.1f, 0.6f, m));
    // The dusk sky's cool light on the upper rows.
    c = rgb_mix(c, Rgb{0.36f, 0.32f, 0.42f}, 0.25f * smoothstep(kEaves, kRidge, py));

    float to_hip = std::fmin(px - hip_left(py), hip_right(py) - px) * 0.82f;
    float cap = std::fmin(to_hip, py - kRidge);
    float cap_shade = 0.75f + 0.25f * std::sin(std::fmin(cap, 6.0f) * 0.52f);
    Rgb cap_colour = rgb_scale(Rgb{0.55f, 0.27f, 0.18f}, cap_shade);
    return rgb_mix(c, cap_colour, inside(cap - 5.5f));
}

Rgb chimney_at(float px, float py) {
    if (py < kChimneyTop + 6.0f) {
        // A concrete cap, lit on top, shadowed beneath.
        float s = py < kChimneyTop + 2.0f ? 1.0f : 0.7f;
        return rgb_scale(Rgb{0.55f, 0.53f, 0.52f}, s);
    }
    constexpr float kCourse = 5.0f, kBrick = 12.0f;
    int course = static_cast<int>((py - kChimneyTop) / kCourse);
    float shift = (course & 1) ? kBrick * 0.5f : 0.0f;
    float lx = std::fmod(px - kChimneyLeft + shift, kBrick);
    float ly = std::fmod(py - kChimneyTop, kCourse);
    bool mortar = lx < 1.0f || ly < 1.0f;
    float tone = 0.8f + 0.3f * hash_unit(static_cast<int>((px - kChimneyLeft + shift) / kBrick), course, 732);
    Rgb c = mortar ? Rgb{0.42f, 0.40f, 0.38f} : rgb_scale(Rgb{0.50f, 0.22f, 0.15f}, tone);
    // Rounded a little: the right side turns away from the light.
    float t = (px - kChimneyLeft) / (kChimneyRight - kChimneyLeft);
    return rgb_scale(c, 1.05f - 0.35f * t * t);
}

// The glass of a window: the dusk sky reflected in dark panes, or a warm room behind curtains.
Rgb glass_at(const Window& w, float px, float py) {
    float u = (px - w.x0) / (w.x1 - w.x0), v = (py - w.y0) / (w.y1 - w.y0);
    if (!w.lit) {
        Rgb c = rgb_mix(Rgb{0.24f, 0.28f, 0.40f}, Rgb{0.08f, 0.10f, 0.16f}, v);
        float streak = inside(std::fabs(u * 1.4f + v - 0.7f) * 18.0f - 1.5f);
        return rgb_add(c, rgb_scale(Rgb{0.3f, 0.32f, 0.4f}, 0.5f * streak));
    }
    float cx = u - 0.5f, cy = v - 0.45f;
    float glow = 1.0f / (1.0f + (cx * cx + cy * cy) * 6.0f);
    Rgb c = rgb_mix(Rgb{0.80f, 0.42f, 0.18f}, Rgb{1.0f, 0.90f, 0.62f}, glow);
    // Curtains drawn to the sides, their folds catching the lamp light.
    float side = std::fmin(u, 1.0f - u);
    float curtain = inside((side - 0.2f - 0.04f * v) * 40.0f);
    float folds = 0.8f + 0.2f * std::sin(px * 1.3f);
    return rgb_mix(c, rgb_scale(Rgb{0.78f, 0.40f, 0.22f}, folds), curtain);
}

// A window with its frame, stucco surround, hood, sill and shutters; `found` is false when the pixel
// is on none of them.
Rgb window_at(const Window& w, float px, float py, bool& found) {
    found = true;
    // Frame and glazing bars: white-painted wood.
    float glass = box(px, py, w.x0 + 3.0f, w.y0 + 3.0f, w.x1 - 3.0f, w.y1 - 3.0f);
    float mid = 0.5f * (w.x0 + w.x1), transom = w.y0 + 0.32f * (w.y1 - w.y0);
    bool bar = std::fabs(px - mid) < 1.2f || std::fabs(py - transom) < 1.2f;
    if (glass < 0.0f && !bar) return glass_at(w, px, py);
    if (box(px, py, w.x0, w.y0, w.x1, w.y1) < 0.0f) {
        float s = (px < w.x0 + 2.0f || py < w.y0 + 2.0f) ? 0.8f : 1.0f;
        return rgb_scale(Rgb{0.86f, 0.85f, 0.80f}, s);
    }
    // The sill: a stone ledge, lit on top.
    if (box(px, py, w.x0 - 6.0f, w.y1, w.x1 + 6.0f, w.y1 + 5.0f) < 0.0f) {
        return rgb_scale(kTrim, py < w.y1 + 1.5f ? 1.08f : 0.82f);
    }
    // The hood above: a moulding with a shadow below it.
    if (box(px, py, w.x0 - 8.0f, w.y0 - 12.0f, w.x1 + 8.0f, w.y0 - 6.0f) < 0.0f) {
        return rgb_scale(kTrim, py < w.y0 - 10.0f ? 1.08f : 0.95f);
    }
    if (box(px, py, w.x0 - 5.0f, w.y0 - 6.0f, w.x1 + 5.0f, w.y1) < 0.0f) {
        float s = py < w.y0 - 4.0f ? 0.72f : 1.0f;  // the hood's shadow
        return rgb_scale(kTrim, 0.96f * s);
    }
    if (w.shutters) {
        float left = box(px, py, w.x0 - 21.0f, w.y0, w.x0 - 6.0f, w.y1);
        float right = box(px, py, w.x1 + 6.0f, w.y0, w.x1 + 21.0f, w.y1);
        if (left < 0.0f || right < 0.0f) {
            float edge = -std::fmin(left, right);
            float slat = std::fmod(py - w.y0, 4.0f) < 1.2f ? 0.65f : 1.0f;
            float frame = edge < 2.0f ? 0.8f : slat;
            return rgb_scale(Rgb{0.24f, 0.36f, 0.30f}, frame);
        }
    }
    found = false;
    return Rgb{0.0f, 0.0f, 0.0f};
}

Rgb door_at(float px, float py, bool& found) {
    found = true;
    // The step below the door.
    if (box(px, py, kDoorLeft - 10.0f, kDoorBottom, kDoorRight + 10.0f, kHeight) < 0.0f) {
        return rgb_scale(kStone, py < kDoorBottom + 1.5f ? 1.2f : 0.95f);
    }
    float leaf = box(px, py, kDoorLeft, kDoorTop, kDoorRight, kDoorBottom);
    if (leaf < 0.0f) {
        // A fanlight lit from the hall, then the door's leaf with four sunk panels.
        if (py < kDoorTop + 14.0f) {
            if (py > kDoorTop + 11.0f || std::fmod(px - kDoorLeft, 10.0f) < 1.2f)
                return Rgb{0.86f, 0.85f, 0.80f};
            return rgb_mix(kWarmLight, Rgb{1.0f, 0.9f, 0.65f}, 0.5f);
        }
        Rgb wood = {0.32f, 0.17f, 0.10f};
        float mid = 0.5f * (kDoorLeft + kDoorRight);
        float half = (kDoorBottom - kDoorTop - 14.0f) * 0.5f;
        float row_top = py < kDoorTop + 14.0f + half ? kDoorTop + 14.0f : kDoorTop + 14.0f + half;
        float col_left = px < mid ? kDoorLeft : mid;
        float panel = box(px, py, col_left + 5.0f, row_top + 5.0f, col_left + 15.0f, row_top + half - 5.0f);
        if (panel < 0.0f) {
            // Sunk: shadow on the top and left inner edges.
            float s = (panel > -2.0f && (py < row_top + 7.0f || px < col_left + 7.0f)) ? 0.6f : 0.9f;
            wood = rgb_scale(wood, s);
        }
        float handle = std::hypot(px - (mid + 13.0f), py - (kDoorTop + 46.0f)) - 2.0f;
        return rgb_mix(wood, Rgb{0.85f, 0.68f, 0.32f}, inside(handle));
    }
    if (box(px, py, kDoorLeft - 6.0f, kDoorTop - 6.0f, kDoorRight + 6.0f, kDoorBottom) < 0.0f) {
        return rgb_scale(kTrim, py < kDoorTop - 4.0f ? 1.05f : 0.9f);
    }
    found = false;
    return Rgb{0.0f, 0.0f, 0.0f};
}

}  // namespace

MediaImage media_house() {
    const NoiseTable blotch = noise_make(741);
    const NoiseTable grain = noise_make(742);
    const NoiseTable moss = noise_make(743);
    MediaImage image = image_make(kWidth, kHeight, 4);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            float px = centre_of(x), py = centre_of(y);
            float u = px / kWidth, v = py / kHeight;

            // Behind everything: the roof, then the chimney standing out of it.
            float roof = std::fmax(std::fmax(kRidge - py, py - kEaves),
                                   std::fmax((hip_left(py) - px) * 0.82f, (px - hip_right(py)) * 0.82f));
            Rgb c = roof_at(px, py, moss);
            float alpha = inside(roof);
            float chimney = box(px, py, kChimneyLeft, kChimneyTop + 6.0f, kChimneyRight, 60.0f);
            chimney = std::fmin(chimney, box(px, py, kChimneyLeft - 3.0f, kChimneyTop, kChimneyRight + 3.0f,
                                             kChimneyTop + 6.0f));
            float on_chimney = inside(chimney);
            c = rgb_mix(c, chimney_at(px, py), on_chimney);
            alpha = std::fmax(alpha, on_chimney);
            // The chimney's shadow falls to its right on the tiles.
            float shadow = box(px, py, kChimneyRight, kChimneyTop + 10.0f, kChimneyRight + 8.0f, 62.0f);
            c = rgb_scale(c, 1.0f - 0.35f * inside(shadow) * (1.0f - on_chimney));

            // The cornice under the eaves, then the wall.
            float cornice = box(px, py, kWallLeft - 8.0f, kEaves - 4.0f, kWallRight + 8.0f, kWallTop + 2.0f);
            Rgb moulding = rgb_scale(kTrim, py < kEaves - 1.0f ? 1.05f : (py < kWallTop ? 0.85f : 0.6f));
            c = rgb_mix(c, moulding, inside(cornice));
            alpha = std::fmax(alpha, inside(cornice));

            float wall = box(px, py, kWallLeft, kWallTop + 2.0f, kWallRight, kHeight + 1.0f);
            if (wall < 0.5f) {
                float b = noise_fbm(blotch, u * 8.0f, v * 4.0f, 5, 0.55f, 8, 4);
                float g = noise_fbm(grain, px * 0.25f, py * 0.25f, 2, 0.5f, 128, 64);
                Rgb f = rgb_scale(kPlaster, 1.0f + 0.07f * b + 0.035f * g);
                // Dusk light from the sky above: the wall dims towards the ground; damp rises from it.
                f = rgb_scale(f, 1.0f - 0.18f * smoothstep(kWallTop, kHeight, py));
                float damp = smoothstep(kPlinth - 26.0f + 8.0f * b, kPlinth, py);
                f = rgb_mix(f, rgb_scale(kPlaster, 0.62f), 0.5f * damp);
                // The eaves' shadow on the top of the wall.
                f = rgb_scale(f, 1.0f - 0.3f * smoothstep(kWallTop + 12.0f, kWallTop + 2.0f, py));

                // The band between storeys and the corner stones.
                if (std::fabs(py - kStringCourse - 3.0f) < 3.0f) {
                    f = rgb_scale(kTrim, py < kStringCourse + 1.0f ? 1.05f : 0.95f);
                } else if (py >= kStringCourse + 6.0f && py < kStringCourse + 9.0f) {
                    f = rgb_scale(f, 0.75f);
                }
                float corner = std::fmin(px - kWallLeft, kWallRight - px);
                int course = static_cast<int>((py - kWallTop) / 16.0f);
                float quoin_width = (course & 1) ? kQuoin * 0.65f : kQuoin;
                if (corner < quoin_width && py < kPlinth) {
                    bool joint = std::fmod(py - kWallTop, 16.0f) < 1.2f || corner > quoin_width - 1.2f;
                    f = joint ? rgb_scale(kTrim, 0.7f) : rgb_scale(kTrim, 0.95f + 0.05f * g);
                }
                if (py >= kPlinth) {
                    // The plinth: rough grey stone blocks.
                    float ly = std::fmod(py - kPlinth, 12.0f);
                    int r = static_cast<int>((py - kPlinth) / 12.0f);
                    float lx = std::fmod(px + (r & 1) * 20.0f, 40.0f);
                    bool joint = ly < 1.2f || lx < 1.2f;
                    float tone =
                        0.85f + 0.25f * hash_unit(static_cast<int>((px + (r & 1) * 20.0f) / 40.0f), r, 744);
                    f = joint ? rgb_scale(kStone, 0.6f) : rgb_scale(kStone, tone + 0.06f * g);
                    if (py < kPlinth + 2.0f) f = rgb_scale(kStone, 1.15f);
                }

                // Rain streaks under the sills, then the windows and door themselves.
                for (const Window& w : kWindows) {
                    float below = py - (w.y1 + 5.0f);
                    if (below > 0.0f && px > w.x0 - 4.0f && px < w.x1 + 4.0f) {
                        float streak = 0.5f + 0.5f * noise_gradient(grain, px * 0.35f, 3.0f, 256, 256);
                        f = rgb_scale(f, 1.0f - 0.12f * streak * smoothstep(30.0f, 0.0f, below));
                    }
                }
                bool found = false;
                for (const Window& w : kWindows) {
                    Rgb wc = window_at(w, px, py, found);
                    if (found) {
                        f = wc;
                        break;
                    }
                }
                if (!found) {
                    Rgb dc = door_at(px, py, found);
                    if (found) f = dc;
                }
                // Lit rooms and the door lamp throw warm light on the wall around them.
                float warm = 0.0f;
                for (const Window& w : kWindows) {
                    if (!w.lit) continue;
                    float d = std::fmax(box(px, py, w.x0, w.y0, w.x1, w.y1), 0.0f);
                    warm += 0.22f / (1.0f + d * d / 120.0f);
                }
                float lamp = std::hypot(px - kLampX, py - kLampY);
                warm += 0.45f / (1.0f + lamp * lamp / 300.0f);
                f = rgb_add(f,
                            rgb_scale(Rgb{kWarmLight.r * f.r, kWarmLight.g * f.g, kWarmLight.b * f.b}, warm));
                // The lamp itself: a small lantern on a bracket.
                float lantern = box(px, py, kLampX - 3.5f, kLampY - 5.0f, kLampX + 3.5f, kLampY + 5.0f);
                f = rgb_mix(f, Rgb{1.0f, 0.95f, 0.75f}, inside(lantern));
                float cap = box(px, py, kLampX - 5.0f, kLampY - 7.0f, kLampX + 5.0f, kLampY - 5.0f);
                f = rgb_mix(f, Rgb{0.12f, 0.1f, 0.09f}, inside(cap));

                float on_wall = inside(wall);
                c = rgb_mix(c, f, on_wall);
                alpha = std::fmax(alpha, on_wall);
            }
            image_put(image, x, y, c, alpha, hash_unit(x, y, 745) - 0.5f);
        }
    }
    return image;
}
