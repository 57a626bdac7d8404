// The C-array model reader (".glm"): parts written as C array initialisers (coordinates, normals,
// texture coordinates, one tuple per line), header tags that scale and shift the coordinates, texture
// names in comments, and lines that may be scrambled. Main thread only.
#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

#include "assets/model_readers.h"

namespace {

// The C-array models stop at this many parts.
constexpr int GLM_PART_LIMIT = 9999;
// A vertex with a coordinate beyond this, after scaling, is a stray value and is dropped.
constexpr float GLM_COORD_LIMIT = 1000.0f;
// Numbers are clamped here: far outside any model, and still a float.
constexpr double GLM_NUMBER_LIMIT = 1e30;
// Scrambled lines start with two digits giving k = 10 x c0 + c1 - 528 in this range; each following
// character is stored k - 10 higher.
constexpr int SCRAMBLE_KEY_MIN = 10, SCRAMBLE_KEY_MAX = 40;
constexpr int SCRAMBLE_KEY_BIAS = 528;

// Every tag spells its value with a decimal comma. Within a family later tags win, so where one tag
// begins another (RESCALE_0,1 and RESCALE_0,125) the longer one, listed later, is the one in force.
constexpr const char* RESCALE_TAGS[] = {
    "0,001", "0,004", "0,005", "0,01", "0,017", "0,018", "0,019", "0,02", "0,022", "0,03", "0,035", "0,04",
    "0,05",  "0,06",  "0,07",  "0,08", "0,09",  "0,095", "0,097", "0,1",  "0,105", "0,11", "0,125", "0,16",
    "0,17",  "0,18",  "0,2",   "0,22", "0,225", "0,26",  "0,28",  "0,3",  "0,4",   "0,6",  "0,7",   "0,8",
    "0,86",  "0,89",  "0,9",   "1,1",  "1,2",   "1,3",   "1,4",   "1,6",  "1,8",   "2,0",  "2,1",   "2,2",
    "2,5",   "2,6",   "2,8",   "3,0",  "4,0",   "5,0",   "6,0",   "8,0"};
constexpr const char* RESCALEY_TAGS[] = {"0,1", "0,9", "0,95", "1,05", "1,1", "1,2", "1,3",
                                         "1,5", "1,7", "1,8",  "2",    "3",   "10,0"};
constexpr const char* FELTOL_TAGS[] = {"0,001", "0,01", "0,02", "0,03", "0,04", "0,05", "0,06", "0,07",
                                       "0,08",  "0,09", "0,1",  "0,15", "0,2",  "0,4",  "0,5",  "0,6",
                                       "0,7",   "0,8",  "0,9",  "1,0",  "1,3",  "1,8"};
constexpr const char* LETOL_TAGS[] = {
    "0,001", "0,01",  "0,02", "0,03", "0,04", "0,05", "0,06", "0,07", "0,08", "0,09", "0,1",
    "0,11",  "0,125", "0,2",  "0,3",  "0,4",  "0,6",  "0,7",  "0,8",  "0,9",  "1,0",  "1,1",
    "1,2",   "1,4",   "1,6",  "1,8",  "2,0",  "2,5",  "3,0",  "4,0",  "5,0",  "6,0",  "8,0"};

struct GlmSettings {
    float scale = 1, y_scale = 1, y_offset = 0;
    float z_sign = 1;
    float normal_sign[3] = {1, 1, 1};
};

// A tag's value: digits with a decimal comma.
float comma_value(const char* text) {
    double v = 0, unit = 0;
    for (; *text != '\0'; ++text) {
        if (*text == ',') {
            unit = 1;
        } else {
            if (unit > 0) unit /= 10;
            v = unit > 0 ? v + (*text - '0') * unit : v * 10 + (*text - '0');
        }
    }
    return static_cast<float>(v);
}

// The value of the last tag of the family that the line carries; `value` is kept when none.
template <size_t N>
void apply_tags(const char* line, const char* family, const char* const (&tags)[N], float sign,
                float& value) {
    if (strstr(line, family) == nullptr) return;
    char tag[32];
    for (const char* t : tags) {
        snprintf(tag, sizeof tag, "%s%s", family, t);
        if (strstr(line, tag) != nullptr) value = sign * comma_value(t);
    }
}

void apply_line_tags(const char* line, GlmSettings& s) {
    apply_tags(line, "RESCALE_", RESCALE_TAGS, 1.0f, s.scale);
    apply_tags(line, "RESCALEY_", RESCALEY_TAGS, 1.0f, s.y_scale);
    apply_tags(line, "FELTOL_", FELTOL_TAGS, 1.0f, s.y_offset);
    apply_tags(line, "LETOL_", LETOL_TAGS, -1.0f, s.y_offset);
    if (strstr(line, "mirrorynormals") != nullptr) s.normal_sign[1] = -1;
    if (strstr(line, "mirrornormals") || strstr(line, "Mirrornormals") || strstr(line, "MIRRORNORMALS"))
        s.normal_sign[0] = s.normal_sign[1] = s.normal_sign[2] = -1;
    if (strstr(line, "zflip") || strstr(line, "Zflip") || strstr(line, "ZFLIP")) {
        s.z_sign = -s.z_sign;
        s.normal_sign[2] = -s.normal_sign[2];
    }
}

// A number inside one comma-separated field: what comes before its first digit is skipped, each '-'
// there flipping the sign; then digits, a fraction and an exponent. 0 when the field has no digit.
double field_value(const char* p, const char* end) {
    double sign = 1;
    while (p < end && !isdigit(static_cast<unsigned char>(*p)) &&
           !(*p == '.' && p + 1 < end && isdigit(static_cast<unsigned char>(p[1])))) {
        if (*p == '-') sign = -sign;
        ++p;
    }
    if (p >= end) return 0;
    double mantissa = 0;
    int exponent = 0;
    // Digits past the precision of a double only shift the exponent, so the mantissa stays finite.
    for (; p < end && isdigit(static_cast<unsigned char>(*p)); ++p) {
        if (mantissa < 1e18)
            mantissa = mantissa * 10 + (*p - '0');
        else if (exponent < 1000)
            ++exponent;
    }
    if (p < end && *p == '.') {
        for (++p; p < end && isdigit(static_cast<unsigned char>(*p)); ++p) {
            if (mantissa < 1e18) {
                mantissa = mantissa * 10 + (*p - '0');
                --exponent;
            }
        }
    }
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        int e_sign = 1;
        if (p < end && (*p == '-' || *p == '+')) e_sign = *p++ == '-' ? -1 : 1;
        int e = 0;
        for (; p < end && isdigit(static_cast<unsigned char>(*p)); ++p)
            if (e < 10000) e = e * 10 + (*p - '0');
        exponent += e_sign * e;
    }
    if (mantissa == 0) return 0;
    if (exponent > 40) return sign * GLM_NUMBER_LIMIT;
    if (exponent < -60) return 0;
    const double v = mantissa * std::pow(10.0, exponent);
    return sign * (v > GLM_NUMBER_LIMIT ? GLM_NUMBER_LIMIT : v);
}

// The first `count` numbers of a line split at commas (at most four fields).
void line_values(const char* line, double* out, int count) {
    const char* p = line;
    for (int i = 0; i < count; ++i) {
        if (p == nullptr) {
            out[i] = 0;
            continue;
        }
        const char* comma = i < 3 ? strchr(p, ',') : nullptr;
        const char* end = comma != nullptr ? comma : p + strlen(p);
        out[i] = field_value(p, end);
        p = comma != nullptr ? comma + 1 : nullptr;
        if (p != nullptr)
            while (*p == ' ' || *p == '\t') ++p;
    }
}

struct GlmReader {
    explicit GlmReader(FILE* f) : file(f) {}

    FILE* file;
    bool scrambled = false;
    char line[MODEL_LINE_MAX + 1] = {};
    GlmSettings settings;

    // The next line, unscrambled when needed; false at the end of the file.
    bool next() {
        const int length = model_read_line(file, line);
        if (length < 0) return false;
        if (scrambled && length >= 2) {
            const int k = 10 * static_cast<unsigned char>(line[0]) + static_cast<unsigned char>(line[1]) -
                          SCRAMBLE_KEY_BIAS;
            if (k >= SCRAMBLE_KEY_MIN && k <= SCRAMBLE_KEY_MAX) {
                // From the third character up to the one before the last.
                int n = 0;
                for (int i = 2; i < length - 1; ++i)
                    line[n++] =
                        static_cast<char>(static_cast<unsigned char>(line[i]) - (k - SCRAMBLE_KEY_MIN));
                line[n] = '\0';
            }
        }
        return true;
    }
    bool block_end() const { return line[0] == '}'; }
};

void skip_block(GlmReader& r) {
    while (r.next() && !r.block_end()) {
    }
}

void read_coords(GlmReader& r, int part) {
    model_import_ensure(part);
    const GlmSettings s = r.settings;
    float corners[9];
    int kept = 0;
    while (!model_import.over_budget && r.next() && !r.block_end()) {
        double v[3];
        line_values(r.line, v, 3);
        const float x = static_cast<float>(v[0]) * s.scale;
        const float y = static_cast<float>(v[1]) * s.scale * s.y_scale + s.y_offset;
        const float z = static_cast<float>(v[2]) * s.scale * s.z_sign;
        if (std::fabs(x) > GLM_COORD_LIMIT || std::fabs(y) > GLM_COORD_LIMIT ||
            std::fabs(z) > GLM_COORD_LIMIT)
            continue;
        corners[kept * 3] = x;
        corners[kept * 3 + 1] = y;
        corners[kept * 3 + 2] = z;
        if (++kept == 3) {
            model_import_add_triangle(part, corners, nullptr, nullptr);
            kept = 0;
        }
    }
}

// Normals (3 values) or texture coordinates (2) of an existing part, one vertex per line in the order
// of its corners; lines beyond its corners are read and dropped.
void read_vertex_block(GlmReader& r, int part, bool normals) {
    const size_t p = static_cast<size_t>(part);
    std::vector<float>& out = normals ? model_import.normals[p] : model_import.uvs[p];
    const size_t width = normals ? 3 : 2;
    const size_t corners = static_cast<size_t>(model_import.tri_count[p]) * 3;
    size_t n = 0;
    while (r.next() && !r.block_end()) {
        if (n >= corners) continue;
        double v[3];
        line_values(r.line, v, static_cast<int>(width));
        for (size_t i = 0; i < width; ++i) {
            const float sign = normals ? r.settings.normal_sign[i] : 1.0f;
            out[n * width + i] = static_cast<float>(v[i]) * sign;
        }
        ++n;
    }
}

constexpr const char* TEXTURE_EXTENSIONS[] = {".BMP", ".bmp", ".tga", ".TGA", ".jpg", ".JPG", ".PNG", ".png"};

void read_texture_line(const char* line, int part_count) {
    if (strstr(line, "// diffuse texture") != nullptr) {
        const char* open = strchr(line, '"');
        const char* close = open != nullptr ? strchr(open + 1, '"') : nullptr;
        if (close == nullptr || close - open - 1 < 2) return;
        char name[IMPORT_TEXTURE_NAME_MAX + 1];
        size_t n = 0;
        for (const char* c = open + 1; c < close && n < IMPORT_TEXTURE_NAME_MAX; ++c)
            name[n++] = static_cast<char>(tolower(static_cast<unsigned char>(*c)));
        // The part the comment follows; the first part when none is complete yet.
        model_import_set_texture(part_count > 0 ? part_count - 1 : 0, name, n);
        return;
    }
    if (strstr(line, "_MULTI_") != nullptr) return;
    for (const char* ext : TEXTURE_EXTENSIONS) {
        if (strstr(line, ext) != nullptr) {
            // Named ahead of the coordinates: the part the next block will create.
            model_import_set_texture(part_count, line, strlen(line));
            return;
        }
    }
}

int read_glm(FILE* file) {
    GlmReader r(file);
    int& parts = model_import.part_count;
    bool first = true;
    while (r.next()) {
        if (first) {
            first = false;
            const size_t length = strlen(r.line);
            // The mark of a scrambled file: whatever the first line says, the lines after it may be
            // scrambled.
            if (length > 3) {
                r.line[0] = 'L';
                if (length > 4) r.line[4] = '2';
                r.scrambled = true;
            }
        }
        apply_line_tags(r.line, r.settings);
        read_texture_line(r.line, parts);
        if (strstr(r.line, "_indices[] = {") != nullptr || strstr(r.line, "_matindices[] = {") != nullptr) {
            skip_block(r);
        } else if (strstr(r.line, "_coords[] = {") != nullptr) {
            read_coords(r, parts);
            ++parts;
        } else if (strstr(r.line, "_normals[] = {") != nullptr ||
                   strstr(r.line, "_texcoords[] = {") != nullptr) {
            const bool normals = strstr(r.line, "_normals[] = {") != nullptr;
            if (parts > 0 && model_import.tri_count[static_cast<size_t>(parts - 1)] > 0)
                read_vertex_block(r, parts - 1, normals);
            else
                skip_block(r);
        }
        if (parts >= GLM_PART_LIMIT || model_import.over_budget) break;
    }
    return model_import.over_budget ? 0 : 1;
}

}  // namespace

int model_read_glm(FILE* file) {
    if (file == nullptr) return 0;
    // Memory running out is a file too big for this machine: refused like any other.
    try {
        return read_glm(file);
    } catch (const std::bad_alloc&) {
        model_import_clear();
        return 0;
    }
}
