// Fuzz target for the OBJ reader.
#include "fuzz_model_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_model_text(data, size, model_read_obj);
    return 0;
}
