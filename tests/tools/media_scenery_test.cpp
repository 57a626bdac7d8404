// The generated scenery media decoded as the engine decodes them, checked for what the demo relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "tools/media_pictures.h"

namespace {

using namespace mediatest;

constexpr double kPi = 3.14159265358979;

double mean_luma_box(const Picture& pic, int x0, int y0, int x1, int y1) {
    double sum = 0.0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) sum += pic.luma(x, y);
    return sum / (static_cast<double>(x1 - x0) * (y1 - y0));
}

// Mean luma of the pixels on a circle, sampled every degree.
double mean_luma_circle(const Picture& pic, double cx, double cy, double radius) {
    double sum = 0.0;
    for (int a = 0; a < 360; ++a) {
        int x = static_cast<int>(std::lround(cx + radius * std::cos(a * kPi / 180.0)));
        int y = static_cast<int>(std::lround(cy + radius * std::sin(a * kPi / 180.0)));
        sum += pic.luma(x, y);
    }
    return sum / 360.0;
}

double luma_spread(const Picture& pic) {
    double mean = 0.0, square = 0.0;
    double n = static_cast<double>(pic.width) * pic.height;
    for (int y = 0; y < pic.height; ++y)
        for (int x = 0; x < pic.width; ++x) {
            double l = pic.luma(x, y);
            mean += l;
            square += l * l;
        }
    mean /= n;
    return std::sqrt(square / n - mean * mean);
}

// A pixel lit warm from inside a room: bright, red well above blue.
bool warm_light(const Picture& pic, int x, int y) {
    return pic.at(x, y, 0) > 235 && pic.at(x, y, 1) > 150 && pic.at(x, y, 0) > pic.at(x, y, 2) + 80;
}

TEST(SceneryMedia, EveryPictureHasItsSizeAndLayout) {
    expect_layouts({
        {"tex/floor1.jpg", 256, 256, 3},
        {"tex/floor2.jpg", 256, 256, 3},
        {"tex/aszfalt1.jpg", 256, 256, 3},
        {"tex/aszfaltcsik.jpg", 256, 256, 3},
        {"tex/gerenda1.jpg", 256, 256, 3},
        {"tex/box1.jpg", 256, 256, 3},
        {"tex/box5.jpg", 256, 256, 3},
        {"tex/speaker1.png", 256, 256, 3},
        {"tex/mh2.jpg", 512, 256, 3},
        {"tex/rhaz1.png", 512, 256, 4},
        {"effect_dust.png", 64, 64, 4},
    });
    // The PNGs say what they hold in their header: the engine blends only RGBA pictures.
    EXPECT_EQ(png_colour_type(media_file("tex/speaker1.png")), 2);
    EXPECT_EQ(png_colour_type(media_file("tex/rhaz1.png")), 6);
    EXPECT_EQ(png_colour_type(media_file("effect_dust.png")), 6);
}

TEST(SceneryMedia, GroundAndWoodTexturesTileWithoutSeams) {
    struct Tiling {
        const char* name;
        bool vertical_too;  // the road marking repeats only along the road
    };
    static const Tiling kTiling[] = {
        {"tex/floor1.jpg", true},   {"tex/floor2.jpg", true},       {"tex/aszfalt1.jpg", true},
        {"tex/gerenda1.jpg", true}, {"tex/aszfaltcsik.jpg", false},
    };
    for (const Tiling& t : kTiling) {
        Picture pic = decode_media(t.name);
        ASSERT_EQ(pic.width, 256) << t.name;
        for (bool vertical : {false, true}) {
            if (vertical && !t.vertical_too) continue;
            SeamStats s = seam_stats(pic, vertical);
            EXPECT_LT(s.seam, 1.5 * s.inside + 1.0) << t.name << (vertical ? " rows" : " columns") << " seam "
                                                    << s.seam << " inside " << s.inside;
        }
        // A surface, not a flat fill.
        EXPECT_GT(luma_spread(pic), 6.0) << t.name;
    }
}

TEST(SceneryMedia, SurfacesReadAsWhatTheyAre) {
    Picture slabs = decode_media("tex/floor1.jpg");
    Picture kerb = decode_media("tex/floor2.jpg");
    Picture asphalt = decode_media("tex/aszfalt1.jpg");
    Picture beams = decode_media("tex/gerenda1.jpg");
    Picture crate = decode_media("tex/box1.jpg");
    Picture cabinet = decode_media("tex/box5.jpg");
    ASSERT_EQ(slabs.width, 256);
    ASSERT_EQ(kerb.width, 256);
    ASSERT_EQ(asphalt.width, 256);
    ASSERT_EQ(beams.width, 256);
    ASSERT_EQ(crate.width, 256);
    ASSERT_EQ(cabinet.width, 256);
    // Light walking surface, darker kerb, dark road, near-black cabinet.
    double walk = mean_luma(slabs, 0, 256), side = mean_luma(kerb, 0, 256);
    double road = mean_luma(asphalt, 0, 256), vinyl = mean_luma(cabinet, 0, 256);
    EXPECT_GT(walk, 140.0);
    EXPECT_GT(walk, side + 25.0);
    EXPECT_GT(side, road + 20.0);
    EXPECT_LT(road, 80.0);
    EXPECT_LT(vinyl, 40.0);
    // Warm grey slabs; wood in warm browns (red over green over blue), on the beams and the crate.
    EXPECT_GT(mean_channel(slabs, 0, 0, 256), mean_channel(slabs, 2, 0, 256) + 5.0);
    for (const Picture* wood : {&beams, &crate}) {
        double r = mean_channel(*wood, 0, 0, 256), g = mean_channel(*wood, 1, 0, 256);
        double b = mean_channel(*wood, 2, 0, 256);
        EXPECT_GT(r, g + 20.0);
        EXPECT_GT(g, b + 15.0);
    }
    // The beams run horizontally: rows along a plank change less than columns across the planks.
    EXPECT_LT(seam_stats(beams, false).inside, seam_stats(beams, true).inside);
}

TEST(SceneryMedia, RoadMarkingIsAWornDashAlongTheMiddleOfTheSameAsphalt) {
    Picture marking = decode_media("tex/aszfaltcsik.jpg");
    Picture plain = decode_media("tex/aszfalt1.jpg");
    ASSERT_EQ(marking.width, 256);
    ASSERT_EQ(plain.width, 256);
    // Away from the stripe it is the plain asphalt, so the two textures can meet on the road.
    double differ = 0.0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 256; ++x) differ += std::abs(marking.luma(x, y) - plain.luma(x, y));
    EXPECT_LT(differ / (100.0 * 256.0), 3.0);
    // A bright horizontal band through the middle, broken once along the tile: a dash and a gap.
    double around = (mean_luma(marking, 0, 100) + mean_luma(marking, 156, 256)) / 2.0;
    double band = mean_luma_box(marking, 60, 121, 196, 135);
    EXPECT_GT(band, around + 70.0);
    EXPECT_LT(mean_luma_box(marking, 0, 121, 24, 135), around + 15.0);
    EXPECT_LT(mean_luma_box(marking, 232, 121, 256, 135), around + 15.0);
    // Worn paint: the asphalt shows through in places.
    int worn = 0;
    for (int y = 121; y < 135; ++y)
        for (int x = 60; x < 196; ++x) worn += marking.luma(x, y) < band - 40.0 ? 1 : 0;
    EXPECT_GT(worn, 136 * 14 / 100);
}

TEST(SceneryMedia, CrateShowsItsFrameAndBraceAgainstLighterPlanks) {
    Picture crate = decode_media("tex/box1.jpg");
    ASSERT_EQ(crate.width, 256);
    double border = (mean_luma_box(crate, 0, 0, 256, 20) + mean_luma_box(crate, 0, 236, 256, 256) +
                     mean_luma_box(crate, 0, 20, 20, 236) + mean_luma_box(crate, 236, 20, 256, 236)) /
                    4.0;
    // Off the brace, top left and bottom right of the inner area.
    double planks = (mean_luma_box(crate, 40, 40, 100, 90) + mean_luma_box(crate, 160, 170, 216, 216)) / 2.0;
    EXPECT_LT(border, planks - 15.0);
    // The brace rises from bottom left to top right: along that diagonal the face is darker than
    // along the other one, which crosses it only once.
    double rising = 0.0, falling = 0.0;
    for (int i = 50; i < 206; ++i) {
        rising += crate.luma(i, 255 - i);
        falling += crate.luma(i, i);
    }
    EXPECT_LT(rising, falling - 156.0 * 10.0);
}

TEST(SceneryMedia, CabinetHasALighterBevelledEdge) {
    Picture cabinet = decode_media("tex/box5.jpg");
    ASSERT_EQ(cabinet.width, 256);
    double middle = mean_luma_box(cabinet, 40, 40, 216, 216);
    // The bevel faces the lamp at the top and left.
    EXPECT_GT(mean_luma_box(cabinet, 20, 1, 236, 8), middle + 8.0);
    EXPECT_GT(mean_luma_box(cabinet, 1, 20, 8, 236), middle + 8.0);
}

TEST(SceneryMedia, SpeakerFrontHasItsWooferBelowTheTweeter) {
    Picture front = decode_media("tex/speaker1.png");
    ASSERT_EQ(front.width, 256);
    // The woofer's metal trim ring stands out against the dark cone inside it; drawn upside down or
    // off centre, the ring would miss the circle.
    double trim = mean_luma_circle(front, 128.0, 166.0, 84.0);
    double cone = mean_luma_circle(front, 128.0, 166.0, 45.0);
    EXPECT_GT(trim, cone + 12.0);
    EXPECT_LT(mean_luma_circle(front, 128.0, 90.0, 84.0), trim - 8.0);
    // The small tweeter above has a trim ring of its own.
    EXPECT_GT(mean_luma_circle(front, 128.0, 44.0, 28.0), cone + 12.0);
    // The cone is a hollow lit from the top left: its lower right wall faces the lamp.
    EXPECT_GT(mean_luma_box(front, 150, 190, 170, 210), mean_luma_box(front, 86, 122, 106, 142) + 5.0);
    // Screws in all four corners, brighter than the vinyl around them.
    for (int cx : {16, 240})
        for (int cy : {16, 240}) EXPECT_GT(mean_luma_box(front, cx - 3, cy - 3, cx + 3, cy + 3), 60.0);
}

TEST(SceneryMedia, HouseStandsOnItsBottomRowWithSkyAroundTheRoof) {
    Picture house = decode_media("tex/rhaz1.png");
    ASSERT_EQ(house.width, 512);
    ASSERT_EQ(house.height, 256);
    ASSERT_EQ(house.channels, 4);
    // Above the roof's slopes the sky shows through, the top corners most of all.
    for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 24; ++x) {
            ASSERT_EQ(house.at(x, y, 3), 0) << x << "," << y;
            ASSERT_EQ(house.at(511 - x, y, 3), 0) << 511 - x << "," << y;
        }
    }
    int clear = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 512; ++x) clear += house.at(x, y, 3) == 0 ? 1 : 0;
    EXPECT_GT(clear, 512 * 256 / 20);
    // The facade is solid from under the eaves down to the bottom row, where it meets the ground.
    for (int y = 96; y < 256; ++y)
        for (int x = 40; x < 472; ++x) ASSERT_EQ(house.at(x, y, 3), 255) << x << "," << y;
    // The roof is opaque in the middle, under the ridge.
    EXPECT_EQ(house.at(256, 40, 3), 255);
    // It is evening: some windows are lit warm, most of the wall is not.
    int lit_upstairs = 0, lit_downstairs = 0;
    for (int y = 96; y < 256; ++y)
        for (int x = 24; x < 488; ++x)
            if (warm_light(house, x, y)) ++(y < 166 ? lit_upstairs : lit_downstairs);
    EXPECT_GT(lit_upstairs, 1000);
    EXPECT_GT(lit_downstairs, 600);
    EXPECT_LT(lit_upstairs + lit_downstairs, 464 * 160 / 8);
    // The roof's tiles are redder than the plaster below them.
    double roof_red = 0.0, roof_blue = 0.0;
    for (int x = 150; x < 350; ++x) {
        roof_red += house.at(x, 60, 0);
        roof_blue += house.at(x, 60, 2);
    }
    EXPECT_GT(roof_red, roof_blue * 1.6);
}

TEST(SceneryMedia, PosterIsBoldAndColourfulWithATitleBand) {
    Picture poster = decode_media("tex/mh2.jpg");
    ASSERT_EQ(poster.width, 512);
    ASSERT_EQ(poster.height, 256);
    // Colourful: the typical pixel is far from grey.
    double chroma = 0.0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 512; ++x) {
            int r = poster.at(x, y, 0), g = poster.at(x, y, 1), b = poster.at(x, y, 2);
            int hi = std::max(r, std::max(g, b)), lo = std::min(r, std::min(g, b));
            chroma += hi - lo;
        }
    EXPECT_GT(chroma / (512.0 * 256.0), 60.0);
    // A dark evening sky at the top, bright sun and glow towards the horizon.
    EXPECT_LT(mean_luma(poster, 0, 20), 60.0);
    EXPECT_GT(mean_luma_box(poster, 216, 80, 296, 100), 180.0);
    // The title band: dark ground carrying bright lettering.
    int dark = 0, bright = 0;
    for (int y = 192; y < 250; ++y)
        for (int x = 60; x < 452; ++x) {
            int l = poster.luma(x, y);
            dark += l < 50 ? 1 : 0;
            bright += l > 160 ? 1 : 0;
        }
    EXPECT_GT(dark, 392 * 58 / 3);
    EXPECT_GT(bright, 392 * 58 / 10);
}

TEST(SceneryMedia, DustPuffFadesOutBeforeTheEdges) {
    Picture dust = decode_media("effect_dust.png");
    ASSERT_EQ(dust.width, 64);
    ASSERT_EQ(dust.channels, 4);
    // The scene blends many of them: nothing of the square's outline may show.
    for (int i = 0; i < 64; ++i) {
        for (int d = 0; d < 4; ++d) {
            ASSERT_EQ(dust.at(i, d, 3), 0) << i << "," << d;
            ASSERT_EQ(dust.at(i, 63 - d, 3), 0) << i << "," << 63 - d;
            ASSERT_EQ(dust.at(d, i, 3), 0) << d << "," << i;
            ASSERT_EQ(dust.at(63 - d, i, 3), 0) << 63 - d << "," << i;
        }
    }
    EXPECT_GT(dust.at(32, 32, 3), 180);
    // Light, near-white where it is dense, so the scene's tints come through.
    EXPECT_GT(dust.luma(32, 32), 190);
    EXPECT_LT(std::abs(dust.at(32, 32, 0) - dust.at(32, 32, 2)), 12);
    // Along every direction from the middle, alpha falls steadily (a few steps of noise allowed).
    for (int a = 0; a < 360; a += 15) {
        double dx = std::cos(a * kPi / 180.0), dy = std::sin(a * kPi / 180.0);
        int before = 255;
        for (int r = 2; r < 32; r += 2) {
            int x = 32 + static_cast<int>(std::lround(r * dx)),
                y = 32 + static_cast<int>(std::lround(r * dy));
            if (x < 0 || x >= 64 || y < 0 || y >= 64) break;
            int alpha = dust.at(x, y, 3);
            EXPECT_LE(alpha, before + 6) << "angle " << a << " radius " << r;
            before = alpha;
        }
    }
}

}  // namespace
