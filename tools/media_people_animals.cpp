// The animals of the park, seen from the side with the head on the right and standing on the bottom
// row, and a carved walking stick. The figure builder looks for the belly between the front and hind
// legs under the picture's middle, and takes the highest part for the head: every animal keeps its
// legs clear of the middle and its ears above its tail.
// Single-threaded.
#include "media_people_animals.h"

#include <vector>

#include "media_people_draw.h"

namespace {

constexpr int kAnimalWidth = 256;
constexpr int kAnimalHeight = 160;
constexpr float kGround = 160.0f;

Material coat(Rgb base, Pattern pattern = Pattern::fur) {
    Material m;
    m.base = base;
    m.second = rgb_tone(base, 0.3f);
    m.pattern = pattern;
    m.folds = 0.0f;
    m.scale = 6.0f;
    return m;
}

Material solid(Rgb base, float shine = 0.0f) {
    Material m;
    m.base = base;
    m.folds = 0.0f;
    m.shine = shine;
    return m;
}

int add(std::vector<Part>& parts, const Shape& shape, const Material& mat, float depth) {
    Part p;
    p.shape = shape;
    p.mat = mat;
    p.depth = depth;
    parts.push_back(p);
    return last_part(parts);
}

void paint(std::vector<Part>& parts, const Shape& shape, const Material& mat, int over, float soft = 0.0f,
           float opacity = 1.0f) {
    Part p;
    p.shape = shape;
    p.mat = mat;
    p.decal = true;
    p.shade_from = over;
    p.soft = soft;
    p.opacity = opacity;
    parts.push_back(p);
}

// A leg from the hip or shoulder (x, y) down to the ground: thigh, shin and foot. `far` legs stand
// a little behind and further back, in shade. Returns the shin.
struct Leg {
    float x, y;             // top
    float knee_dx, knee_y;  // the knee's offset and height
    float r_top, r_knee, r_foot;
    float foot_dx;  // the foot's reach forwards
};

int add_leg(std::vector<Part>& parts, const Leg& l, const Material& mat, const Material& foot, bool far) {
    const float shift = far ? 7.0f : 0.0f;
    const Material m = far ? coat(rgb_tone(mat.base, -0.28f), mat.pattern) : mat;
    const Material f = far ? solid(rgb_tone(foot.base, -0.25f)) : foot;
    const float x = l.x + shift, kx = l.x + l.knee_dx + shift;
    const float fy = kGround - l.r_foot - 1.0f;
    add(parts, capsule(x, l.y, kx, l.knee_y, l.r_top, l.r_knee), m, 6.0f);
    const int shin = add(parts, capsule(kx, l.knee_y, x + l.knee_dx * 0.4f, fy, l.r_knee, l.r_foot), m, 4.0f);
    parts.back().line = 0.0f;
    add(parts,
        ellipse(x + l.knee_dx * 0.4f + l.foot_dx, kGround - l.r_foot + 0.5f, l.r_foot + 2.5f,
                l.r_foot + 0.5f),
        f, 3.0f);
    return shin;
}

void add_eye(std::vector<Part>& parts, float x, float y, float r, int head) {
    paint(parts, ellipse(x, y, r, r * 1.05f), solid(rgb(0.06f, 0.05f, 0.04f), 0.6f), head);
    paint(parts, ellipse(x + r * 0.3f, y - r * 0.35f, r * 0.35f, r * 0.35f), solid(rgb(1, 1, 1)), head);
}

std::vector<Part> dog() {
    std::vector<Part> p;
    const Material fur = coat(rgb(0.62f, 0.4f, 0.2f));
    const Material paw = coat(rgb(0.9f, 0.86f, 0.78f));
    const Leg hind{80, 92, -8, 128, 10, 7, 6, 3}, front{166, 94, 2, 128, 9, 7, 6, 4};
    add_leg(p, hind, fur, paw.base.r > 0 ? solid(paw.base) : paw, true);
    add_leg(p, front, fur, solid(paw.base), true);
    const int tail = add(p, capsule(62, 72, 34, 44, 6.5f, 3.5f), fur, 3.0f);
    paint(p, ellipse(34, 44, 6, 6), solid(rgb(0.9f, 0.86f, 0.78f)), tail, 2.0f);
    const int body = add(p, capsule(80, 80, 164, 78, 23, 25), fur, 16.0f);
    paint(p, cut_below(capsule(80, 80, 164, 78, 23, 25), 90.0f, 3.0f, 0.05f), coat(rgb(0.88f, 0.8f, 0.66f)),
          body, 5.0f);
    add(p, ellipse(84, 86, 20, 24), fur, 12.0f);
    add_leg(p, hind, fur, solid(paw.base), false);
    add_leg(p, front, fur, solid(paw.base), false);
    const int neck = add(p, capsule(166, 72, 194, 48, 17, 13), fur, 10.0f);
    paint(p, capsule(176, 90, 196, 58, 10, 6), coat(rgb(0.92f, 0.88f, 0.8f)), neck, 4.0f);
    const int head = add(p, ellipse(204, 38, 19, 16), fur, 10.0f);
    const int snout = add(p, capsule(212, 45, 233, 49, 10, 7.5f), coat(rgb(0.9f, 0.84f, 0.72f)), 6.0f);
    paint(p, ellipse(237, 45, 4.5f, 3.8f), solid(rgb(0.08f, 0.06f, 0.06f), 0.8f), snout);
    paint(p, capsule(222, 55, 234, 54, 0.9f, 0.9f), solid(rgb(0.2f, 0.1f, 0.08f)), snout);
    add_eye(p, 212, 33, 2.6f, head);
    add(p, capsule(197, 27, 190, 54, 6, 8), coat(rgb(0.38f, 0.22f, 0.1f)), 5.0f);
    return p;
}

std::vector<Part> cat() {
    std::vector<Part> p;
    Material fur = coat(rgb(0.55f, 0.55f, 0.56f));
    fur.pattern = Pattern::bands;
    fur.second = rgb(0.3f, 0.3f, 0.33f);
    fur.scale = 13.0f;
    const Material white = coat(rgb(0.92f, 0.91f, 0.9f));
    const Leg hind{86, 98, -6, 132, 8.5f, 6, 5.5f, 3}, front{160, 100, 0, 132, 7, 6, 5.5f, 3};
    add_leg(p, hind, fur, solid(white.base), true);
    add_leg(p, front, fur, solid(white.base), true);
    // The tail curls up behind, lower than the ears.
    add(p, capsule(70, 96, 44, 88, 5, 5), fur, 3.0f);
    add(p, capsule(44, 88, 34, 66, 5, 4.5f), fur, 3.0f);
    const int tip = add(p, capsule(34, 66, 42, 50, 4.5f, 4), fur, 3.0f);
    paint(p, ellipse(42, 50, 5, 6), solid(rgb(0.2f, 0.2f, 0.22f)), tip, 1.0f);
    const int body = add(p, capsule(88, 94, 160, 92, 19, 19), fur, 14.0f);
    paint(p, cut_below(capsule(88, 94, 160, 92, 19, 19), 103.0f, 2.0f, 0.08f), white, body, 4.0f);
    add(p, ellipse(90, 98, 17, 20), fur, 10.0f);
    add_leg(p, hind, fur, solid(white.base), false);
    add_leg(p, front, fur, solid(white.base), false);
    add(p, capsule(160, 90, 182, 70, 14, 12), fur, 8.0f);
    // Pointed ears, the highest part.
    add(p, polygon({178, 60, 184, 32, 196, 52}, 1.5f), fur, 3.0f);
    add(p, polygon({200, 50, 214, 30, 216, 56}, 1.5f), fur, 3.0f);
    const int head = add(p, ellipse(198, 66, 18, 16), fur, 10.0f);
    paint(p, polygon({203, 50, 212, 36, 212, 54}, 0.5f), solid(rgb(0.85f, 0.55f, 0.55f)), head, 1.0f);
    const int muzzle = add(p, ellipse(211, 74, 9, 7), white, 5.0f);
    paint(p, polygon({216, 68, 221, 68, 218.5f, 71.5f}, 0.8f), solid(rgb(0.85f, 0.45f, 0.5f)), muzzle);
    paint(p, ellipse(204, 63, 4.2f, 3.8f), solid(rgb(0.75f, 0.7f, 0.25f)), head);
    paint(p, ellipse(205, 63, 1.2f, 3.2f), solid(rgb(0.05f, 0.05f, 0.05f), 0.6f), head);
    paint(p, capsule(212, 76, 226, 74, 0.5f, 0.4f), solid(rgb(0.95f, 0.95f, 0.95f)), muzzle);
    return p;
}

std::vector<Part> fox() {
    std::vector<Part> p;
    const Material fur = coat(rgb(0.82f, 0.42f, 0.14f));
    const Material white = coat(rgb(0.95f, 0.92f, 0.86f));
    const Material sock = coat(rgb(0.14f, 0.1f, 0.08f));
    const Leg hind{86, 92, -7, 128, 9, 6, 5.5f, 3}, front{164, 94, 1, 128, 7.5f, 6, 5.5f, 4};
    add_leg(p, hind, fur, solid(sock.base), true);
    add_leg(p, front, fur, solid(sock.base), true);
    // A full brush of a tail, low and sweeping, its tip white.
    Material brush = fur;
    const int tail = add(p, warped(capsule(74, 82, 20, 104, 10, 15), 1.4f, 0.3f), brush, 8.0f);
    paint(p, ellipse(14, 108, 16, 14), white, tail, 3.0f);
    const int body = add(p, capsule(86, 84, 162, 82, 20, 21), fur, 14.0f);
    paint(p, cut_below(capsule(86, 84, 162, 82, 20, 21), 96.0f, 2.0f, 0.08f), white, body, 4.0f);
    add(p, ellipse(88, 88, 17, 21), fur, 10.0f);
    const int hl = add_leg(p, hind, fur, solid(sock.base), false);
    paint(p, cut_below(capsule(hind.x + hind.knee_dx, 128, hind.x, 150, 6, 5.5f), 134.0f), sock, hl, 2.0f);
    const int fl = add_leg(p, front, fur, solid(sock.base), false);
    paint(p, cut_below(capsule(front.x + front.knee_dx, 128, front.x, 150, 6.5f, 6), 118.0f), sock, fl, 2.0f);
    const int neck = add(p, capsule(164, 78, 190, 56, 15, 12), fur, 9.0f);
    paint(p, capsule(174, 92, 196, 64, 9, 6), white, neck, 3.0f);
    add(p, polygon({184, 42, 188, 14, 202, 36}, 1.5f), sock, 3.0f);
    add(p, polygon({202, 36, 214, 12, 218, 40}, 1.5f), sock, 3.0f);
    const int head = add(p, ellipse(204, 48, 17, 14), fur, 9.0f);
    const int snout = add(p, polygon({212, 44, 244, 56, 242, 62, 212, 64}, 3.0f), fur, 5.0f);
    paint(p, cut_below(polygon({200, 44, 244, 56, 242, 62, 200, 66}, 3.0f), 56.0f), white, snout, 2.0f);
    paint(p, ellipse(245, 56, 3.5f, 3.0f), solid(rgb(0.06f, 0.05f, 0.05f), 0.8f), snout);
    add_eye(p, 213, 44, 2.3f, head);
    return p;
}

std::vector<Part> deer() {
    std::vector<Part> p;
    const Material fur = coat(rgb(0.6f, 0.38f, 0.2f));
    const Material pale = coat(rgb(0.93f, 0.88f, 0.78f));
    const Material hoof = solid(rgb(0.12f, 0.09f, 0.07f), 0.3f);
    const Leg hind{86, 80, -9, 118, 11, 6, 5.5f, 1}, front{172, 82, 2, 118, 8, 6, 5.5f, 2};
    add_leg(p, hind, fur, hoof, true);
    add_leg(p, front, fur, hoof, true);
    const int tail = add(p, capsule(72, 62, 62, 74, 5, 4), fur, 3.0f);
    paint(p, capsule(70, 66, 62, 76, 3, 3), pale, tail, 1.5f);
    const int body = add(p, capsule(84, 70, 170, 68, 20, 21), fur, 14.0f);
    paint(p, cut_below(capsule(84, 70, 170, 68, 20, 21), 80.0f, 2.0f, 0.08f), pale, body, 4.0f);
    paint(p, ellipse(70, 72, 10, 14), pale, body, 4.0f, 0.9f);
    // A few pale spots along the back.
    for (int i = 0; i < 9; ++i) {
        const float sx = 96.0f + 8.5f * static_cast<float>(i), sy = 60.0f + 5.0f * static_cast<float>(i % 2);
        paint(p, ellipse(sx, sy, 2.3f, 2.0f), pale, body, 1.0f, 0.7f);
    }
    add(p, ellipse(88, 76, 18, 22), fur, 10.0f);
    add_leg(p, hind, fur, hoof, false);
    add_leg(p, front, fur, hoof, false);
    const int neck = add(p, capsule(168, 64, 196, 30, 15, 10), fur, 8.0f);
    paint(p, capsule(182, 76, 204, 40, 7, 4), pale, neck, 3.0f);
    add(p, polygon({190, 22, 176, 6, 182, 4, 198, 18}, 3.0f), fur, 3.0f);
    add(p, polygon({206, 18, 216, 2, 222, 6, 212, 22}, 3.0f), fur, 3.0f);
    const int head = add(p, ellipse(206, 28, 14, 12), fur, 8.0f);
    const int snout = add(p, capsule(210, 30, 234, 40, 9, 6), fur, 5.0f);
    paint(p, ellipse(237, 39, 4, 3.5f), solid(rgb(0.07f, 0.05f, 0.05f), 0.8f), snout);
    paint(p, cut_below(capsule(210, 30, 234, 40, 9, 6), 42.0f), pale, snout, 1.5f);
    add_eye(p, 210, 24, 2.8f, head);
    return p;
}

std::vector<Part> sheep() {
    std::vector<Part> p;
    const Material wool = [] {
        Material m = coat(rgb(0.9f, 0.87f, 0.8f), Pattern::wool);
        m.second = rgb(0.7f, 0.66f, 0.58f);
        return m;
    }();
    const Material face = coat(rgb(0.16f, 0.13f, 0.12f), Pattern::skin);
    const Material hoof = solid(rgb(0.08f, 0.07f, 0.06f));
    const Leg hind{84, 100, -4, 132, 7, 6, 5.5f, 1}, front{164, 102, 2, 132, 7, 6, 5.5f, 2};
    add_leg(p, hind, face, hoof, true);
    add_leg(p, front, face, hoof, true);
    add_leg(p, hind, face, hoof, false);
    add_leg(p, front, face, hoof, false);
    add(p, capsule(58, 80, 50, 98, 7, 5), wool, 4.0f);
    add(p, warped(capsule(80, 80, 160, 78, 28, 28), 2.2f, 0.22f), wool, 18.0f);
    add(p, ellipse(186, 54, 11, 6), face, 4.0f);
    add(p, polygon({190, 30, 202, 22, 204, 28, 194, 36}, 2.5f), face, 3.0f);
    const int head = add(p, capsule(196, 38, 224, 56, 13, 9), face, 7.0f);
    add(p, warped(ellipse(190, 36, 12, 11), 1.4f, 0.35f), wool, 8.0f);
    paint(p, ellipse(230, 56, 2.4f, 2.0f), solid(rgb(0.03f, 0.03f, 0.03f)), head);
    paint(p, capsule(222, 62, 230, 62, 0.7f, 0.7f), solid(rgb(0.05f, 0.04f, 0.04f)), head);
    add_eye(p, 210, 42, 2.3f, head);
    paint(p, ellipse(209.5f, 42.5f, 3.2f, 3.2f), solid(rgb(0.75f, 0.6f, 0.3f)), head, 0.0f, 0.0f);
    return p;
}

}  // namespace

MediaImage media_animal(int variant) {
    std::vector<Part> parts = variant == 1   ? dog()
                              : variant == 2 ? cat()
                              : variant == 3 ? fox()
                              : variant == 4 ? deer()
                                             : sheep();
    return draw_figure(parts, kAnimalWidth, kAnimalHeight, View::front,
                       2000 + static_cast<uint64_t>(variant));
}

MediaImage media_staff() {
    std::vector<Part> p;
    Material wood;
    wood.base = rgb(0.5f, 0.32f, 0.17f);
    wood.second = rgb(0.34f, 0.2f, 0.1f);
    wood.pattern = Pattern::wood;
    wood.folds = 0.0f;
    wood.shine = 0.2f;
    const Material dark = [&] {
        Material m = wood;
        m.base = rgb_tone(wood.base, -0.25f);
        m.second = rgb_tone(wood.second, -0.25f);
        return m;
    }();
    const int shaft = add(p, polygon({24.5f, 40, 39.5f, 40, 38.5f, 256, 25.5f, 256}, 0.0f), wood, 7.0f);
    // A metal shoe at the foot, a collar under the handle.
    const int tip = add(p, polygon({25.5f, 236, 38.5f, 236, 38.5f, 256, 25.5f, 256}, 0.0f),
                        solid(rgb(0.55f, 0.55f, 0.58f), 0.8f), 7.0f);
    paint(p, capsule(24, 237, 40, 237, 1.2f, 1.2f), solid(rgb(0.3f, 0.3f, 0.33f)), tip);
    add(p, capsule(23, 46, 41, 46, 4.5f, 4.5f), dark, 4.0f);
    // The handle: a knob with a band of carved spiral grooves and a smaller crown on top.
    const int knob = add(p, ellipse(32, 26, 14, 17), wood, 12.0f);
    for (int i = 0; i < 5; ++i) {
        const float y = 14.0f + 6.0f * static_cast<float>(i);
        paint(p, capsule(19, y + 5, 45, y - 4, 1.3f, 1.3f), solid(rgb(0.22f, 0.12f, 0.06f)), knob, 1.2f,
              0.85f);
    }
    paint(p, ellipse(26, 19, 5, 7), solid(rgb(0.85f, 0.65f, 0.4f)), knob, 5.0f, 0.35f);
    add(p, polygon({25, 1.5f, 39, 1.5f, 41, 11, 23, 11}, 1.5f), dark, 5.0f);
    // Grooves down the shaft every so often, where a hand would grip.
    for (int i = 0; i < 3; ++i) {
        const float y = 62.0f + 6.0f * static_cast<float>(i);
        paint(p, capsule(25, y, 39, y + 2, 0.9f, 0.9f), solid(rgb(0.25f, 0.14f, 0.07f)), shaft, 1.0f, 0.8f);
    }
    return draw_figure(p, 64, 256, View::front, 2100);
}
