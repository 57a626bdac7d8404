// Writes one small valid file of every image kind the readers take into the folder given, as the seeds
// of fuzz_image. Run by the fuzz build after fuzz_image is linked.
#include <png.h>

#include <string>
#include <vector>

#include "seed_file.h"
#include "support/image_files.h"

namespace {

std::string folder;

bool save(const char* name, const std::string& bytes) {
    return seed_save(folder, name, bytes);
}

uint8_t sample(int x, int y, int c) {
    return static_cast<uint8_t>(x * 31 + y * 17 + c * 80);
}

std::vector<uint8_t> samples(int width, int height, int channels) {
    std::vector<uint8_t> out;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) out.push_back(sample(x, y, c));
    return out;
}

// A 5 x 4 PNG with a compressed comment, so the seeds reach the readers' chunk skipping too.
std::string png(int colour, int depth, bool interlaced, bool trns) {
    imagefiles::PngLayout layout;
    layout.width = 5;
    layout.height = 4;
    layout.colour_type = colour;
    layout.depth = depth;
    layout.interlaced = interlaced;
    layout.samples.resize(64 * 4);
    for (size_t i = 0; i < layout.samples.size(); ++i) layout.samples[i] = static_cast<uint8_t>(i * 29);
    if (colour == PNG_COLOR_TYPE_PALETTE) {
        layout.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 20, 20, 20};
        for (auto& b : layout.samples) b &= 0x55;  // indices 0 and 1 at 2 bits per pixel
    }
    if (trns) layout.trns = {0, 128};
    layout.text = "seed";
    layout.text_compressed = true;
    return imagefiles::png_file(layout);
}

std::string jpeg(bool progressive, int components) {
    return imagefiles::jpeg_file(17, 9, components, samples(17, 9, components), progressive);
}

// Raw rows, or per row a run of three of one colour and three literals.
std::string tga(bool rle, int depth) {
    const int w = 6, h = 2, bpp = depth / 8;
    std::string s = imagefiles::tga_header(rle ? 10 : 2, w, h, depth, rle ? 0x20 : 0);
    if (!rle) {
        for (int i = 0; i < w * h * bpp; ++i) s.push_back(static_cast<char>(i * 13));
        return s;
    }
    for (int y = 0; y < h; ++y) {
        s.push_back('\x82');
        for (int c = 0; c < bpp; ++c) s.push_back(static_cast<char>(sample(0, y, c)));
        s.push_back('\x02');
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < bpp; ++c) s.push_back(static_cast<char>(sample(x, y, c)));
    }
    return s;
}

// A BMP and its alpha map of the same size one after the other: the fuzz target hands the second half
// of its bytes to the alpha reader as the map.
std::string bmp_with_map() {
    std::vector<uint8_t> alpha(4 * 3 * 3);
    for (size_t i = 0; i < alpha.size(); ++i) alpha[i] = static_cast<uint8_t>(i / 3 * 23);
    return imagefiles::bmp_file(4, 3, samples(4, 3, 3)) + imagefiles::bmp_file(4, 3, alpha);
}

// A header claiming far more pixels than the readers' bound, over a few bytes of pixels.
std::string huge_bmp() {
    std::string s = imagefiles::bmp_file(2, 2, samples(2, 2, 3));
    const char side[4] = {'\x30', '\x75', 0, 0};  // 30000
    s.replace(18, 4, side, 4);
    s.replace(22, 4, side, 4);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const char* seeds = seed_folder(argc, argv, "make_image_seeds");
    if (seeds == nullptr) return 2;
    folder = seeds;
    const bool ok = save("rgb.png", png(PNG_COLOR_TYPE_RGB, 8, false, false)) &&
                    save("palette.png", png(PNG_COLOR_TYPE_PALETTE, 2, false, true)) &&
                    save("grey_alpha16_interlaced.png", png(PNG_COLOR_TYPE_GRAY_ALPHA, 16, true, false)) &&
                    save("rgba.png", png(PNG_COLOR_TYPE_RGB_ALPHA, 8, true, false)) &&
                    save("baseline.jpg", jpeg(false, 3)) && save("progressive.jpg", jpeg(true, 3)) &&
                    save("cmyk.jpg", jpeg(false, 4)) &&
                    save("plain.bmp", imagefiles::bmp_file(4, 3, samples(4, 3, 3))) &&
                    save("raw24.tga", tga(false, 24)) && save("rle24.tga", tga(true, 24)) &&
                    save("rle32.tga", tga(true, 32)) && save("raw32.tga", tga(false, 32)) &&
                    save("with_map.bmp", bmp_with_map()) && save("huge.bmp", huge_bmp()) &&
                    save("huge.tga", imagefiles::tga_header(10, 65535, 65535, 32) + "\xff\x01\x02\x03\x04") &&
                    save("many_scans.jpg", imagefiles::jpeg_file(8, 8, 3, samples(8, 8, 3), true, true));
    return ok ? 0 : 1;
}
