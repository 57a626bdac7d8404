// The generated people media decoded as the engine decodes them, checked for what the demo relies on.
// Every figure goes through the real figure builder: what its silhouette analysis finds (legs, hands,
// belly, head) is what the rig and the animation are fitted to.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "assets/figure_build.h"
#include "tools/media_pictures.h"

namespace {

using mediatest::decode_media;
using mediatest::Picture;

const char* const kPeople[] = {"a1",   "mah1", "mah2", "mah3", "mah4", "mah5", "npc0", "npc1",  "npc2",
                               "npc3", "npc4", "npc5", "npc6", "npc7", "npc8", "npc9", "npc10", "sho"};
const char* const kAnimals[] = {"animal_allat1", "animal_allat2", "animal_allat3", "animal_allat4",
                                "animal_allat5"};

Picture load(const std::string& name) {
    return decode_media("profil/" + name + ".png");
}

bool build(const Picture& pic, unsigned rig, FigureMesh& mesh) {
    return figure_build(FigurePicture{pic.pixels.data(), pic.width, pic.height, pic.channels}, nullptr, rig,
                        mesh);
}

// Extent of the finished front mesh along one axis (0 x, 1 y).
float mesh_extent(const FigureMesh& mesh, int axis) {
    float lo = 1e9f, hi = -1e9f;
    for (size_t i = static_cast<size_t>(axis); i < mesh.front_tris.size(); i += 3) {
        lo = std::min(lo, mesh.front_tris[i]);
        hi = std::max(hi, mesh.front_tris[i]);
    }
    return hi - lo;
}

int opaque_in_row(const Picture& pic, int y) {
    int n = 0;
    for (int x = 0; x < pic.width; ++x) n += pic.at(x, y, 3) == 255;
    return n;
}

// The runs of opaque pixels of a row, as [first, last] pairs from left to right.
std::vector<std::pair<int, int>> opaque_runs(const Picture& pic, int y) {
    std::vector<std::pair<int, int>> runs;
    for (int x = 0; x < pic.width; ++x) {
        if (pic.at(x, y, 3) != 255) continue;
        if (runs.empty() || runs.back().second != x - 1) runs.push_back({x, x});
        runs.back().second = x;
    }
    return runs;
}

}  // namespace

TEST(MediaPeople, EveryFigureIsAnRgbaPictureWithAHardEdgedSilhouette) {
    std::vector<std::string> names(std::begin(kPeople), std::end(kPeople));
    for (const char* p : kPeople) names.push_back(std::string(p) + "_backside");
    names.insert(names.end(), std::begin(kAnimals), std::end(kAnimals));
    names.push_back("raw_palca");
    for (const std::string& name : names) {
        const Picture pic = load(name);
        ASSERT_EQ(pic.channels, 4) << name;
        const bool animal = name.rfind("animal_", 0) == 0;
        EXPECT_EQ(pic.width, animal ? 256 : name == "raw_palca" ? 64 : 128) << name;
        EXPECT_EQ(pic.height, animal ? 160 : 256) << name;
        int partial = 0;
        for (int y = 0; y < pic.height; ++y)
            for (int x = 0; x < pic.width; ++x) partial += pic.at(x, y, 3) != 0 && pic.at(x, y, 3) != 255;
        EXPECT_EQ(partial, 0) << name;
        for (int corner = 0; corner < 4; ++corner) {
            const int x = corner & 1 ? pic.width - 1 : 0, y = corner & 2 ? pic.height - 1 : 0;
            EXPECT_EQ(pic.at(x, y, 3), 0) << name << " corner " << corner;
        }
        // Standing on the bottom row; a person fills the height, head near the top.
        EXPECT_GT(opaque_in_row(pic, pic.height - 1), 0) << name;
        if (!animal) {
            int top = 0;
            while (top < pic.height && opaque_in_row(pic, top) == 0) ++top;
            EXPECT_LE(top, 8) << name;
        }
    }
}

TEST(MediaPeople, ThePeopleAreRiggedWithTwoLegsAndTwoHands) {
    for (const char* name : kPeople) {
        const Picture pic = load(name);
        ASSERT_EQ(pic.channels, 4) << name;
        FigureMesh mesh;
        ASSERT_TRUE(build(pic, 1, mesh)) << name;
        EXPECT_FALSE(mesh.front_tris.empty()) << name;
        const FigureShape& s = mesh.shape;
        // Both legs, with at least one empty cell of the grid between them.
        EXPECT_NE(s.leg_x[0], 0.0f) << name;
        EXPECT_NE(s.leg_x[1], 0.0f) << name;
        EXPECT_GE(s.leg_x[1] - s.leg_x[0], 2.0f / FIGURE_GRID) << name;
        // A hand on either side, below the shoulder and out beside the body.
        EXPECT_LT(s.hand_x[0], s.shoulder_x - 4.0f / FIGURE_GRID) << name;
        EXPECT_GT(s.hand_x[1], s.shoulder_x + 4.0f / FIGURE_GRID) << name;
        for (int side = 0; side < 2; ++side) {
            EXPECT_NE(s.hand_x[side], 0.0f) << name << " side " << side;
            EXPECT_LT(s.hand_y[side], s.shoulder_y) << name << " side " << side;
            EXPECT_GT(s.hand_y[side], s.bottom + 0.3f * (s.top - s.bottom)) << name << " side " << side;
        }
    }
}

TEST(MediaPeople, ThePeopleStandCentredWithTheirArmsClearOfTheBody) {
    for (const char* name : kPeople) {
        const Picture pic = load(name);
        ASSERT_EQ(pic.channels, 4) << name;
        double sum = 0;
        int count = 0;
        for (int y = 0; y < pic.height; ++y) {
            for (int x = 0; x < pic.width; ++x) {
                if (pic.at(x, y, 3) != 255) continue;
                sum += x + 0.5;
                ++count;
            }
        }
        ASSERT_GT(count, 0) << name;
        EXPECT_NEAR(sum / count, pic.width / 2.0, 1.5) << name;
        // From the waist to the hips: a forearm on each side of the torso, clear of it by at least one
        // cell of the builder's grid (5 pixels).
        for (int y : {100, 112}) {
            const auto runs = opaque_runs(pic, y);
            ASSERT_EQ(runs.size(), 3u) << name << " row " << y;
            EXPECT_GE(runs[1].first - runs[0].second - 1, 5) << name << " row " << y;
            EXPECT_GE(runs[2].first - runs[1].second - 1, 5) << name << " row " << y;
            EXPECT_LT(runs[1].first, pic.width / 2) << name << " row " << y;
            EXPECT_GT(runs[1].second, pic.width / 2) << name << " row " << y;
        }
    }
}

TEST(MediaPeople, EachBackViewHasItsFrontsSilhouetteAndItsOwnPaint) {
    for (const char* name : kPeople) {
        const Picture front = load(name), back = load(std::string(name) + "_backside");
        ASSERT_EQ(back.width, front.width) << name;
        ASSERT_EQ(back.height, front.height) << name;
        ASSERT_EQ(back.channels, 4) << name;
        int alpha_mismatch = 0, head_changed = 0;
        for (int y = 0; y < front.height; ++y) {
            for (int x = 0; x < front.width; ++x) {
                alpha_mismatch += front.at(x, y, 3) != back.at(x, y, 3);
                // The face is not seen from behind.
                if (y < 40 && front.at(x, y, 3) == 255 && front.luma(x, y) != back.luma(x, y)) ++head_changed;
            }
        }
        EXPECT_EQ(alpha_mismatch, 0) << name;
        EXPECT_GT(head_changed, 100) << name;
        FigureMesh mesh;
        const FigurePicture f{front.pixels.data(), front.width, front.height, 4};
        const FigurePicture b{back.pixels.data(), back.width, back.height, 4};
        ASSERT_TRUE(figure_build(f, &b, 1, mesh)) << name;
        EXPECT_FALSE(mesh.back_tris.empty()) << name;
    }
}

TEST(MediaPeople, NoTwoPeopleLookTheSame) {
    std::vector<Picture> pics;
    for (const char* name : kPeople) pics.push_back(load(name));
    for (size_t i = 0; i < pics.size(); ++i)
        for (size_t j = i + 1; j < pics.size(); ++j)
            EXPECT_NE(pics[i].pixels, pics[j].pixels) << kPeople[i] << " and " << kPeople[j];
}

TEST(MediaPeople, TheAnimalsStandOnFourLegsFacingRight) {
    for (const char* name : kAnimals) {
        const Picture pic = load(name);
        ASSERT_EQ(pic.channels, 4) << name;
        FigureMesh mesh;
        ASSERT_TRUE(build(pic, 2, mesh)) << name;
        ASSERT_FALSE(mesh.front_tris.empty()) << name;
        EXPECT_GT(mesh_extent(mesh, 0), mesh_extent(mesh, 1)) << name;
        const FigureShape& s = mesh.shape;
        // A belly above the ground between the front and hind legs, which stand apart.
        EXPECT_GT(s.belly, s.bottom + 2.0f / FIGURE_GRID) << name;
        EXPECT_NE(s.leg_x[0], 0.0f) << name;
        EXPECT_GE(s.leg_x[1] - s.leg_x[0], 4.0f / FIGURE_GRID) << name;
        // The head is the highest part, on the right: the rig faces +x.
        EXPECT_GT(s.head_x, s.centre) << name;
        // On the ground, the hind feet stand left of the middle and the front feet right of it.
        const auto feet = opaque_runs(pic, pic.height - 1);
        ASSERT_GE(feet.size(), 2u) << name;
        EXPECT_LT(feet.front().second, pic.width / 2 - 16) << name;
        EXPECT_GT(feet.back().first, pic.width / 2 + 16) << name;
    }
}

TEST(MediaPeople, TheWalkingStickIsThickEnoughForTheGridAllTheWayDown) {
    const Picture pic = load("raw_palca");
    ASSERT_EQ(pic.channels, 4);
    for (int y = 0; y < pic.height; ++y) EXPECT_GE(opaque_in_row(pic, y), 12) << "row " << y;
    FigureMesh mesh;
    ASSERT_TRUE(build(pic, 0, mesh));
    EXPECT_FALSE(mesh.front_tris.empty());
    EXPECT_GT(mesh_extent(mesh, 1), 2.0f * mesh_extent(mesh, 0));
}
