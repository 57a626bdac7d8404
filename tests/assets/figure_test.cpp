// Figures from pictures: the silhouette analysis of a drawn person, the mesh's closure, the texture
// painting and reloading, name modes, back pictures and pictures of awkward sizes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>
#include <vector>

#include "asset_files.h"
#include "assets/figure.h"
#include "assets/figure_build.h"
#include "assets/texture.h"
#include "scene/object.h"
#include "support/temp_dir.h"

namespace {

constexpr int W = 50, H = 100;  // the person picture: two pixels per cell across, four up

std::string rgba_png(int w, int h, const std::vector<uint8_t>& rgba) {
    assettest::PngLayout png;
    png.width = w;
    png.height = h;
    png.colour_type = 6;  // RGB with alpha
    png.samples = rgba;
    return assettest::png_file(png);
}

class FigureTest : public testing::Test {
  protected:
    void SetUp() override {
        obj_table_reset_all();
        tex_reset();
        figure_limits = FigureLimits{};
    }
    void TearDown() override {
        obj_table_reset_all();
        tex_reset();
        figure_limits = FigureLimits{};
    }
    int load(ObjectId id, const char* name) {
        assettest::ScopedCwd cwd(dir.path());
        return figure_load(id, name);
    }
    static std::vector<float> part(ObjectId id, int p) {
        const PartArrays& pa = obj_table.parts[id];
        const auto n = static_cast<size_t>(pa.tri_count[p]);
        return std::vector<float>(pa.tri_local[p].begin(), pa.tri_local[p].begin() + n * TRI_WORLD_FLOATS);
    }
    vmtest::TempDir dir;
    const std::vector<uint8_t> person = imagefiles::person_rgba(W, H);
};

FigureMesh build_person(std::vector<FigureTriangle>* candidates = nullptr) {
    const std::vector<uint8_t> px = imagefiles::person_rgba(W, H);
    FigureMesh mesh;
    EXPECT_TRUE(figure_build(FigurePicture{px.data(), W, H, 4}, nullptr, 1, mesh, candidates));
    return mesh;
}

TEST(FigureBuild, PersonSilhouetteGivesLegsHandsAndElbows) {
    const FigureShape s = build_person().shape;
    const float centre = static_cast<float>(FIGURE_GRID / 2) / FIGURE_GRID;
    EXPECT_EQ(s.rig, 1u);
    ASSERT_GT(s.leg_x[0], 0.0f);
    EXPECT_LT(s.leg_x[0], centre);
    EXPECT_GT(s.leg_x[1], centre);
    EXPECT_LT(s.leg_x[1], 0.75f);
    // Hands beyond the torso (0.32..0.68 of the width) on each side, below the shoulder point.
    ASSERT_GT(s.hand_x[0], 0.0f);
    EXPECT_LT(s.hand_x[0], 0.3f);
    EXPECT_GT(s.hand_x[1], 0.7f);
    for (int side = 0; side < 2; ++side) {
        EXPECT_LT(s.hand_y[side], s.shoulder_y) << side;
        EXPECT_GT(s.hand_y[side], s.bottom) << side;
        EXPECT_GT(std::abs(s.elbow_x[side] - s.shoulder_x), 0.0f) << side;
        EXPECT_LT(std::abs(s.elbow_x[side] - s.shoulder_x), std::abs(s.hand_x[side] - s.shoulder_x)) << side;
        EXPECT_GT(s.elbow_y[side], s.hand_y[side]) << side;
        EXPECT_LT(s.elbow_y[side], s.shoulder_y) << side;
    }
    EXPECT_GT(s.top, s.shoulder_y);
    EXPECT_GT(s.belly, s.bottom);
    EXPECT_LT(s.belly, s.shoulder_y);
}

// The mesh: feet at 0, centred, the front facing +z within the depth factor, and a closed surface:
// before duplicates go, every edge between two cells is met an even number of times.
TEST(FigureBuild, PersonMeshIsClosedAndFinished) {
    std::vector<FigureTriangle> raw;
    const FigureMesh mesh = build_person(&raw);
    const size_t count = mesh.front_tris.size() / TRI_WORLD_FLOATS;
    EXPECT_GT(count, 800u);
    EXPECT_LT(count, 6000u);
    EXPECT_TRUE(mesh.back_tris.empty());
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    for (size_t i = 0; i < mesh.front_tris.size(); ++i) {
        lo[i % 3] = std::min(lo[i % 3], mesh.front_tris[i]);
        hi[i % 3] = std::max(hi[i % 3], mesh.front_tris[i]);
    }
    EXPECT_FLOAT_EQ(lo[1], 0.0f);
    EXPECT_NEAR(lo[0] + hi[0], 0.0f, 1e-5f);
    EXPECT_LE(hi[0] - lo[0], 0.5f + 1e-5f);  // aspect 1:2
    EXPECT_GT(hi[2], 0.0f);
    EXPECT_LT(lo[2], 0.0f);
    EXPECT_LE(hi[2] - lo[2], FIGURE_DEPTH);
    for (float uv : mesh.front_uvs) ASSERT_TRUE(uv >= 0.0f && uv <= 1.0f);

    std::map<std::pair<int, int>, int> edges;
    for (const FigureTriangle& t : raw) {
        for (int k = 0; k < 3; ++k) {
            const int a = t[k], b = t[(k + 1) % 3];
            ASSERT_NE(a, b);
            ++edges[{std::min(a, b), std::max(a, b)}];
        }
    }
    for (const auto& [edge, uses] : edges) ASSERT_EQ(uses % 2, 0) << edge.first << "-" << edge.second;
}

TEST(FigureBuild, FastDuplicateTestMatchesTheReference) {
    std::vector<FigureTriangle> raw;
    const FigureMesh mesh = build_person(&raw);
    const std::vector<FigureTriangle> fast = figure_unique_triangles(raw);
    EXPECT_EQ(fast, figure_unique_triangles_reference(raw));
    EXPECT_LT(fast.size(), raw.size());  // the thin sheets are met from both sides
    EXPECT_EQ(fast.size() * TRI_WORLD_FLOATS, mesh.front_tris.size());
    // Rotations are one triangle, a reversed one is another, the first occurrence is kept.
    const std::vector<FigureTriangle> turned = {{1, 2, 3}, {2, 3, 1}, {3, 2, 1}, {3, 1, 2},
                                                {1, 3, 2}, {7, 8, 9}, {2, 1, 3}, {9, 7, 8}};
    const std::vector<FigureTriangle> expect = {{1, 2, 3}, {3, 2, 1}, {7, 8, 9}};
    EXPECT_EQ(figure_unique_triangles(turned), expect);
    EXPECT_EQ(figure_unique_triangles_reference(turned), expect);
}

// Pictures of every awkward shape are sampled without reading outside them; absurd ones are refused.
TEST(FigureBuild, AwkwardPicturesAreSafe) {
    struct Case {
        int w, h, channels;
        uint8_t fill;
    };
    for (const Case c : {Case{1, 1, 3, 200}, Case{1, 1, 4, 255}, Case{1, 4000, 4, 255}, Case{4000, 1, 3, 9},
                         Case{2, 3, 4, 0}, Case{7, 5, 4, 128}, Case{25, 25, 3, 0}}) {
        const std::vector<uint8_t> px(static_cast<size_t>(c.w) * c.h * c.channels, c.fill);
        const FigurePicture pic{px.data(), c.w, c.h, c.channels};
        FigureMesh mesh;
        ASSERT_TRUE(figure_build(pic, &pic, 2, mesh)) << c.w << "x" << c.h;
        const bool opaque = c.channels == 3 || c.fill > 2;
        EXPECT_EQ(mesh.front_tris.empty() && mesh.back_tris.empty(), !opaque) << c.w << "x" << c.h;
    }
    const uint8_t dummy[4] = {};
    FigureMesh mesh;
    EXPECT_FALSE(figure_build(FigurePicture{dummy, 40000, 40000, 4}, nullptr, 1, mesh));
    EXPECT_FALSE(figure_build(FigurePicture{dummy, 1, 1, 2}, nullptr, 1, mesh));
    EXPECT_FALSE(figure_build(FigurePicture{nullptr, 1, 1, 3}, nullptr, 1, mesh));
    EXPECT_FALSE(figure_build(FigurePicture{dummy, 0, 5, 3}, nullptr, 1, mesh));
    // A refused back picture leaves a front-only figure.
    const std::vector<uint8_t> person = imagefiles::person_rgba(W, H);
    const FigurePicture back{dummy, -3, 4, 4};
    EXPECT_TRUE(figure_build(FigurePicture{person.data(), W, H, 4}, &back, 1, mesh));
    EXPECT_FALSE(mesh.front_tris.empty());
    EXPECT_TRUE(mesh.back_tris.empty());
    figure_paint_border(const_cast<uint8_t*>(dummy), 1, 1, 4);  // a lone transparent pixel stays
    EXPECT_EQ(dummy[3], 0);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// Bytes of address space the process holds now.
size_t mapped_bytes() {
    unsigned long pages = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (f == nullptr) return 0;
    if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
    std::fclose(f);
    return static_cast<size_t>(pages) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// A picture within the bound whose working copy the memory left cannot hold is refused like one
// beyond it, not thrown about: a child caps its address space just above what it holds and builds.
// (The sanitizers reserve address space of their own and answer a failed allocation themselves.)
TEST(FigureBuild, WorkingCopyBeyondTheMemoryLeftIsRefused) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(
        {
            const int side = 4096;  // a working copy of 64 MiB
            const std::vector<uint8_t> px(static_cast<size_t>(side) * side * 4, 255);
            rlimit cap{};
            cap.rlim_cur = cap.rlim_max = mapped_bytes() + (size_t{16} << 20);
            if (setrlimit(RLIMIT_AS, &cap) != 0) std::_Exit(3);
            FigureMesh mesh;
            const bool built = figure_build(FigurePicture{px.data(), side, side, 4}, nullptr, 1, mesh);
            std::fprintf(stderr, "built %d\n", built ? 1 : 0);
            std::fflush(stderr);
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "built 0");
}
#endif

// The bound on the working copies, (width + 1) x (height + 1) cells: one cell over it refuses the
// picture (no figure, 0 from the loader, the build's result emptied) and a back picture over it leaves
// a front-only figure; at the bound the figure builds. The painting keeps to width x height.
TEST_F(FigureTest, PicturesJustOverTheCellBoundGiveNoFigure) {
    const int64_t cells = int64_t{W + 1} * (H + 1);
    const FigurePicture front{person.data(), W, H, 4};
    dir.write("data/tex/big.png", rgba_png(W, H, person));
    figure_limits.max_picture_cells = cells;
    ASSERT_EQ(load(9, "big.png"), 1);
    EXPECT_GT(obj_table.parts[9].tri_count[0], 100);
    FigureMesh mesh = build_person();

    figure_limits.max_picture_cells = cells - 1;
    EXPECT_FALSE(figure_build(front, nullptr, 1, mesh));
    EXPECT_TRUE(mesh.front_tris.empty());
    EXPECT_EQ(mesh.shape.rig, 0u);
    EXPECT_EQ(load(9, "big.png"), 0);
    EXPECT_EQ(obj_table.parts[9].tri_count[0], 0);  // the earlier figure is gone, none took its place

    figure_limits.max_picture_cells = cells;
    std::vector<uint8_t> taller = person;
    taller.resize(taller.size() + W * 4, 255);  // one opaque row more
    const FigurePicture back{taller.data(), W, H + 1, 4};
    ASSERT_TRUE(figure_build(front, &back, 1, mesh));
    EXPECT_FALSE(mesh.front_tris.empty());
    EXPECT_TRUE(mesh.back_tris.empty());

    // One opaque pixel beside a transparent one: painted at the bound, left alone one pixel over it.
    for (int64_t bound : {int64_t{2}, int64_t{1}}) {
        figure_limits.max_picture_cells = bound;
        uint8_t px[8] = {9, 9, 9, 255, 7, 7, 7, 0};
        figure_paint_border(px, 2, 1, 4);
        EXPECT_EQ(px[7], bound == 2 ? 255 : 0) << bound;
        EXPECT_EQ(px[4], bound == 2 ? 0 : 7) << bound;
    }
}

// A folder whose name holds an image extension takes no part in the back picture's name: the figure
// gets its back as in a plain folder, and the front keeps its own slot and pixels.
TEST_F(FigureTest, BackPictureInAFolderNamedLikeAPicture) {
    std::vector<uint8_t> back = person;  // a back of its own: the person with its left edge cut off
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < 8; ++x) back[(static_cast<size_t>(y) * W + x) * 4 + 3] = 0;
    }
    dir.write("plain/zed.png", rgba_png(W, H, person));
    dir.write("plain/zed_backside.png", rgba_png(W, H, back));
    ASSERT_EQ(load(10, "plain/zed.png"), 1);
    ASSERT_EQ(obj_table.part_count[10], 2);
    const int plain_front = obj_table.parts[10].tri_count[0], plain_back = obj_table.parts[10].tri_count[1];
    ASSERT_GT(plain_back, 100);

    int n = 0;
    for (const std::string folder : {"pics.jpg.d", "shots.PNG", "a.tga/b.bmp.old"}) {
        const std::string name = "ann" + std::to_string(++n);
        dir.write(folder + "/" + name + ".png", rgba_png(W, H, person));
        dir.write(folder + "/" + name + "_backside.png", rgba_png(W, H, back));
        ASSERT_EQ(load(11, (folder + "/" + name + ".png").c_str()), 1) << folder;
        ASSERT_EQ(obj_table.part_count[11], 2) << folder;
        EXPECT_EQ(obj_table.parts[11].tri_count[0], plain_front) << folder;
        EXPECT_EQ(obj_table.parts[11].tri_count[1], plain_back) << folder;
        const TextureId front_slot = obj_table.parts[11].texture[0];
        EXPECT_EQ(front_slot, tex_find((name + ".png").c_str())) << folder;
        EXPECT_EQ(obj_table.parts[11].texture[1], tex_find((name + "_backside.png").c_str())) << folder;
        EXPECT_NE(obj_table.parts[11].texture[1], front_slot) << folder;
        EXPECT_EQ(tex_has_pixels(front_slot), 1) << folder;
    }
}

TEST_F(FigureTest, TransparentPictureGivesAnEmptyFigureAndAMissingOneNone) {
    dir.write("data/tex/ghost.png", rgba_png(8, 8, std::vector<uint8_t>(8 * 8 * 4, 0)));
    EXPECT_EQ(load(3, "ghost.png"), 1);
    ASSERT_EQ(obj_table.part_count[3], 1);
    EXPECT_EQ(obj_table.parts[3].tri_count[0], 0);
    EXPECT_EQ(load(4, "nowhere.png"), 0);
    EXPECT_EQ(tex_find("nowhere.png"), 0);  // the failed slot is given back
    EXPECT_EQ(obj_table.part_count[4], 0);
}

// The build paints the texture: a second load must start from the file again and give the same
// figure and the same texture, in the same slot.
TEST_F(FigureTest, LoadingTwiceGivesTheSameFigure) {
    dir.write("data/tex/hero.png", rgba_png(W, H, person));
    ASSERT_EQ(load(5, "hero.png"), 1);
    const TextureId slot = obj_table.parts[5].texture[0];
    ASSERT_EQ(slot, tex_find("hero.png"));
    const std::vector<float> first = part(5, 0);
    const std::vector<float> first_uv = obj_table.parts[5].tri_uv[0];
    const std::vector<uint8_t> painted(texture_table.pixels[slot], texture_table.pixels[slot] + W * H * 4);
    ASSERT_EQ(load(5, "hero.png"), 1);
    EXPECT_EQ(obj_table.parts[5].texture[0], slot);
    EXPECT_EQ(part(5, 0), first);
    EXPECT_EQ(obj_table.parts[5].tri_uv[0], first_uv);
    EXPECT_TRUE(std::equal(painted.begin(), painted.end(), texture_table.pixels[slot]));
    EXPECT_EQ(texture_table.key_set[slot + 1], 0);  // the reload's scratch slot was given back
}

// Opaque pixels stay where they were (the rows are back in file order); transparent pixels next to
// the silhouette turn opaque black, those farther away keep their hidden colour.
TEST_F(FigureTest, TextureBorderIsPaintedBlackInFileRowOrder) {
    dir.write("data/tex/hero.png", rgba_png(W, H, person));
    ASSERT_EQ(load(6, "hero.png"), 1);
    const TextureId slot = tex_find("hero.png");
    const uint8_t* tex = texture_table.pixels[slot];
    int black = 0;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const size_t i = (static_cast<size_t>(y) * W + x) * 4;
            bool near = false;
            for (int j = std::max(0, y - 2); j <= std::min(H - 1, y + 2); ++j) {
                for (int k = std::max(0, x - 2); k <= std::min(W - 1, x + 2); ++k) {
                    near = near || person[(static_cast<size_t>(j) * W + k) * 4 + 3] == 255;
                }
            }
            const uint8_t expect_black[4] = {0, 0, 0, 255};
            const uint8_t* want = person[i + 3] == 0 && near ? expect_black : &person[i];
            black += want == expect_black;
            ASSERT_TRUE(std::equal(want, want + 4, tex + i)) << x << "," << y;
        }
    }
    EXPECT_GT(black, 100);
}

TEST_F(FigureTest, BackPictureGivesPartOneAndNamesSteerTheRig) {
    dir.write("data/tex/hero.png", rgba_png(W, H, person));
    dir.write("data/tex/hero_backside.png", rgba_png(W, H, person));
    ASSERT_EQ(load(7, "hero.png"), 1);
    ASSERT_EQ(obj_table.part_count[7], 2);
    EXPECT_EQ(obj_table.parts[7].texture[0], tex_find("hero.png"));
    EXPECT_EQ(obj_table.parts[7].texture[1], tex_find("hero_backside.png"));
    EXPECT_GT(obj_table.parts[7].tri_count[1], 100);
    EXPECT_GT(obj_table.parts[7].tri_count[0], 100);
    EXPECT_EQ(figure_last_shape().rig, 1u);
    // The back part lies behind the middle slice, z = (0.5 - 12 / 25) x 0.65.
    const std::vector<float> back = part(7, 1);
    for (size_t i = 0; i < back.size(); i += TRI_WORLD_FLOATS) {
        ASSERT_LT(back[i + 2] + back[i + 5] + back[i + 8], 3 * 0.013f) << i;
    }

    for (const char* name : {"raw_animal_dog.png", "animal_dog.png", "raw_tree.png"}) {
        dir.write(std::string("data/tex/") + name, rgba_png(W, H, person));
    }
    ASSERT_EQ(load(8, "raw_animal_dog.png"), 1);
    EXPECT_EQ(figure_last_shape().rig, 0u);
    EXPECT_EQ(obj_table.part_count[8], 1);
    ASSERT_EQ(load(8, "animal_dog.png"), 1);
    EXPECT_EQ(figure_last_shape().rig, 2u);
    ASSERT_EQ(load(0, "raw_tree.png"), 1);  // built but not stored
    EXPECT_EQ(figure_last_shape().rig, 0u);
    EXPECT_FALSE(obj_table.has_geometry[0]);
}

}  // namespace
