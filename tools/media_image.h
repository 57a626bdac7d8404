// Images of the media generator: an 8-bit pixel buffer, colour helpers, and the PNG / JPEG writers.
// Single-threaded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MediaImage {
    int width = 0;                // pixels
    int height = 0;               // pixels
    int channels = 0;             // 3 (RGB) or 4 (RGBA)
    std::vector<uint8_t> pixels;  // width x height x channels bytes, rows top to bottom, no padding
};

struct Rgb {
    float r, g, b;  // linear 0..1 (values above 1 saturate when written)
};

MediaImage image_make(int width, int height, int channels);
// Writes one pixel from 0..1 values; alpha is ignored for 3-channel images. `dither` (-0.5..0.5 of
// one step) breaks up banding in slow gradients.
void image_put(MediaImage& image, int x, int y, Rgb colour, float alpha, float dither = 0.0f);

// 0..1 to 0..255 with rounding; out-of-range and NaN values are held to the ends.
uint8_t to_byte(float v);
float clamp01(float v);
float smoothstep(float edge0, float edge1, float x);
Rgb rgb_mix(Rgb a, Rgb b, float t);
Rgb rgb_scale(Rgb a, float s);
Rgb rgb_add(Rgb a, Rgb b);

// Creates a folder and its parents; true when it exists afterwards.
bool media_make_dirs(const std::string& dir);
// Encode to memory, write to "<path>.tmp" and rename over `path`, so an interrupted run never leaves
// a truncated file that looks up to date. False on any failure (nothing left behind then).
bool media_write_png(const MediaImage& image, const std::string& path);
bool media_write_jpg(const MediaImage& image, const std::string& path, int quality);
