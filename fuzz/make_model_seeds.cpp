// Writes the small model files of the tests into the seed folders of fuzz_obj, fuzz_3ds and fuzz_glm
// (below the folder given). Run by the fuzz build after the targets are linked.
#include <string>
#include <vector>

#include "seed_file.h"
#include "support/model_files.h"

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
