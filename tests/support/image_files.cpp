#include "support/image_files.h"

#include <cstdio>  // jpeglib.h needs FILE and size_t first

#include <jpeglib.h>
#include <png.h>

#include <cmath>
#include <cstdlib>

namespace imagefiles {

namespace {

void put16(std::string& s, unsigned v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

void append_png(png_structp png, png_bytep data, size_t n) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), n);
}

}  // namespace

std::string bmp_file(int width, int height, const std::vector<uint8_t>& rgb) {
    std::string s = "BM";
    uint32_t data_size = static_cast<uint32_t>(width * height * 3);
    put32(s, 54 + data_size);
    put32(s, 0);
    put32(s, 54);
    put32(s, 40);
    put32(s, static_cast<uint32_t>(width));
    put32(s, static_cast<uint32_t>(height));
    put16(s, 1);
    put16(s, 24);
    put32(s, 0);
    put32(s, data_size);
    put32(s, 2835);
    put32(s, 2835);
    put32(s, 0);
    put32(s, 0);
    for (int y = height - 1; y >= 0; --y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            s.push_back(static_cast<char>(p[2]));
            s.push_back(static_cast<char>(p[1]));
            s.push_back(static_cast<char>(p[0]));
        }
    }
    return s;
}

std::string tga_header(int type, int width, int height, int depth, int descriptor) {
    std::string s(12, '\0');
    s[2] = static_cast<char>(type);
    put16(s, static_cast<unsigned>(width));
    put16(s, static_cast<unsigned>(height));
    s.push_back(static_cast<char>(depth));
    s.push_back(static_cast<char>(descriptor));
    return s;
}

std::string png_file(const PngLayout& layout) {
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, append_png, nullptr);
    png_set_IHDR(png, info, layout.width, layout.height, layout.depth, layout.colour_type,
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (size_t i = 0; i + 2 < layout.palette.size(); i += 3) {
        palette.push_back({layout.palette[i], layout.palette[i + 1], layout.palette[i + 2]});
    }
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!layout.trns.empty()) {
        if (layout.colour_type == PNG_COLOR_TYPE_PALETTE) {
            png_set_tRNS(png, info, layout.trns.data(), static_cast<int>(layout.trns.size()), nullptr);
        } else {
            png_color_16 key{};
            key.gray = static_cast<png_uint_16>(layout.trns[0] << 8 | layout.trns[1]);
            if (layout.trns.size() >= 6) {
                key.red = static_cast<png_uint_16>(layout.trns[0] << 8 | layout.trns[1]);
                key.green = static_cast<png_uint_16>(layout.trns[2] << 8 | layout.trns[3]);
                key.blue = static_cast<png_uint_16>(layout.trns[4] << 8 | layout.trns[5]);
            }
            png_set_tRNS(png, info, nullptr, 0, &key);
        }
    }
    png_text text{};
    std::string comment = layout.text;
    if (!comment.empty()) {
        text.compression = layout.text_compressed ? PNG_TEXT_COMPRESSION_zTXt : PNG_TEXT_COMPRESSION_NONE;
        text.key = const_cast<char*>("Comment");
        text.text = comment.data();
        png_set_text(png, info, &text, 1);
    }
    png_write_info(png, info);
    size_t row = png_get_rowbytes(png, info);
    std::vector<png_bytep> rows(static_cast<size_t>(layout.height));
    std::vector<uint8_t> samples = layout.samples;
    samples.resize(row * layout.height);
    for (int y = 0; y < layout.height; ++y) rows[y] = samples.data() + row * y;
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::string jpeg_file(int width, int height, int components, const std::vector<uint8_t>& pixels,
                      bool progressive, bool single_coefficient_scans) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    std::vector<jpeg_scan_info> scans;
    if (progressive) jpeg_simple_progression(&cinfo);
    if (single_coefficient_scans) {
        scans.push_back({cinfo.num_components, {0, 1, 2, 0}, 0, 0, 0, 0});
        for (int c = 0; c < cinfo.num_components; ++c) {
            for (int k = 1; k < 64; ++k) scans.push_back({1, {c, 0, 0, 0}, k, k, 0, 0});
        }
        cinfo.scan_info = scans.data();
        cinfo.num_scans = static_cast<int>(scans.size());
    }
    jpeg_start_compress(&cinfo, TRUE);
    size_t row = static_cast<size_t>(width) * components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW r = const_cast<uint8_t*>(&pixels[cinfo.next_scanline * row]);
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    free(buffer);
    return out;
}

std::vector<uint8_t> gradient_rgb(int width, int height) {
    std::vector<uint8_t> p(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* q = &p[(static_cast<size_t>(y) * width + x) * 3];
            q[0] = static_cast<uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
            q[1] = static_cast<uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
            q[2] = 96;
        }
    }
    return p;
}

std::vector<uint8_t> person_rgba(int width, int height) {
    std::vector<uint8_t> p(static_cast<size_t>(width) * height * 4);
    const double w = width, h = height;
    // Distance in pixels from (x, y) to the segment (ax, ay)-(bx, by), all in picture fractions.
    auto segment = [&](double x, double y, double ax, double ay, double bx, double by) {
        const double px = x * w, py = y * h, vx = (bx - ax) * w, vy = (by - ay) * h;
        double t = ((px - ax * w) * vx + (py - ay * h) * vy) / (vx * vx + vy * vy);
        t = t < 0 ? 0 : t > 1 ? 1 : t;
        const double dx = ax * w + vx * t - px, dy = ay * h + vy * t - py;
        return std::sqrt(dx * dx + dy * dy);
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double u = (x + 0.5) / w, v = (y + 0.5) / h;
            const double hx = (u - 0.5) / 0.13, hy = (v - 0.12) / 0.09;
            const bool head = hx * hx + hy * hy <= 1;
            const bool neck = u >= 0.44 && u <= 0.56 && v >= 0.18 && v <= 0.26;
            const bool torso = u >= 0.32 && u <= 0.68 && v >= 0.25 && v <= 0.6;
            const bool arms = segment(u, v, 0.27, 0.28, 0.07, 0.57) <= 0.045 * w ||
                              segment(u, v, 0.73, 0.28, 0.93, 0.57) <= 0.045 * w;
            const bool legs = v >= 0.58 && v <= 0.98 && ((u >= 0.3 && u <= 0.45) || (u >= 0.55 && u <= 0.7));
            uint8_t* q = &p[(static_cast<size_t>(y) * width + x) * 4];
            if (head || neck || torso || arms || legs) {
                q[0] = static_cast<uint8_t>(60 + 150 * u);
                q[1] = static_cast<uint8_t>(80 + 100 * v);
                q[2] = 120;
                q[3] = 255;
            } else {
                // The colour hidden under the transparent background: red, which must never show.
                q[0] = 255;
            }
        }
    }
    return p;
}

}  // namespace imagefiles
