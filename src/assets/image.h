// Image loading: the search for an image file and the readers that turn JPEG, PNG, BMP and TGA bytes
// into plain 8-bit pixel arrays. Main thread only (loading); the readers keep no state.
#pragma once

#include <cstddef>
#include <cstdint>

// Wider or taller images are refused.
constexpr int IMAGE_MAX_SIDE = 32768;

// Bounds on what one image file may make the readers allocate. Files are untrusted: a small file can
// claim (or inflate to) gigabytes, so sizes are checked against these before anything is allocated.
struct ImageLimits {
    int64_t max_pixels = int64_t{1} << 26;    // width x height of a decoded image (8192 x 8192)
    size_t max_file_bytes = size_t{1} << 28;  // bytes read from one image file
};

extern ImageLimits image_limits;

// Finds `name` (see image_search) and decodes it. A malloc'd array of width x height x channels bytes,
// rows top first except TGA, which keeps its file's row order; the caller frees it. nullptr when
// nothing was found or decoded. Channels: 2 to 4 for JPEG and PNG, 3 or 4 for BMP and TGA.
uint8_t* image_load(const char* name, int* width, int* height, int* channels);

// The readers, over a file's bytes in memory, with image_load's result contract.
// JPEG and PNG keep the file's own channel count (grey is refused, grey with alpha gives 2, palettes
// and transparency are expanded, 16-bit samples reduced to 8).
uint8_t* image_decode_jpeg(const uint8_t* data, size_t size, int* width, int* height, int* channels);
uint8_t* image_decode_png(const uint8_t* data, size_t size, int* width, int* height, int* channels);
// Uncompressed 24-bit BMP, 3 channels, flipped so that the top row comes first.
uint8_t* image_decode_bmp(const uint8_t* data, size_t size, int* width, int* height, int* channels);
// The same with 4 channels; alpha from the companion alpha map when `alpha_map` is given, else from
// the colour (near-black is transparent).
uint8_t* image_decode_bmp_alpha(const uint8_t* data, size_t size, const uint8_t* alpha_map, size_t alpha_size,
                                int* width, int* height, int* channels);
// True-colour TGA, raw (type 2) or run-length (type 10), 24-bit (3 channels) or 32-bit (4), rows in
// file order.
uint8_t* image_decode_tga(const uint8_t* data, size_t size, int* width, int* height, int* channels);
