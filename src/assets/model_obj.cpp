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

struct ObjReader {
    std::vector<float> positions, uvs, normals;  // 3, 2 and 3 floats per entry, numbered from 1
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

void append(std::vector<float>& list, const float* values, size_t n) {
    if (list.size() / n >= OBJ_LIST_LIMIT) return;
    list.insert(list.end(), values, values + n);
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

// Copies entry `index` (1-based) of a list of `n`-float entries; an index outside the list leaves
// `out` as it was.
void take(const std::vector<float>& list, size_t n, int64_t index, float* out) {
    if (index < 1 || static_cast<uint64_t>(index) > list.size() / n) return;
    const float* src = list.data() + static_cast<size_t>(index - 1) * n;
    for (size_t i = 0; i < n; ++i) out[i] = src[i];
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

// Corners are read until a token that is not one; three make a triangle, more a fan around the first
// (a quad gives (1, 2, 3) and (1, 3, 4)), fewer nothing.
void read_face(ObjReader& r, const char* p) {
    int count = 0;
    while (count < OBJ_CORNER_MAX) {
        p = skip_blanks(p);
        int64_t pi = 0, ti = 0, ni = 0;
        if (!read_index(p, pi)) break;
        bool has_t = false, has_n = false;
        if (*p == '/') {
            ++p;
            has_t = read_index(p, ti);
            if (*p == '/') {
                ++p;
                has_n = read_index(p, ni);
            }
        }
        if (*p != '\0' && *p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') break;
        Corner& corner = r.corners[count++];
        take(r.positions, 3, pi, corner.position);
        if (has_t) take(r.uvs, 2, ti, corner.uv);
        if (has_n) take(r.normals, 3, ni, corner.normal);
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

}  // namespace

int model_read_obj(FILE* file) {
    if (file == nullptr) return 0;
    ObjReader r;
    model_import_ensure(0);
    char line[MODEL_LINE_MAX + 1];
    int length;
    while ((length = model_read_line(file, line)) >= 0) {
        const char first = static_cast<char>(toupper(static_cast<unsigned char>(line[0])));
        if (first == 'V') {
            const char second = static_cast<char>(tolower(static_cast<unsigned char>(line[1])));
            float v[3];
            // Skips the character after the 'v' (the 'n', the 't' or a blank).
            const char* values = line[1] != '\0' ? line + 2 : line + 1;
            if (second == 'n') {
                read_floats(values, v, 3);
                append(r.normals, v, 3);
            } else if (second == 't') {
                read_floats(values, v, 2);
                append(r.uvs, v, 2);
            } else {
                read_floats(values, v, 3);
                append(r.positions, v, 3);
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
                r.positions.clear();
                r.uvs.clear();
                r.normals.clear();
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
    return 1;
}
