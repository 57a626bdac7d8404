// Helpers shared by the image readers: a bounded cursor over the file's bytes and the size checks
// every reader makes before it allocates. Private to src/assets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "assets/image.h"

// Reads past the end yield zeros and set `failed`, so a reader checks once after a run of reads.
struct ByteCursor {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    bool failed = false;

    ByteCursor(const uint8_t* bytes, size_t length) : data(bytes), size(bytes != nullptr ? length : 0) {}

    size_t remaining() const { return pos < size ? size - pos : 0; }
    uint8_t get8() {
        if (pos >= size) {
            failed = true;
            return 0;
        }
        return data[pos++];
    }
    uint32_t get16le() {
        uint32_t lo = get8();
        return lo | (uint32_t{get8()} << 8);
    }
    uint32_t get32le() {
        uint32_t lo = get16le();
        return lo | (get16le() << 16);
    }
    // Moves to an absolute offset; false (and `failed`) when it lies past the end.
    bool seek(size_t offset) {
        if (offset > size) {
            failed = true;
            return false;
        }
        pos = offset;
        return true;
    }
};

// Sides within IMAGE_MAX_SIDE and the pixel count within image_limits; the byte count
// width x height x channels is written to `bytes` (it always fits in size_t when this passes).
bool image_size_ok(int64_t width, int64_t height, int channels, size_t* bytes);

// malloc with a bound: nullptr for more than the largest image allowed, and only a few attempts.
uint8_t* image_alloc(size_t bytes);

// Finishes a reader's result: fills the out parameters (any may be null) and returns `pixels`.
uint8_t* image_result(uint8_t* pixels, int width, int height, int channels, int* out_width, int* out_height,
                      int* out_channels);
