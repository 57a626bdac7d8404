// The body plan of the people: torso, limbs, head, hair, face and clothes as layered parts.
// Single-threaded.
#include "media_people_body.h"

namespace {

constexpr float kCx = 64.0f;  // the body's centre line
// Half the clear gap between the legs at the crotch (more further down): two cells of the builder's
// 25-cell grid at 128 pixels across.
constexpr float kLegGap = 5.6f;

Material across(Material m) {
    m.folds_across = true;
    return m;
}

Material plain(Rgb base, float folds = 0.0f, float shine = 0.0f) {
    Material m;
    m.base = base;
    m.folds = folds;
    m.shine = shine;
    return m;
}

Material skin_of(Rgb skin) {
    Material m = plain(skin, 0.0f, 0.12f);
    m.pattern = Pattern::skin;
    return m;
}

Material hair_of(Rgb hair) {
    Material m = plain(hair, 0.0f, 0.35f);
    m.pattern = Pattern::hair;
    // Dark hair shows its sheen as a cooler, only slightly lighter tone.
    const float luma = 0.3f * hair.r + 0.6f * hair.g + 0.1f * hair.b;
    m.second = luma < 0.2f ? rgb_add(rgb_tone(hair, 0.08f), rgb(0.02f, 0.03f, 0.05f)) : rgb_tone(hair, 0.25f);
    m.shine = luma < 0.2f ? 0.25f : 0.35f;
    return m;
}

void add(std::vector<Part>& parts, const Shape& shape, const Material& mat, float depth,
         View view = View::both) {
    Part p;
    p.shape = shape;
    p.mat = mat;
    p.depth = depth;
    p.view = view;
    parts.push_back(p);
}

// A part that carries on the one before it (forearm after upper arm): no edge line where they meet.
void add_joined(std::vector<Part>& parts, const Shape& shape, const Material& mat, float depth) {
    add(parts, shape, mat, depth);
    parts.back().line = 0.0f;
}

// A decal painted over part `over` and shaded by its roundness.
void decal(std::vector<Part>& parts, const Shape& shape, const Material& mat, int over, View view,
           float soft = 0.0f, float opacity = 1.0f) {
    Part p;
    p.shape = shape;
    p.mat = mat;
    p.decal = true;
    p.view = view;
    p.shade_from = over;
    p.soft = soft;
    p.opacity = opacity;
    parts.push_back(p);
}

// The body plan: where limbs run at a given build. `side` is -1 for the picture's left, +1 its right.
struct Plan {
    float b;
    float shoulder, chest, waist, hip;  // half widths of the torso
    float x(float side, float half) const { return kCx + side * half; }
    // The legs: inner edge and radius at the crotch, the knee and the ankle.
    float thigh_r() const { return 7.0f * b + 0.4f; }
    float knee_r() const { return 5.4f * b; }
    float ankle_r() const { return 4.1f * b; }
};

Plan plan_of(float build) {
    return {build, 20.0f * build, 18.5f * build, 15.5f * build, 18.0f * build};
}

void add_leg(std::vector<Part>& parts, const Plan& pl, float side, float extra, float y0, float y1,
             const Material& mat) {
    // Inner edge and radius along the leg, from the crotch (y 136) to the ankle (y 242).
    auto centre = [&](float y, float& cx, float& r) {
        const float t = (y - 136.0f) / (242.0f - 136.0f);
        const float inner = kLegGap + 1.2f * t;
        r = (t < 0.5f ? pl.thigh_r() + (pl.knee_r() - pl.thigh_r()) * t * 2.0f
                      : pl.knee_r() + (pl.ankle_r() - pl.knee_r()) * (t - 0.5f) * 2.0f) +
            extra;
        cx = kCx + side * (inner + r);
    };
    float xa, ra, xk, rk, xb, rb;
    const float knee = 189.0f;
    centre(y0, xa, ra);
    centre(knee, xk, rk);
    centre(y1, xb, rb);
    if (y0 < knee) add_joined(parts, capsule(xa, y0, xk, knee, ra, rk), mat, 5.0f);
    if (y1 > knee)
        add_joined(parts,
                   capsule(y0 < knee ? xk : xa, y0 < knee ? knee : y0, xb, y1, y0 < knee ? rk : ra, rb), mat,
                   4.5f);
}

// Upper arm, forearm and hand of one side; sleeves of the given lengths over the skin.
void add_arm(std::vector<Part>& parts, const Plan& pl, float side, const Person& p, const Material* sleeve,
             bool long_sleeve) {
    const float sx = pl.x(side, pl.shoulder - 3.5f), sy = 50.0f;
    const float ex = pl.x(side, pl.shoulder + 13.0f), ey = 86.0f;
    const float wx = pl.x(side, pl.shoulder + 18.0f), wy = 114.0f;
    const float hx = pl.x(side, pl.shoulder + 19.5f), hy = 127.0f;
    const float r = 5.6f * pl.b + 0.4f;
    const Material skin = skin_of(p.skin);
    add(parts, capsule(sx, sy, ex, ey, r + 0.6f, r), skin, 4.0f);
    add_joined(parts, capsule(ex, ey, wx, wy, r, r - 1.2f), skin, 4.0f);
    add_joined(parts, capsule(wx, wy, hx, hy, r - 1.5f, r - 0.4f), skin, 3.5f);
    if (!sleeve) return;
    Material m = across(*sleeve);
    if (long_sleeve) {
        add(parts, capsule(sx, sy - 2.0f, ex, ey, r + 2.0f, r + 1.3f), m, 4.5f);
        add_joined(parts, capsule(ex, ey, wx, wy - 2.0f, r + 1.3f, r + 0.6f), m, 4.5f);
        // The cuff.
        decal(parts, capsule(wx - side * 0.6f, wy - 5.0f, wx, wy - 2.0f, r + 1.5f, r + 1.5f),
              plain(rgb_tone(sleeve->base, -0.22f)), last_part(parts), View::both);
    } else {
        const float t = 0.45f;
        add(parts, capsule(sx, sy - 2.0f, sx + (ex - sx) * t, sy + (ey - sy) * t, r + 2.4f, r + 1.8f), m,
            4.5f);
    }
}

void add_face(std::vector<Part>& parts, const Person& p, int head) {
    const View f = View::front;
    const Rgb dark = rgb_tone(p.hair_colour, -0.45f);
    for (float side : {-1.0f, 1.0f}) {
        const float ex = kCx + side * 4.9f, ey = 22.8f;
        if (p.close_up) {
            decal(parts, ellipse(ex, ey, 2.9f, 2.1f), plain(rgb(0.94f, 0.92f, 0.88f)), head, f);
            decal(parts, ellipse(ex + side * 0.1f, ey + 0.1f, 1.8f, 1.95f), plain(p.eyes), head, f);
            decal(parts, ellipse(ex + side * 0.1f, ey + 0.2f, 0.85f, 0.95f), plain(rgb(0.06f, 0.05f, 0.05f)),
                  head, f);
            decal(parts, ellipse(ex - 0.7f, ey - 0.7f, 0.6f, 0.6f), plain(rgb(1, 1, 1)), head, f);
            // Upper lid, brow and a touch of blush.
            decal(parts, capsule(ex - 2.8f, ey - 1.7f, ex + 2.8f, ey - 1.8f, 0.5f, 0.5f), plain(dark), head,
                  f);
            decal(parts, capsule(kCx + side * 2.4f, 18.9f, kCx + side * 7.6f, 18.1f, 0.8f, 0.6f), plain(dark),
                  head, f);
            decal(parts, ellipse(kCx + side * 6.6f, 27.6f, 2.8f, 1.9f), plain(rgb(0.85f, 0.35f, 0.35f)), head,
                  f, 2.0f, 0.28f);
        } else {
            decal(parts, ellipse(ex, ey, 1.4f, 1.7f), plain(rgb(0.1f, 0.08f, 0.08f)), head, f);
            decal(parts, capsule(kCx + side * 2.6f, 19.0f, kCx + side * 7.2f, 18.4f, 0.75f, 0.6f),
                  plain(dark), head, f);
        }
    }
    const Rgb shadow = rgb_tone(p.skin, -0.3f);
    decal(parts, capsule(kCx + 0.5f, 23.5f, kCx + 0.9f, 27.6f, 1.3f, 1.5f), plain(shadow), head, f, 1.2f,
          0.55f);
    const Rgb lip = rgb_mix(p.skin, rgb(0.62f, 0.2f, 0.2f), 0.55f);
    decal(parts, capsule(kCx - 3.2f, 30.7f, kCx, 31.4f, 0.8f, 0.95f), plain(lip), head, f);
    decal(parts, capsule(kCx, 31.4f, kCx + 3.2f, 30.7f, 0.95f, 0.8f), plain(lip), head, f);
}

// Hair, drawn in two steps: what lies behind the head and body (long hair) first, the rest after the
// head. The face is a decal inside the head, so the back view can paint hair over all of it.
void add_hair_behind(std::vector<Part>& parts, const Person& p) {
    if (p.hair != Hair::long_straight) return;
    add(parts,
        polygon({kCx - 13.0f, 20, kCx + 13.0f, 20, kCx + 18.0f, 56, kCx + 15.0f, 64, kCx - 15.0f, 64,
                 kCx - 18.0f, 56},
                3.0f),
        hair_of(rgb_tone(p.hair_colour, -0.12f)), 7.0f);
}

void add_hair_and_face(std::vector<Part>& parts, const Person& p, int head) {
    const Material hair = hair_of(p.hair_colour);
    int volume = head;
    float nape = 31.0f;
    switch (p.hair) {
        case Hair::crop:
            add(parts, cut_above(ellipse(kCx, 18.8f, 13.6f, 13.6f), 21.0f), hair, 6.0f);
            volume = last_part(parts);
            break;
        case Hair::long_straight:
            add(parts, cut_above(ellipse(kCx, 19.0f, 14.4f, 14.6f), 24.0f), hair, 7.0f);
            volume = last_part(parts);
            nape = 60.0f;
            break;
        case Hair::bun:
            add(parts, ellipse(kCx, 6.6f, 6.4f, 6.0f), hair, 5.0f);
            add(parts, cut_above(ellipse(kCx, 19.0f, 13.4f, 13.8f), 22.0f), hair, 6.0f);
            volume = last_part(parts);
            break;
        case Hair::curls:
            add(parts, cut_above(warped(ellipse(kCx, 18.5f, 18.5f, 16.0f), 1.6f, 0.38f), 33.0f), hair, 8.0f);
            volume = last_part(parts);
            nape = 33.0f;
            break;
        case Hair::bob:
            add(parts, cut_above(ellipse(kCx, 20.0f, 15.4f, 15.8f), 34.0f, 0.8f, 0.7f), hair, 7.0f);
            volume = last_part(parts);
            nape = 34.0f;
            break;
        case Hair::cap:
        case Hair::shaved:
            break;
    }
    // The face: the head below the hairline, narrower than the hair at the temples.
    const float hairline = p.hair == Hair::shaved ? 9.0f : p.hair == Hair::cap ? 15.5f : 12.0f;
    decal(parts, cut_below(ellipse(kCx, 23.6f, 11.3f, 13.3f), hairline, 1.0f, 0.8f), skin_of(p.skin), head,
          View::front, 1.2f);
    if (p.hair == Hair::shaved)
        decal(parts, cut_above(ellipse(kCx, 21.5f, 12.4f, 15.2f), 12.0f), hair, head, View::both, 1.5f, 0.7f);
    add_face(parts, p, head);
    // Fringes over the forehead.
    if (p.hair == Hair::crop || p.hair == Hair::bun)
        decal(parts,
              polygon(
                  {kCx - 11.0f, 10, kCx + 11.0f, 9, kCx + 10.0f, 13.5f, kCx + 1.0f, 12.0f, kCx - 8.0f, 15.0f},
                  1.0f),
              hair, volume, View::front);
    if (p.hair == Hair::bob || p.hair == Hair::long_straight)
        decal(parts,
              polygon({kCx - 12.0f, 10, kCx + 12.0f, 10, kCx + 11.5f, 15.0f, kCx - 3.0f, 16.5f, kCx - 11.5f,
                       14.0f},
                      1.0f),
              hair, volume, View::front);
    if (p.hair == Hair::cap) {
        const Material cap = plain(p.shirt.second, 0.05f);
        add(parts, cut_above(ellipse(kCx, 15.0f, 13.8f, 10.5f), 16.0f), cap, 6.0f);
        add(parts, capsule(kCx - 12.5f, 16.0f, kCx + 12.5f, 16.0f, 2.6f, 2.6f),
            plain(rgb_tone(cap.base, -0.2f)), 2.0f);
        decal(parts, cut_above(ellipse(kCx, 22.0f, 12.3f, 12.0f), 30.0f), hair, head, View::back, 1.0f);
        return;
    }
    // From behind: hair over the whole head, down to the nape, or as one sheet down the back.
    if (p.hair == Hair::long_straight)
        decal(parts,
              polygon({kCx - 14.0f, 14, kCx + 14.0f, 14, kCx + 19.0f, 56, kCx + 16.0f, 63, kCx - 16.0f, 63,
                       kCx - 19.0f, 56},
                      2.5f),
              hair, -1, View::back, 1.0f);
    else if (p.hair != Hair::shaved)
        decal(parts, cut_above(ellipse(kCx, 21.5f, 13.0f, 16.0f), nape, 1.0f, 0.9f), hair, volume, View::back,
              1.0f);
}

}  // namespace

Material cloth(Rgb base, Pattern pattern, Rgb second, float scale) {
    Material m;
    m.base = base;
    m.second = second;
    m.pattern = pattern;
    m.scale = scale;
    return m;
}

std::vector<Part> person_parts(const Person& p) {
    std::vector<Part> parts;
    const Plan pl = plan_of(p.build);
    const Material skin = skin_of(p.skin);
    const bool skirt = p.bottom == Bottom::skirt || p.top == Top::dress;
    const Material& lower = p.top == Top::dress ? p.shirt : p.legs;

    add_hair_behind(parts, p);

    // Legs and shoes.
    for (float side : {-1.0f, 1.0f}) {
        if (p.bottom == Bottom::trousers && !skirt) {
            add_leg(parts, pl, side, 1.4f, 134.0f, 241.0f, across(p.legs));
        } else {
            add_leg(parts, pl, side, 0.0f, 134.0f, 242.0f,
                    p.hose.r == p.skin.r ? skin : plain(p.hose, 0.0f, 0.15f));
            if (p.bottom == Bottom::shorts) add_leg(parts, pl, side, 1.6f, 134.0f, 172.0f, across(p.legs));
        }
        const float fx = kCx + side * (kLegGap + 1.2f + pl.ankle_r() + 1.6f);
        add(parts, ellipse(fx + side * 0.8f, 249.0f, 8.6f * pl.b + 1.2f, 7.5f), plain(p.shoes, 0.0f, 0.35f),
            4.0f);
        decal(parts, capsule(fx - 7.0f * pl.b, 254.0f, fx + 7.0f * pl.b, 254.0f, 1.4f, 1.4f),
              plain(rgb_tone(p.shoes, p.shoes.r + p.shoes.g > 1.0f ? -0.35f : 0.35f)), last_part(parts),
              View::both);
    }

    // Hips: trousers' seat, or a skirt.
    if (skirt) {
        add(parts,
            polygon({kCx - pl.waist - 1.0f, 100, kCx + pl.waist + 1.0f, 100, kCx + pl.hip + 9.0f, 178,
                     kCx - pl.hip - 9.0f, 178},
                    2.0f),
            lower, 9.0f);
        decal(parts,
              cut_below(polygon({kCx - pl.hip - 12, 160, kCx + pl.hip + 12, 160, kCx + pl.hip + 12, 182,
                                 kCx - pl.hip - 12, 182},
                                0.0f),
                        174.5f, 0.8f, 0.5f),
              plain(rgb_tone(lower.base, -0.18f)), last_part(parts), View::both);
    } else {
        add(parts,
            polygon({kCx - pl.hip - 0.5f, 110, kCx + pl.hip + 0.5f, 110, kCx + pl.hip + 1.5f, 134,
                     kCx + kLegGap, 141, kCx, 137.5f, kCx - kLegGap, 141, kCx - pl.hip - 1.5f, 134},
                    1.5f),
            p.legs, 8.0f);
        if (p.close_up) {
            // Front pockets, back pockets.
            const int seat = last_part(parts);
            const Material seam = plain(rgb_tone(p.legs.base, -0.3f));
            for (float side : {-1.0f, 1.0f}) {
                decal(parts,
                      capsule(kCx + side * (pl.hip - 6.0f), 113.0f, kCx + side * (pl.hip - 1.0f), 122.0f,
                              0.6f, 0.6f),
                      seam, seat, View::front);
                decal(parts,
                      polygon({kCx + side * 4.0f, 117, kCx + side * 14.0f, 117, kCx + side * 13.0f, 128,
                               kCx + side * 5.0f, 128},
                              0.8f),
                      plain(rgb_tone(p.legs.base, -0.12f)), seat, View::back);
            }
        }
    }

    // Neck, torso and the top's details.
    add(parts, capsule(kCx, 30.0f, kCx, 45.0f, 5.0f * pl.b + 0.6f, 5.6f * pl.b + 0.6f), skin, 4.0f);
    const int neck = last_part(parts);
    decal(parts, ellipse(kCx, 35.5f, 7.0f, 3.4f), plain(rgb_tone(p.skin, -0.4f)), neck, View::front, 2.5f,
          0.45f);
    const float hem = p.top == Top::dress ? 104.0f : 125.0f;
    add(parts,
        polygon({kCx - 7.0f,
                 40,
                 kCx + 7.0f,
                 40,
                 kCx + pl.shoulder,
                 45,
                 kCx + pl.chest + 0.5f,
                 70,
                 kCx + pl.waist,
                 100,
                 kCx + pl.hip,
                 hem,
                 kCx - pl.hip,
                 hem,
                 kCx - pl.waist,
                 100,
                 kCx - pl.chest - 0.5f,
                 70,
                 kCx - pl.shoulder,
                 45},
                3.0f),
        p.shirt, 10.0f);
    const int torso = last_part(parts);
    // The neckline: round at the front, a narrow band behind.
    decal(parts, ellipse(kCx, 40.5f, 6.4f, p.top == Top::dress ? 7.0f : 4.2f), skin, neck, View::front, 0.8f);
    decal(parts, ellipse(kCx, 39.5f, 6.0f, 2.2f), skin, neck, View::back, 0.8f);
    if (p.top == Top::sweater)
        decal(parts,
              cut_below(polygon({kCx - pl.hip - 4, 118, kCx + pl.hip + 4, 118, kCx + pl.hip + 4, 130,
                                 kCx - pl.hip - 4, 130},
                                0.0f),
                        120.0f),
              plain(rgb_tone(p.shirt.base, -0.2f)), torso, View::both);
    if (p.top == Top::dress)
        decal(parts, capsule(kCx - pl.waist, 101.0f, kCx + pl.waist, 101.0f, 2.2f, 2.2f),
              plain(rgb_tone(p.shirt.base, -0.3f)), torso, View::both);

    if (p.top == Top::jacket || p.top == Top::stage) {
        const Material& o = p.outer;
        // Two front panels leave the shirt showing down the middle; from behind the jacket is whole.
        for (float side : {-1.0f, 1.0f}) {
            add(parts,
                polygon({kCx + side * 5.5f, 40, kCx + side * pl.shoulder + side * 1.0f, 44.5f,
                         kCx + side * (pl.chest + 1.5f), 70, kCx + side * (pl.waist + 1.5f), 100,
                         kCx + side * (pl.hip + 2.0f), 130, kCx + side * 4.0f, 130, kCx + side * 3.0f, 84,
                         kCx + side * 7.5f, 50},
                        2.0f),
                o, 9.0f);
            const int panel = last_part(parts);
            decal(parts,
                  polygon({kCx + side * 6.0f, 41, kCx + side * 11.5f, 43, kCx + side * 9.0f, 62,
                           kCx + side * 4.0f, 82},
                          0.6f),
                  plain(rgb_tone(o.base, p.top == Top::stage ? 0.35f : -0.22f), 0.0f,
                        p.top == Top::stage ? 0.6f : 0.0f),
                  panel, View::front);
        }
        decal(parts, polygon({kCx - 4.5f, 40, kCx + 4.5f, 40, kCx + 4.5f, 131, kCx - 4.5f, 131}, 0.5f), o,
              torso, View::back);
        decal(parts, capsule(kCx, 48.0f, kCx, 128.0f, 0.5f, 0.5f), plain(rgb_tone(o.base, -0.3f)), torso,
              View::back);
        decal(parts, ellipse(kCx, 41.0f, 9.0f, 3.0f), plain(rgb_tone(o.base, -0.15f)), torso, View::back,
              1.0f);
    }

    // Arms over the torso.
    const Top t = p.top;
    const Material* sleeve = t == Top::jacket || t == Top::stage ? &p.outer
                             : t == Top::dress                   ? nullptr
                                                                 : &p.shirt;
    const bool long_sleeve = t != Top::tshirt && t != Top::dress;
    for (float side : {-1.0f, 1.0f}) add_arm(parts, pl, side, p, sleeve, long_sleeve);
    if (t == Top::dress)
        for (float side : {-1.0f, 1.0f})
            decal(parts, capsule(kCx + side * 8.5f, 42.0f, kCx + side * 13.0f, 58.0f, 2.2f, 2.2f), p.shirt,
                  torso, View::both);

    // Long hair falls over the shoulders, in front of them.
    if (p.hair == Hair::long_straight) {
        for (float side : {-1.0f, 1.0f}) {
            add(parts,
                polygon({kCx + side * 8.0f, 18, kCx + side * 12.5f, 20, kCx + side * 19.0f, 56,
                         kCx + side * 16.5f, 62, kCx + side * 12.5f, 60, kCx + side * 10.0f, 36},
                        2.0f),
                hair_of(p.hair_colour), 5.0f);
            parts.back().line = 0.3f;
        }
    }

    // Head.
    for (float side : {-1.0f, 1.0f}) add(parts, ellipse(kCx + side * 11.8f, 24.0f, 2.6f, 4.0f), skin, 2.0f);
    add(parts, ellipse(kCx, 21.5f, 12.2f, 15.0f), skin, 6.0f);
    add_hair_and_face(parts, p, last_part(parts));
    return parts;
}
