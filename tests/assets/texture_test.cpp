// The texture table: key rule, lookups, failed names, slot reuse, ownership of pixels, growth.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "asset_files.h"
#include "assets/texture.h"
#include "support/temp_dir.h"

namespace {

using assettest::ScopedCwd;

class TextureTest : public testing::Test {
  protected:
    void SetUp() override { tex_reset(); }
    void TearDown() override { tex_reset(); }

    // A 4 x 1 BMP whose first pixel is `r`, written into the temporary tree.
    void write_bmp(const std::string& name, uint8_t r) {
        std::vector<uint8_t> rgb = {r, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
        dir.write(name, assettest::bmp_file(4, 1, rgb));
    }

    vmtest::TempDir dir;
};

TEST_F(TextureTest, KeyRule) {
    EXPECT_EQ(tex_key("DATA/tex/Wall.JPG"), "wall");
    EXPECT_EQ(tex_key("DATA/tex/Wall.JPG", false), "Wall");
    EXPECT_EQ(tex_key("..\\data\\Sky.png"), "sky");
    EXPECT_EQ(tex_key("photo.jpeg"), "photo.jpeg");
    EXPECT_EQ(tex_key("anim.gif"), "anim.gif");
    EXPECT_EQ(tex_key("Odd.Jpg"), "odd.jpg");  // only the listed spellings are cut
    EXPECT_EQ(tex_key("a.png.bmp.tga"), "a");  // cut at the first of each in turn
    EXPECT_EQ(tex_key("name\r\n"), "name");
    EXPECT_EQ(tex_key("/root.tga"), "/root");  // a leading separator is not looked at
    EXPECT_EQ(tex_key("folder/"), "");
    EXPECT_EQ(tex_key(nullptr), "");
}

TEST_F(TextureTest, LoadedNamesAreFoundUnderAnySpelling) {
    write_bmp("data/tex/wall.bmp", 200);
    ScopedCwd cwd(dir.path());
    TextureId id = tex_load("Wall.BMP");
    ASSERT_GE(id, 1);
    ASSERT_EQ(tex_has_pixels(id), 1);
    EXPECT_EQ(texture_table.pixels[id][0], 200);
    EXPECT_EQ(texture_table.label[id], "Wall");
    EXPECT_EQ(tex_find("wall.bmp"), id);
    EXPECT_EQ(tex_find("DATA\\TEX\\WALL.bmp"), id);
    EXPECT_EQ(tex_find("wall.png"), id);  // the extension is not part of the key
    EXPECT_EQ(tex_load("wall.bmp"), id);
    EXPECT_EQ(tex_find("other"), 0);
    EXPECT_EQ(tex_find(""), 0);
    EXPECT_EQ(tex_find(nullptr), 0);
}

TEST_F(TextureTest, AFailedNameKeepsItsSlotAndIsNotSearchedAgain) {
    ScopedCwd cwd(dir.path());
    TextureId id = tex_load("missing.bmp");
    ASSERT_GE(id, 1);
    EXPECT_EQ(tex_has_pixels(id), 0);
    EXPECT_EQ(texture_table.key[id], "missing");
    // The file appearing later changes nothing: the name is remembered, not searched for.
    write_bmp("missing.bmp", 9);
    EXPECT_EQ(tex_load("missing.bmp"), id);
    EXPECT_EQ(tex_has_pixels(id), 0);
    // A new name takes the next slot.
    EXPECT_EQ(tex_load("other.bmp"), id + 1);
}

TEST_F(TextureTest, NamesWithoutAKeyTakeNoSlot) {
    ScopedCwd cwd(dir.path());
    EXPECT_EQ(tex_load(""), 0);
    EXPECT_EQ(tex_load(".png"), 0);
    EXPECT_EQ(tex_load(nullptr), 0);
    EXPECT_EQ(tex_free_slot(), 1);
}

TEST_F(TextureTest, ReleasedSlotsAreReusedLowestFirst) {
    write_bmp("a.bmp", 1);
    write_bmp("b.bmp", 2);
    write_bmp("c.bmp", 3);
    write_bmp("d.bmp", 4);
    ScopedCwd cwd(dir.path());
    TextureId a = tex_load("a.bmp");
    TextureId b = tex_load("b.bmp");
    TextureId c = tex_load("c.bmp");
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(c, 3);
    tex_release(b);
    EXPECT_EQ(tex_has_pixels(b), 0);
    EXPECT_EQ(tex_find("b"), 0);
    TextureId d = tex_load("d.bmp");
    EXPECT_EQ(d, b);
    EXPECT_EQ(texture_table.pixels[d][0], 4);
    // tex_free_pixels keeps the name: the slot is not free.
    tex_free_pixels(a);
    EXPECT_EQ(tex_find("a"), a);
    EXPECT_EQ(tex_free_slot(), 4);
}

TEST_F(TextureTest, LoadSlotReplacesPixelsAndRemembersFailures) {
    write_bmp("x.bmp", 77);
    ScopedCwd cwd(dir.path());
    EXPECT_EQ(tex_load_slot(5, "x.bmp"), 5);
    EXPECT_EQ(texture_table.pixels[5][0], 77);
    EXPECT_EQ(texture_table.width[5], 4);
    EXPECT_EQ(texture_table.height[5], 1);
    EXPECT_EQ(texture_table.channels[5], 3);
    EXPECT_EQ(texture_table.ownership[5], TEX_ADOPTED);
    EXPECT_EQ(tex_load_slot(6, "nope.bmp"), 0);
    EXPECT_EQ(tex_find("nope"), 6);
    EXPECT_EQ(tex_load_slot(0, "x.bmp"), 0);
    EXPECT_EQ(tex_load_slot(-1, "x.bmp"), 0);
}

TEST_F(TextureTest, SetPixelsOwnerships) {
    tex_ensure(3);
    std::vector<uint8_t> source(2 * 2 * 3, 50);

    tex_set_pixels(1, 0, source.data(), 2, 2, 3, TEX_COPIED);
    ASSERT_EQ(tex_has_pixels(1), 1);
    EXPECT_NE(texture_table.pixels[1], source.data());
    source[0] = 99;
    EXPECT_EQ(texture_table.pixels[1][0], 50);

    tex_set_pixels(2, 0, source.data(), 2, 2, 3, TEX_BORROWED);
    EXPECT_EQ(texture_table.pixels[2], source.data());
    tex_free_pixels(2);  // must not free the caller's buffer (the sanitizer build would notice)
    EXPECT_EQ(texture_table.pixels[2], nullptr);
    EXPECT_EQ(texture_table.width[2], 0);
    EXPECT_EQ(texture_table.ownership[2], TEX_COPIED);

    auto* handed = static_cast<uint8_t*>(malloc(2 * 2 * 4));
    tex_set_pixels(3, 0, handed, 2, 2, 4, TEX_ADOPTED);
    EXPECT_EQ(texture_table.pixels[3], handed);
    tex_release(3);  // frees it (the leak checker would notice otherwise)

    // Sized without pixels: a zeroed copy of the right size.
    tex_set_pixels(1, 1, nullptr, 3, 1, 4, TEX_COPIED);
    ASSERT_EQ(tex_has_pixels(1), 1);
    EXPECT_EQ(texture_table.width[1], 3);
    EXPECT_EQ(texture_table.pixels[1][11], 0);

    // Refused arguments leave the slot as it was.
    tex_set_pixels(1, 0, source.data(), 2, 2, 2, TEX_COPIED);
    tex_set_pixels(1, 0, source.data(), 0, 2, 3, TEX_COPIED);
    tex_set_pixels(1, 0, nullptr, 2, 2, 3, TEX_COPIED);
    tex_set_pixels(0, 0, source.data(), 2, 2, 3, TEX_COPIED);
    EXPECT_EQ(texture_table.width[1], 3);
    EXPECT_EQ(texture_table.channels[1], 4);
    EXPECT_EQ(tex_has_pixels(0), 0);
}

TEST_F(TextureTest, ABufferHandedBackToItsOwnSlotIsKept) {
    // A caller that registers the slot's own buffer again (a redrawn sprite, a re-adopted image) must
    // not find it freed under it; the new ownership still applies.
    auto* buffer = static_cast<uint8_t*>(malloc(4 * 4 * 4));
    for (int i = 0; i < 64; ++i) buffer[i] = static_cast<uint8_t>(i + 1);
    tex_set_pixels(1, 0, buffer, 4, 4, 4, TEX_ADOPTED);
    tex_set_pixels(1, 0, buffer, 4, 4, 4, TEX_ADOPTED);
    ASSERT_EQ(texture_table.pixels[1], buffer);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(texture_table.pixels[1][i], i + 1) << "byte " << i;

    tex_set_pixels(1, 0, buffer, 2, 2, 3, TEX_BORROWED);
    EXPECT_EQ(texture_table.pixels[1], buffer);
    EXPECT_EQ(texture_table.width[1], 2);
    tex_release(1);  // borrowed now: the buffer is the caller's again
    EXPECT_EQ(buffer[63], 64);
    free(buffer);
}

TEST_F(TextureTest, GrowthRule) {
    EXPECT_EQ(texture_table.capacity, 0);
    tex_ensure(1);
    EXPECT_EQ(texture_table.capacity, 257);
    tex_ensure(255);
    EXPECT_EQ(texture_table.capacity, 257);
    tex_ensure(256);  // n + 1 reaches the capacity
    EXPECT_EQ(texture_table.capacity, 512);
    tex_ensure(9900);
    EXPECT_EQ(texture_table.capacity, 9900 + 5024);
    tex_ensure(99000);
    EXPECT_EQ(texture_table.capacity, 99000 + 50024);
    EXPECT_EQ(texture_table.pixels.size(), static_cast<size_t>(texture_table.capacity));
    EXPECT_EQ(texture_table.key_set[149023], 0);
    tex_ensure(-5);
    tex_ensure(TEX_MAX_SLOTS);
    EXPECT_EQ(texture_table.capacity, 99000 + 50024);
}

TEST_F(TextureTest, FreeSlotGrowsAFullTable) {
    tex_ensure(1);
    int capacity = texture_table.capacity;
    for (int i = 1; i < capacity; ++i) tex_set_name(i, ("t" + std::to_string(i)).c_str());
    EXPECT_EQ(tex_free_slot(), capacity);
    EXPECT_GT(texture_table.capacity, capacity);
}

TEST_F(TextureTest, GreyWithAlphaIsNotStored) {
    assettest::PngLayout layout;
    layout.width = 2;
    layout.colour_type = 4;  // grey + alpha
    layout.samples = {10, 255, 20, 128};
    dir.write("ga.png", assettest::png_file(layout));
    ScopedCwd cwd(dir.path());
    TextureId id = tex_load("ga.png");
    ASSERT_GE(id, 1);
    EXPECT_EQ(tex_has_pixels(id), 0);
    EXPECT_EQ(tex_find("ga"), id);
}

TEST_F(TextureTest, FlipSwapsRows) {
    uint8_t p[3 * 2] = {1, 2, 3, 4, 5, 6};  // 1 x 3, 2 channels
    tex_flip_vertical(p, 1, 3, 2);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 6), (std::vector<uint8_t>{5, 6, 3, 4, 1, 2}));
    tex_flip_vertical(p, 1, 2, 2);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 6), (std::vector<uint8_t>{3, 4, 5, 6, 1, 2}));
}

}  // namespace
