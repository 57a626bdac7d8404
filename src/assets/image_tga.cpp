// The TGA reader: true-colour images, raw (type 2) or run-length (type 10), 24 or 32 bits per pixel.
// Rows stay in file order. Main thread only.
#include <cstdlib>
#include <cstring>

#include "assets/image.h"
#include "assets/image_reader.h"

namespace {

// Only these two headers are accepted byte for byte: no image id, no colour map, no origin offset.
constexpr uint8_t TGA_RAW_HEADER[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t TGA_RLE_HEADER[12] = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr size_t TGA_HEADER_SIZE = 18;

// One pixel from the file's blue, green, red (, alpha) order.
inline void store_pixel(uint8_t* dst, const uint8_t* src, int bytes_per_pixel) {
    dst[0] = src[2];
    dst[1] = src[1];
    dst[2] = src[0];
    if (bytes_per_pixel == 4) dst[3] = src[3];
}

bool read_raw(const uint8_t* src, size_t available, uint8_t* out, size_t pixel_count, int bpp) {
    if (available / static_cast<size_t>(bpp) < pixel_count) return false;
    for (size_t i = 0; i < pixel_count; ++i) store_pixel(out + i * bpp, src + i * bpp, bpp);
    return true;
}

bool read_rle(const uint8_t* src, size_t available, uint8_t* out, size_t pixel_count, int bpp) {
    size_t in = 0;
    size_t done = 0;
    while (done < pixel_count) {
        if (in >= available) return false;
        unsigned header = src[in++];
        size_t count = header >= 128 ? header - 127 : header + 1;
        // A packet that would run past the last pixel means a damaged file, not a longer image.
        if (count > pixel_count - done) return false;
        if (header >= 128) {
            if (available - in < static_cast<size_t>(bpp)) return false;
            for (size_t k = 0; k < count; ++k) store_pixel(out + (done + k) * bpp, src + in, bpp);
            in += bpp;
        } else {
            if ((available - in) / static_cast<size_t>(bpp) < count) return false;
            for (size_t k = 0; k < count; ++k) store_pixel(out + (done + k) * bpp, src + in + k * bpp, bpp);
            in += count * bpp;
        }
        done += count;
    }
    return true;
}

}  // namespace

uint8_t* image_decode_tga(const uint8_t* data, size_t size, int* width, int* height, int* channels) {
    if (data == nullptr || size < TGA_HEADER_SIZE) return nullptr;
    bool rle;
    if (memcmp(data, TGA_RAW_HEADER, sizeof TGA_RAW_HEADER) == 0) {
        rle = false;
    } else if (memcmp(data, TGA_RLE_HEADER, sizeof TGA_RLE_HEADER) == 0) {
        rle = true;
    } else {
        return nullptr;
    }
    ByteCursor in(data, size);
    in.seek(12);
    int w = static_cast<int>(in.get16le());
    int h = static_cast<int>(in.get16le());
    int depth = in.get8();
    in.get8();  // descriptor: the origin bits are not honoured, rows stay in file order
    if (depth != 24 && depth != 32) return nullptr;
    // 32-bit files keep their alpha: 4 channels, each pixel's four bytes reordered as a whole.
    int bpp = depth / 8;
    size_t bytes = 0;
    if (!image_size_ok(w, h, bpp, &bytes)) return nullptr;
    size_t pixel_count = bytes / bpp;
    const uint8_t* src = data + TGA_HEADER_SIZE;
    size_t available = size - TGA_HEADER_SIZE;
    // A run-length packet covers at most 128 pixels: a file too short for that is refused before
    // anything is allocated.
    size_t min_packets = (pixel_count + 127) / 128;
    if (rle ? available / (1 + static_cast<size_t>(bpp)) < min_packets : available / bpp < pixel_count) {
        return nullptr;
    }
    uint8_t* out = image_alloc(bytes);
    if (out == nullptr) return nullptr;
    bool ok = rle ? read_rle(src, available, out, pixel_count, bpp)
                  : read_raw(src, available, out, pixel_count, bpp);
    if (!ok) {
        free(out);
        return nullptr;
    }
    return image_result(out, w, h, bpp, width, height, channels);
}
