// The generated nature media decoded as the engine decodes them, checked for what the demo relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "tools/media_pictures.h"

namespace {

using namespace mediatest;

// Mean of a colour measure over the pixels of a rectangle whose alpha is at least 128.
template <typename F>
double opaque_mean(const Picture& p, int x0, int y0, int x1, int y1, F measure) {
    double sum = 0.0;
    int count = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (p.at(x, y, 3) >= 128) {
                sum += measure(p, x, y);
                ++count;
            }
    return count > 0 ? sum / count : -1000.0;
}

double greenness(const Picture& p, int x, int y) {
    return p.at(x, y, 1) - 0.5 * (p.at(x, y, 0) + p.at(x, y, 2));
}

// Alpha is 0 on every pixel of the rectangle.
bool clear(const Picture& p, int x0, int y0, int x1, int y1) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (p.at(x, y, 3) != 0) return false;
    return true;
}

}  // namespace

TEST(NatureMedia, EveryFileDecodesWithTheLayoutTheEngineExpects) {
    expect_layouts({
        {"tex/fa0.png", 256, 256, 4},
        {"tex/fa1.png", 256, 256, 4},
        {"tex/erdo0.png", 768, 256, 4},
        {"tex/leafs.png", 64, 64, 4},
        {"tex/feny1.png", 128, 128, 4},
        {"tex/pip.png", 64, 128, 4},
        {"tex/egbolt1.jpg", 1024, 512, 3},
        {"tex/hmap.png", 200, 200, 3},
        {"tex/tszin.jpg", 200, 200, 3},
        {"tex/fu.jpg", 256, 256, 3},
    });
}

TEST(NatureMedia, TreesStandOnTheBottomRowInsideAClearFrame) {
    Picture broadleaf = decode_media("tex/fa0.png");
    Picture birch = decode_media("tex/fa1.png");
    for (const Picture* tree : {&broadleaf, &birch}) {
        ASSERT_EQ(tree->channels, 4);
        // Nothing cut off by the picture's top or sides: the quad shows the whole tree.
        EXPECT_TRUE(clear(*tree, 0, 0, 256, 2));
        EXPECT_TRUE(clear(*tree, 0, 0, 2, 256));
        EXPECT_TRUE(clear(*tree, 254, 0, 256, 256));
        // The trunk reaches the ground: opaque in the bottom row's middle, and only there.
        int opaque = 0;
        for (int x = 0; x < 256; ++x) {
            if (tree->at(x, 255, 3) == 255) {
                EXPECT_GT(x, 96);
                EXPECT_LT(x, 160);
                ++opaque;
            }
        }
        EXPECT_GE(opaque, 6);
        // A green crown over a trunk that is not.
        double crown = opaque_mean(*tree, 0, 0, 256, 128, greenness);
        double trunk = opaque_mean(*tree, 0, 226, 256, 256, greenness);
        EXPECT_GT(crown, trunk + 25.0) << "crown " << crown << " trunk " << trunk;
        // A full crown: most of its middle is covered, with the odd hole.
        int covered = 0;
        for (int y = 60; y < 120; ++y)
            for (int x = 100; x < 156; ++x) covered += tree->at(x, y, 3) > 128 ? 1 : 0;
        EXPECT_GT(covered, 56 * 60 * 7 / 10);
    }
    // Two different trees, not one drawn twice.
    double difference = 0.0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) difference += std::abs(broadleaf.at(x, y, 3) - birch.at(x, y, 3));
    EXPECT_GT(difference / (256.0 * 256.0), 20.0);
}

TEST(NatureMedia, ForestStripIsATreeLineThatWrapsAround) {
    Picture forest = decode_media("tex/erdo0.png");
    ASSERT_EQ(forest.channels, 4);
    // Solid along the ground, sky above some crowns.
    for (int x = 0; x < forest.width; ++x) ASSERT_EQ(forest.at(x, 255, 3), 255) << "x " << x;
    int sky = 0;
    for (int x = 0; x < forest.width; ++x) sky += forest.at(x, 0, 3) == 0 ? 1 : 0;
    EXPECT_GT(sky, forest.width / 3);
    // Strips stand side by side around the park: no seam where one meets the next. Trunk edges make
    // some neighbouring columns differ a lot anyway, so the wrap only has to be no worse than the
    // sharpest of them; a tree cut off at the edge would stand out above all.
    auto column_change = [&](int a, int b) {
        long sum = 0;
        for (int y = 0; y < forest.height; ++y)
            for (int c = 0; c < 4; ++c) sum += std::abs(forest.at(a, y, c) - forest.at(b, y, c));
        return sum;
    };
    long seam = column_change(forest.width - 1, 0);
    long sharpest = 0;
    for (int x = 1; x < forest.width; ++x) sharpest = std::max(sharpest, column_change(x - 1, x));
    EXPECT_LE(seam, sharpest);
    // The highest crowns belong to the back row: darker and bluer than the front row lower down.
    auto luma = [](const Picture& p, int x, int y) { return static_cast<double>(p.luma(x, y)); };
    auto blue_share = [](const Picture& p, int x, int y) {
        return p.at(x, y, 2) / (1.0 + p.at(x, y, 0) + p.at(x, y, 1) + p.at(x, y, 2));
    };
    EXPECT_LT(opaque_mean(forest, 0, 10, 768, 50, luma), opaque_mean(forest, 0, 120, 768, 200, luma));
    EXPECT_GT(opaque_mean(forest, 0, 10, 768, 50, blue_share),
              opaque_mean(forest, 0, 120, 768, 200, blue_share));
}

TEST(NatureMedia, SmallSpritesAreCutOutAndColoured) {
    Picture leaves = decode_media("tex/leafs.png");
    Picture flowers = decode_media("tex/pip.png");
    ASSERT_EQ(leaves.channels, 4);
    ASSERT_EQ(flowers.channels, 4);
    // Leaves: clear corners around warm autumn colours.
    EXPECT_TRUE(clear(leaves, 0, 0, 4, 4));
    EXPECT_TRUE(clear(leaves, 60, 0, 64, 4));
    EXPECT_TRUE(clear(leaves, 60, 60, 64, 64));
    auto warmth = [](const Picture& p, int x, int y) { return p.at(x, y, 0) - p.at(x, y, 2); };
    EXPECT_GT(opaque_mean(leaves, 0, 0, 64, 64, warmth), 60.0);
    int leaf_pixels = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) leaf_pixels += leaves.at(x, y, 3) == 255 ? 1 : 0;
    // The leaves fill much of the picture: drawn small in it, they shrank to specks in the air.
    EXPECT_GT(leaf_pixels, 64 * 64 / 5);

    // Flowers: standing on the bottom row's middle, clear at the top corners, green below and with
    // blossoms of all three colours above.
    EXPECT_TRUE(clear(flowers, 0, 0, 6, 6));
    EXPECT_TRUE(clear(flowers, 58, 0, 64, 6));
    int stem = 0;
    for (int x = 24; x < 40; ++x) stem += flowers.at(x, 127, 3) == 255 ? 1 : 0;
    EXPECT_GT(stem, 0);
    EXPECT_GT(opaque_mean(flowers, 0, 100, 64, 128, greenness), 20.0);
    int red = 0, yellow = 0, violet = 0;
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 64; ++x) {
            if (flowers.at(x, y, 3) < 200) continue;
            int r = flowers.at(x, y, 0), g = flowers.at(x, y, 1), b = flowers.at(x, y, 2);
            red += r > 170 && g < 90 && b < 90 ? 1 : 0;
            yellow += r > 170 && g > 150 && b < 90 ? 1 : 0;
            violet += b > 150 && r > 90 && g < 120 ? 1 : 0;
        }
    }
    EXPECT_GT(red, 15);
    EXPECT_GT(yellow, 15);
    EXPECT_GT(violet, 15);
}

// The cone's faces map the picture affinely, two triangles each: a fade across a row would be sheared
// into spikes along their diagonals, so it fades only from the lamp (top) down.
TEST(NatureMedia, LightConeFadesFromTheLampDownToNothingAndNotSideways) {
    Picture cone = decode_media("tex/feny1.png");
    ASSERT_EQ(cone.channels, 4);
    EXPECT_GT(cone.at(64, 0, 3), 240);
    for (int y = 0; y < 128; ++y) {
        int lo = 255, hi = 0;
        for (int x = 0; x < 128; ++x) {
            lo = std::min(lo, cone.at(x, y, 3));
            hi = std::max(hi, cone.at(x, y, 3));
        }
        ASSERT_LE(hi - lo, 1) << "row " << y << " changes across";
        if (y > 0) {
            EXPECT_LE(cone.at(0, y, 3), cone.at(0, y - 1, 3)) << "row " << y;
        }
    }
    for (int y = 16; y < 128; y += 16) EXPECT_LT(cone.at(64, y, 3), cone.at(64, y - 16, 3)) << "y " << y;
    // Nothing at the bottom, where the cone meets the ground.
    EXPECT_EQ(cone.at(64, 127, 3), 0);
    // White light: the object's colour makes it yellow.
    EXPECT_GE(cone.at(64, 2, 0), 250);
    EXPECT_GE(cone.at(64, 2, 2), 250);
}

TEST(NatureMedia, SkyDomeIsABlueHourThatWrapsAround) {
    Picture sky = decode_media("tex/egbolt1.jpg");
    ASSERT_EQ(sky.width, 1024);
    ASSERT_EQ(sky.height, 512);
    SeamStats s = seam_stats(sky, false);
    EXPECT_LT(s.seam, 2.0 * s.inside + 1.0) << "seam " << s.seam << " inside " << s.inside;
    // Deep blue overhead, lighter just above the horizon (the middle row).
    EXPECT_LT(mean_luma(sky, 0, 40), mean_luma(sky, 230, 254) - 25.0);
    EXPECT_GT(mean_channel(sky, 2, 0, 40), mean_channel(sky, 0, 0, 40) + 20.0);
    // The afterglow on one side only: warm over the horizon there, cool the other way round.
    double warmest = -255.0, coolest = 255.0;
    for (int x0 = 0; x0 < 1024; x0 += 64) {
        double warm = 0.0;
        for (int y = 236; y < 254; ++y)
            for (int x = x0; x < x0 + 64; ++x) warm += sky.at(x, y, 0) - sky.at(x, y, 2);
        warm /= 18.0 * 64.0;
        warmest = std::max(warmest, warm);
        coolest = std::min(coolest, warm);
    }
    EXPECT_GT(warmest, 60.0);
    EXPECT_LT(coolest, 10.0);
    // The first stars, high up.
    int stars = 0;
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 1024; ++x) stars += sky.luma(x, y) > 110 ? 1 : 0;
    EXPECT_GT(stars, 40);
    EXPECT_LT(stars, 1024 * 120 / 50);
    // Below the horizon: dark ground, darker than the sky just above it.
    EXPECT_LT(mean_luma(sky, 300, 512), mean_luma(sky, 230, 254) - 20.0);
}

TEST(NatureMedia, GrassTilesWithoutLargeFeatures) {
    Picture grass = decode_media("tex/fu.jpg");
    for (bool vertical : {false, true}) {
        SeamStats s = seam_stats(grass, vertical);
        EXPECT_LT(s.seam, 1.5 * s.inside + 1.0)
            << (vertical ? "rows " : "columns ") << s.seam << " " << s.inside;
    }
    // Green, and even at a coarse scale: the 32 x 32 blocks' means stay close, so no patch repeats
    // visibly every 2 m.
    EXPECT_GT(mean_channel(grass, 1, 0, 256), mean_channel(grass, 0, 0, 256) + 12.0);
    EXPECT_GT(mean_channel(grass, 1, 0, 256), mean_channel(grass, 2, 0, 256) + 30.0);
    double lo = 255.0, hi = 0.0;
    for (int by = 0; by < 256; by += 32) {
        for (int bx = 0; bx < 256; bx += 32) {
            double sum = 0.0;
            for (int y = by; y < by + 32; ++y)
                for (int x = bx; x < bx + 32; ++x) sum += grass.luma(x, y);
            lo = std::min(lo, sum / 1024.0);
            hi = std::max(hi, sum / 1024.0);
        }
    }
    EXPECT_LT(hi - lo, 25.0);
}

TEST(NatureMedia, TerrainIsFlatUnderTheParkWithGentleHillsAndAPond) {
    Picture height = decode_media("tex/hmap.png");
    Picture colour = decode_media("tex/tszin.jpg");
    ASSERT_EQ(height.width, 200);
    ASSERT_EQ(colour.width, 200);
    int lowest = 255, lowest_x = -1, lowest_y = -1, edge_sum = 0, edge_count = 0, highest = 0;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 200; ++x) {
            int h = height.at(x, y, 0);
            ASSERT_EQ(height.at(x, y, 1), h);
            ASSERT_EQ(height.at(x, y, 2), h);
            int dx = x - 100, dy = y - 100;
            // The square, the road and the chairs stand on level ground, the road in a bed lowered
            // under it (the demo tests check the bed against the road).
            const bool road = std::abs(dx) <= 20 && std::abs(dy) <= 10;
            if (road) {
                ASSERT_LT(h, 128) << x << "," << y;
            } else if (dx * dx + dy * dy <= 30 * 30) {
                ASSERT_EQ(h, 128) << x << "," << y;
            }
            // No cliffs: the grid is walked on and its slopes are lit smoothly.
            if (x > 0) {
                ASSERT_LE(std::abs(h - height.at(x - 1, y, 0)), 3) << x << "," << y;
            }
            if (y > 0) {
                ASSERT_LE(std::abs(h - height.at(x, y - 1, 0)), 3) << x << "," << y;
            }
            if (h < lowest) {
                lowest = h;
                lowest_x = x;
                lowest_y = y;
            }
            highest = std::max(highest, h);
            if (x == 0 || y == 0 || x == 199 || y == 199) {
                edge_sum += h;
                ++edge_count;
            }
        }
    }
    // Hills around the park, a few metres high at the edges.
    EXPECT_GT(edge_sum / edge_count, 160);
    EXPECT_LE(highest, 210);
    // The pond's hollow west of the park.
    EXPECT_LE(lowest, 122);
    EXPECT_LE(std::abs(lowest_x - 62), 3);
    EXPECT_LE(std::abs(lowest_y - 128), 3);

    // The colour map shows water exactly where the hollow is, light greens elsewhere.
    int water = 0, dry_water = 0, grass_in_hollow = 0;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 200; ++x) {
            int r = colour.at(x, y, 0), g = colour.at(x, y, 1), b = colour.at(x, y, 2);
            bool blue = b > 1.15 * std::max(r, g);
            int h = height.at(x, y, 0);
            water += blue ? 1 : 0;
            dry_water += blue && h >= 128 ? 1 : 0;
            grass_in_hollow += !blue && h <= 122 ? 1 : 0;
        }
    }
    EXPECT_GT(water, 80);
    EXPECT_EQ(dry_water, 0);
    EXPECT_EQ(grass_in_hollow, 0);
    EXPECT_GT(colour.at(62, 128, 2), colour.at(62, 128, 0) + 40);
    // Light enough to tint the grass rather than darken it.
    for (int c = 0; c < 3; ++c) EXPECT_GT(mean_channel(colour, c, 0, 200), 140.0) << "channel " << c;
    EXPECT_GT(mean_channel(colour, 1, 0, 200), mean_channel(colour, 2, 0, 200) + 15.0);
}

// The terrain shows the grass picture times the colour map. The park is seen only at dusk: the product
// is a dim, greyed green, not a bright midday one.
TEST(NatureMedia, GrassUnderTheColourMapIsAnEveningGreen) {
    Picture grass = decode_media("tex/fu.jpg");
    Picture colour = decode_media("tex/tszin.jpg");
    ASSERT_EQ(grass.width, 256);
    ASSERT_EQ(colour.width, 200);
    double shown[3];
    for (int c = 0; c < 3; ++c) {
        // The colour map around the park, out to the trees (60 pixels each way).
        double tint = 0.0;
        for (int y = 40; y < 160; ++y)
            for (int x = 40; x < 160; ++x) tint += colour.at(x, y, c);
        tint /= 120.0 * 120.0 * 255.0;
        shown[c] = mean_channel(grass, c, 0, 256) * tint;
    }
    const double luma = 0.3 * shown[0] + 0.6 * shown[1] + 0.1 * shown[2];
    EXPECT_LT(luma, 60.0) << shown[0] << " " << shown[1] << " " << shown[2];
    EXPECT_GT(luma, 25.0);
    // Green still leads, but greyed: not several times the blue.
    EXPECT_GT(shown[1], shown[0] + 8.0);
    EXPECT_LT(shown[1], 3.0 * shown[2]);
}
