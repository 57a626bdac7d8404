// Writes one small valid file of every image kind the readers take into the folder given, as the seeds
// of fuzz_image. Run by the fuzz build after fuzz_image is linked.
#include <cstdio>  // jpeglib.h needs FILE and size_t first

#include <jpeglib.h>
#include <png.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string folder;

bool save(const char* name, const std::string& bytes) {
    std::string path = folder + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

void put16(std::string& s, unsigned v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void put32(std::string& s, unsigned v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

uint8_t sample(int x, int y, int c) {
    return static_cast<uint8_t>(x * 31 + y * 17 + c * 80);
}

void append_png(png_structp png, png_bytep data, size_t n) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), n);
}

std::string png(int colour, int depth, bool interlaced, bool trns) {
    const int w = 5, h = 4;
    std::string out;
    png_structp p = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(p);
    if (setjmp(png_jmpbuf(p))) {
        png_destroy_write_struct(&p, &info);
        return {};
    }
    png_set_write_fn(p, &out, append_png, nullptr);
    png_set_IHDR(p, info, w, h, depth, colour, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {20, 20, 20}};
    png_byte alphas[2] = {0, 128};
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(p, info, palette, 4);
    if (trns) png_set_tRNS(p, info, alphas, 2, nullptr);
    png_text text{};
    text.compression = PNG_TEXT_COMPRESSION_zTXt;
    text.key = const_cast<char*>("Comment");
    text.text = const_cast<char*>("seed");
    png_set_text(p, info, &text, 1);
    png_write_info(p, info);
    size_t row = png_get_rowbytes(p, info);
    std::vector<png_byte> pixels(row * h);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<png_byte>(i * 29);
    if (colour == PNG_COLOR_TYPE_PALETTE) {
        for (auto& b : pixels) b &= 0x55;  // indices 0 and 1 at 2 bits per pixel
    }
    std::vector<png_bytep> rows(h);
    for (int y = 0; y < h; ++y) rows[y] = pixels.data() + row * y;
    png_write_image(p, rows.data());
    png_write_end(p, nullptr);
    png_destroy_write_struct(&p, &info);
    return out;
}

std::string jpeg(bool progressive, bool cmyk) {
    const int w = 17, h = 9;
    const int comps = cmyk ? 4 : 3;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = w;
    cinfo.image_height = h;
    cinfo.input_components = comps;
    cinfo.in_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 75, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(w) * comps);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < comps; ++c)
                row[x * comps + c] = sample(x, static_cast<int>(cinfo.next_scanline), c);
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    free(buffer);
    return out;
}

std::string bmp() {
    const int w = 4, h = 3;
    std::string s = "BM";
    put32(s, 54 + w * h * 3);
    put32(s, 0);
    put32(s, 54);
    put32(s, 40);
    put32(s, w);
    put32(s, h);
    put16(s, 1);
    put16(s, 24);
    put32(s, 0);
    put32(s, w * h * 3);
    put32(s, 2835);
    put32(s, 2835);
    put32(s, 0);
    put32(s, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 3; ++c) s.push_back(static_cast<char>(sample(x, y, c) % 9));
        }
    }
    return s;
}

std::string tga(bool rle, int depth) {
    const int w = 6, h = 2, bpp = depth / 8;
    std::string s(12, '\0');
    s[2] = static_cast<char>(rle ? 10 : 2);
    put16(s, w);
    put16(s, h);
    s.push_back(static_cast<char>(depth));
    s.push_back(rle ? '\x20' : '\0');
    if (!rle) {
        for (int i = 0; i < w * h * bpp; ++i) s.push_back(static_cast<char>(i * 13));
        return s;
    }
    for (int y = 0; y < h; ++y) {
        s.push_back('\x82');  // three of one colour
        for (int c = 0; c < bpp; ++c) s.push_back(static_cast<char>(sample(0, y, c)));
        s.push_back('\x02');  // three literals
        for (int x = 0; x < 3; ++x) {
            for (int c = 0; c < bpp; ++c) s.push_back(static_cast<char>(sample(x, y, c)));
        }
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: make_image_seeds FOLDER\n");
        return 2;
    }
    folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return 1;
    bool ok = save("rgb.png", png(PNG_COLOR_TYPE_RGB, 8, false, false)) &&
              save("palette.png", png(PNG_COLOR_TYPE_PALETTE, 2, false, true)) &&
              save("grey_alpha16_interlaced.png", png(PNG_COLOR_TYPE_GRAY_ALPHA, 16, true, false)) &&
              save("rgba.png", png(PNG_COLOR_TYPE_RGB_ALPHA, 8, true, false)) &&
              save("baseline.jpg", jpeg(false, false)) && save("progressive.jpg", jpeg(true, false)) &&
              save("cmyk.jpg", jpeg(false, true)) && save("plain.bmp", bmp()) &&
              save("raw24.tga", tga(false, 24)) && save("rle24.tga", tga(true, 24)) &&
              save("rle32.tga", tga(true, 32)) && save("raw32.tga", tga(false, 32));
    return ok ? 0 : 1;
}
