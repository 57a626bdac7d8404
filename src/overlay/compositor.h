// The overlay compositor's entry points that element and text code submit through: draw commands and
// the turning of quads. (The draw list, tiles, rasterising and the merge are the compositor's own.)
#pragma once

#include "core/ids.h"

// Texture value of a placeholder command: draws nothing and marks nothing; text pads its commands
// with them so that later elements keep their command indices.
constexpr int DRAW_PLACEHOLDER = -3;

// Appends one draw command to this frame's list: the rectangle (x0, y0)-(x1, y1), or with `quad` the
// quadrilateral (x0, y0), (x1, y1), (x2, y2), (x3, y3); the texture window u_min..u_max, v_min..v_max;
// texture 0 for a solid colour; colour and alpha 0..1; `inset` pulls the window's far edges in by one
// texel; `force` redraws even when unchanged; `clip` is 8 floats (x0 y0 .. x3 y3, first below -1: none)
// or null for none. A quad's corners go round its image: top-left (u_min, v_min), bottom-left,
// bottom-right, top-right (u_max, v_min).
void overlay_submit(float x0, float y0, float x1, float y1, float u_min, float v_min, float u_max,
                    float v_max, int texture, float red, float green, float blue, float alpha, int quad,
                    float x2, float y2, float x3, float y3, int inset, int force, const float* clip);

// Appends n placeholders (every coordinate and window value -1, colour 0, no clip), as text pads its
// commands: the same as n overlay_submit calls, with a slot that already holds one only counted.
void overlay_submit_placeholders(int n);

// Turns the four corners by `degrees` about (cx, cy) with `aspect` = frame width / height (so shapes
// stay square on a non-square frame), then scales them by `scale` about the same centre.
void quad_rotate(float& x0, float& y0, float& x1, float& y1, float& x2, float& y2, float& x3, float& y3,
                 float degrees, float aspect, float scale, float cx, float cy);
