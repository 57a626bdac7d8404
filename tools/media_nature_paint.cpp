// Painting for the nature group's sprites: the canvas, limbs and leaf clusters.
// Single-threaded.
#include "media_nature_paint.h"

#include <cmath>

namespace {

// Towards the light, which comes from the top left and from in front (image x right, y down, z out).
constexpr float kLightX = -0.5f;
constexpr float kLightY = -0.55f;
constexpr float kLightZ = 0.67f;

float lit_by(float nx, float ny, float nz) {
    float len = std::sqrt(nx * nx + ny * ny + nz * nz);
    float light_len = std::sqrt(kLightX * kLightX + kLightY * kLightY + kLightZ * kLightZ);
    if (len <= 0.0f) return 0.0f;
    float d = (nx * kLightX + ny * kLightY + nz * kLightZ) / (len * light_len);
    return d > 0.0f ? d : 0.0f;
}

int floor_int(float v) {
    return static_cast<int>(std::floor(v));
}

}  // namespace

Canvas canvas_make(int width, int height, bool wrap) {
    Canvas canvas;
    canvas.width = width;
    canvas.height = height;
    canvas.wrap = wrap;
    canvas.rgba.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0.0f);
    return canvas;
}

void canvas_over(Canvas& canvas, int x, int y, Rgb colour, float cover) {
    if (y < 0 || y >= canvas.height || !(cover > 0.0f)) return;
    if (canvas.wrap) {
        x %= canvas.width;
        if (x < 0) x += canvas.width;
    } else if (x < 0 || x >= canvas.width) {
        return;
    }
    if (cover > 1.0f) cover = 1.0f;
    float* p =
        &canvas
             .rgba[(static_cast<size_t>(y) * static_cast<size_t>(canvas.width) + static_cast<size_t>(x)) * 4];
    float keep = 1.0f - cover;
    p[0] = colour.r * cover + p[0] * keep;
    p[1] = colour.g * cover + p[1] * keep;
    p[2] = colour.b * cover + p[2] * keep;
    p[3] = cover + p[3] * keep;
}

MediaImage canvas_image(const Canvas& canvas, uint32_t salt) {
    MediaImage image = image_make(canvas.width, canvas.height, 4);
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x) {
            const float* p = &canvas.rgba[(static_cast<size_t>(y) * static_cast<size_t>(canvas.width) +
                                           static_cast<size_t>(x)) *
                                          4];
            float a = p[3];
            // Fully transparent pixels stay black: nothing of them is ever seen.
            Rgb c = a > 0.002f ? Rgb{p[0] / a, p[1] / a, p[2] / a} : Rgb{0.0f, 0.0f, 0.0f};
            image_put(image, x, y, c, a < 0.002f ? 0.0f : a,
                      a > 0.002f ? hash_unit(x, y, salt) - 0.5f : 0.0f);
        }
    }
    return image;
}

void paint_limb(Canvas& canvas, float x0, float y0, float r0, float x1, float y1, float r1,
                const Bark& bark) {
    float dx = x1 - x0, dy = y1 - y0;
    float len2 = dx * dx + dy * dy;
    if (len2 <= 0.0f) return;
    float len = std::sqrt(len2);
    float ux = dx / len, uy = dy / len;
    float reach = (r0 > r1 ? r0 : r1) + 1.5f;
    int left = floor_int((x0 < x1 ? x0 : x1) - reach);
    int right = floor_int((x0 > x1 ? x0 : x1) + reach);
    int top = floor_int((y0 < y1 ? y0 : y1) - reach);
    int bottom = floor_int((y0 > y1 ? y0 : y1) + reach);
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            float px = static_cast<float>(x) + 0.5f - x0;
            float py = static_cast<float>(y) + 0.5f - y0;
            float along = px * ux + py * uy;
            float t = clamp01(along / len);
            float across = px * -uy + py * ux;  // signed, positive to the limb's right as it grows
            float qx = px - t * dx, qy = py - t * dy;
            float dist = std::sqrt(qx * qx + qy * qy);
            float r = r0 + (r1 - r0) * t;
            float cover = clamp01(r - dist + 0.5f);
            if (cover <= 0.0f) continue;
            float s = across / (r > 0.5f ? r : 0.5f);
            s = s > 1.0f ? 1.0f : (s < -1.0f ? -1.0f : s);
            // A cylinder's normal: across the limb, turned towards the viewer in its middle.
            float nz = std::sqrt(1.0f - s * s);
            float diffuse = lit_by(-uy * s, ux * s, nz);
            float grain =
                noise_fbm(*bark.grain, across * 0.45f, (along + x0 * 3.1f) * 0.07f, 3, 0.5f, 256, 256);
            Rgb c = rgb_mix(bark.dark, bark.light, clamp01(0.15f + 0.95f * diffuse));
            c = rgb_scale(c, 1.0f - bark.streak * (0.25f + 0.45f * grain));
            if (bark.marks > 0.0f) {
                // Dashes across the limb: short along it, long around it.
                float dash = noise_fbm(*bark.grain, across * 0.12f + 50.0f, (along + x0 * 3.1f) * 0.3f, 2,
                                       0.5f, 256, 256);
                c = rgb_mix(c, bark.mark_colour, bark.marks * smoothstep(0.25f, 0.45f, dash));
            }
            canvas_over(canvas, x, y, c, cover);
        }
    }
}

void paint_cluster(Canvas& canvas, float cx, float cy, float r, float shade, const Foliage& foliage) {
    float reach = r * (1.0f + foliage.ragged) + 2.0f;
    int left = floor_int(cx - reach), right = floor_int(cx + reach);
    int top = floor_int(cy - reach), bottom = floor_int(cy + reach);
    // Each cluster reads its own patch of the leaf noise, so neighbours do not repeat one another.
    float ox = cx * 0.37f + cy * 0.11f, oy = cy * 0.29f - cx * 0.07f;
    float inv = 1.0f / foliage.leaf_size;
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            float fx = static_cast<float>(x) + 0.5f, fy = static_cast<float>(y) + 0.5f;
            float dx = (fx - cx) / r, dy = (fy - cy) / r;
            float r2 = dx * dx + dy * dy;
            if (r2 > (1.0f + foliage.ragged) * (1.0f + foliage.ragged) + 0.2f) continue;
            float lobes = noise_fbm(*foliage.leaves, fx * inv + ox, fy * inv + oy, 3, 0.5f, 256, 256);
            float edge = (1.0f - std::sqrt(r2) + foliage.ragged * lobes) * r;  // pixels inside the rim
            float cover = smoothstep(-0.8f, 0.8f, edge);
            if (cover <= 0.0f) continue;
            // The ball's normal, roughened leaf by leaf.
            float nz = r2 < 1.0f ? std::sqrt(1.0f - r2) : 0.0f;
            float leaf = noise_fbm(*foliage.leaves, fx * inv * 2.3f + 31.0f + ox, fy * inv * 2.3f + oy, 2,
                                   0.5f, 256, 256);
            float diffuse = lit_by(dx + 0.5f * leaf, dy - 0.3f * leaf, nz + 0.25f);
            // The gaps between the rim's lobes lie deeper and get less light.
            float depth_light = 0.72f + 0.28f * smoothstep(-0.5f, 0.4f, lobes);
            Rgb c = diffuse < 0.55f ? rgb_mix(foliage.shadow, foliage.mid, diffuse / 0.55f)
                                    : rgb_mix(foliage.mid, foliage.light, (diffuse - 0.55f) / 0.45f);
            c = rgb_scale(c, shade * depth_light * (0.88f + 0.24f * leaf));
            canvas_over(canvas, x, y, c, cover);
        }
    }
}

void paint_leaf(Canvas& canvas, float x, float y, float angle, const Leaf& leaf, const NoiseTable& spots) {
    float ux = std::cos(angle), uy = std::sin(angle);
    Bark stalk = {leaf.rib, rgb_scale(leaf.rib, 0.6f), &spots, 0.0f};
    float stalk_length = 0.18f * leaf.length;
    paint_limb(canvas, x - ux * stalk_length, y - uy * stalk_length, 0.9f, x + ux * 2.0f, y + uy * 2.0f, 0.7f,
               stalk);
    float reach = leaf.length + leaf.width + 2.0f;
    int left = floor_int(x - reach), right = floor_int(x + reach);
    int top = floor_int(y - reach), bottom = floor_int(y + reach);
    for (int py = top; py <= bottom; ++py) {
        for (int px = left; px <= right; ++px) {
            float dx = static_cast<float>(px) + 0.5f - x, dy = static_cast<float>(py) + 0.5f - y;
            float along = dx * ux + dy * uy;
            float across = -dx * uy + dy * ux;
            float u = along / leaf.length;
            if (u <= -0.05f || u >= 1.05f) continue;
            float uc = clamp01(u);
            // Rounded at the stalk, drawn out to a point at the tip.
            float half = leaf.width * 2.0f * std::sqrt(uc * (1.0f - uc)) * (1.15f - 0.45f * uc);
            float cover = clamp01(half - std::fabs(across) + 0.5f);
            if (cover <= 0.0f) continue;
            float n = noise_fbm(spots, dx * 0.25f + x, dy * 0.25f + y, 3, 0.5f, 256, 256);
            Rgb c = rgb_mix(leaf.base, leaf.tip, smoothstep(0.1f, 0.95f, u + 0.25f * n));
            // The fold: the half towards the top left is lit, the other turned away.
            float side = across > 0.0f ? 1.0f : -1.0f;
            float facing = -(-uy * side) * 0.55f - (ux * side) * 0.5f;
            float rel = std::fabs(across) / (half > 0.5f ? half : 0.5f);
            c = rgb_scale(c, 0.86f + 0.22f * facing * rel + 0.08f * n);
            // Veins leave the midrib towards the tip, a few on each side.
            float vein = std::fabs(std::remainder(along - 0.9f * std::fabs(across), leaf.length / 6.0f));
            float vein_line =
                (1.0f - smoothstep(0.25f, 0.9f, vein)) * smoothstep(0.0f, 0.3f, rel) * (1.0f - rel);
            float rib_line = (1.0f - smoothstep(0.2f, 0.8f, std::fabs(across))) * smoothstep(0.97f, 0.8f, u);
            c = rgb_mix(c, leaf.rib, clamp01(0.9f * rib_line + 0.4f * vein_line));
            canvas_over(canvas, px, py, c, cover);
        }
    }
}
