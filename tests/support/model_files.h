// Small model files of every kind the engine reads (OBJ, 3DS, C-array ".glm"), written in memory: the
// fixtures of the tests, the seeds of the fuzz targets and the workload of the model benchmark.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace modelfiles {

// One 3DS chunk: 16-bit id, 32-bit length counting the 6-byte header, then the body.
std::string chunk_3ds(uint16_t id, const std::string& body);

struct Mesh3ds {
    std::string name = "mesh";
    std::vector<float> vertices;  // x, y, z per vertex
    std::vector<uint16_t> faces;  // three vertex indices per face
    std::vector<float> mapping;   // u, v per vertex; none: no mapping chunk
    std::string material;         // face-material name; "": no material chunk
};

struct Material3ds {
    std::string name;
    std::string texture;  // the texture map's file name
    bool bare = false;    // an empty material chunk: no name, no texture map
};

// A whole 3DS file: main chunk, editor chunk holding the materials and then the meshes.
std::string file_3ds(const std::vector<Mesh3ds>& meshes, const std::vector<Material3ds>& materials = {});

// An OBJ with two "o" objects (each numbering from 1), a "g" group, every face form and texture names.
std::string obj_sample();

// How an OBJ's faces number their vertices: across the whole file (as exporters write them), from 1 in
// each "o" object (as the engine's own files do), or backwards from the last vertex read (-1).
enum class ObjNumbering { File, Object, Relative };

// The corners of a unit box's six quads, as indices into its eight vertices (bottom four, then top).
extern const int BOX_QUADS[6][4];
// An OBJ of two unit boxes as two "o" objects, the second at x + 3, each writing its eight vertices
// (box_vertex) and then its six quads in the numbering given.
std::string obj_two_boxes(ObjNumbering numbering);
// Vertex `v` (0..7) of the unit box at x + offset: x, y, z.
void box_vertex(int v, float offset, float* out);

// An OBJ of `triangles` triangles (rounded up to the next even number) on a grid, with positions,
// texture coordinates and normals; faces in the p/t/n form, one in four cells written as a quad.
std::string obj_grid(int triangles);

// One part of a C-array model: its texture comment, coordinates (x, y, z per vertex), normals and
// texture coordinates (u, v per vertex) as C arrays, and an index array the reader skips.
struct GlmPart {
    std::string name = "part";
    std::vector<float> coords;
    std::vector<float> normals;
    std::vector<float> texcoords;
    std::string texture;  // written as a "// diffuse texture" comment after the arrays; "": none
};

// A C-array model: a first line, the header lines (tags), then the parts.
std::string glm_file(const std::string& header, const std::vector<GlmPart>& parts);

// The line as a scrambled file stores it with key k (10..40): two digits, each character k - 10
// higher, and one character of padding at the end.
std::string glm_scramble(const std::string& line, int k);

}  // namespace modelfiles
