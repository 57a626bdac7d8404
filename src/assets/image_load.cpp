// image_load: finds an image file, classifies it by its name and hands its bytes to a reader; also the
// size checks and the allocation the readers share. Main thread only.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "assets/image.h"
#include "assets/image_reader.h"
#include "assets/locator.h"

ImageLimits image_limits;

namespace {

bool contains_any(const std::string& path, std::initializer_list<const char*> parts) {
    for (const char* part : parts) {
        if (path.find(part) != std::string::npos) return true;
    }
    return false;
}

// The whole file, or false when it does not open or is larger than image_limits allows. Every class
// opens with the case variants: the search may have found the file only through one of them, and a
// file that was found must also be the one decoded. Read in steps rather than by the size the file
// reports, so a file that grows or lies about its size cannot make the buffer unbounded.
bool read_image_file(const std::string& path, std::vector<uint8_t>* bytes) {
    FILE* f = file_open(path.c_str(), "rb");
    if (f == nullptr) return false;
    bytes->clear();
    bool ok = true;
    uint8_t chunk[65536];
    for (;;) {
        size_t got = fread(chunk, 1, sizeof chunk, f);
        if (got == 0) break;
        if (bytes->size() + got > image_limits.max_file_bytes) {
            ok = false;
            break;
        }
        bytes->insert(bytes->end(), chunk, chunk + got);
    }
    if (ferror(f)) ok = false;
    fclose(f);
    return ok;
}

uint8_t* load_bmp(const std::string& path, int* width, int* height, int* channels) {
    std::vector<uint8_t> colour;
    if (!read_image_file(path, &colour)) return nullptr;
    if (!contains_any(path, {"RGBA_", "Rgba_", "rgba_"})) {
        return image_decode_bmp(colour.data(), colour.size(), width, height, channels);
    }
    // A companion file beside the colour file, e.g. DATA/tex/RGBA_leaf.bmp_alphamap, carries the alpha.
    std::string alpha_path = (path + "_alphamap").substr(0, CANDIDATE_PATH_MAX);
    std::vector<uint8_t> alpha;
    bool have_alpha = file_exists(alpha_path.c_str()) && read_image_file(alpha_path, &alpha);
    // An alpha map that exists but cannot be read gives an image without alpha rather than none.
    const uint8_t* alpha_bytes = have_alpha ? alpha.data() : nullptr;
    static const uint8_t empty = 0;
    if (have_alpha && alpha.empty()) alpha_bytes = &empty;
    return image_decode_bmp_alpha(colour.data(), colour.size(), alpha_bytes, alpha.size(), width, height,
                                  channels);
}

}  // namespace

bool image_size_ok(int64_t width, int64_t height, int channels, size_t* bytes) {
    if (width <= 0 || height <= 0 || width > IMAGE_MAX_SIDE || height > IMAGE_MAX_SIDE) return false;
    if (channels <= 0 || channels > 4) return false;
    int64_t pixels = width * height;  // at most 2^30: no overflow
    if (pixels > image_limits.max_pixels) return false;
    uint64_t total = static_cast<uint64_t>(pixels) * static_cast<uint64_t>(channels);
    if (total > SIZE_MAX) return false;
    if (bytes != nullptr) *bytes = static_cast<size_t>(total);
    return true;
}

uint8_t* image_alloc(size_t bytes) {
    if (bytes == 0) return nullptr;
    if (static_cast<uint64_t>(bytes) > static_cast<uint64_t>(image_limits.max_pixels) * 4) return nullptr;
    // One attempt: the request is bounded, and nothing on this thread would free memory before a retry.
    return static_cast<uint8_t*>(malloc(bytes));
}

uint8_t* image_result(uint8_t* pixels, int width, int height, int channels, int* out_width, int* out_height,
                      int* out_channels) {
    if (out_width != nullptr) *out_width = width;
    if (out_height != nullptr) *out_height = height;
    if (out_channels != nullptr) *out_channels = channels;
    return pixels;
}

uint8_t* image_load(const char* name, int* width, int* height, int* channels) {
    std::string path;
    if (!image_search(name, &path)) return nullptr;
    std::vector<uint8_t> bytes;
    // Each class that fails to decode falls through to the next: a misnamed file still gets a chance.
    if (contains_any(path, {".JPG", ".jpg", ".Jpg", ".JPEG", ".jpeg", ".Jpeg"})) {
        if (read_image_file(path, &bytes)) {
            if (uint8_t* p = image_decode_jpeg(bytes.data(), bytes.size(), width, height, channels)) return p;
        }
    }
    if (contains_any(path, {".PNG", ".png", ".Png"})) {
        if (read_image_file(path, &bytes)) {
            if (uint8_t* p = image_decode_png(bytes.data(), bytes.size(), width, height, channels)) return p;
        }
    }
    if (contains_any(path, {".BMP", ".bmp", ".Bmp"})) return load_bmp(path, width, height, channels);
    if (!read_image_file(path, &bytes)) return nullptr;
    return image_decode_tga(bytes.data(), bytes.size(), width, height, channels);
}
