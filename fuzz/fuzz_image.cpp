// Fuzz target for the image readers: every reader gets the same bytes, the alpha BMP reader also with
// the second half of them as its alpha map.
#include <cstdint>
#include <cstdlib>

#include "assets/image.h"

namespace {

// Reads every output byte, so that a reader claiming more pixels than it wrote shows up.
void consume(uint8_t* pixels, int width, int height, int channels) {
    if (pixels == nullptr) return;
    size_t n = static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(channels);
    volatile uint8_t sink = 0;
    for (size_t i = 0; i < n; ++i) sink = sink ^ pixels[i];
    (void)sink;
    free(pixels);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Smaller than the engine's bound, so that each run stays fast; the checks are the same code.
    image_limits.max_pixels = int64_t{1} << 22;
    int w = 0, h = 0, c = 0;
    uint8_t* p = image_decode_jpeg(data, size, &w, &h, &c);
    consume(p, w, h, c);
    p = image_decode_png(data, size, &w, &h, &c);
    consume(p, w, h, c);
    p = image_decode_bmp(data, size, &w, &h, &c);
    consume(p, w, h, c);
    p = image_decode_bmp_alpha(data, size, nullptr, 0, &w, &h, &c);
    consume(p, w, h, c);
    p = image_decode_bmp_alpha(data, size, data + size / 2, size - size / 2, &w, &h, &c);
    consume(p, w, h, c);
    p = image_decode_tga(data, size, &w, &h, &c);
    consume(p, w, h, c);
    return 0;
}
