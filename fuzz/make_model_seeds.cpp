// Writes the small model files of the tests into the seed folders of fuzz_obj, fuzz_3ds and fuzz_glm
// (below the folder given). Run by the fuzz build after the targets are linked.
#include <cstdio>
#include <string>
#include <vector>

#include "seed_file.h"
#include "support/model_files.h"

namespace {

// Four boxes as "o" objects whose faces number their corners differently: from 1 in the object, across
// the whole file, backwards from the last vertex read, and backwards in the "p/t/n" form; the later
// objects must still find the earlier objects' vertices.
std::string obj_boxes_mixed() {
    std::string s = "mtllib none.mtl\nvt 0 0\nvn 0 1 0\n";
    char line[64];
    for (int box = 0; box < 4; ++box) {
        s += "o box" + std::to_string(box) + "\n";
        for (int v = 0; v < 8; ++v) {
            float p[3];
            modelfiles::box_vertex(v, static_cast<float>(box * 3), p);
            std::snprintf(line, sizeof line, "v %g %g %g\n", static_cast<double>(p[0]),
                          static_cast<double>(p[1]), static_cast<double>(p[2]));
            s += line;
        }
        for (const auto& quad : modelfiles::BOX_QUADS) {
            s += "f";
            for (int c : quad) {
                const int index = box == 0 ? c + 1 : box == 1 ? box * 8 + c + 1 : c - 8;
                s += " " + std::to_string(index) + (box == 3 ? "/1/-1" : "");
            }
            s += "\n";
        }
    }
    return s;
}

// Thousands of objects, each naming a material, among tens of thousands of empty materials and a few
// named ones: matching them must cost one look-up per object. All but the first have no faces, so the fuzz
// targets' triangle budget does not stop the read before the matching.
std::string crowd_3ds() {
    std::vector<modelfiles::Material3ds> materials(20000);
    for (auto& m : materials) m.bare = true;
    for (int k = 0; k < 40; ++k) materials.push_back({"m" + std::to_string(k % 20), "t.bmp"});
    std::vector<modelfiles::Mesh3ds> objects(3000);
    for (size_t i = 0; i < objects.size(); ++i) {
        objects[i].name = "o";
        objects[i].material = "m" + std::to_string(i % 25);  // the last five names match nothing
    }
    objects[0].vertices = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    objects[0].faces = {0, 1, 2};
    return modelfiles::file_3ds(objects, materials);
}

}  // namespace

int main(int argc, char** argv) {
    const char* folder = seed_folder(argc, argv, "make_model_seeds");
    if (folder == nullptr) return 2;
    const std::string seeds = folder;
    const std::string obj = seeds + "/fuzz_obj", max3ds = seeds + "/fuzz_3ds", glm = seeds + "/fuzz_glm";

    modelfiles::Mesh3ds box;
    box.name = "box";
    box.vertices = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0};
    box.faces = {0, 1, 2, 0, 2, 3};
    box.mapping = {0, 0, 1, 0, 1, 1, 0, 1};
    box.material = "Wood";
    modelfiles::Mesh3ds plain = box;
    plain.name = "plain";
    plain.mapping.clear();
    plain.material.clear();

    modelfiles::GlmPart part{"wing",
                             {1, 2, 3, 4, 5, 6, 7, 8, 9, 2000, 0, 0},
                             {0, 0, 1, 0, 1, 0, 1, 0, 0},
                             {0, 0, 1, 0, 1, 1},
                             "Bark"};
    std::string scrambled = "/* model */\nwing.bmp\nstatic float w_coords[] = {\n";
    scrambled += modelfiles::glm_scramble("\t-1.5e1, 2, .5,", 23) + "\t1, 2, 3,\n\t4, 5, 6,\n};\n";

    // The hostile shapes: faces fanned into more triangles than the fuzz targets' budget, vertices
    // numbered across the file and backwards, and materials by the thousand, several of one name.
    std::string fan = "v 0 0 0\nv 1 0 0\nv 0 1 0\n", face = "f 1";
    for (int k = 0; k < 59; ++k) face += " 2 -1";
    for (int line = 0; line < 40; ++line) fan += face + "\n";
    std::vector<modelfiles::Mesh3ds> crates(100, box);
    for (size_t i = 0; i < crates.size(); ++i) crates[i].material = i % 3 ? "Wood" : "Stone";
    std::vector<modelfiles::Material3ds> materials(2000);
    for (auto& m : materials) m.bare = true;
    materials.push_back({"Wood", "old.bmp"});
    materials.push_back({"Stone", "stone.png"});
    materials.push_back({"Wood", "new.bmp"});
    modelfiles::GlmPart big{"hull", {}, {}, {}, ""};
    for (int v = 0; v < 4200 * 3; ++v) big.coords.insert(big.coords.end(), {static_cast<float>(v % 7), 1, 2});

    const bool ok =
        seed_save(obj, "fan.obj", fan) &&
        seed_save(obj, "boxes_file.obj", modelfiles::obj_two_boxes(modelfiles::ObjNumbering::File)) &&
        seed_save(obj, "boxes_relative.obj", modelfiles::obj_two_boxes(modelfiles::ObjNumbering::Relative)) &&
        seed_save(obj, "boxes_mixed.obj", obj_boxes_mixed()) && seed_save(max3ds, "crowd.3ds", crowd_3ds()) &&
        seed_save(max3ds, "materials.3ds", modelfiles::file_3ds(crates, materials)) &&
        seed_save(glm, "big.glm", modelfiles::glm_file("", {big})) &&
        seed_save(obj, "sample.obj", modelfiles::obj_sample()) &&
        seed_save(obj, "grid.obj", modelfiles::obj_grid(16)) &&
        seed_save(max3ds, "two_meshes.3ds", modelfiles::file_3ds({box, plain}, {{"Wood", "wood.bmp"}})) &&
        seed_save(
            glm, "tags.glm",
            modelfiles::glm_file("// RESCALE_0,1 RESCALE_0,125 RESCALEY_0,95 LETOL_2,5 zflip mirrornormals",
                                 {part, part})) &&
        seed_save(glm, "scrambled.glm", scrambled);
    return ok ? 0 : 1;
}
