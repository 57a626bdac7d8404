// Decoding the media generator's files in tests, with libpng and libjpeg (the decoders the engine
// itself uses), and measures over the decoded pixels.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace mediatest {

struct Picture {
    int width = 0;
    int height = 0;
    int channels = 0;
    std::vector<uint8_t> pixels;

    int at(int x, int y, int c) const {
        return pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) *
                          static_cast<size_t>(channels) +
                      static_cast<size_t>(c)];
    }
    int luma(int x, int y) const { return (at(x, y, 0) * 3 + at(x, y, 1) * 6 + at(x, y, 2)) / 10; }
};

// The bytes of a file of the build's data folder (the generator's output), e.g. "tex/fal1.png";
// empty when it is missing.
std::string media_file(const std::string& name);
// The file's own layout as the library reports it; an empty picture on any decode failure.
Picture decode_png(const std::string& bytes);
Picture decode_jpeg(const std::string& bytes);
// By the name's extension: media_file and the matching decoder.
Picture decode_media(const std::string& name);
// A generated file and the layout the engine expects of it.
struct MediaLayout {
    const char* name;  // relative to the data folder
    int width, height, channels;
};
// Each file decodes with its listed size and channel count (test expectations, one per mismatch).
void expect_layouts(std::initializer_list<MediaLayout> files);
// Colour type byte of the IHDR chunk (2 RGB, 6 RGBA), which the simplified API does not expose.
int png_colour_type(const std::string& bytes);

// Mean difference per colour sample across the wrap (last column to first, or last row to first)
// and between neighbours inside the picture. A texture that tiles shows no more change at its seam
// than anywhere else.
struct SeamStats {
    double seam = 0.0;
    double inside = 0.0;
};
SeamStats seam_stats(const Picture& pic, bool vertical);
// Means over the rows y0 <= y < y1.
double mean_channel(const Picture& pic, int c, int y0, int y1);
double mean_luma(const Picture& pic, int y0, int y1);

}  // namespace mediatest
