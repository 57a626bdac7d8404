// Feeds fuzz input to a text model reader through a memory stream, then empties the import buffer as
// model_load does after every file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "assets/model_readers.h"

inline void fuzz_model_text(const uint8_t* data, size_t size, int (*reader)(FILE*)) {
    // fmemopen refuses an empty buffer and wants a writable one even for reading.
    if (size == 0) return;
    std::vector<uint8_t> copy(data, data + size);
    FILE* f = fmemopen(copy.data(), copy.size(), "r");
    if (f == nullptr) return;
    reader(f);
    fclose(f);
    model_import_clear();
}
