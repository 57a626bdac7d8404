// The reference renderer's input: a standard workload built by the engine's own builders and read back
// from the object table as GL-ready vertices (clip coordinates from the engine's camera and projection),
// textures and draw batches. No GL here; the harness uploads what this gives, once, before timing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/ids.h"

// One vertex as the harness hands it to GL (28 bytes, one interleaved array).
struct RefVertex {
    float clip[4];    // clip x, y, z, w: the engine's screen position and view depth, divided back by w
    float uv[2];      // texture coordinates, v = 0 the top row; 0 for untextured batches
    uint8_t rgba[4];  // vertex colour the texel is multiplied by (or the colour itself untextured)
};

// Consecutive triangles drawn with one GL state: a run of parts in the engine's draw order that share
// texture and blending.
struct RefBatch {
    int first = 0;          // first vertex in RefScene::vertices
    int count = 0;          // vertices (3 per triangle)
    TextureId texture = 0;  // engine texture id; 0: untextured
    uint8_t blend = 0;      // the engine may blend some pixel of these parts: alpha test and blending on
};

// A texture as the engine samples it: rows top first, 3 or 4 bytes a texel.
struct RefTexture {
    TextureId id = 0;
    int width = 0, height = 0, channels = 3;
    const uint8_t* pixels = nullptr;  // the engine's texture table keeps them for the process
};

struct RefScene {
    int width = 0, height = 0;       // frame size in pixels
    float clear_rgb[3] = {0, 0, 0};  // the engine's clear colour, 0..1
    std::vector<RefVertex> vertices;
    std::vector<RefBatch> batches;
    std::vector<RefTexture> textures;  // every texture a batch names, once
    int64_t triangles = 0;             // triangles handed to GL
    int64_t skipped = 0;               // triangles the engine never draws (behind the eye, not finite)
};

// The workload names the harness accepts: fill, fill-f2b, small, park.
bool ref_workload_known(const std::string& name);

// Builds the workload at width x height with the engine's builders, renders the engine's frame the
// same way the frame dump does (its image is then in frame_buffer), and reads the scene back into
// scene. False for an unknown workload.
bool ref_build_scene(const std::string& name, int width, int height, RefScene& scene);
