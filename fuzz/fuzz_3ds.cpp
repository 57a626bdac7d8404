// Fuzz target for the 3DS reader.
#include <cstdint>

#include "assets/model_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    model_read_3ds(data, size);
    model_import_clear();
    return 0;
}
