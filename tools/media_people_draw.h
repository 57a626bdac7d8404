// Figures drawn from layered shapes: each part is a distance field (capsule, ellipse or polygon) with
// a fabric, skin, hair or fur material, shaded as a rounded body lit from the top left. The union of
// the body parts is the silhouette (alpha 255 inside, 0 outside, edged by a dark outline); decals
// (faces, seams, markings) only paint inside it, so a back view that swaps decals keeps the front's
// silhouette exactly. Single-threaded.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "media_image.h"

enum class ShapeKind { capsule, ellipse, polygon };

struct Shape {
    ShapeKind kind = ShapeKind::ellipse;
    // Capsule: the segment (ax, ay)-(bx, by), radius ra at a and rb at b.
    // Ellipse: centre (ax, ay), radii bx and by.
    float ax = 0, ay = 0, bx = 0, by = 0;
    float ra = 0, rb = 0;
    // Polygon: up to 12 corners (x, y pairs) in order, edges rounded outwards by `round` pixels.
    float points[24] = {};
    int corners = 0;
    float round = 0;
    // Kept only on one side of the wavy line y = cut_y + cut_wave * sin(x * cut_freq): above it
    // (cut_keep < 0), below it (cut_keep > 0), or everywhere (0).
    int cut_keep = 0;
    float cut_y = 0, cut_wave = 0, cut_freq = 0;
    // Pixels of noise added to the edge: curls, wool, fur tufts.
    float warp = 0;
    float warp_freq = 0.2f;
};

Shape capsule(float ax, float ay, float bx, float by, float ra, float rb);
Shape ellipse(float cx, float cy, float rx, float ry);
// Corners as x, y pairs.
Shape polygon(std::initializer_list<float> xy, float round);
Shape cut_above(Shape s, float y, float wave = 0, float freq = 0);  // keeps what lies above y
Shape cut_below(Shape s, float y, float wave = 0, float freq = 0);  // keeps what lies below y
Shape warped(Shape s, float pixels, float freq);

enum class Pattern {
    plain,
    stripes,
    bands,
    check,
    dots,
    denim,
    knit,
    sequin,
    skin,
    hair,
    fur,
    wool,
    wood,
    leather
};

struct Material {
    Rgb base = {0.5f, 0.5f, 0.5f};
    Rgb second = {0.5f, 0.5f, 0.5f};  // the pattern's other colour
    Pattern pattern = Pattern::plain;
    float scale = 8.0f;         // the pattern's period in pixels
    float folds = 0.12f;        // depth of the cloth's folds (fraction of the colour)
    bool folds_across = false;  // folds run across the part (sleeves, trouser legs) instead of down
    float shine = 0.0f;         // highlight strength on the lit side
};

enum class View : uint8_t { both, front, back };

struct Part {
    Shape shape;
    Material mat;
    bool decal = false;  // paints inside the silhouette only, adds nothing to it
    View view = View::both;
    int shade_from = -1;  // the part whose roundness shades this one (-1: its own)
    float depth = 6.0f;   // pixels from the edge to the full bulge
    float line = 0.55f;   // darkening of the edge drawn where this part lies over another one
    float soft = 0.0f;    // decals: pixels over which the edge fades in
    float opacity = 1.0f;
};

// Draws the parts in order (later parts on top) into a width x height RGBA picture, as seen from the
// front or the back (parts of the other view are left out). `seed` steers the noise.
MediaImage draw_figure(const std::vector<Part>& parts, int width, int height, View view, uint64_t seed);

// Index of the part just added: for decals that shade from it.
inline int last_part(const std::vector<Part>& parts) {
    return static_cast<int>(parts.size()) - 1;
}

Rgb rgb(float r, float g, float b);
// The same colour lighter (t > 0, towards white) or darker (t < 0, towards black).
Rgb rgb_tone(Rgb c, float t);
