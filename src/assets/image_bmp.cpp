// The BMP readers: uncompressed 24-bit files, plain (3 channels) or with alpha (4 channels) from a
// companion alpha map or from a black colour key. Main thread only.
#include <cstring>

#include "assets/image.h"
#include "assets/image_reader.h"
#include "assets/texture.h"

namespace {

// Both fields of the info header that matter, after the pixel-data offset of the file header.
struct BmpHeader {
    uint32_t pixel_offset;
    int width;
    int height;
    size_t pixel_count;
};

// Alpha of a keyed pixel by the sum of its colour bytes, for sums 7 to 11: 256 - (12 - s) x 4.2
// truncated, as the textures were authored against (computed in extended precision, so 7 gives 234,
// not 235). Sums up to 6 are the transparent key, 12 and more are opaque.
constexpr uint8_t KEY_ALPHA[5] = {234, 239, 243, 247, 251};

uint8_t key_alpha(int sum) {
    if (sum <= 6) return 0;
    if (sum >= 12) return 255;
    return KEY_ALPHA[sum - 7];
}

// Reads the header and checks that the file holds every pixel it claims: bits per pixel and
// compression are not looked at (the textures are uncompressed 24-bit with rows that need no padding),
// but a truncated or oversized file gives no image.
bool read_header(ByteCursor& in, BmpHeader* h) {
    if (in.size < 2 || in.data[0] != 'B' || in.data[1] != 'M') return false;
    in.seek(10);
    h->pixel_offset = in.get32le();
    in.get32le();  // info header size
    uint32_t width = in.get32le();
    uint32_t height = in.get32le();
    if (in.failed) return false;
    // Compared unsigned, so a top-down file (negative height) is refused.
    if (width == 0 || height == 0 || width > IMAGE_MAX_SIDE || height > IMAGE_MAX_SIDE) return false;
    size_t colour_bytes = 0;
    if (!image_size_ok(width, height, 3, &colour_bytes)) return false;
    if (h->pixel_offset > in.size || in.size - h->pixel_offset < colour_bytes) return false;
    h->width = static_cast<int>(width);
    h->height = static_cast<int>(height);
    h->pixel_count = static_cast<size_t>(width) * height;
    return true;
}

}  // namespace

uint8_t* image_decode_bmp(const uint8_t* data, size_t size, int* width, int* height, int* channels) {
    ByteCursor in(data, size);
    BmpHeader h;
    if (!read_header(in, &h)) return nullptr;
    uint8_t* out = image_alloc(h.pixel_count * 3);
    if (out == nullptr) return nullptr;
    const uint8_t* src = data + h.pixel_offset;
    for (size_t i = 0; i < h.pixel_count; ++i, src += 3) {
        out[i * 3 + 0] = src[2];
        out[i * 3 + 1] = src[1];
        out[i * 3 + 2] = src[0];
    }
    tex_flip_vertical(out, h.width, h.height, 3);
    return image_result(out, h.width, h.height, 3, width, height, channels);
}

uint8_t* image_decode_bmp_alpha(const uint8_t* data, size_t size, const uint8_t* alpha_map, size_t alpha_size,
                                int* width, int* height, int* channels) {
    ByteCursor in(data, size);
    BmpHeader h;
    if (!read_header(in, &h)) return nullptr;
    uint8_t* out = image_alloc(h.pixel_count * 4);
    if (out == nullptr) return nullptr;
    const uint8_t* src = data + h.pixel_offset;
    for (size_t i = 0; i < h.pixel_count; ++i, src += 3) {
        uint8_t* px = out + i * 4;
        px[0] = src[2];
        px[1] = src[1];
        px[2] = src[0];
        px[3] = alpha_map != nullptr ? 0 : key_alpha(src[0] + src[1] + src[2]);
    }
    if (alpha_map != nullptr) {
        // The alpha map is a 24-bit BMP of the same layout; only its pixel-data offset is read. Where it
        // ends early, the remaining pixels keep the alpha of the last pixel it had.
        ByteCursor map(alpha_map, alpha_size);
        map.seek(10);
        uint32_t offset = map.get32le();
        size_t available = 0;
        if (!map.failed && offset <= alpha_size) available = (alpha_size - offset) / 3;
        const uint8_t* a = alpha_map + (available > 0 ? offset : 0);
        uint8_t last = 0;
        for (size_t i = 0; i < h.pixel_count; ++i) {
            if (i < available) {
                last = static_cast<uint8_t>((a[0] + a[1] + a[2]) / 3);
                a += 3;
            }
            out[i * 4 + 3] = last;
        }
    }
    tex_flip_vertical(out, h.width, h.height, 4);
    return image_result(out, h.width, h.height, 4, width, height, channels);
}
