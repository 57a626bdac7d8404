#include "support/model_files.h"

#include <cstdio>
#include <cstring>

namespace modelfiles {

namespace {

void put16(std::string& s, uint32_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

void put_float(std::string& s, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    put32(s, bits);
}

std::string cstring(const std::string& s) {
    return s + std::string(1, '\0');
}

// C array text, `per_line` values per line.
std::string c_array(const std::string& name, const std::vector<float>& values, size_t per_line) {
    std::string s = "static float " + name + "[] = {\n";
    char buffer[64];
    for (size_t i = 0; i + per_line <= values.size(); i += per_line) {
        s += "\t";
        for (size_t k = 0; k < per_line; ++k) {
            std::snprintf(buffer, sizeof buffer, "%s%g", k > 0 ? ", " : "",
                          static_cast<double>(values[i + k]));
            s += buffer;
        }
        s += ",\n";
    }
    return s + "};\n";
}

}  // namespace

std::string chunk_3ds(uint16_t id, const std::string& body) {
    std::string s;
    put16(s, id);
    put32(s, static_cast<uint32_t>(body.size() + 6));
    return s + body;
}

std::string file_3ds(const std::vector<Mesh3ds>& meshes, const std::vector<Material3ds>& materials) {
    std::string editor;
    for (const Material3ds& m : materials) {
        if (m.bare) {
            editor += chunk_3ds(0xAFFF, "");
            continue;
        }
        const std::string map = chunk_3ds(0xA200, chunk_3ds(0xA300, cstring(m.texture)));
        editor += chunk_3ds(0xAFFF, chunk_3ds(0xA000, cstring(m.name)) + map);
    }
    for (const Mesh3ds& mesh : meshes) {
        std::string vertices;
        put16(vertices, static_cast<uint32_t>(mesh.vertices.size() / 3));
        for (float v : mesh.vertices) put_float(vertices, v);
        std::string faces;
        put16(faces, static_cast<uint32_t>(mesh.faces.size() / 3));
        for (size_t f = 0; f + 2 < mesh.faces.size(); f += 3) {
            for (size_t k = 0; k < 3; ++k) put16(faces, mesh.faces[f + k]);
            put16(faces, 7);  // edge flags
        }
        if (!mesh.material.empty()) {
            std::string list = cstring(mesh.material);
            put16(list, static_cast<uint32_t>(mesh.faces.size() / 3));
            for (size_t f = 0; f < mesh.faces.size() / 3; ++f) put16(list, static_cast<uint32_t>(f));
            faces += chunk_3ds(0x4130, list);
        }
        std::string smoothing;
        for (size_t f = 0; f < mesh.faces.size() / 3; ++f) put32(smoothing, 1);
        faces += chunk_3ds(0x4150, smoothing);
        std::string body = chunk_3ds(0x4110, vertices) + chunk_3ds(0x4120, faces);
        if (!mesh.mapping.empty()) {
            std::string mapping;
            put16(mapping, static_cast<uint32_t>(mesh.mapping.size() / 2));
            for (float v : mesh.mapping) put_float(mapping, v);
            body += chunk_3ds(0x4140, mapping);
        }
        std::string matrix;
        for (int i = 0; i < 12; ++i) put_float(matrix, i % 4 == 0 ? 1.0f : 0.0f);
        body += chunk_3ds(0x4160, matrix);
        editor += chunk_3ds(0x4000, cstring(mesh.name) + chunk_3ds(0x4100, body));
    }
    std::string version;
    put32(version, 3);
    return chunk_3ds(0x4D4D, chunk_3ds(0x0002, version) + chunk_3ds(0x3D3D, editor));
}

std::string obj_sample() {
    return "# sample\n"
           "mtllib sample.mtl\n"
           "o first\n"
           "# TEX=    bark\n"
           "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
           "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
           "vn 0 0 1\n"
           "f 1 2 3\n"
           "f 1/1 2/2 3/3\n"
           "f 1/1 2/2 3/3 4/4\n"
           "f 1/1/1 2/2/1 3/3/1\n"
           "f 1//1 2//1 3//1 4//1\n"
           "g second\n"
           "f 4/4/1 3/3/1 2/2/1 1/1/1\n"
           "o third\n"
           "# TEX=    leaf.png\n"
           "v 5 5 5\r\nv 6 5 5\r\nv 6 6 5\r\nvt 0.5 0.5\r\n"
           "f 1/1 2/1 3/1\r\n";
}

const int BOX_QUADS[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4},
                             {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};

void box_vertex(int v, float offset, float* out) {
    out[0] = offset + static_cast<float>((v & 1) ^ ((v >> 1) & 1));
    out[1] = static_cast<float>(v >> 2);
    out[2] = static_cast<float>((v >> 1) & 1);
}

std::string obj_two_boxes(ObjNumbering numbering) {
    std::string s = "# two boxes\n";
    char line[64];
    for (int box = 0; box < 2; ++box) {
        s += box == 0 ? "o first\n" : "o second\n";
        for (int v = 0; v < 8; ++v) {
            float p[3];
            box_vertex(v, static_cast<float>(box * 3), p);
            std::snprintf(line, sizeof line, "v %g %g %g\n", static_cast<double>(p[0]),
                          static_cast<double>(p[1]), static_cast<double>(p[2]));
            s += line;
        }
        for (const auto& quad : BOX_QUADS) {
            s += "f";
            for (int c : quad) {
                const int index = numbering == ObjNumbering::File     ? box * 8 + c + 1
                                  : numbering == ObjNumbering::Object ? c + 1
                                                                      : c - 8;
                s += " " + std::to_string(index);
            }
            s += "\n";
        }
    }
    return s;
}

std::string obj_grid(int triangles) {
    const int cells = (triangles + 1) / 2;
    int side = 1;
    while (side * side < cells) ++side;
    std::string s;
    s.reserve(static_cast<size_t>(cells) * 200);
    char line[320];
    for (int y = 0; y <= side; ++y) {
        for (int x = 0; x <= side; ++x) {
            std::snprintf(line, sizeof line, "v %.4f %.4f %.4f\nvt %.5f %.5f\nvn 0.0000 1.0000 0.0000\n",
                          x * 0.5, (x * 7 + y * 3) % 11 * 0.01, y * 0.5, static_cast<double>(x) / side,
                          static_cast<double>(y) / side);
            s += line;
        }
    }
    for (int c = 0; c < cells; ++c) {
        const int x = c % side, y = c / side;
        const int a = y * (side + 1) + x + 1, b = a + 1, d = a + side + 1, e = d + 1;
        if (c % 4 == 0) {
            std::snprintf(line, sizeof line, "f %d/%d/%d %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, b, b, b, e,
                          e, e, d, d, d);
        } else {
            std::snprintf(line, sizeof line, "f %d/%d/%d %d/%d/%d %d/%d/%d\nf %d/%d/%d %d/%d/%d %d/%d/%d\n",
                          a, a, a, b, b, b, e, e, e, a, a, a, e, e, e, d, d, d);
        }
        s += line;
    }
    return s;
}

std::string glm_file(const std::string& header, const std::vector<GlmPart>& parts) {
    std::string s = "/* exported model */\n" + header;
    if (!header.empty() && header.back() != '\n') s += "\n";
    for (const GlmPart& p : parts) {
        s += c_array(p.name + "_coords", p.coords, 3);
        s += "static unsigned short " + p.name + "_indices[] = {\n\t0, 1, 2,\n};\n";
        if (!p.normals.empty()) s += c_array(p.name + "_normals", p.normals, 3);
        if (!p.texcoords.empty()) s += c_array(p.name + "_texcoords", p.texcoords, 2);
        if (!p.texture.empty()) s += "\"" + p.texture + "\", // diffuse texture\n";
    }
    return s;
}

std::string glm_scramble(const std::string& line, int k) {
    std::string s;
    s.push_back(static_cast<char>('0' + k / 10));
    s.push_back(static_cast<char>('0' + k % 10));
    for (char c : line) s.push_back(static_cast<char>(static_cast<unsigned char>(c) + (k - 10)));
    return s + "~\n";
}

}  // namespace modelfiles
