// Fuzz target for the C-array model reader.
#include "fuzz_model_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_model_text(data, size, model_read_glm);
    return 0;
}
