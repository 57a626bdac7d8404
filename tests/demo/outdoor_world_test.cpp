// The park as the start-up builds it, headless: the tree scatter's rules, where the chairs, the people
// and the bicycles end up, and the ground they stand on, with and without a height grid.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "assets/terrain.h"
#include "demo/outdoor_world.h"
#include "render/pipeline_test_util.h"
#include "shell/frame.h"
#include "support/image_files.h"
#include "support/temp_dir.h"

namespace {

TEST(ParkTrees, OnlyTheCentralSquareIsRefusedAndFarTreesAreForestStrips) {
    ParkTree t{};
    // rand() % 200 - 100 is the coordinate: 160 gives 60, the last single tree; 161 gives 61.
    ASSERT_TRUE(park_tree_candidate(160, 100, 3, 2, t));
    EXPECT_EQ(t.x, 60);
    EXPECT_FALSE(t.forest);
    EXPECT_EQ(t.width, t.height);
    ASSERT_TRUE(park_tree_candidate(161, 100, 3, 2, t));
    EXPECT_TRUE(t.forest);
    EXPECT_EQ(t.width, 3 * t.height);
    // The same on the other side and along z.
    ASSERT_TRUE(park_tree_candidate(100, 40, 0, 0, t));
    EXPECT_FALSE(t.forest);
    ASSERT_TRUE(park_tree_candidate(100, 39, 0, 0, t));
    EXPECT_TRUE(t.forest);
    // Strictly inside the central 40 x 40 square only: its edges are kept.
    EXPECT_FALSE(park_tree_candidate(119, 100, 0, 0, t));
    EXPECT_FALSE(park_tree_candidate(81, 81, 0, 0, t));
    EXPECT_TRUE(park_tree_candidate(120, 100, 0, 0, t));
    EXPECT_TRUE(park_tree_candidate(80, 119, 0, 0, t));
    // Heights 3 to 7.5, greys 0.5 to 0.9, whatever rand gives.
    ASSERT_TRUE(park_tree_candidate(2147483647, 2147483646, 2147483647, 2147483647, t));
    EXPECT_EQ(t.height, 6.5f);
    EXPECT_FLOAT_EQ(t.shade, 0.7f);
}

// A fresh engine, headless, in an empty folder (or one holding the terrain's maps).
class OutdoorWorld : public testing::Test {
  protected:
    void SetUp() override {
        ptest::reset_engine(1);
        render_set_headless(1);
        set_resolution(64, 32);
        ASSERT_NE(getcwd(cwd_, sizeof cwd_), nullptr);
        ASSERT_EQ(chdir(dir_.path().c_str()), 0);
    }
    void TearDown() override {
        ASSERT_EQ(chdir(cwd_), 0);
        frame_reset();
    }

    static Vec3 at(ObjectId id) { return obj_table.position[id]; }
    // Width and height of an upright quad's triangles.
    static std::pair<float, float> extent(ObjectId id) {
        const std::vector<float>& tris = obj_table.parts[id].tri_local[0];
        float lo[2] = {1e9f, 1e9f}, hi[2] = {-1e9f, -1e9f};
        for (size_t v = 0; v + 2 < tris.size() && v < 18; v += 3) {
            for (int k = 0; k < 2; ++k) {
                lo[k] = std::min(lo[k], tris[v + k]);
                hi[k] = std::max(hi[k], tris[v + k]);
            }
        }
        return {hi[0] - lo[0], hi[1] - lo[1]};
    }

    vmtest::TempDir dir_;
    char cwd_[4096] = {};
};

TEST_F(OutdoorWorld, ThreeHundredTreesChairsPeopleAndBicyclesStandWhereTheyBelong) {
    outdoor_world(0);

    int trees = 0, strips = 0;
    for (ObjectId id = PARK_FIRST_TREE; id < PARK_FIRST_TREE + PARK_TREE_COUNT; ++id) {
        ASSERT_TRUE(obj_table.has_geometry[id]) << id;
        ++trees;
        const Vec3 p = at(id);
        EXPECT_FALSE(p.x > -20 && p.x < 20 && p.z > -20 && p.z < 20) << id << " stands on the square";
        const bool far = std::fabs(p.x) > 60 || std::fabs(p.z) > 60;
        const auto [w, h] = extent(id);
        EXPECT_NEAR(w, far ? 3 * h : h, 1e-4f) << id;
        EXPECT_GE(h, 3.0f);
        EXPECT_LE(h, 7.5f);
        strips += far;
        // Without a height grid the ground is at 0.
        EXPECT_EQ(p.y, 0.0f) << id;
    }
    EXPECT_EQ(trees, 300);
    EXPECT_GT(strips, 0);
    EXPECT_LT(strips, 300);

    // The chairs, row by row, with the aisle in the middle.
    std::vector<std::pair<float, float>> expected;
    for (float x : {-5, -4, -3, -2, 2, 3, 4, 5}) expected.push_back({x, 6.5f});
    for (float x : {-6, -5, -4, -3, -2, 2, 3, 4, 5}) expected.push_back({x, 8.5f});
    for (float x : {-6, -5, -4, -3, -2, 2, 3}) expected.push_back({x, 10.5f});
    ASSERT_EQ(expected.size(), static_cast<size_t>(PARK_CHAIR_COUNT));
    for (int i = 0; i < PARK_CHAIR_COUNT; ++i) {
        const ObjectId chair = PARK_FIRST_CHAIR + i;
        EXPECT_EQ(at(chair).x, expected[static_cast<size_t>(i)].first) << chair;
        EXPECT_EQ(at(chair).z, expected[static_cast<size_t>(i)].second) << chair;
        // Six boxes merged into one part; the scratch ids after the last chair are empty again.
        EXPECT_EQ(obj_table.parts[chair].tri_count[0], 6 * 12) << chair;
        for (int p = 1; p < obj_part_limit(chair); ++p) EXPECT_EQ(obj_table.parts[chair].tri_count[p], 0);
    }
    for (ObjectId scratch = 134; scratch <= 139; ++scratch) EXPECT_FALSE(obj_table.has_geometry[scratch]);

    // The seated spectators, each on its chair.
    const ObjectId occupied[] = {110, 111, 116, 118, 119, 122, 125, 128, 132};
    for (int i = 0; i < 9; ++i) {
        const ObjectId person = PARK_FIRST_SEATED + i;
        EXPECT_EQ(at(person).x, at(occupied[i]).x) << person;
        EXPECT_EQ(at(person).z, at(occupied[i]).z) << person;
        // No pictures here, so no figure and no pose to fold: the origin sits on the seat's top.
        EXPECT_FLOAT_EQ(at(person).y, -1 + 0.7f * 0.725f);
        EXPECT_EQ(obj_table.anim_clip[person], 11u);
    }
    // Without a height grid (and without a figure whose pose lifts the soles) the performer is at 0.
    EXPECT_EQ(at(PARK_PERFORMER).y, 0.0f);

    // The bicycle: two wheels of 14 parts and ten boxes; its copies carry all of them, in their own
    // frame colours except rack bicycle 3.
    EXPECT_EQ(obj_table.part_count[PARK_BICYCLE], 38);
    for (ObjectId copy = 181; copy <= 199; ++copy) EXPECT_EQ(obj_table.part_count[copy], 38) << copy;
    const Color4 orange = obj_table.parts[PARK_BICYCLE].part_color[28];
    EXPECT_EQ(orange.r, 0.7f);
    EXPECT_EQ(orange.g, 0.5f);
    EXPECT_EQ(orange.b, 0.0f);
    EXPECT_EQ(obj_table.parts[187].part_color[30].g, orange.g);
    const Color4 rack5 = obj_table.parts[189].part_color[31];
    EXPECT_FLOAT_EQ(rack5.r, 0.55f);
    EXPECT_FLOAT_EQ(rack5.g, 1.1f);
    EXPECT_FLOAT_EQ(rack5.b, 0.225f);
    EXPECT_EQ(at(199).x, -15.0f);
    EXPECT_EQ(at(199).z, 19.0f);
}

TEST_F(OutdoorWorld, TreesFlowersAndThePerformerStandOnTheTerrain) {
    // A 200 x 200 height map sloping up towards +x and +z: one metre per pixel, the first byte read.
    const int n = 200;
    auto level = [](int col, int row) { return 100 + (col + row) / 5; };
    imagefiles::PngLayout map;
    map.width = map.height = n;
    map.colour_type = 2;
    std::vector<uint8_t> colour;
    for (int row = 0; row < n; ++row)
        for (int col = 0; col < n; ++col) {
            const uint8_t h = static_cast<uint8_t>(level(col, row));
            map.samples.insert(map.samples.end(), {h, h, h});
            colour.insert(colour.end(), {90, 160, 70});
        }
    dir_.write("data/tex/hmap.png", imagefiles::png_file(map));
    dir_.write("data/tex/tszin.jpg", imagefiles::jpeg_file(n, n, 3, colour));

    outdoor_world(0);
    ASSERT_FALSE(obj_table.terrain_heights[PARK_TERRAIN].empty());
    // Over a pixel corner the surface is that pixel's height, 15 m for a byte of 256, below the grid's
    // own level of -1.15.
    auto ground = [&](float x, float z) {
        const int col = static_cast<int>(x) + 100, row = static_cast<int>(z) + 100;
        return -1.15f + 15.0f * static_cast<float>(level(col, row) - 128) / 128.0f;
    };
    EXPECT_NEAR(at(PARK_PERFORMER).y, ground(6, 13), 1e-4f);
    EXPECT_NEAR(at(1303).y, ground(10, 15), 1e-4f);
    int checked = 0;
    for (ObjectId id = PARK_FIRST_TREE; id < PARK_FIRST_TREE + PARK_TREE_COUNT; ++id) {
        const Vec3 p = at(id);
        // The far edge of the grid (x or z = 100) lies outside it.
        if (p.x >= 99 || p.z >= 99) continue;
        EXPECT_NEAR(p.y, ground(p.x, p.z), 1e-3f) << id;
        ++checked;
    }
    EXPECT_GT(checked, 250);
}

// The park as the demo builds it from the build's own data folder: the generated maps, figures and
// pictures, with a frame rendered so that the figures take their poses.
class RealPark : public OutdoorWorld {
  protected:
    void SetUp() override {
        OutdoorWorld::SetUp();
        ASSERT_EQ(chdir(vmtest::build_dir().c_str()), 0);
        outdoor_world(0);
        ASSERT_FALSE(obj_table.terrain_heights[PARK_TERRAIN].empty()) << "no hmap.png in the build's data";
        render_frame();
        render_frame();
    }

    // Lowest world y of an object's skinned vertices.
    static float lowest(ObjectId id) {
        float y = 1e9f;
        for (int p = 0; p < obj_part_limit(id); ++p) {
            const std::vector<float>& w = obj_table.parts[id].tri_world[static_cast<size_t>(p)];
            const size_t n = static_cast<size_t>(obj_table.parts[id].tri_count[static_cast<size_t>(p)]) * 9;
            for (size_t v = 1; v < n && v < w.size(); v += 3) y = std::min(y, w[v]);
        }
        return y;
    }
};

// The road's large triangles lose the depth test to the grid's wherever the ground comes within a few
// centimetres of them: under every vertex of the road's top and over the square's footprint the
// ground lies at least 20 cm down, while beside the road the grass stays where the chairs and the
// people stand.
TEST_F(RealPark, GroundLiesWellUnderTheRoadAndLevelBesideIt) {
    const float road_top = at(21).y + obj_table.parts[21].tri_local[1][1];
    ASSERT_NEAR(road_top, -1.05f, 1e-5f);
    const std::vector<float>& top = obj_table.parts[21].tri_local[1];
    ASSERT_EQ(top.size(), static_cast<size_t>(obj_table.parts[21].tri_count[1]) * 9);
    for (size_t v = 0; v < top.size(); v += 3) {
        const float x = at(21).x + top[v], z = at(21).z + top[v + 2];
        EXPECT_LE(park_ground(x, z), road_top - 0.2f) << x << "," << z;
    }
    for (float x = -5; x <= 5; x += 0.5f)
        for (float z = -3; z <= 3; z += 0.5f) EXPECT_LE(park_ground(x, z), road_top - 0.3f) << x << "," << z;
    // A metre beyond the road's edges the ground is the level it was; on the way, never a ditch.
    for (float x = -21; x <= 21; x += 0.5f) {
        EXPECT_FLOAT_EQ(park_ground(x, 11), -1.15f);
        EXPECT_FLOAT_EQ(park_ground(x, -11), -1.15f);
        EXPECT_GE(park_ground(x, 10.5f), -1.25f);
    }
    for (ObjectId id = PARK_FIRST_TREE; id < PARK_FIRST_TREE + PARK_TREE_COUNT; ++id) {
        const Vec3 p = at(id);
        // A few trees stand on the road's very edge (the scatter refuses only the inside of the square
        // of 40 m); the road hides their foot either way.
        const bool on_road = std::fabs(p.x) <= 20 && std::fabs(p.z) <= 10;
        // The park's level disc: hills begin 30 m out.
        if (p.x * p.x + p.z * p.z <= 29 * 29 && !on_road) {
            EXPECT_FLOAT_EQ(p.y, -1.15f) << id;
        }
    }
}

// Figures stand and sit where they belong: the performer's soles on the grass, the seated people's
// thighs on their seats (not in them, not over them).
TEST_F(RealPark, PerformerStandsOnTheGrassAndSpectatorsSitOnTheirSeats) {
    EXPECT_NEAR(lowest(PARK_PERFORMER), park_ground(6, 13), 0.04f);
    const float seat_top = -1 + 0.7f * 0.725f;
    for (ObjectId person = PARK_FIRST_SEATED; person < PARK_FIRST_SEATED + 9; ++person) {
        // The thighs: the skinned vertices over the seat's square, in front of the back rest.
        const Vec3 p = at(person);
        float thigh = 1e9f;
        for (int part = 0; part < 2; ++part) {
            const std::vector<float>& w = obj_table.parts[person].tri_world[static_cast<size_t>(part)];
            for (size_t v = 0; v + 2 < w.size(); v += 3) {
                if (std::fabs(w[v] - p.x) > 0.2f || w[v + 2] > p.z + 0.1f || w[v + 2] < p.z - 0.24f) continue;
                if (w[v + 1] > seat_top - 0.1f && w[v + 1] < seat_top + 0.3f)
                    thigh = std::min(thigh, w[v + 1]);
            }
        }
        EXPECT_NEAR(thigh, seat_top, 0.03f) << person;
    }
}

// The lamps' cones fade from the lamp down their sides, and their floor shows none of the fade; the
// two poles holding the billboard are coloured like the other posts rather than left white.
TEST_F(RealPark, LampConesHaveNoBrightFloorAndPolesAreMetal) {
    for (ObjectId light = 2000; light <= 2003; ++light) {
        const std::vector<float>& uv = obj_table.parts[light].tri_uv[0];
        ASSERT_GE(uv.size(), 12u);
        for (size_t corner = 0; corner < 6; ++corner) EXPECT_EQ(uv[corner * 2 + 1], 1.0f) << light;
    }
    for (ObjectId pole : {71, 72}) {
        const Color4 c = obj_table.color[pole];
        EXPECT_EQ(c.r, obj_table.color[40].r) << pole;
        EXPECT_LT(c.r, 0.6f) << pole;
    }
}

}  // namespace
