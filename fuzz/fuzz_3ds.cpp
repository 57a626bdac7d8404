// Fuzz target for the 3DS reader.
#include <cstdint>

#include "fuzz_model_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    model_limits.max_triangles = FUZZ_MODEL_TRIANGLES;
    model_read_3ds(data, size);
    model_import_clear();
    return 0;
}
