// The 3DS reader: the chunk tree of a 3D Studio file held in memory, its triangle meshes (one part
// each, y and z exchanged for our Y-up world) and the texture file names of their materials. Every
// length and count is checked against the bytes that are really there. Main thread only.
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "assets/image_reader.h"
#include "assets/model_readers.h"

namespace {

constexpr uint32_t CHUNK_MAIN = 0x4D4D;
constexpr uint32_t CHUNK_EDITOR = 0x3D3D;
constexpr uint32_t CHUNK_OBJECT = 0x4000;
constexpr uint32_t CHUNK_MESH = 0x4100;
constexpr uint32_t CHUNK_VERTICES = 0x4110;
constexpr uint32_t CHUNK_FACES = 0x4120;
constexpr uint32_t CHUNK_FACE_MATERIAL = 0x4130;
constexpr uint32_t CHUNK_MAPPING = 0x4140;
constexpr uint32_t CHUNK_SMOOTHING = 0x4150;
constexpr uint32_t CHUNK_MESH_MATRIX = 0x4160;
constexpr uint32_t CHUNK_MATERIAL = 0xAFFF;
constexpr uint32_t CHUNK_MATERIAL_NAME = 0xA000;

constexpr size_t CHUNK_HEADER = 6;
// The smallest file that holds a chunk header and one byte of content.
constexpr size_t MIN_FILE_SIZE = 7;
// After this many chunks of no interest the file is not worth reading further.
constexpr int SKIPPED_CHUNK_LIMIT = 1024;
// Editor chunks nested deeper than this are not entered: real files nest them once.
constexpr int EDITOR_DEPTH_LIMIT = 8;
// Material and texture names keep at most this many characters.
constexpr size_t NAME_MAX_3DS = 14;
constexpr size_t VERTEX_BYTES = 12, FACE_BYTES = 8, MAPPING_BYTES = 8;

struct Object3ds {
    std::vector<float> vertices;  // x, y, z per vertex, as in the file
    std::vector<uint16_t> faces;  // three vertex indices per face
    std::vector<float> mapping;   // u, v per vertex
    std::string material;         // face-material name; "" for none
};

struct Material3ds {
    std::string name;
    std::string texture;
};

struct Reader3ds {
    const uint8_t* data;
    size_t size;
    std::vector<Object3ds> objects;
    // Material name to the texture of the last material of that name, filled as the materials are
    // read, so that matching the objects costs one look-up each however many materials there are.
    std::unordered_map<std::string, std::string> textures;
    int skipped = 0;
};

struct Chunk {
    uint32_t id = 0;
    size_t begin = 0;  // offset of the header
    size_t end = 0;    // offset just past the chunk
};

// The chunk at `pos` inside [.., limit): false when its header does not fit or its length is below
// a header or runs past `limit`, which ends the walk of that level.
bool read_chunk(const Reader3ds& r, size_t pos, size_t limit, Chunk& chunk) {
    if (pos > limit || limit - pos < CHUNK_HEADER) return false;
    ByteCursor in(r.data, limit);
    in.seek(pos);
    chunk.id = in.get16le();
    const uint32_t length = in.get32le();
    if (length < CHUNK_HEADER || length > limit - pos) return false;
    chunk.begin = pos;
    chunk.end = pos + length;
    return true;
}

// A zero-terminated string starting at `pos` before `limit`, cut at `keep` characters. False when no
// terminator comes before `limit`; `next` is then the offset after the terminator.
bool read_string(const Reader3ds& r, size_t pos, size_t limit, size_t keep, std::string& out, size_t& next) {
    const uint8_t* start = r.data + pos;
    const void* nul = pos < limit ? memchr(start, 0, limit - pos) : nullptr;
    if (nul == nullptr) return false;
    const size_t length = static_cast<size_t>(static_cast<const uint8_t*>(nul) - start);
    out.assign(reinterpret_cast<const char*>(start), length < keep ? length : keep);
    next = pos + length + 1;
    return true;
}

// A 16-bit count at `pos` followed by count records of `record` bytes before `limit`; a count beyond
// the bytes there is cut to the records that are whole. Returns the offset of the first record.
size_t read_count(const Reader3ds& r, size_t pos, size_t limit, size_t record, size_t& count) {
    count = 0;
    if (pos > limit || limit - pos < 2) return limit;
    count = r.data[pos] | (size_t{r.data[pos + 1]} << 8);
    const size_t room = (limit - pos - 2) / record;
    if (count > room) count = room;
    return pos + 2;
}

float float_at(const uint8_t* p) {
    const uint32_t bits = p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
    float f;
    memcpy(&f, &bits, sizeof f);
    return model_finite(f);
}

void read_floats(const Reader3ds& r, size_t pos, size_t count, std::vector<float>& out) {
    out.resize(count);
    for (size_t i = 0; i < count; ++i) out[i] = float_at(r.data + pos + i * 4);
}

// The sub-chunks of a mesh, read one after the other: the face list's own sub-chunks (its material
// list among them) follow its faces, so the vertex, face and mapping lists move on by their data, the
// rest by their lengths. A chunk of any other kind ends the mesh.
void read_mesh(const Reader3ds& r, const Chunk& mesh, Object3ds& object) {
    size_t pos = mesh.begin + CHUNK_HEADER;
    Chunk c;
    while (read_chunk(r, pos, mesh.end, c)) {
        const size_t body = c.begin + CHUNK_HEADER;
        size_t count = 0, first = 0;
        switch (c.id) {
            case CHUNK_VERTICES:
                first = read_count(r, body, c.end, VERTEX_BYTES, count);
                read_floats(r, first, count * 3, object.vertices);
                pos = first + count * VERTEX_BYTES;
                break;
            case CHUNK_FACES:
                first = read_count(r, body, c.end, FACE_BYTES, count);
                object.faces.resize(count * 3);
                for (size_t f = 0; f < count; ++f) {
                    const uint8_t* p = r.data + first + f * FACE_BYTES;
                    // The fourth word holds edge and wrap flags, which nothing here uses.
                    for (size_t k = 0; k < 3; ++k)
                        object.faces[f * 3 + k] = static_cast<uint16_t>(p[k * 2] | (p[k * 2 + 1] << 8));
                }
                pos = first + count * FACE_BYTES;
                break;
            case CHUNK_MAPPING:
                first = read_count(r, body, c.end, MAPPING_BYTES, count);
                read_floats(r, first, count * 2, object.mapping);
                pos = first + count * MAPPING_BYTES;
                break;
            case CHUNK_FACE_MATERIAL: {
                size_t next = 0;
                std::string name;
                if (read_string(r, body, c.end, NAME_MAX_3DS, name, next)) object.material = name;
                pos = c.end;
                break;
            }
            case CHUNK_SMOOTHING:
            case CHUNK_MESH_MATRIX:
                pos = c.end;
                break;
            default:
                return;
        }
    }
}

void read_object(Reader3ds& r, const Chunk& chunk) {
    std::string name;
    size_t pos = 0;
    if (!read_string(r, chunk.begin + CHUNK_HEADER, chunk.end, 0, name, pos)) return;
    Chunk mesh;
    // Lights and cameras are objects too; only a triangle mesh makes a part.
    if (!read_chunk(r, pos, chunk.end, mesh) || mesh.id != CHUNK_MESH) return;
    r.objects.emplace_back();
    read_mesh(r, mesh, r.objects.back());
}

bool has_image_extension(const std::string& s) {
    for (size_t dot = s.find('.'); dot != std::string::npos; dot = s.find('.', dot + 1)) {
        for (const char* ext : {"jpg", "bmp", "tga", "png"})
            if (s.size() - dot - 1 >= 3 && strncasecmp(s.c_str() + dot + 1, ext, 3) == 0) return true;
    }
    return false;
}

// The material's name from its name sub-chunk; its texture is the first zero-terminated string inside
// the chunk that names an image file, wherever the texture map chunks put it.
void read_material(Reader3ds& r, const Chunk& chunk) {
    Material3ds material;
    const size_t body = chunk.begin + CHUNK_HEADER;
    for (size_t pos = body; pos < chunk.end;) {
        std::string text;
        size_t next = 0;
        if (!read_string(r, pos, chunk.end, chunk.end - pos, text, next)) break;
        if (has_image_extension(text)) {
            material.texture = text.substr(0, NAME_MAX_3DS);
            break;
        }
        pos = next;
    }
    Chunk c;
    for (size_t pos = body; read_chunk(r, pos, chunk.end, c); pos = c.end) {
        size_t next = 0;
        if (c.id == CHUNK_MATERIAL_NAME)
            read_string(r, c.begin + CHUNK_HEADER, c.end, NAME_MAX_3DS, material.name, next);
    }
    // An object without a material name has none, so a nameless material can never be matched.
    if (material.name.empty()) return;
    ++model_import.material_steps;
    r.textures[material.name] = std::move(material.texture);
}

void walk(Reader3ds& r, size_t pos, size_t end, int depth) {
    Chunk c;
    while (r.skipped < SKIPPED_CHUNK_LIMIT && read_chunk(r, pos, end, c)) {
        if (c.id == CHUNK_EDITOR && depth < EDITOR_DEPTH_LIMIT) {
            walk(r, c.begin + CHUNK_HEADER, c.end, depth + 1);
        } else if (c.id == CHUNK_OBJECT) {
            if (r.objects.size() < static_cast<size_t>(IMPORT_PART_LIMIT)) read_object(r, c);
        } else if (c.id == CHUNK_MATERIAL) {
            read_material(r, c);
        } else {
            ++r.skipped;
        }
        pos = c.end;
    }
}

// One part per object: corners from the vertex list with y and z exchanged, uvs from the mapping list
// (an index beyond either list gives zeros), the texture of the last material of the object's name.
void convert(const Reader3ds& r) {
    int part = 0;
    for (const Object3ds& object : r.objects) {
        if (model_import.over_budget) return;
        model_import_ensure(part);
        const size_t vertex_count = object.vertices.size() / 3;
        const size_t mapping_count = object.mapping.size() / 2;
        for (size_t f = 0; f + 2 < object.faces.size(); f += 3) {
            float pos[9] = {}, uv[6] = {};
            for (size_t k = 0; k < 3; ++k) {
                const size_t v = object.faces[f + k];
                if (v < vertex_count) {
                    pos[k * 3] = object.vertices[v * 3];
                    pos[k * 3 + 1] = object.vertices[v * 3 + 2];
                    pos[k * 3 + 2] = object.vertices[v * 3 + 1];
                }
                if (v < mapping_count) {
                    uv[k * 2] = object.mapping[v * 2];
                    uv[k * 2 + 1] = object.mapping[v * 2 + 1];
                }
            }
            if (!model_import_add_triangle(part, pos, uv, nullptr) && model_import.over_budget) return;
        }
        if (!object.material.empty()) {
            ++model_import.material_steps;
            const auto found = r.textures.find(object.material);
            if (found != r.textures.end())
                model_import_set_texture(part, found->second.c_str(), found->second.size());
        }
        ++part;
    }
    model_import.part_count = part;
}

int read_3ds(const uint8_t* data, size_t size) {
    ByteCursor in(data, size);
    const uint32_t first_id = in.get16le();
    const uint32_t first_length = in.get32le();
    if (first_length != size && first_id != CHUNK_MAIN) return 0;
    Reader3ds r{data, size, {}, {}, 0};
    // The main chunk bounds the walk when its length is sound; otherwise the rest of the file does.
    const size_t end = first_length >= CHUNK_HEADER && first_length <= size ? first_length : size;
    walk(r, CHUNK_HEADER, end, 0);
    convert(r);
    return model_import.over_budget ? 0 : 1;
}

}  // namespace

int model_read_3ds(const uint8_t* data, size_t size) {
    if (data == nullptr || size < MIN_FILE_SIZE) return 0;
    // Memory running out is a file too big for this machine: refused like any other.
    try {
        return read_3ds(data, size);
    } catch (const std::bad_alloc&) {
        model_import_clear();
        return 0;
    }
}
