// Small image files of every kind the engine reads, written in memory: the fixtures of the tests and the
// seeds of the fuzz targets. Built with the same libraries the readers decode with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imagefiles {

// An uncompressed 24-bit BMP; `rgb` holds the rows top first, R G B per pixel. Rows are written bottom
// first as B G R with no padding (the engine's textures have widths whose rows need none).
std::string bmp_file(int width, int height, const std::vector<uint8_t>& rgb);

// The 18-byte TGA header: image type 2 (raw) or 10 (run-length), no id, no colour map.
std::string tga_header(int type, int width, int height, int depth, int descriptor = 0);

struct PngLayout {
    int width = 1;
    int height = 1;
    int colour_type = 2;  // PNG_COLOR_TYPE_*
    int depth = 8;
    bool interlaced = false;
    std::vector<uint8_t> samples;  // packed rows as stored (16-bit big-endian), no filter bytes
    std::vector<uint8_t> palette;  // R G B per entry
    std::vector<uint8_t> trns;     // palette alphas, or a 2-byte grey / 6-byte RGB key
    std::string text;              // a comment when not empty
    bool text_compressed = false;  // the comment as zTXt instead of tEXt
};
std::string png_file(const PngLayout& layout);

// A JPEG of 3-channel RGB, 1-channel grey or 4-channel CMYK pixels, rows top first. `progressive` uses the
// usual ten-scan script; `single_coefficient_scans` writes one scan per coefficient and component instead.
std::string jpeg_file(int width, int height, int components, const std::vector<uint8_t>& pixels,
                      bool progressive = false, bool single_coefficient_scans = false);

// A width x height RGB test image: each pixel's colour depends on its position.
std::vector<uint8_t> gradient_rgb(int width, int height);

// A width x height RGBA picture of a standing person seen from the front: head, torso, arms held a
// little away from the body, two legs apart; transparent elsewhere (with red hidden under the
// transparency).
std::vector<uint8_t> person_rgba(int width, int height);

}  // namespace imagefiles
