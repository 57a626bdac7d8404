// model_load: dispatch by extension, opening with the locator's fallbacks, the import buffer that the
// readers fill, and the resolution of part textures. Main thread only.
#include "assets/model.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "assets/figure.h"
#include "assets/locator.h"
#include "assets/model_readers.h"
#include "assets/texture.h"
#include "scene/object.h"

ModelImport model_import;
ModelLimits model_limits;

namespace {

// A part's arrays start small and double (a file may hold thousands of parts of a few triangles, and
// unused room costs memory like triangles do), then beyond GROW_DOUBLING_LIMIT grow by an eighth, so a
// big part is copied a few dozen times at most and keeps little unused room.
constexpr int GROW_FIRST = 16;
constexpr int GROW_DOUBLING_LIMIT = 1 << 16;

int64_t grown_tri_capacity(int capacity) {
    int64_t grown = int64_t{capacity} + capacity / 8;
    if (capacity < GROW_DOUBLING_LIMIT) grown = int64_t{capacity} * 2;
    if (capacity < GROW_FIRST) grown = GROW_FIRST;
    return grown > TRI_COUNT_LIMIT ? TRI_COUNT_LIMIT : grown;
}

bool ends_with_nocase(const std::string& s, const char* tail) {
    const size_t n = strlen(tail);
    return s.size() >= n && strncasecmp(s.c_str() + s.size() - n, tail, n) == 0;
}

// Text readers open in "r", the 3DS reader in "rb".
FILE* open_model(const std::string& path, bool text) {
    return file_open(path.c_str(), text ? "r" : "rb");
}

// A texture candidate counts when its slot lies inside the table and holds pixels. A slot that failed
// is handed back (when asked) so that the next spelling of the same key is searched for again.
bool try_texture(const std::string& name, bool release_on_failure, TextureId& slot) {
    slot = tex_load(name.c_str());
    if (slot >= 1 && slot < texture_table.capacity && tex_has_pixels(slot)) return true;
    if (release_on_failure && slot >= 1) tex_release(slot);
    return false;
}

bool names_an_image(const std::string& name) {
    for (const char* ext : {".bmp", ".jpg", ".gif", ".tga", ".png", ".BMP", ".JPG", ".TGA", ".PNG", ".GIF"})
        if (name.find(ext) != std::string::npos) return true;
    return false;
}

// The model's folder, separator kept; empty when the name has no '/' or '\'.
std::string model_folder(const std::string& model) {
    if (model.find_first_of("/\\") == std::string::npos) return "";
    const size_t cut = model.find_last_of("/\\:");
    return model.substr(0, cut + 1);
}

// The texture of a part named `name` in a model file named `model`: the name as given, then beside the
// model; a name without image extension is then tried with each format, again also beside the model.
// 0 when nothing decodes (the last slot tried may have been released, so it is not handed on).
TextureId resolve_texture(const std::string& name, const std::string& model) {
    const std::string folder = model_folder(model);
    std::string base = name;
    path_basename(base);
    TextureId slot = 0;
    if (try_texture(name, true, slot)) return slot;
    if (!folder.empty() && try_texture(folder + base, true, slot)) return slot;
    if (names_an_image(name)) return 0;
    for (const char* ext : {".bmp", ".png", ".jpg", ".gif", ".tga"}) {
        if (try_texture(name + ext, true, slot)) return slot;
        // A failed folder candidate keeps its slot, as every failed name does: the plain spelling of
        // the next format finds that slot by its key and hands it back before searching again.
        if (!folder.empty() && try_texture(folder + base + ext, false, slot)) return slot;
    }
    return 0;
}

enum class ModelKind { None, Obj, Glm, Max3ds };

ModelKind kind_of(const std::string& name) {
    if (ends_with_nocase(name, "obj")) return ModelKind::Obj;
    if (ends_with_nocase(name, "glm")) return ModelKind::Glm;
    if (ends_with_nocase(name, "3ds")) return ModelKind::Max3ds;
    return ModelKind::None;
}

// The rest of an open file, in steps up to FILE_LOAD_MAX rather than by the size it reports. The 3DS
// reader takes its bytes from the stream that opened: opening again by name would go through the
// locator's short-name loader, which cuts long paths.
bool read_all(FILE* file, std::vector<uint8_t>& bytes) {
    uint8_t step[65536];
    for (;;) {
        const size_t got = fread(step, 1, sizeof step, file);
        if (got == 0) break;
        if (bytes.size() + got > FILE_LOAD_MAX) return false;
        bytes.insert(bytes.end(), step, step + got);
    }
    return ferror(file) == 0 && !bytes.empty();
}

// Runs the reader for the open file. 1 when it read the file.
int read_model(ModelKind kind, FILE* file) {
    switch (kind) {
        case ModelKind::Obj:
            return model_read_obj(file);
        case ModelKind::Glm:
            return model_read_glm(file);
        case ModelKind::Max3ds: {
            std::vector<uint8_t> bytes;
            if (!read_all(file, bytes)) return 0;
            return model_read_3ds(bytes.data(), bytes.size());
        }
        case ModelKind::None:
            break;
    }
    return 0;
}

int load_parts(ObjectId id, const std::string& name) {
    const ModelKind kind = kind_of(name);
    // No reader takes it: not worth the search.
    if (kind == ModelKind::None) return 0;
    const bool text = kind != ModelKind::Max3ds;
    std::string path = name;
    FILE* file = open_model(path, text);
    if (file == nullptr) {
        std::string found;
        if (!asset_locate(name.c_str(), &found)) return 0;
        path = found;
        file = open_model(path, text);
        if (file == nullptr) return 0;
    }
    const int ok = read_model(kind, file);
    fclose(file);
    if (!ok || model_import.part_count <= 0) return 0;
    ModelImport& m = model_import;
    const int parts = std::min(m.part_count, static_cast<int>(m.tri_count.size()));
    for (int j = 0; j < parts; ++j) {
        const size_t p = static_cast<size_t>(j);
        if (m.positions[p].empty() || m.tri_count[p] <= 0) continue;
        const TextureId texture = m.texture[p].empty() ? 0 : resolve_texture(m.texture[p], name);
        if (id > 0)
            obj_set_part_triangles(id, j, m.positions[p].data(), m.uvs[p].data(), nullptr, texture,
                                   m.tri_count[p]);
        // Handed on: freed now, so that the table's copy and the buffer are not both whole at once.
        std::vector<float>().swap(m.positions[p]);
        std::vector<float>().swap(m.uvs[p]);
        std::vector<float>().swap(m.normals[p]);
    }
    return 1;
}

// After memory ran out part way through handing a model on: the object as a missing file leaves it.
void drop_parts(ObjectId id) {
    if (id <= 0 || !obj_valid(id)) return;
    for (int p = 0; p < obj_table.part_capacity[id]; ++p) obj_clear_part(id, p);
    obj_reset(id);
}

}  // namespace

void model_import_clear() {
    model_import = ModelImport{};
}

bool model_import_ensure(int part) {
    if (part < 0 || part >= IMPORT_PART_LIMIT) return false;
    ModelImport& m = model_import;
    const size_t n = static_cast<size_t>(part) + 1;
    if (m.tri_count.size() < n) {
        m.positions.resize(n);
        m.uvs.resize(n);
        m.normals.resize(n);
        m.tri_count.resize(n, 0);
        m.tri_capacity.resize(n, 0);
        m.texture.resize(n);
    }
    return true;
}

bool model_import_add_triangle(int part, const float* position, const float* uv, const float* normal) {
    if (!model_import_ensure(part)) return false;
    ModelImport& m = model_import;
    const size_t p = static_cast<size_t>(part);
    const int count = m.tri_count[p];
    if (count >= TRI_COUNT_LIMIT) return false;
    if (count >= m.tri_capacity[p]) {
        // Room is what costs memory, so room is what the budget counts, before it is allocated.
        const int64_t left = model_limits.max_triangles - m.triangle_room;
        if (left <= 0) {
            m.over_budget = true;
            return false;
        }
        const int old = m.tri_capacity[p];
        int64_t capacity = grown_tri_capacity(old);
        if (capacity - old > left) capacity = old + left;
        const size_t n = static_cast<size_t>(capacity);
        m.positions[p].resize(n * 9);
        m.uvs[p].resize(n * 6);
        m.normals[p].resize(n * 9);
        m.tri_capacity[p] = static_cast<int>(capacity);
        m.triangle_room += capacity - old;
    }
    const size_t t = static_cast<size_t>(count);
    float* pos = m.positions[p].data() + t * 9;
    float* tex = m.uvs[p].data() + t * 6;
    float* nrm = m.normals[p].data() + t * 9;
    memcpy(pos, position, 9 * sizeof(float));
    if (uv != nullptr)
        memcpy(tex, uv, 6 * sizeof(float));
    else
        memset(tex, 0, 6 * sizeof(float));
    if (normal != nullptr)
        memcpy(nrm, normal, 9 * sizeof(float));
    else
        memset(nrm, 0, 9 * sizeof(float));
    m.tri_count[p] = count + 1;
    return true;
}

void model_import_set_texture(int part, const char* name, size_t length) {
    if (name == nullptr || !model_import_ensure(part)) return;
    size_t n = 0;
    while (n < length && n < IMPORT_TEXTURE_NAME_MAX && name[n] != '\0' && name[n] != '\r' && name[n] != '\n')
        ++n;
    model_import.texture[static_cast<size_t>(part)].assign(name, n);
}

int model_read_line(FILE* file, char* line) {
    if (fgets(line, static_cast<int>(MODEL_LINE_MAX) + 1, file) == nullptr) return -1;
    const size_t length = strlen(line);
    if (length == MODEL_LINE_MAX && line[length - 1] != '\n') {
        int c;
        while ((c = getc(file)) != EOF && c != '\n') {
        }
    }
    return static_cast<int>(length);
}

int model_load(ObjectId id, const char* name) {
    if (name == nullptr || strlen(name) < 2) return 0;
    if (id > 0 && !obj_ensure(id, 0)) return 0;
    if (id > 0) {
        obj_reset(id);
        obj_set_name(id, name);
    }
    std::string copy = name;
    if (copy.size() > 3) {
        const char* ext = copy.c_str() + copy.size() - 3;
        if (strcasecmp(ext, "png") == 0 || strcasecmp(ext, "jpg") == 0 || strcasecmp(ext, "bmp") == 0)
            return figure_load(id, name);
    }
    const size_t line_end = copy.find('\n');
    if (line_end != std::string::npos) copy.resize(line_end);
    model_import_clear();
    int ok = 0;
    // The readers turn running out of memory into a refused file; the table may still run out while
    // the model is handed on. Either way the load gives no model and the demo goes on.
    try {
        ok = load_parts(id, copy);
    } catch (const std::bad_alloc&) {
        model_import_clear();
        drop_parts(id);
        ok = 0;
    }
    // Emptied whatever happened, so that nothing of this file reaches the next one.
    model_import_clear();
    return ok;
}
