// Feeds fuzz input to a text model reader through a memory stream, then empties the import buffer as
// model_load does after every file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "assets/model.h"
#include "assets/model_readers.h"

// The triangle budget of the model fuzz targets: low enough that inputs of fuzzing size (the fanned
// faces among the seeds) reach the refusal, and every run stays small.
constexpr int64_t FUZZ_MODEL_TRIANGLES = int64_t{1} << 12;

inline void fuzz_model_text(const uint8_t* data, size_t size, int (*reader)(FILE*)) {
    model_limits.max_triangles = FUZZ_MODEL_TRIANGLES;
    // fmemopen refuses an empty buffer and wants a writable one even for reading.
    if (size == 0) return;
    std::vector<uint8_t> copy(data, data + size);
    FILE* f = fmemopen(copy.data(), copy.size(), "r");
    if (f == nullptr) return;
    reader(f);
    fclose(f);
    model_import_clear();
}
