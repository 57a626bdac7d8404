// Painting for the nature group's sprites: a floating-point RGBA canvas composited front over back,
// tapered limbs and leafy blobs lit from the top left. Single-threaded.
#pragma once

#include <vector>

#include "media_image.h"
#include "media_noise.h"

// Premultiplied RGBA, so that painting over is one blend and soft edges stay clean.
struct Canvas {
    int width = 0;
    int height = 0;
    bool wrap = false;  // x wraps around (panoramic strips); otherwise strokes are clipped
    std::vector<float> rgba;
};

Canvas canvas_make(int width, int height, bool wrap);
// Composites `colour` at `cover` (0..1) over the pixel; outside the canvas nothing happens.
void canvas_over(Canvas& canvas, int x, int y, Rgb colour, float cover);
// Back to straight alpha, dithered by a hash of `salt`; alpha 0 pixels come out black.
MediaImage canvas_image(const Canvas& canvas, uint32_t salt);

// A limb from (x0, y0) with half-width r0 to (x1, y1) with r1 (pixels), shaded as a cylinder lit from
// the top left, with bark streaks along it.
struct Bark {
    Rgb light;
    Rgb dark;
    const NoiseTable* grain;
    float streak;        // 0..1: how strongly the grain shows
    float marks = 0.0f;  // 0..1: dark dashes across the limb (birch bark)
    Rgb mark_colour = {0.0f, 0.0f, 0.0f};
};
void paint_limb(Canvas& canvas, float x0, float y0, float r0, float x1, float y1, float r1, const Bark& bark);

// A cluster of leaves around (cx, cy), radius r pixels: a ball with a ragged leafy rim, lit from the
// top left. `shade` darkens the whole cluster (depth in the crown, its underside).
struct Foliage {
    Rgb shadow;
    Rgb mid;
    Rgb light;
    const NoiseTable* leaves;
    float leaf_size;  // pixels per leaf-noise cell: the size of the rim's lobes
    float ragged;     // how far the lobes cut into the ball
};
void paint_cluster(Canvas& canvas, float cx, float cy, float r, float shade, const Foliage& foliage);

// A single leaf from its stalk's end (x, y) along `angle` (radians, image x right, y down): pointed,
// widest a little below its middle, folded along a midrib so one half catches more light. Colours run
// from `base` at the stalk to `tip`.
struct Leaf {
    float length;  // pixels, stalk not included
    float width;   // greatest half-width, pixels
    Rgb base;
    Rgb tip;
    Rgb rib;  // midrib and veins
};
void paint_leaf(Canvas& canvas, float x, float y, float angle, const Leaf& leaf, const NoiseTable& spots);
