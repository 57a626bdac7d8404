// The reference renderer: a RefScene drawn by Mesa's CPU GL through an off-screen context (OSMesa), in
// the fixed-function state the comparison keeps. Single-threaded use from the calling thread; Mesa runs
// its own rasteriser threads (LP_NUM_THREADS) inside each frame.
#pragma once

#include <cstdint>
#include <vector>

#include "reference_scene.h"

struct RefGlState;  // the context and its GL objects (reference_gl.cpp)

struct RefGl {
    RefGlState* state = nullptr;
    const RefScene* scene = nullptr;
};

// Creates the context and the frame buffer object, uploads the textures and one static vertex buffer.
// The scene must outlive the RefGl. False (with a message on standard error) when GL is not available.
bool refgl_open(const RefScene& scene, RefGl& gl);
// One frame: clear colour and depth, every batch, glFinish.
void refgl_frame(RefGl& gl);
// The frame's colour as R, G, B bytes, rows top to bottom (the engine's frame layout).
void refgl_read_rgb(RefGl& gl, std::vector<uint8_t>& rgb);
// The renderer GL reports, for the record.
const char* refgl_renderer(RefGl& gl);
void refgl_close(RefGl& gl);
