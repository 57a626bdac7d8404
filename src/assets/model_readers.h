// The model readers and the import buffer they fill, which model_load hands on to the object table and
// then empties. Exposed for the tests and the fuzz targets; main thread only (one global buffer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

// The import buffer holds this many parts; a reader never starts a part beyond it.
constexpr int IMPORT_PART_LIMIT = 10000;
// A part's texture name keeps at most this many characters.
constexpr size_t IMPORT_TEXTURE_NAME_MAX = 30;
// Model text is read in lines of at most this many characters; the rest of a longer line is dropped.
constexpr size_t MODEL_LINE_MAX = 254;

// One column per field, one entry per part; columns grow together up to IMPORT_PART_LIMIT entries.
struct ModelImport {
    int part_count = 0;                         // parts the reader made (the last one's index + 1)
    std::vector<std::vector<float>> positions;  // 9 floats/triangle, x y z of corners 1-3; new: none
    std::vector<std::vector<float>> uvs;        // 6 floats/triangle, u v of corners 1-3; new: none
    std::vector<std::vector<float>> normals;    // 9 floats/triangle, as read; not handed on; new: none
    std::vector<int> tri_count;                 // triangles in use; new: 0
    std::vector<int> tri_capacity;              // triangles the three arrays above hold; new: 0
    std::vector<std::string> texture;           // texture name, at most 30 characters; new: ""
    int64_t triangle_room = 0;                  // sum of tri_capacity, counted against model_limits; new: 0
    bool over_budget = false;                   // a triangle was refused by model_limits; new: false
    size_t material_steps = 0;                  // 3DS names entered and looked up (work count); new: 0
};

extern ModelImport model_import;

// Frees every part and name: the buffer is back to its first-use state.
void model_import_clear();

// Makes the columns hold `part` (below IMPORT_PART_LIMIT); false for a part out of range.
bool model_import_ensure(int part);

// Appends one triangle to `part` (9 position floats; uvs and normals may be null: zeros). False, with
// nothing appended, for a part out of range, a part at the triangle limit, or a part that must grow
// when the buffer holds room for model_limits.max_triangles (which sets over_budget: the readers then
// stop and refuse the file).
bool model_import_add_triangle(int part, const float* position, const float* uv, const float* normal);

// Sets a part's texture name: cut at the first CR or LF and at IMPORT_TEXTURE_NAME_MAX characters.
void model_import_set_texture(int part, const char* name, size_t length);

// The readers. Each fills the (empty) import buffer and returns 1 when the file was read, 0 when it was
// refused (also past the triangle budget, or when memory ran out); model_load empties the buffer
// afterwards, so a caller of a reader must empty it too.
int model_read_obj(FILE* file);
int model_read_glm(FILE* file);
int model_read_3ds(const uint8_t* data, size_t size);

// Reads one line of at most MODEL_LINE_MAX characters into `line` (which holds MODEL_LINE_MAX + 1
// bytes), keeping its newline when it fits and dropping the rest of a longer line. Returns the length
// stored, or -1 at the end of the file.
int model_read_line(FILE* file, char* line);

// A float from a file with NaN and infinities made 0: the renderer truncates coordinates to integers.
inline float model_finite(double value) {
    constexpr double FLOAT_LIMIT = 3.0e38;
    if (!(value == value)) return 0.0f;
    if (value > FLOAT_LIMIT || value < -FLOAT_LIMIT) return 0.0f;
    return static_cast<float>(value);
}
