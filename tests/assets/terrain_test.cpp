// Terrain: the grid from colour and height pictures, tiling into parts, unchanged tiles left alone, and
// the height query.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "asset_files.h"
#include "assets/terrain.h"
#include "assets/texture.h"
#include "geometry_test_util.h"
#include "scene/transform.h"
#include "support/temp_dir.h"

namespace {

using geomtest::tri_count;

class TerrainTest : public testing::Test {
  protected:
    void SetUp() override {
        obj_table_reset_all();
        tex_reset();
    }
    void TearDown() override {
        obj_table_reset_all();
        tex_reset();
    }

    // A picture straight into the texture table.
    TextureId picture(int w, int h, int channels, const std::vector<uint8_t>& px) {
        const TextureId slot = tex_free_slot();
        tex_set_name(slot, ("picture" + std::to_string(slot)).c_str());
        tex_set_pixels(slot, 1, const_cast<uint8_t*>(px.data()), w, h, channels, TEX_COPIED);
        return slot;
    }
    // A single-colour RGB picture.
    TextureId solid(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
        std::vector<uint8_t> px(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
        for (size_t i = 0; i < px.size(); i += 3) px[i] = r, px[i + 1] = g, px[i + 2] = b;
        return picture(w, h, 3, px);
    }

    static float height(ObjectId id, int col, int row) {
        const size_t stride = static_cast<size_t>(obj_table.terrain_cols[id]) + 1;
        return obj_table.terrain_heights[id][static_cast<size_t>(row) * stride + static_cast<size_t>(col)];
    }
    static const float* color(ObjectId id, int col, int row) {
        const size_t stride = static_cast<size_t>(obj_table.terrain_cols[id]) + 1;
        return &obj_table
                    .terrain_colors[id][(static_cast<size_t>(row) * stride + static_cast<size_t>(col)) * 4];
    }
};

TEST_F(TerrainTest, SixteenSquareColourMapFromAPngGivesOneCellParts) {
    vmtest::TempDir dir;
    assettest::PngLayout png;
    png.width = png.height = 16;
    png.samples = assettest::gradient_rgb(16, 16);
    dir.write("data/tex/island.png", assettest::png_file(png));
    TextureId map;
    {
        assettest::ScopedCwd cwd(dir.path());
        map = tex_load("island.png");
    }
    ASSERT_EQ(tex_has_pixels(map), 1);
    terrain_from_images(40, map, 5, 0, 2.0f, 0.25f, 0.25f, 0, 1.0f);
    EXPECT_EQ(obj_table.terrain_cols[40], 16);
    EXPECT_EQ(obj_table.terrain_rows[40], 16);
    terrain_build_mesh(40);
    ASSERT_EQ(obj_table.part_count[40], 256);
    for (int p = 0; p < 256; ++p) ASSERT_EQ(tri_count(40, p), 2) << p;
    const PartArrays& pa = obj_table.parts[40];
    EXPECT_EQ(pa.texture[0], 5);
    // Part 17 is cell (1, 1), row by row: (c, r), (c + 1, r), (c + 1, r + 1).
    const std::vector<float> first = {2, height(40, 1, 1), 2, 4, height(40, 2, 1), 2, 4, height(40, 2, 2), 4};
    EXPECT_EQ(std::vector<float>(pa.tri_local[17].begin(), pa.tri_local[17].begin() + 9), first);
    // The gradient's colours are carried as shade records.
    EXPECT_FALSE(pa.tri_shade[17].empty());
    const uint8_t* px = texture_table.pixels[map] + (1 * 16 + 1) * 3;
    EXPECT_FLOAT_EQ(pa.tri_shade[17][0], px[0] / 255.0f);
}

TEST_F(TerrainTest, LargerGridsAreCutIntoBiggerTiles) {
    terrain_from_images(2, solid(60, 60, 90, 160, 80), 0, 0, 1, 1, 1, 0, 1);
    terrain_build_mesh(2);
    EXPECT_EQ(obj_table.part_count[2], 900);
    for (int p = 0; p < 900; ++p) ASSERT_EQ(tri_count(2, p), 8) << p;
    const geomtest::Box3 b = geomtest::extent(2, 31);  // second band, second tile: cells 2..3 x 2..3
    EXPECT_FLOAT_EQ(b.min.x, 2);
    EXPECT_FLOAT_EQ(b.max.x, 4);
    EXPECT_FLOAT_EQ(b.min.z, 2);
    EXPECT_FLOAT_EQ(b.max.z, 4);
}

TEST_F(TerrainTest, PartNumbersLeaveGapsAfterBands) {
    // 150 x 150 cells: tiles of 4 (the last one in a band 2 wide), 38 per band; after a band the next
    // (part % 3) numbers are skipped.
    terrain_from_images(3, solid(150, 150, 90, 160, 80), 0, 0, 1, 1, 1, 0, 1);
    terrain_build_mesh(3);
    EXPECT_EQ(tri_count(3, 0), 32);
    EXPECT_EQ(tri_count(3, 37), 16);
    EXPECT_EQ(tri_count(3, 38), 0);
    EXPECT_EQ(tri_count(3, 39), 0);
    EXPECT_EQ(tri_count(3, 40), 32);
    EXPECT_FLOAT_EQ(geomtest::extent(3, 40).min.z, 4);
    EXPECT_EQ(tri_count(3, 78), 32);  // 78 % 3 == 0: no gap after the second band
    EXPECT_FLOAT_EQ(geomtest::extent(3, 78).min.z, 8);
    int64_t total = 0;
    for (int p = 0; p < obj_table.part_count[3]; ++p) total += tri_count(3, p);
    EXPECT_EQ(total, 2 * 150 * 150);

    EXPECT_EQ(terrain_tiling(256).tile_cells, 1);
    EXPECT_EQ(terrain_tiling(257).tile_cells, 2);
    EXPECT_EQ(terrain_tiling(40000).tile_gap, 2);
    EXPECT_EQ(terrain_tiling(361000000).tile_cells, 30);
    const TerrainTiling big = terrain_tiling(int64_t{400000000});
    EXPECT_EQ(big.tile_cells, 32);
    EXPECT_EQ(big.tile_gap, 7);
    EXPECT_EQ(big.band_gap, 12);
}

TEST_F(TerrainTest, BluePixelsBecomeWaterWithoutAHeightMap) {
    std::vector<uint8_t> px = {0, 0, 255, 100, 100, 110, 10, 20, 255, 200, 100, 50};
    terrain_from_images(4, picture(2, 2, 3, px), 0, 0, 1, 1, 1, 0, 2.0f);
    EXPECT_FLOAT_EQ(height(4, 0, 0), -0.55f * 2.0f);
    EXPECT_FLOAT_EQ(color(4, 0, 0)[3], 200.0f / 255.0f);
    EXPECT_FLOAT_EQ(color(4, 0, 0)[2], 1.0f);
    EXPECT_FLOAT_EQ(height(4, 1, 0), 0.0f);  // bluish but not by 1.15
    EXPECT_FLOAT_EQ(color(4, 1, 0)[3], 1.0f);
    EXPECT_FLOAT_EQ(height(4, 0, 1), -1.1f);
    EXPECT_FLOAT_EQ(height(4, 1, 1), 0.0f);
    // The extra last column and row repeat the last pixels.
    EXPECT_FLOAT_EQ(height(4, 2, 0), height(4, 1, 0));
    EXPECT_FLOAT_EQ(height(4, 0, 2), height(4, 0, 1));
    EXPECT_FLOAT_EQ(color(4, 2, 2)[0], 200.0f / 255.0f);
}

TEST_F(TerrainTest, HeightMapBytesAndFlip) {
    // Height rows top first: 128, 255 / 0, 64.
    std::vector<uint8_t> hp = {128, 0, 0, 255, 0, 0, 0, 0, 0, 64, 0, 0};
    const TextureId hmap = picture(2, 2, 3, hp);
    const TextureId cmap = solid(2, 2, 0, 0, 255);  // blue, but the height map decides
    terrain_from_images(5, cmap, 0, hmap, 1, 1, 1, 0, 4.0f);
    EXPECT_FLOAT_EQ(height(5, 0, 0), 0.0f);
    EXPECT_FLOAT_EQ(height(5, 1, 0), 4.0f * 127.0f / 128.0f);
    EXPECT_FLOAT_EQ(height(5, 0, 1), -4.0f);
    EXPECT_FLOAT_EQ(height(5, 1, 1), -2.0f);
    EXPECT_FLOAT_EQ(color(5, 0, 0)[3], 1.0f);  // no water with a height map
    // Flipped, grid row 0 comes from the picture's last row.
    terrain_from_images(5, cmap, 0, hmap, 1, 1, 1, 1, 4.0f);
    EXPECT_FLOAT_EQ(height(5, 0, 0), -4.0f);
    EXPECT_FLOAT_EQ(height(5, 1, 1), 4.0f * 127.0f / 128.0f);
    EXPECT_FLOAT_EQ(height(5, 1, 2), 4.0f * 127.0f / 128.0f);
    // A height map alone: white corners.
    terrain_from_images(6, 0, 0, hmap, 1, 1, 1, 0, 4.0f);
    EXPECT_EQ(obj_table.terrain_cols[6], 2);
    EXPECT_FLOAT_EQ(color(6, 1, 1)[1], 1.0f);
}

TEST_F(TerrainTest, MismatchedAbsentAndOversizedPicturesGiveNoHeightMapOrNoTerrain) {
    const TextureId cmap = solid(3, 2, 10, 200, 10);
    const TextureId hmap = solid(4, 4, 255, 255, 255);
    terrain_from_images(7, cmap, 0, hmap, 1, 1, 1, 0, 1);
    EXPECT_EQ(obj_table.terrain_cols[7], 3);
    EXPECT_EQ(obj_table.terrain_rows[7], 2);
    EXPECT_FLOAT_EQ(height(7, 1, 1), 0.0f);

    // Neither picture (an empty slot, an unknown id): no terrain, and the old one is gone.
    const TextureId empty = tex_free_slot();
    tex_set_name(empty, "nothing");
    terrain_from_images(7, empty, 0, 999, 1, 1, 1, 0, 1);
    EXPECT_EQ(obj_table.terrain_cols[7], 0);
    terrain_build_mesh(7);
    EXPECT_FALSE(obj_table.has_geometry[7]);

    // Beyond the cell limit: no terrain rather than gigabytes of triangles.
    const TextureId huge = tex_free_slot();
    tex_set_name(huge, "huge");
    tex_set_pixels(huge, 1, nullptr, 1025, 1024, 3, TEX_COPIED);
    terrain_from_images(8, huge, 0, 0, 1, 1, 1, 0, 1);
    EXPECT_EQ(obj_table.terrain_cols[8], 0);
    terrain_init(8, 1 << 11, 1 << 10, 0, 1, 1, 1);
    EXPECT_EQ(obj_table.terrain_cols[8], 0);
    terrain_init(0, 4, 4, 0, 1, 1, 1);
    EXPECT_TRUE(!obj_valid(0) || obj_table.terrain_cols[0] == 0);
}

TEST_F(TerrainTest, TextureCoordinatesStaySmallAndShadeOnlyWhereColoured) {
    terrain_init(9, 3, 1, 4, 1.0f, 0.75f, 0.5f);
    terrain_build_mesh(9);
    ASSERT_EQ(obj_table.part_count[9], 3);
    const PartArrays& pa = obj_table.parts[9];
    EXPECT_TRUE(pa.tri_shade[0].empty());  // no colours at all
    // Cell 1: u 0.75 .. 1.5 becomes -0.25 .. 0.5; cell 2: u 1.5 .. 2.25 becomes -0.5 .. 0.25.
    const std::vector<float> cell1 = {-0.25f, 0, 0.5f, 0, 0.5f, 0.5f};
    const std::vector<float> cell2 = {-0.5f, 0, 0.25f, 0, 0.25f, 0.5f};
    const std::vector<float> got1(pa.tri_uv[1].begin(), pa.tri_uv[1].begin() + 6);
    const std::vector<float> got2(pa.tri_uv[2].begin(), pa.tri_uv[2].begin() + 6);
    EXPECT_EQ(got1, cell1);
    EXPECT_EQ(got2, cell2);

    // White corners need no shade records; one coloured corner gives them to the tiles it touches.
    terrain_set_color(9, 0, 0, 1, 1, 1, 1);
    terrain_set_color(9, 3, 1, 1, 1, 1.00015f, 1);  // within the tolerance
    terrain_build_mesh(9);
    EXPECT_TRUE(pa.tri_shade[0].empty());
    terrain_set_color(9, 1, 1, 0.5f, 1, 1, 1);
    terrain_set_color(9, 4, 0, 0, 0, 0, 0);  // outside the grid: ignored
    terrain_build_mesh(9);
    EXPECT_FALSE(pa.tri_shade[0].empty());
    EXPECT_FALSE(pa.tri_shade[1].empty());
    EXPECT_TRUE(pa.tri_shade[2].empty());
    EXPECT_EQ(obj_table.terrain_colors[9].size(), static_cast<size_t>(5 * 3 * 4));
}

TEST_F(TerrainTest, RebuildingAnUnchangedTerrainRewritesNoPart) {
    std::vector<uint8_t> px(static_cast<size_t>(20 * 20 * 3));
    for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i * 7);
    terrain_from_images(11, picture(20, 20, 3, px), 3, 0, 0.5f, 0.3f, 0.3f, 0, 1);
    terrain_build_mesh(11);
    PartArrays& pa = obj_table.parts[11];
    const int parts = obj_table.part_count[11];
    ASSERT_EQ(parts, 100);
    std::vector<const float*> data;
    for (int p = 0; p < parts; ++p) {
        pa.dirty[static_cast<size_t>(p)] = 0;
        data.push_back(pa.tri_local[static_cast<size_t>(p)].data());
    }
    terrain_build_mesh(11);
    for (int p = 0; p < parts; ++p) {
        EXPECT_EQ(pa.dirty[static_cast<size_t>(p)], 0) << p;
        EXPECT_EQ(pa.tri_local[static_cast<size_t>(p)].data(), data[static_cast<size_t>(p)]) << p;
    }
    // One changed corner rewrites only the tiles around it (tiles of 2 x 2 cells).
    obj_set_terrain_height(11, 4, 4, 1.0f);
    terrain_build_mesh(11);
    int rewritten = 0;
    for (int p = 0; p < parts; ++p) rewritten += pa.dirty[static_cast<size_t>(p)] != 0;
    EXPECT_EQ(rewritten, 4);
}

TEST_F(TerrainTest, HeightQueryFollowsTheTwoTrianglesOfACell) {
    terrain_init(12, 2, 2, 0, 2.0f, 1, 1);
    // Corner heights h(col, row).
    const float h[3][3] = {{1, 2, 3}, {4, 8, 6}, {7, 5, 9}};  // [row][col]
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) obj_set_terrain_height(12, c, r, h[r][c]);
    obj_set_position(12, 10, 100, 20);
    float y = 0;
    // Corners.
    ASSERT_EQ(terrain_height_at(12, 10, 20, &y), 1);
    EXPECT_FLOAT_EQ(y, 101);
    ASSERT_EQ(terrain_height_at(12, 12, 22, &y), 1);
    EXPECT_FLOAT_EQ(y, 108);
    // The far edge belongs to the last cell, with fraction 1.
    ASSERT_EQ(terrain_height_at(12, 14, 24, &y), 1);
    EXPECT_FLOAT_EQ(y, 109);
    ASSERT_EQ(terrain_height_at(12, 14, 21, &y), 1);
    EXPECT_FLOAT_EQ(y, 104.5f);
    // Cell centre: on the shared diagonal from (i, j) to (i + 1, j + 1) both triangles give the mean of
    // those two corners.
    ASSERT_EQ(terrain_height_at(12, 11, 21, &y), 1);
    EXPECT_FLOAT_EQ(y, 100 + (1 + 8) / 2.0f);
    // s > t: the triangle (i, j), (i + 1, j), (i + 1, j + 1); s < t: (i, j), (i + 1, j + 1), (i, j + 1).
    ASSERT_EQ(terrain_height_at(12, 11.5f, 20.5f, &y), 1);
    EXPECT_FLOAT_EQ(y, 100 + 1 + 0.75f * (2 - 1) + 0.25f * (8 - 2));
    ASSERT_EQ(terrain_height_at(12, 10.5f, 21.5f, &y), 1);
    EXPECT_FLOAT_EQ(y, 100 + 1 + 0.25f * (8 - 4) + 0.75f * (4 - 1));
    // Outside, and not-a-number coordinates.
    EXPECT_EQ(terrain_height_at(12, 9.99f, 21, &y), 0);
    EXPECT_FLOAT_EQ(y, 100);
    EXPECT_EQ(terrain_height_at(12, 14.01f, 21, &y), 0);
    EXPECT_EQ(terrain_height_at(12, 11, 24.5f, &y), 0);
    EXPECT_EQ(terrain_height_at(12, NAN, 21, &y), 0);
    EXPECT_EQ(terrain_height_at(12, 11, INFINITY, &y), 0);
    // Without heights the query reports 0 and the object's own height.
    terrain_init(13, 2, 2, 0, 1, 1, 1);
    obj_set_position(13, 0, 7, 0);
    EXPECT_EQ(terrain_height_at(13, 1, 1, &y), 0);
    EXPECT_FLOAT_EQ(y, 7);
    EXPECT_EQ(terrain_height_at(500, 1, 1, &y), 0);
    EXPECT_FLOAT_EQ(y, 0);
}

}  // namespace
