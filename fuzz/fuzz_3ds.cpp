// Fuzz target for the 3DS reader.
#include <cstdint>
#include <cstdlib>

#include "fuzz_model_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    model_limits.max_triangles = FUZZ_MODEL_TRIANGLES;
    model_read_3ds(data, size);
    // Material matching stays linear: one step per named material and per object, and each of those
    // takes at least a 6-byte chunk header.
    if (model_import.material_steps > size / 6) std::abort();
    model_import_clear();
    return 0;
}
