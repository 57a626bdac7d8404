// Images of the media generator: an 8-bit pixel buffer, colour helpers, and the PNG / JPEG writers.
// Single-threaded. The only stb_image_write implementation of the tree lives here.
#include "media_image.h"

#include <errno.h>
#include <sys/stat.h>

#include <cstdio>

#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

void append_bytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (size > 0) out->insert(out->end(), bytes, bytes + size);
}

bool valid(const MediaImage& image) {
    return image.width > 0 && image.height > 0 && (image.channels == 3 || image.channels == 4) &&
           image.pixels.size() == static_cast<size_t>(image.width) * static_cast<size_t>(image.height) *
                                      static_cast<size_t>(image.channels);
}

bool write_file(const std::vector<uint8_t>& bytes, const std::string& path) {
    if (bytes.empty()) return false;
    std::string temp = path + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    // fclose reports a failed flush (full disk), which fwrite alone does not.
    if (std::fclose(f) != 0) ok = false;
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) std::remove(temp.c_str());
    return ok;
}

}  // namespace

MediaImage image_make(int width, int height, int channels) {
    MediaImage image;
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.pixels.assign(
        static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(channels), 0);
    return image;
}

void image_put(MediaImage& image, int x, int y, Rgb colour, float alpha, float dither) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) return;
    size_t at = (static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)) *
                static_cast<size_t>(image.channels);
    float d = dither * (1.0f / 255.0f);
    image.pixels[at + 0] = to_byte(colour.r + d);
    image.pixels[at + 1] = to_byte(colour.g + d);
    image.pixels[at + 2] = to_byte(colour.b + d);
    if (image.channels == 4) image.pixels[at + 3] = to_byte(alpha);
}

uint8_t to_byte(float v) {
    // Written so that NaN fails both tests and lands at 0.
    if (!(v > 0.0f)) return 0;
    if (!(v < 1.0f)) return 255;
    return static_cast<uint8_t>(static_cast<int>(v * 255.0f + 0.5f));
}

float clamp01(float v) {
    if (!(v > 0.0f)) return 0.0f;
    return v < 1.0f ? v : 1.0f;
}

float smoothstep(float edge0, float edge1, float x) {
    float t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3.0f - 2.0f * t);
}

Rgb rgb_mix(Rgb a, Rgb b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb rgb_scale(Rgb a, float s) {
    return {a.r * s, a.g * s, a.b * s};
}

Rgb rgb_add(Rgb a, Rgb b) {
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}

bool media_make_dirs(const std::string& dir) {
    if (dir.empty()) return false;
    for (size_t i = 1; i <= dir.size(); ++i) {
        if (i < dir.size() && dir[i] != '/') continue;
        std::string part = dir.substr(0, i);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool media_write_png(const MediaImage& image, const std::string& path) {
    if (!valid(image)) return false;
    std::vector<uint8_t> bytes;
    int ok = stbi_write_png_to_func(append_bytes, &bytes, image.width, image.height, image.channels,
                                    image.pixels.data(), image.width * image.channels);
    return ok != 0 && write_file(bytes, path);
}

bool media_write_jpg(const MediaImage& image, const std::string& path, int quality) {
    if (!valid(image)) return false;
    std::vector<uint8_t> bytes;
    int ok = stbi_write_jpg_to_func(append_bytes, &bytes, image.width, image.height, image.channels,
                                    image.pixels.data(), quality);
    return ok != 0 && write_file(bytes, path);
}
