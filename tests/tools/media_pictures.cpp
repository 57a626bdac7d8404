#include "tools/media_pictures.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "support/temp_dir.h"

namespace mediatest {

namespace {

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void jpeg_fail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

}  // namespace

std::string media_file(const std::string& name) {
    return vmtest::read_file(vmtest::build_dir() + "/data/" + name);
}

void expect_layouts(std::initializer_list<MediaLayout> files) {
    for (const MediaLayout& e : files) {
        const Picture p = decode_media(e.name);
        EXPECT_EQ(p.width, e.width) << e.name;
        EXPECT_EQ(p.height, e.height) << e.name;
        EXPECT_EQ(p.channels, e.channels) << e.name;
    }
}

Picture decode_media(const std::string& name) {
    const std::string bytes = media_file(name);
    const bool jpeg = name.size() > 4 && name.compare(name.size() - 4, 4, ".jpg") == 0;
    return jpeg ? decode_jpeg(bytes) : decode_png(bytes);
}

Picture decode_png(const std::string& bytes) {
    Picture pic;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return pic;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return pic;
    pic.width = static_cast<int>(image.width);
    pic.height = static_cast<int>(image.height);
    pic.channels = static_cast<int>(PNG_IMAGE_SAMPLE_CHANNELS(image.format));
    pic.pixels = std::move(pixels);
    return pic;
}

int png_colour_type(const std::string& bytes) {
    return bytes.size() > 25 ? static_cast<uint8_t>(bytes[25]) : -1;
}

Picture decode_jpeg(const std::string& bytes) {
    Picture pic;
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.mgr);
    error.mgr.error_exit = jpeg_fail;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return Picture{};
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    pic.width = static_cast<int>(info.output_width);
    pic.height = static_cast<int>(info.output_height);
    pic.channels = info.output_components;
    pic.pixels.resize(static_cast<size_t>(pic.width) * static_cast<size_t>(pic.height) *
                      static_cast<size_t>(pic.channels));
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pic.pixels.data() + static_cast<size_t>(info.output_scanline) *
                                               static_cast<size_t>(pic.width) *
                                               static_cast<size_t>(pic.channels);
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return pic;
}

SeamStats seam_stats(const Picture& pic, bool vertical) {
    SeamStats s;
    int along = vertical ? pic.height : pic.width;
    int across = vertical ? pic.width : pic.height;
    double inside_sum = 0.0;
    double seam_sum = 0.0;
    for (int i = 0; i < across; ++i) {
        for (int j = 0; j < along; ++j) {
            int k = (j + 1) % along;
            for (int c = 0; c < 3; ++c) {
                int a = vertical ? pic.at(i, j, c) : pic.at(j, i, c);
                int b = vertical ? pic.at(i, k, c) : pic.at(k, i, c);
                double d = std::abs(a - b);
                if (k == 0) {
                    seam_sum += d;
                } else {
                    inside_sum += d;
                }
            }
        }
    }
    s.seam = seam_sum / (3.0 * across);
    s.inside = inside_sum / (3.0 * across * (along - 1));
    return s;
}

double mean_channel(const Picture& pic, int c, int y0, int y1) {
    double sum = 0.0;
    for (int y = y0; y < y1; ++y)
        for (int x = 0; x < pic.width; ++x) sum += pic.at(x, y, c);
    return sum / (static_cast<double>(pic.width) * (y1 - y0));
}

double mean_luma(const Picture& pic, int y0, int y1) {
    double sum = 0.0;
    for (int y = y0; y < y1; ++y)
        for (int x = 0; x < pic.width; ++x) sum += pic.luma(x, y);
    return sum / (static_cast<double>(pic.width) * (y1 - y0));
}

}  // namespace mediatest
