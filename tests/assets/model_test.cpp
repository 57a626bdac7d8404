// Model loading: dispatch, the three readers on files the tests write, texture resolution, and damaged
// files, which must give no model (or only what is really there) and never a fault.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "asset_files.h"
#include "assets/figure.h"
#include "assets/model.h"
#include "assets/model_readers.h"
#include "assets/texture.h"
#include "scene/object.h"
#include "support/model_files.h"
#include "support/temp_dir.h"

namespace {

using assettest::ScopedCwd;
using modelfiles::GlmPart;
using modelfiles::Mesh3ds;
using Floats = std::vector<float>;

class ModelTest : public testing::Test {
  protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset() {
        obj_table_reset_all();
        tex_reset();
        model_import_clear();
        model_limits = ModelLimits{};
    }

    // Writes `bytes` as `name` and loads it into object 1; the result of model_load.
    int load(const std::string& name, const std::string& bytes) {
        dir.write(name, bytes);
        ScopedCwd cwd(dir.path());
        return model_load(1, name.c_str());
    }

    static int parts() { return obj_valid(1) ? obj_table.part_count[1] : 0; }
    static int count(int part) { return obj_table.parts[1].tri_count[part]; }
    static Floats tris(int part) {
        const Floats& t = obj_table.parts[1].tri_local[part];
        return Floats(t.begin(), t.begin() + count(part) * 9);
    }
    static Floats uvs(int part) {
        const Floats& t = obj_table.parts[1].tri_uv[part];
        return Floats(t.begin(), t.begin() + count(part) * 6);
    }
    static TextureId texture(int part) { return obj_table.parts[1].texture[part]; }

    vmtest::TempDir dir;
};

void expect_near(const Floats& got, const Floats& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-5) << "value " << i;
}

bool import_empty() {
    return model_import.part_count == 0 && model_import.positions.empty() && model_import.texture.empty();
}

// The first pixel of a texture's red, green and blue, as one number.
int first_pixel(TextureId t) {
    if (!tex_has_pixels(t)) return -1;
    const uint8_t* p = texture_table.pixels[t];
    return p[0] << 16 | p[1] << 8 | p[2];
}

std::string tga_pixel(uint8_t r, uint8_t g, uint8_t b) {
    return assettest::tga_header(2, 1, 1, 24) +
           std::string{static_cast<char>(b), static_cast<char>(g), static_cast<char>(r)};
}

TEST_F(ModelTest, DispatchByExtensionIgnoringCase) {
    ASSERT_EQ(load("Ship.OBJ", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"), 1);
    EXPECT_EQ(obj_table.name[1], "Ship");
    EXPECT_EQ(parts(), 1);
    EXPECT_EQ(count(0), 1);

    assettest::PngLayout png;
    png.samples = {255, 0, 0};
    dir.write("Ship.png", assettest::png_file(png));
    dir.write("notes.txt", "v 0 0 0\n");
    ScopedCwd cwd(dir.path());
    EXPECT_EQ(model_load(2, "Ship.png"), figure_load(3, "Ship.png"));
    EXPECT_EQ(model_load(4, "notes.txt"), 0);
    EXPECT_EQ(model_load(4, "x"), 0);
    // A missing file leaves the object reset and named, without parts.
    EXPECT_EQ(model_load(1, "missing.obj"), 0);
    EXPECT_FALSE(obj_has_parts(1));
    EXPECT_EQ(obj_table.name[1], "missing");
    // Read and discarded: nothing is written, and the buffer is emptied all the same.
    EXPECT_EQ(model_load(0, "Ship.OBJ"), 1);
    EXPECT_EQ(model_load(-5, "Ship.OBJ"), 1);
    EXPECT_EQ(obj_table.part_count[0], 0);
    EXPECT_TRUE(import_empty());
}

TEST_F(ModelTest, ModelsAreFoundInTheDataFoldersByBaseName) {
    dir.write("data/glm/boat.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    ScopedCwd cwd(dir.path());
    EXPECT_EQ(model_load(1, "C:\\models\\boat.obj"), 1);
    EXPECT_EQ(count(0), 1);
}

// Every face form against an oracle built from the same index lists; quads and longer polygons fan
// around their first corner.
TEST_F(ModelTest, ObjFaceFormsGiveTheirCorners) {
    const Floats p = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0.5f, 2, 0};
    const Floats t = {0, 0, 0.25f, 0, 0.5f, 0.5f, 0, 0.75f, 1, 1};
    std::string obj;
    for (size_t i = 0; i < p.size(); i += 3)
        obj += "v " + std::to_string(p[i]) + " " + std::to_string(p[i + 1]) + " " + std::to_string(p[i + 2]) +
               "\n";
    for (size_t i = 0; i < t.size(); i += 2)
        obj += "vt " + std::to_string(t[i]) + " " + std::to_string(t[i + 1]) + "\n";
    obj += "vn 0 0 1\n";
    obj += "f 1/1 2/2 3/3 4/4\n";                // quad of pairs
    obj += "f 1//1 2//1 3//1\n";                 // position//normal keeps the uvs of the face before
    obj += "f 2/3/1 3/4/1 4/5/1 1/1/1\n";        // quad of triples
    obj += "f 1/1/1 2/2/1 3/3/1 5/5/1 4/4/1\n";  // a pentagon
    ASSERT_EQ(load("faces.obj", obj), 1);
    // Corner lists of the expected triangles, 1-based (position, uv).
    const std::vector<std::vector<int>> want = {{1, 1, 2, 2, 3, 3}, {1, 1, 3, 3, 4, 4}, {1, 1, 2, 2, 3, 3},
                                                {2, 3, 3, 4, 4, 5}, {2, 3, 4, 5, 1, 1}, {1, 1, 2, 2, 3, 3},
                                                {1, 1, 3, 3, 5, 5}, {1, 1, 5, 5, 4, 4}};
    Floats want_p, want_t;
    for (const auto& tri : want) {
        for (int k = 0; k < 3; ++k) {
            for (int c = 0; c < 3; ++c) want_p.push_back(p[(tri[k * 2] - 1) * 3 + c]);
            for (int c = 0; c < 2; ++c) want_t.push_back(t[(tri[k * 2 + 1] - 1) * 2 + c]);
        }
    }
    expect_near(tris(0), want_p);
    expect_near(uvs(0), want_t);
}

TEST_F(ModelTest, ObjObjectsRestartNumberingAndGroupsContinueIt) {
    const char* obj =
        "o ignored\no before any face\n"
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"
        "g second\nv 2 0 0\nf 2 3 4\n"
        "o third\nv 5 0 0\nv 6 0 0\nv 5 1 0\nf 1 2 3\n"
        "o empty\n";
    ASSERT_EQ(load("groups.obj", obj), 1);
    ASSERT_EQ(parts(), 3);
    expect_near(tris(0), {0, 0, 0, 1, 0, 0, 0, 1, 0});
    expect_near(tris(1), {1, 0, 0, 0, 1, 0, 2, 0, 0});
    expect_near(tris(2), {5, 0, 0, 6, 0, 0, 5, 1, 0});
}

// The triangles of box_quads fanned around their first corner, for the box at x + offset.
Floats box_triangles(float offset) {
    Floats out;
    for (const auto& quad : modelfiles::BOX_QUADS) {
        for (int k = 1; k < 3; ++k) {
            for (int c : {quad[0], quad[k], quad[k + 1]}) {
                float p[3];
                modelfiles::box_vertex(c, offset, p);
                out.insert(out.end(), p, p + 3);
            }
        }
    }
    return out;
}

// Exporters number vertices across the whole file and may count back from the last one; the engine's
// own files start again at each "o". All three give the same two boxes.
TEST_F(ModelTest, ObjNumberedAcrossTheFilePerObjectOrBackwards) {
    using modelfiles::ObjNumbering;
    for (ObjNumbering numbering : {ObjNumbering::File, ObjNumbering::Object, ObjNumbering::Relative}) {
        SCOPED_TRACE(static_cast<int>(numbering));
        ASSERT_EQ(load("boxes.obj", modelfiles::obj_two_boxes(numbering)), 1);
        ASSERT_EQ(parts(), 2);
        expect_near(tris(0), box_triangles(0));
        expect_near(tris(1), box_triangles(3));
    }
    // An object with more vertices than all before it: indices up to its own count could be either
    // numbering, so once a face has shown the whole file's, the object's later faces keep to it.
    const char* obj =
        "o a\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"
        "o b\nv 5 0 0\nv 6 0 0\nv 5 1 0\nv 6 1 0\nv 5 2 0\nv 6 2 0\nf 4 5 9\nf 4 5 6\nf -1 -2 -4\n";
    ASSERT_EQ(load("grown.obj", obj), 1);
    expect_near(tris(1), {5, 0, 0, 6, 0, 0, 6, 2, 0, 5, 0, 0, 6, 0, 0, 5, 1, 0, 6, 2, 0, 5, 2, 0, 5, 1, 0});
}

TEST_F(ModelTest, ObjIndicesOutsideTheListsKeepThePreviousCorner) {
    const char* obj =
        "v 1 0 0\nv 0 1 0\nv 0 0 1\n"
        "f 9 1 2\n"  // corner 1 has had no face: zeros
        "f 1 2 3\n"
        "f 1 99999999999 -1\n"  // corners 2 and 3 stay as the face before left them
        "f 1 x 2\nf 1\n"        // too few corners: nothing
        "f a b c\n";
    ASSERT_EQ(load("range.obj", obj), 1);
    expect_near(tris(0), {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 1});
}

// "bark" has no extension: .bmp, .png, .jpg, .gif, .tga in turn, each beside the model too.
TEST_F(ModelTest, TexturesWithoutExtensionAreSearchedBesideTheModel) {
    assettest::PngLayout red;
    red.samples = {255, 0, 0};
    dir.write("models/bark.png", assettest::png_file(red));
    dir.write("models/bark.tga", tga_pixel(0, 255, 0));
    dir.write("models/moss.tga", tga_pixel(0, 0, 255));
    const char* tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    const std::string obj = std::string("# TEX=    bark\n") + tri + "g b\n# TEX=    moss\n" + tri +
                            "g c\n# TEX=    nowhere\n" + tri + "g d\n# TEX=    nowhere.png\n" + tri;
    ASSERT_EQ(load("models/ship.obj", obj), 1);
    ASSERT_EQ(parts(), 4);
    EXPECT_EQ(first_pixel(texture(0)), 0xFF0000);  // the png comes before the tga
    EXPECT_EQ(first_pixel(texture(1)), 0x0000FF);
    EXPECT_EQ(texture(2), 0);
    EXPECT_EQ(texture(3), 0);
    // Textures are looked up by key: the next model finds bark loaded.
    const TextureId bark = texture(0);
    ASSERT_EQ(load("other.obj", std::string("# TEX=    bark\n") + tri), 1);
    EXPECT_EQ(texture(0), bark);
}

TEST_F(ModelTest, Max3dsExchangesYAndZAndTakesTheMaterialTexture) {
    Mesh3ds a;
    a.vertices = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    a.faces = {0, 1, 2, 2, 1, 7};  // vertex 7 does not exist
    a.mapping = {0, 0, 1, 0, 1, 1};
    a.material = "Wood";
    Mesh3ds b = a;
    b.name = "other";
    b.material = "Stone";
    dir.write("m/wood.bmp", assettest::bmp_file(4, 1, std::vector<uint8_t>(12, 90)));
    const std::string file = modelfiles::file_3ds({a, b}, {{"Stone", "none.bmp"}, {"Wood", "wood.bmp"}});
    ASSERT_EQ(load("m/crate.3ds", file), 1);
    ASSERT_EQ(parts(), 2);
    expect_near(tris(0), {1, 3, 2, 4, 6, 5, 7, 9, 8, 7, 9, 8, 4, 6, 5, 0, 0, 0});
    expect_near(uvs(0), {0, 0, 1, 0, 1, 1, 1, 1, 1, 0, 0, 0});
    EXPECT_EQ(first_pixel(texture(0)), 0x5A5A5A);
    EXPECT_EQ(texture(1), 0);
    EXPECT_EQ(count(1), 2);
}

// Deep in nested folders (a path of over 300 characters) a 3DS loads as an OBJ of the same triangle does.
TEST_F(ModelTest, ModelsAtLongPathsLoadAlike) {
    std::string folder;
    for (char c = 'a'; c < 'g'; ++c) folder += std::string(48, c) + "/";
    Mesh3ds mesh;
    mesh.vertices = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    mesh.faces = {0, 1, 2};
    dir.write(folder + "crate.3ds", modelfiles::file_3ds({mesh}));
    dir.write(folder + "crate.obj", "v 1 3 2\nv 4 6 5\nv 7 9 8\nf 1 2 3\n");
    const std::string base = dir / folder;
    ASSERT_GT(base.size(), 300u);
    ASSERT_EQ(model_load(1, (base + "crate.obj").c_str()), 1);
    const Floats from_obj = tris(0);
    ASSERT_EQ(model_load(1, (base + "crate.3ds").c_str()), 1);
    expect_near(tris(0), from_obj);
}

// 10,000 objects and 400,000 empty materials: each name is entered and looked up once, so the work
// stays within the chunks the file holds; of materials sharing a name the last one gives the texture.
TEST_F(ModelTest, Max3dsMaterialsAreMatchedByNameOnce) {
    constexpr int objects = 10000;
    std::vector<Mesh3ds> meshes(objects);
    for (int i = 0; i < objects; ++i) meshes[static_cast<size_t>(i)].material = i % 2 ? "Wood" : "Stone";
    std::vector<modelfiles::Material3ds> materials(400000);
    for (auto& m : materials) m.bare = true;
    materials.push_back({"Wood", "old.bmp"});
    materials.push_back({"Stone", "stone.png"});
    materials.push_back({"Wood", "new.bmp"});
    const std::string file = modelfiles::file_3ds(meshes, materials);
    ASSERT_EQ(model_read_3ds(reinterpret_cast<const uint8_t*>(file.data()), file.size()), 1);
    ASSERT_EQ(model_import.part_count, objects);
    EXPECT_EQ(model_import.texture[0], "stone.png");
    EXPECT_EQ(model_import.texture[1], "new.bmp");
    EXPECT_EQ(model_import.texture[objects - 1], "new.bmp");
    // Every chunk takes at least its 6-byte header.
    EXPECT_LE(model_import.material_steps, file.size() / 6);
}

TEST_F(ModelTest, Max3dsDamagedFilesGiveNoModel) {
    Mesh3ds a;
    a.vertices = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    a.faces = {0, 1, 2};
    const std::string good = modelfiles::file_3ds({a});
    // Cut short: the chunks around the mesh run past the end.
    EXPECT_EQ(load("cut.3ds", good.substr(0, good.size() - 10)), 0);
    EXPECT_EQ(load("tiny.3ds", good.substr(0, 6)), 0);
    // Neither the main chunk's id nor its length.
    EXPECT_EQ(load("other.3ds", std::string("\x01\x02\x00\x00\x00\x00", 6) + good.substr(6)), 0);
    // The object chunk claims more than the file holds.
    std::string past = good;
    const size_t object = past.find(std::string("\x00\x40", 2));
    ASSERT_NE(object, std::string::npos);
    past[object + 5] = '\x7F';
    EXPECT_EQ(load("past.3ds", past), 0);
    EXPECT_TRUE(import_empty());
    // Counts far beyond the bytes there are cut to the records that are whole.
    std::string huge = good;
    const size_t vertices = huge.find(std::string("\x10\x41", 2));
    huge[vertices + 6] = huge[vertices + 7] = '\xFF';
    const size_t faces = huge.find(std::string("\x20\x41", 2));
    huge[faces + 6] = huge[faces + 7] = '\xFF';
    ASSERT_EQ(load("huge.3ds", huge), 1);
    const Floats got = tris(0);
    expect_near(Floats(got.begin(), got.begin() + 9), {1, 3, 2, 4, 6, 5, 7, 9, 8});
}

// Every prefix and every single-byte change of a valid file, read from a buffer of exactly that size
// so that the sanitizer sees any read past it.
TEST_F(ModelTest, Max3dsReaderSurvivesEveryCutAndByteChange) {
    Mesh3ds a;
    a.vertices = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    a.faces = {0, 1, 2};
    a.mapping = {0, 0, 1, 0, 1, 1};
    a.material = "m";
    const std::string good = modelfiles::file_3ds({a}, {{"m", "t.png"}});
    for (size_t n = 0; n <= good.size(); ++n) {
        std::vector<uint8_t> bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        model_read_3ds(bytes.data(), bytes.size());
        model_import_clear();
    }
    for (size_t i = 0; i < good.size(); ++i) {
        for (uint8_t v : {0x00, 0x05, 0xFF}) {
            std::vector<uint8_t> bytes(good.begin(), good.end());
            bytes[i] = v;
            model_read_3ds(bytes.data(), bytes.size());
            model_import_clear();
        }
    }
}

TEST_F(ModelTest, GlmTagsScaleAndShiftAndTheLongerTagWins) {
    GlmPart p;
    p.coords = {8, 8, 8, 16, 0, 0, 0, 16, -8};
    p.texture = "Bark.PNG";
    assettest::PngLayout png;
    png.samples = {1, 2, 3};
    dir.write("bark.png", assettest::png_file(png));
    const std::string header = "// RESCALE_0,1 RESCALE_0,125 RESCALEY_0,95\n// LETOL_2,5 zflip\n";
    ASSERT_EQ(load("tags.glm", modelfiles::glm_file(header, {p})), 1);
    ASSERT_EQ(parts(), 1);
    expect_near(tris(0), {1, 0.95f - 2.5f, -1, 2, -2.5f, 0, 0, 1.9f - 2.5f, 1});
    EXPECT_EQ(first_pixel(texture(0)), 0x010203);

    // A stray vertex beyond 1000 is dropped at scale 1 and kept once scaled down.
    GlmPart far;
    far.coords = {2000, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3};
    ASSERT_EQ(load("far.glm", modelfiles::glm_file("", {far})), 1);
    expect_near(tris(0), {1, 1, 1, 2, 2, 2, 3, 3, 3});
    ASSERT_EQ(load("near.glm", modelfiles::glm_file("// RESCALE_0,1", {far})), 1);
    expect_near(tris(0), {200, 0, 0, 0.1f, 0.1f, 0.1f, 0.2f, 0.2f, 0.2f});
}

// Read straight into the import buffer, which keeps what model_load does not hand on.
TEST_F(ModelTest, GlmBlocksTexturesAndScrambledLines) {
    std::string glm = "/* model */\n";  // more than three characters: later lines may be scrambled
    glm += "wing.bmp\n";                // the texture of the next part
    glm += "static float wing_coords[] = {\n";
    glm += modelfiles::glm_scramble("\t-1.5e1, 2, .5,", 23);
    glm += "\t1,\t 2 , 3,\n";
    glm += modelfiles::glm_scramble("\t4, 5, 6", 10);
    glm += "\t7, 8, 9,\n";  // a leftover vertex makes no triangle
    glm += "};\n";
    glm += "static float wing_texcoords[] = {\n\t0.5, 1,\n\t1, 0,\n};\n";
    glm += "static unsigned short wing_matindices[] = {\n\t1, 2, 3,\n};\n";
    glm += "static float empty_coords[] = {\n};\n";
    glm += "static float empty_texcoords[] = {\n\t9, 9,\n};\n";  // the part has no triangles: skipped
    glm += "\"Tail\", // diffuse texture\n";                     // the part just completed
    FILE* f = fmemopen(glm.data(), glm.size(), "r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(model_read_glm(f), 1);
    fclose(f);
    const ModelImport& m = model_import;
    ASSERT_EQ(m.part_count, 2);
    ASSERT_EQ(m.tri_count[0], 1);
    expect_near(Floats(m.positions[0].begin(), m.positions[0].begin() + 9), {-15, 2, 0.5f, 1, 2, 3, 4, 5, 6});
    expect_near(Floats(m.uvs[0].begin(), m.uvs[0].begin() + 6), {0.5f, 1, 1, 0, 0, 0});
    EXPECT_EQ(m.tri_count[1], 0);
    EXPECT_EQ(m.texture[0], "wing.bmp");
    EXPECT_EQ(m.texture[1], "tail");
}

TEST_F(ModelTest, OverlongLinesAreCutNotSplit) {
    std::string glm = "/**/\nstatic float p_coords[] = {\n\t1, 2, 3,\n";
    glm += "\t4, 5, 6," + std::string(600, ' ') + "7, 8, 9, 10, 11\n";
    glm += "\t7, 8, 9,\n};\n";
    glm += "//" + std::string(400, 'x') + " RESCALE_0,1\n";  // past the line: not a tag
    glm += "static float q_coords[] = {\n\t10, 10, 10,\n\t10, 10, 10,\n\t10, 10, 10,\n};\n";
    ASSERT_EQ(load("long.glm", glm), 1);
    expect_near(tris(0), {1, 2, 3, 4, 5, 6, 7, 8, 9});
    expect_near(tris(1), {10, 10, 10, 10, 10, 10, 10, 10, 10});
    std::string obj = "v 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 2 3" + std::string(300, ' ') + "f 1 1 1\n";
    ASSERT_EQ(load("long.obj", obj), 1);
    EXPECT_EQ(count(0), 1);
}

TEST_F(ModelTest, NothingOfAFailedLoadReachesTheNext) {
    // A texture name without any coordinate block: no part, so no model.
    EXPECT_EQ(load("only.glm", "/**/\n\"bark\", // diffuse texture\nbark.bmp\n"), 0);
    EXPECT_TRUE(import_empty());
    ASSERT_EQ(load("plain.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"), 1);
    EXPECT_EQ(texture(0), 0);
    EXPECT_EQ(tex_find("bark"), 0);
    // An OBJ without faces still has its one (empty) part.
    EXPECT_EQ(load("none.obj", "# nothing\n"), 1);
    EXPECT_FALSE(obj_has_parts(1));
}

TEST_F(ModelTest, TextReadersSurviveEveryCut) {
    const std::string files[] = {
        modelfiles::obj_sample(),
        modelfiles::glm_file("// RESCALE_0,5 zflip",
                             {GlmPart{"a", {1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 0, 1}, {0, 1}, "t"}})};
    for (int kind = 0; kind < 2; ++kind) {
        const std::string& text = files[kind];
        for (size_t n = 1; n <= text.size(); ++n) {
            std::vector<char> bytes(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
            FILE* f = fmemopen(bytes.data(), bytes.size(), "r");
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(kind == 0 ? model_read_obj(f) : model_read_glm(f), 1);
            fclose(f);
            model_import_clear();
        }
    }
}

// A polygon of n corners makes n - 2 triangles, so a few lines of long faces make a big model. Past the
// triangle budget every reader gives no model and leaves nothing behind; below it the model loads.
TEST_F(ModelTest, ModelsPastTheTriangleBudgetGiveNoModel) {
    model_limits.max_triangles = 1000;
    std::string face = "f 1";
    for (int k = 0; k < 59; ++k) face += " 2 3";  // 119 corners: 117 triangles
    std::string fan = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    for (int line = 0; line < 8; ++line) fan += face + "\n";
    ASSERT_EQ(load("fan.obj", fan), 1);
    EXPECT_EQ(count(0), 8 * 117);
    EXPECT_EQ(load("fan.obj", fan + face + "\n"), 0);
    EXPECT_FALSE(obj_has_parts(1));
    EXPECT_TRUE(import_empty());

    Mesh3ds mesh;
    mesh.vertices = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    for (int f = 0; f < 1001; ++f) mesh.faces.insert(mesh.faces.end(), {0, 1, 2});
    EXPECT_EQ(load("big.3ds", modelfiles::file_3ds({mesh})), 0);
    mesh.faces.resize(3000);
    ASSERT_EQ(load("big.3ds", modelfiles::file_3ds({mesh, mesh})), 0);  // 2000 in two parts
    EXPECT_FALSE(obj_has_parts(1));
    GlmPart part;
    for (int v = 0; v < 3003; ++v) part.coords.insert(part.coords.end(), {1, 2, 3});
    EXPECT_EQ(load("big.glm", modelfiles::glm_file("", {part})), 0);
    EXPECT_FALSE(obj_has_parts(1));
    EXPECT_TRUE(import_empty());
}

// The buffer's room counts against the budget too: parts of a few triangles start small.
TEST_F(ModelTest, SmallPartsTakeLittleRoom) {
    std::string obj = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    for (int i = 0; i < 200; ++i) obj += "g\nf 1 2 3\n";
    FILE* f = fmemopen(obj.data(), obj.size(), "r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(model_read_obj(f), 1);
    fclose(f);
    ASSERT_EQ(model_import.part_count, 200);
    int64_t room = 0;
    for (int c : model_import.tri_capacity) room += c;
    EXPECT_LE(room, 200 * 16);
}

// Files with more groups than the buffer holds keep the parts that fit and stop there.
TEST_F(ModelTest, PartLimitsHold) {
    std::string obj, glm = "/**/\n";
    for (int i = 0; i < IMPORT_PART_LIMIT + 5; ++i) {
        obj += "o\nf 1 2 3\n";
        glm += "p_coords[] = {\n}\n";
    }
    FILE* f = fmemopen(obj.data(), obj.size(), "r");
    ASSERT_NE(f, nullptr);
    model_read_obj(f);
    fclose(f);
    EXPECT_EQ(model_import.part_count, IMPORT_PART_LIMIT);
    model_import_clear();
    f = fmemopen(glm.data(), glm.size(), "r");
    ASSERT_NE(f, nullptr);
    model_read_glm(f);
    fclose(f);
    EXPECT_EQ(model_import.part_count, IMPORT_PART_LIMIT - 1);
}

}  // namespace
