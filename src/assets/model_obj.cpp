// The Wavefront OBJ reader: positions, texture coordinates and normals in numbered lists, faces of
// three or more corners written as p, p/t, p//n or p/t/n, "o" and "g" groups as parts, and the
// "# TEX=" comment that names a part's texture. Main thread only.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "assets/model_readers.h"

namespace {

// Entries of each list beyond this are ignored: the lists grow only as far as the object table could
// take the triangles built from them.
constexpr size_t OBJ_LIST_LIMIT = size_t{1} << 24;
// A face line of MODEL_LINE_MAX characters holds fewer corners than this.
constexpr int OBJ_CORNER_MAX = 128;
// The texture name starts four characters after the '=' of "# TEX=".
constexpr size_t OBJ_TEXTURE_NAME_START = 10;

struct Corner {
    float position[3] = {0, 0, 0};
    float uv[2] = {0, 0};
    float normal[3] = {0, 0, 0};
};

// A numbered list of the whole file. The engine's own files number each "o" object's entries from 1
// again, exporters number them across the file, so both numberings are kept: entries before
// `object_start` belong to earlier objects.
struct ObjList {
    std::vector<float> values;  // `width` floats per entry
    size_t width = 3;
    size_t object_start = 0;  // entries before the current object

    size_t entries() const { return values.size() / width; }
    size_t object_entries() const { return entries() - object_start; }
};

struct ObjReader {
    ObjList positions{{}, 3, 0}, uvs{{}, 2, 0}, normals{{}, 3, 0};
    // The current object has shown that its faces use the whole file's numbering.
    bool numbered_across_file = false;
    // A corner whose index lies outside its list keeps what the previous face put there, so these
    // outlive each face.
    Corner corners[OBJ_CORNER_MAX];
    int part = 0;
    bool part_has_faces = false;
};

const char* skip_blanks(const char* p) {
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

// Up to `count` floats separated by blanks; missing ones read as 0.
void read_floats(const char* p, float* out, int count) {
    for (int i = 0; i < count; ++i) {
        char* end = nullptr;
        const double v = strtod(p, &end);
        if (end == p) {
            for (; i < count; ++i) out[i] = 0.0f;
            return;
        }
        out[i] = model_finite(v);
        p = end;
    }
}

void append(ObjList& list, const float* values) {
    if (list.entries() >= OBJ_LIST_LIMIT) return;
    list.values.insert(list.values.end(), values, values + list.width);
}

// A decimal index with an optional sign, saturated far beyond any list. False when no digit follows.
bool read_index(const char*& p, int64_t& out) {
    const char* q = p;
    bool negative = false;
    if (*q == '-' || *q == '+') negative = *q++ == '-';
    if (!isdigit(static_cast<unsigned char>(*q))) return false;
    int64_t v = 0;
    for (; isdigit(static_cast<unsigned char>(*q)); ++q)
        if (v < (int64_t{1} << 40)) v = v * 10 + (*q - '0');
    out = negative ? -v : v;
    p = q;
    return true;
}

// True when a positive index can only be meant in the whole file's numbering: it lies beyond the
// current object's entries but among the file's.
bool beyond_object(const ObjList& list, int64_t index) {
    return index > 0 && static_cast<uint64_t>(index) > list.object_entries() &&
           static_cast<uint64_t>(index) <= list.entries();
}

// Copies the entry an index names: 1-based in the current object's numbering, or in the whole file's
// when `across_file`; a negative index counts back from the last entry read (-1). An index outside
// the list leaves `out` as it was.
void take(const ObjList& list, int64_t index, bool across_file, float* out) {
    const uint64_t entries = list.entries();
    size_t entry = 0;
    if (index < 0) {
        const uint64_t back = static_cast<uint64_t>(-index);
        if (back > entries) return;
        entry = static_cast<size_t>(entries - back);
    } else {
        const uint64_t first = across_file ? 0 : list.object_start;
        if (index < 1 || static_cast<uint64_t>(index) > entries - first) return;
        entry = static_cast<size_t>(first + static_cast<uint64_t>(index) - 1);
    }
    const float* src = list.values.data() + entry * list.width;
    for (size_t i = 0; i < list.width; ++i) out[i] = src[i];
}

void add_triangle(ObjReader& r, int a, int b, int c) {
    float pos[9], uv[6], nrm[9];
    const int idx[3] = {a, b, c};
    for (int k = 0; k < 3; ++k) {
        const Corner& corner = r.corners[idx[k]];
        memcpy(pos + k * 3, corner.position, sizeof corner.position);
        memcpy(uv + k * 2, corner.uv, sizeof corner.uv);
        memcpy(nrm + k * 3, corner.normal, sizeof corner.normal);
    }
    model_import_add_triangle(r.part, pos, uv, nrm);
}

// The indices of one corner; 0 stands for an index the corner does not give.
struct CornerIndices {
    int64_t position = 0, uv = 0, normal = 0;
};

// Corners are read until a token that is not one; three make a triangle, more a fan around the first
// (a quad gives (1, 2, 3) and (1, 3, 4)), fewer nothing.
void read_face(ObjReader& r, const char* p) {
    CornerIndices indices[OBJ_CORNER_MAX];
    int count = 0;
    while (count < OBJ_CORNER_MAX) {
        p = skip_blanks(p);
        CornerIndices c;
        if (!read_index(p, c.position)) break;
        if (*p == '/') {
            ++p;
            if (!read_index(p, c.uv)) c.uv = 0;
            if (*p == '/') {
                ++p;
                if (!read_index(p, c.normal)) c.normal = 0;
            }
        }
        if (*p != '\0' && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') break;
        indices[count++] = c;
    }
    // An index beyond the object's own entries shows the whole file's numbering. Indices up to the
    // object's count could be meant either way when it has more entries than all objects before it, so
    // once a face has shown that numbering the object's later faces are read in it too.
    for (int k = 0; k < count && !r.numbered_across_file; ++k)
        r.numbered_across_file = beyond_object(r.positions, indices[k].position) ||
                                 beyond_object(r.uvs, indices[k].uv) ||
                                 beyond_object(r.normals, indices[k].normal);
    const bool across = r.numbered_across_file;
    for (int k = 0; k < count; ++k) {
        Corner& corner = r.corners[k];
        take(r.positions, indices[k].position, across, corner.position);
        if (indices[k].uv != 0) take(r.uvs, indices[k].uv, across, corner.uv);
        if (indices[k].normal != 0) take(r.normals, indices[k].normal, across, corner.normal);
    }
    if (count < 3) return;
    r.part_has_faces = true;
    for (int k = 1; k + 1 < count; ++k) add_triangle(r, 0, k, k + 1);
}

bool is_texture_comment(const char* line) {
    return line[0] == '#' && line[1] == ' ' &&
           (strncmp(line + 2, "TEX=", 4) == 0 || strncmp(line + 2, "Tex=", 4) == 0 ||
            strncmp(line + 2, "tex=", 4) == 0);
}

int read_obj(FILE* file) {
    ObjReader r;
    model_import_ensure(0);
    char line[MODEL_LINE_MAX + 1];
    int length;
    while (!model_import.over_budget && (length = model_read_line(file, line)) >= 0) {
        const char first = static_cast<char>(toupper(static_cast<unsigned char>(line[0])));
        if (first == 'V') {
            const char second = static_cast<char>(tolower(static_cast<unsigned char>(line[1])));
            float v[3];
            // Skips the character after the 'v' (the 'n', the 't' or a blank).
            const char* values = line[1] != '\0' ? line + 2 : line + 1;
            if (second == 'n') {
                read_floats(values, v, 3);
                append(r.normals, v);
            } else if (second == 't') {
                read_floats(values, v, 2);
                append(r.uvs, v);
            } else {
                read_floats(values, v, 3);
                append(r.positions, v);
            }
        } else if (first == 'F') {
            read_face(r, line + 1);
        } else if (first == 'O' || first == 'G') {
            if (!r.part_has_faces) continue;
            // The buffer is full: the parts read so far are the model.
            if (r.part + 1 >= IMPORT_PART_LIMIT) break;
            ++r.part;
            model_import_ensure(r.part);
            r.part_has_faces = false;
            // An "o" object numbers its entries from 1 again; a "g" group continues the numbering.
            if (first == 'O') {
                for (ObjList* list : {&r.positions, &r.uvs, &r.normals}) list->object_start = list->entries();
                r.numbered_across_file = false;
            }
        } else if (is_texture_comment(line)) {
            const size_t n = static_cast<size_t>(length);
            if (n > OBJ_TEXTURE_NAME_START)
                model_import_set_texture(r.part, line + OBJ_TEXTURE_NAME_START, n - OBJ_TEXTURE_NAME_START);
            else
                model_import_set_texture(r.part, "", 0);
        }
    }
    model_import.part_count = r.part + 1;
    return model_import.over_budget ? 0 : 1;
}

}  // namespace

int model_read_obj(FILE* file) {
    if (file == nullptr) return 0;
    // Memory running out is a file too big for this machine: refused like any other.
    try {
        return read_obj(file);
    } catch (const std::bad_alloc&) {
        model_import_clear();
        return 0;
    }
}
