// Fonts and text: the generated Unicode table and its refusal of damaged files, the glyph cache, text
// layout (spacing, descenders, rotation, children, padding), outlined captions and the text input line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "assets/texture.h"
#include "compositor_test_util.h"
#include "core/clock.h"
#include "core/cpu.h"
#include "display/framebuffer.h"
#include "display/input.h"
#include "overlay/elements.h"
#include "overlay/glyphs.h"
#include "overlay/overlay.h"
#include "overlay/text.h"
#include "support/temp_dir.h"

namespace {

constexpr int W = 200, H = 100;  // aspect 2: turned text shows the aspect factor
OverlayElements& S = overlay_table.slots;

std::string font_path() {
    return vmtest::build_dir() + "/" + UNIFONT_FILE;
}

void reset_all() {
    glyph_cache_reset();
    tex_reset();
    font_reset();
    overlay_reset();
    overlay_table_reset();
    input_reset();
    fb_reset();
    cpu_count_set(0);
}

class TextTest : public testing::Test {
  protected:
    void SetUp() override {
        reset_all();
        set_resolution(W, H);
        ASSERT_EQ(font_load(font_path().c_str()), 1) << font_path();
    }
    void TearDown() override { reset_all(); }
};

// A glyph quad as submitted (the draw list keeps the inset window).
struct Quad {
    int texture;
    float x[4], y[4];  // rectangle: x[0], y[0] to x[1], y[1]
    float u_max;
    int quad;
    int alpha;
};

// The commands of this frame that draw something, in order.
std::vector<Quad> glyph_quads() {
    const DrawList& d = overlay_state.draw;
    std::vector<Quad> out;
    for (size_t i = 0; i < static_cast<size_t>(d.count); ++i) {
        if (d.texture[i] == DRAW_PLACEHOLDER) continue;
        out.push_back(Quad{d.texture[i],
                           {d.x0[i], d.x1[i], d.x2[i], d.x3[i]},
                           {d.y0[i], d.y1[i], d.y2[i], d.y3[i]},
                           d.u_max[i],
                           d.quad[i],
                           d.alpha[i]});
    }
    return out;
}

void next_frame() {
    overlay_state.draw.previous_count = overlay_state.draw.count;
    overlay_state.draw.count = 0;
}

// A .hex row pair (most significant bit leftmost) in the table's layout (least significant bit leftmost).
std::vector<uint8_t> from_hex(const char* hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; hex[i] != 0 && hex[i + 1] != 0; i += 2) {
        const unsigned byte = static_cast<unsigned>(std::stoul(std::string(hex + i, 2), nullptr, 16));
        unsigned r = 0;
        for (int k = 0; k < 8; ++k) r |= ((byte >> k) & 1u) << (7 - k);
        out.push_back(static_cast<uint8_t>(r));
    }
    return out;
}

TEST_F(TextTest, GeneratedFontHasTheBitLayoutAndPrefersTheJapaneseGlyphs) {
    const uint8_t* g = font_glyph('g');
    ASSERT_NE(g, nullptr);
    auto row_ink = [](const uint8_t* glyph, int r) {
        int n = 0;
        for (int c = 0; c < UNIFONT_CELL; ++c) n += font_glyph_ink(glyph, r, c);
        return n;
    };
    for (int r = 0; r < 5; ++r) EXPECT_EQ(row_ink(g, r), 0) << r;
    for (int r = 11; r < 16; ++r) EXPECT_GT(row_ink(g, r), 0) << "descender row " << r;
    // The ear is on the right: a table with its bits mirrored would have it at column 1.
    EXPECT_TRUE(font_glyph_ink(g, 5, 6));
    EXPECT_FALSE(font_glyph_ink(g, 5, 1));

    const uint8_t* a = font_glyph('A');
    int left = 99, right = -1;
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c)
            if (font_glyph_ink(a, r, c)) left = std::min(left, c), right = std::max(right, c);
    EXPECT_EQ(left, 1);
    EXPECT_EQ(right, 6);  // in the left half of the cell

    // Hiragana "a" differs between the two source fonts: the table holds the Japanese form, right half too.
    const std::vector<uint8_t> jp =
        from_hex("00000100010001601F800200022003F806240A421282210222041C0800300000");
    const std::vector<uint8_t> plain =
        from_hex("00000400020002C01F000480048007E00D101508220826082A10106000000000");
    EXPECT_EQ(std::vector<uint8_t>(font_glyph(0x3042), font_glyph(0x3042) + 32), jp);
    EXPECT_NE(jp, plain);
}

TEST_F(TextTest, FontFilesOfAnyOtherSizeAreRefusedWhole) {
    vmtest::TempDir dir;
    std::string table(UNIFONT_TABLE_BYTES, '\0');
    for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<char>(i * 7 + i / 32);
    ASSERT_EQ(font_load(dir.write("good.bin", table).c_str()), 1);
    EXPECT_EQ(std::memcmp(font_glyph(0x1234), table.data() + 0x1234 * 32, 32), 0);

    for (const std::string& bad : {table.substr(0, table.size() - 1), table + "x", std::string("\x01")}) {
        EXPECT_EQ(font_load(dir.write("bad.bin", bad).c_str()), 0) << bad.size();
        EXPECT_EQ(font_glyph('A'), nullptr) << bad.size();
    }
    EXPECT_EQ(font_load((dir / "missing.bin").c_str()), 0);

    // Without a table Unicode text draws nothing; 8-bit text still does.
    overlay_set_text(1, "ABC", TEXT_UTF8, 0.1f, 0.1f, 1, 1, 1, 1, 0.1f, 1, 0);
    overlay_set_text(2, "ABC", TEXT_LATIN1, 0.1f, 0.1f, 1, 1, 1, 1, 0.1f, 1, 0);
    text_layout(1, -1);
    EXPECT_TRUE(glyph_quads().empty());
    text_layout(2, -1);
    EXPECT_EQ(glyph_quads().size(), 3u);
}

TEST_F(TextTest, GlyphTexturesAreWhiteWithInkAlphaMadeOnceAndKeyedOutOfReach) {
    struct Case {
        int glyph_class, code;
    };
    for (const Case k :
         {Case{GLYPH_CLASS_UNICODE, 'g'}, Case{GLYPH_CLASS_PLAIN, 'a'}, Case{GLYPH_CLASS_STYLE2, 'a'}}) {
        const uint8_t shape = glyph_make(k.glyph_class, k.code);
        const TextureId t = glyph_texture(k.glyph_class, k.code);
        ASSERT_GT(t, 0);
        EXPECT_EQ(glyph_make(k.glyph_class, k.code), shape);
        EXPECT_EQ(glyph_texture(k.glyph_class, k.code), t);  // made once
        const size_t i = static_cast<size_t>(t);
        const int cell = glyph_cell(k.glyph_class);
        ASSERT_EQ(texture_table.width[i], cell);
        ASSERT_EQ(texture_table.height[i], cell);
        ASSERT_EQ(texture_table.channels[i], 4);
        EXPECT_EQ(texture_table.ownership[i], TEX_BORROWED);
        EXPECT_EQ(texture_table.key[i][0], '*');
        const uint8_t* p = texture_table.pixels[i];
        for (int r = 0; r < cell; ++r) {
            for (int c = 0; c < cell; ++c) {
                const bool ink = k.glyph_class == GLYPH_CLASS_UNICODE
                                     ? font_glyph_ink(font_glyph(k.code), r, c)
                                     : latin1_glyph_ink(k.glyph_class == GLYPH_CLASS_STYLE2, k.code, r, c);
                const uint8_t* px = p + (r * cell + c) * 4;
                ASSERT_EQ(px[0] + px[1] + px[2], 3 * 255);
                ASSERT_EQ(px[3], ink ? 255 : 0) << r << "," << c;
            }
        }
    }
    EXPECT_EQ(tex_find("a"), 0);  // no file name finds a glyph
    // The two built-in styles draw "a" differently.
    const uint8_t* plain = texture_table.pixels[static_cast<size_t>(glyph_texture(GLYPH_CLASS_PLAIN, 'a'))];
    const uint8_t* second = texture_table.pixels[static_cast<size_t>(glyph_texture(GLYPH_CLASS_STYLE2, 'a'))];
    EXPECT_NE(std::memcmp(plain, second, 10 * 10 * 4), 0);

    // Blank glyphs share one buffer and have no texture.
    EXPECT_TRUE(glyph_make(GLYPH_CLASS_PLAIN, ' ') & GLYPH_BLANK);
    EXPECT_TRUE(glyph_make(GLYPH_CLASS_UNICODE, ' ') & GLYPH_BLANK);
    EXPECT_EQ(glyph_texture(GLYPH_CLASS_PLAIN, ' '), 0);
    EXPECT_EQ(glyph_cache.classes[0].pixels[' '], glyph_cache.classes[1].pixels[' ']);

    // Shapes: Unicode widths measured from the ink, 8-bit descenders.
    EXPECT_TRUE(glyph_make(GLYPH_CLASS_UNICODE, 'A') & GLYPH_HALF);
    EXPECT_TRUE(glyph_make(GLYPH_CLASS_UNICODE, 0x035E) & GLYPH_THREE_QUARTER);  // ink to column 12
    EXPECT_FALSE(glyph_make(GLYPH_CLASS_UNICODE, 0x3042) & (GLYPH_HALF | GLYPH_THREE_QUARTER));
    EXPECT_TRUE(glyph_make(GLYPH_CLASS_PLAIN, 'g') & GLYPH_DROP_FIFTH);
    EXPECT_TRUE(glyph_make(GLYPH_CLASS_STYLE2, 0xED) & GLYPH_DROP_TENTH);
    EXPECT_EQ(glyph_make(GLYPH_CLASS_PLAIN, 'a') & (GLYPH_DROP_FIFTH | GLYPH_DROP_TENTH), 0);
    EXPECT_EQ(glyph_make(GLYPH_CLASS_PLAIN, 256), 0);
    EXPECT_EQ(glyph_make(3, 'a'), 0);
}

TEST_F(TextTest, UnicodeLatinIsNarrowerThanItsCellsUnlessFixedPitch) {
    const float s = 0.1f;
    overlay_set_text(1, "ABC", TEXT_UTF8, 0.1f, 0.2f, 1, 1, 1, 1, s, 1, 0);
    text_layout(1, -1);
    std::vector<Quad> q = glyph_quads();
    ASSERT_EQ(q.size(), 3u);
    EXPECT_FLOAT_EQ(q[0].x[0], 0.1f);
    EXPECT_NEAR(q[1].x[0], 0.1f + s * (1 - 0.455f), 1e-6);
    EXPECT_NEAR(q[2].x[0], 0.1f + 2 * s * (1 - 0.455f), 1e-6);
    EXPECT_NEAR(q[0].x[1] - q[0].x[0], s, 1e-6);
    EXPECT_NEAR(q[0].y[1] - q[0].y[0], s, 1e-6);
    EXPECT_LT(q[2].x[1] - q[0].x[0], 3 * s);
    EXPECT_NEAR(q[0].u_max, 1 - 1.0f / 16, 1e-6);

    next_frame();
    overlay_set_text(1, "ABC", TEXT_UTF8, 0.1f, 0.2f, 1, 1, 1, 1, s, 1, 1);
    text_layout(1, -1);
    q = glyph_quads();
    ASSERT_EQ(q.size(), 3u);
    EXPECT_NEAR(q[2].x[1] - q[0].x[0], 3 * s, 1e-6);
    EXPECT_NEAR(q[1].u_max, 0.7f - 1.0f / 16, 1e-6);  // the half-width ink fills the cell
}

TEST_F(TextTest, EightBitSpacingSpacesAndDescenders) {
    const float s = 0.1f, w = 0.5f, a = s * w, x = 0.3f, y = 0.4f;
    overlay_set_text(1, "lA g", TEXT_LATIN1, x, y, 1, 1, 1, 1, s, w, 0);
    text_layout(1, -1);
    const std::vector<Quad> q = glyph_quads();
    ASSERT_EQ(q.size(), 3u);  // the space draws nothing
    EXPECT_NEAR(q[0].x[0], x - 0.18f * a, 1e-6);
    EXPECT_NEAR(q[1].x[0], x + a - 0.38f * a, 1e-6);
    EXPECT_NEAR(q[2].x[0], x + 3 * a - 0.38f * a - 0.06f * a, 1e-6);  // the space advanced a whole cell
    EXPECT_NEAR(q[0].x[1] - q[0].x[0], a, 1e-6);
    EXPECT_FLOAT_EQ(q[1].y[0], y);
    EXPECT_NEAR(q[2].y[0], y + 0.2f * s, 1e-6);  // "g" hangs below the line
}

TEST_F(TextTest, PaddingKeepsTheNextElementsCommandIndices) {
    overlay_set_text(2, "X", TEXT_LATIN1, 0.5f, 0.5f, 1, 1, 1, 1, 0.1f, 1, 0);
    glyph_make(GLYPH_CLASS_PLAIN, 'X');
    const TextureId x = glyph_texture(GLYPH_CLASS_PLAIN, 'X');
    for (const std::string& first : {std::string("abc"), std::string("abcd"), std::string(127, 'm')}) {
        next_frame();
        overlay_set_text(1, first.c_str(), TEXT_LATIN1, 0.1f, 0.1f, 1, 1, 1, 1, 0.1f, 1, 0);
        text_layout(1, -1);
        text_layout(2, -1);
        EXPECT_EQ(overlay_state.draw.count, 256) << first.size();
        EXPECT_EQ(overlay_state.draw.texture[128], x) << first.size();
    }
    next_frame();
    overlay_set_text(1, std::string(129, 'm').c_str(), TEXT_LATIN1, 0.1f, 0.1f, 1, 1, 1, 1, 0.1f, 1, 0);
    text_layout(1, -1);
    text_layout(2, -1);
    EXPECT_EQ(overlay_state.draw.texture[256], x);
}

TEST_F(TextTest, TurnedAndZoomedTextTurnsAboutThePenWithTheFrameAspect) {
    const float s = 0.1f;
    overlay_set_text(1, "AB", TEXT_LATIN1_STYLE2, 0.3f, 0.2f, 1, 0.5f, 0, 2.5f, s, 1, 1);
    overlay_set_rotation(1, 90, -1);
    overlay_set_zoom(1, 2, -1);
    text_layout(1, -1);
    const std::vector<Quad> q = glyph_quads();
    ASSERT_EQ(q.size(), 2u);
    EXPECT_EQ(q[0].quad, 1);
    EXPECT_EQ(q[0].alpha, 128);  // alpha 2.5 on the 0..3 scale draws at one half
    // Top-left stays at the pen; the top edge now points down, twice as long, stretched by the aspect 2.
    EXPECT_NEAR(q[0].x[0], 0.3f, 1e-6);
    EXPECT_NEAR(q[0].y[0], 0.2f, 1e-6);
    EXPECT_NEAR(q[0].x[3], 0.3f, 1e-6);
    EXPECT_NEAR(q[0].y[3], 0.2f + 2 * 2 * s, 1e-5);
    // The pen advanced along the turned line.
    EXPECT_NEAR(q[1].x[0], 0.3f, 1e-6);
    EXPECT_NEAR(q[1].y[0], 0.2f + 2 * 2 * s, 1e-5);
}

TEST_F(TextTest, ChildTextLivesInItsParentsBoxAndTurnsWithIt) {
    overlay_set_pos(1, 0.2f, 0.2f);
    overlay_set_size(1, 0.4f, 0.5f);
    overlay_set_visible(1, 1);
    overlay_child_set_text(1, 0, "A", 0.5f, 0.5f, 1, 1, 1, 1, 0.2f, TEXT_LATIN1, 1, 1);
    text_layout(1, 0);
    std::vector<Quad> q = glyph_quads();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(q[0].quad, 1);
    EXPECT_NEAR(q[0].x[0], 0.4f, 1e-6);
    EXPECT_NEAR(q[0].y[0], 0.45f, 1e-6);
    EXPECT_NEAR(q[0].y[1] - q[0].y[0], 0.2f * 0.5f, 1e-6);  // scaled with the parent's height
    EXPECT_NEAR(q[0].x[2] - q[0].x[0], 0.2f * 0.5f, 1e-6);

    // Half a turn of the parent about its centre (0.4, 0.45), where the glyph's corner lies.
    next_frame();
    overlay_set_rotation(1, 180, -1);
    text_layout(1, 0);
    q = glyph_quads();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_NEAR(q[0].x[0], 0.4f, 1e-5);
    EXPECT_NEAR(q[0].y[0], 0.45f, 1e-5);
    EXPECT_NEAR(q[0].y[1], 0.45f - 0.1f, 1e-5);
}

TEST_F(TextTest, OutlinedCaptionUsesTenSlotsPerCharacterWithTheInkOnTop) {
    overlay_set_text(40, "old", TEXT_LATIN1, 0, 0, 1, 1, 1, 1, 0.1f, 1, 0);
    const float x = 0.1f, y = 0.5f, size = 0.1f, d = 0.05f * size;
    EXPECT_EQ(
        caption_outlined(40,
                         "a\xC4\x80"
                         "c",
                         x, y, 1, 0.9f, 0.8f, 0.1f, 0.3f, 0.2f, 0.8f, size, 0.5f, 0.6f, 0.05f, 0, 30, 0, 1),
        3);
    for (int base : {40, 50, 60}) {
        EXPECT_EQ(S.visible[static_cast<size_t>(base)], 0) << base;
        EXPECT_TRUE(S.text[static_cast<size_t>(base)].empty()) << base;
        for (int k = 1; k <= 9; ++k) EXPECT_EQ(S.visible[static_cast<size_t>(base + k)], 1) << base + k;
    }
    EXPECT_EQ(S.text[59][0], 0x00);  // U+0100 kept as its own UTF-16 unit
    EXPECT_EQ(S.text[59][1], 0x01);
    EXPECT_EQ(S.text_encoding[49], TEXT_UTF16);
    EXPECT_FLOAT_EQ(S.red[49], 1);
    EXPECT_FLOAT_EQ(S.blue[49], 0.8f);
    EXPECT_FLOAT_EQ(S.alpha[49], 0.8f);
    // Outline colour arguments come red, blue, green.
    EXPECT_FLOAT_EQ(S.red[48], 0.1f);
    EXPECT_FLOAT_EQ(S.green[48], 0.2f);
    EXPECT_FLOAT_EQ(S.blue[48], 0.3f);
    EXPECT_FLOAT_EQ(S.alpha[48], 0.4f);
    EXPECT_FLOAT_EQ(S.alpha[44], 0.2f);
    const float offsets[9][2] = {{1, -1}, {1, 1}, {-1, -1}, {-1, 1}, {0, -1},
                                 {0, 1},  {1, 0}, {-1, 0},  {0, 0}};
    for (int k = 1; k <= 9; ++k) {
        EXPECT_NEAR(S.x[static_cast<size_t>(40 + k)], x + offsets[k - 1][0] * d, 1e-6) << 40 + k;
        EXPECT_NEAR(S.y[static_cast<size_t>(40 + k)], y + offsets[k - 1][1] * d, 1e-6) << 40 + k;
    }
    EXPECT_NEAR(S.x[69], x + 2 * size * 0.6f, 1e-6);
    EXPECT_FLOAT_EQ(S.glyph_width[69], 0.5f);
    EXPECT_EQ(S.fixed_pitch[69], 0);

    // The wave: size and place follow sin(k * step + phase) of the amplitude.
    caption_outlined(40, "ab", x, y, 1, 1, 1, 0, 0, 0, 1, size, 1, 1, 0, 0.02f, 30, 90, 1);
    EXPECT_NEAR(S.glyph_size[49], size + 0.02f, 1e-6);
    EXPECT_NEAR(S.x[49], x - 0.02f * 0.25f, 1e-6);
    EXPECT_NEAR(S.y[49], y - 0.02f * 0.5f, 1e-6);
    EXPECT_NEAR(S.glyph_size[59], size + 0.02f * std::sin(120 * 0.017453292519943295), 1e-6);
    caption_outlined(40, "ab", x, y, 1, 1, 1, 0, 0, 0, 1, size, 1, 1, 0, 0.02f, 30, 90, 0);
    EXPECT_FLOAT_EQ(S.x[49], x);

    // The fixed variants: their first slots and the order of their colour arguments.
    caption_wave(100, "x", x, y, 0.1f, 0.2f, 0.3f, 1, size, 1, 0);
    EXPECT_FLOAT_EQ(S.green[108], 0.3f);
    EXPECT_FLOAT_EQ(S.blue[108], 0.2f);
    EXPECT_FLOAT_EQ(S.green[109], 1);
    EXPECT_FLOAT_EQ(S.glyph_width[109], 0.5f);
    caption_wave_a("x", x, y, 0.1f, 0.2f, 1, size, 1, 0);
    EXPECT_FLOAT_EQ(S.red[1008], 1);
    EXPECT_FLOAT_EQ(S.green[1008], 0.2f);
    EXPECT_FLOAT_EQ(S.blue[1008], 0.1f);
    caption_wave_b("x", x, y, 0.1f, 0.2f, 1, size, 1, 0.05f, 90);
    EXPECT_NEAR(S.glyph_size[1509], size + 0.05f, 1e-6);
    caption_wave_c("x", x, y, 0.1f, 0.2f, 0.3f, 1, size, 1, 0, 0);
    EXPECT_FLOAT_EQ(S.green[2008], 0.3f);
}

// Solid rectangles up to `count` commands in the list.
void fill_draw_list(int count) {
    while (overlay_state.draw.count < count) {
        overlay_submit(0.1f, 0.1f, 0.2f, 0.2f, 0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, nullptr);
    }
}

// The glyph commands from index `from` on.
int glyphs_from(int from) {
    const DrawList& d = overlay_state.draw;
    int n = 0;
    for (int i = from; i < d.count; ++i) n += d.texture[static_cast<size_t>(i)] > 0;
    return n;
}

// Near the list's cap a text element goes in whole or not at all, and an outlined caption with every
// slot of it (the outline copies and the ink of a character are separate slots); what comes after
// still goes in while it fits.
TEST_F(TextTest, DrawListCapTakesWholeTextsAndWholeCaptions) {
    overlay_set_text(2, "hello", TEXT_LATIN1, 0.1f, 0.1f, 1, 1, 1, 1, 0.1f, 1, 0);
    for (int room : {4, 5}) {
        next_frame();
        fill_draw_list(DRAW_LIST_MAX - room);
        text_layout(2, -1);
        EXPECT_EQ(glyphs_from(DRAW_LIST_MAX - room), room == 5 ? 5 : 0) << room;
        EXPECT_EQ(overlay_state.draw.count, room == 5 ? DRAW_LIST_MAX : DRAW_LIST_MAX - room) << room;
    }
    overlay_hide(2);

    // "ab": two characters, 18 visible one-glyph slots of 128 commands each; a rectangle after them.
    ASSERT_EQ(caption_outlined(40, "ab", 0.1f, 0.5f, 1, 1, 1, 0, 0, 0, 1, 0.1f, 1, 1, 0.05f, 0, 30, 0, 1), 2);
    EXPECT_EQ(S.caption_slots[40], 20);
    overlay_set_image_color(70, 0.5f, 0.5f, 0.1f, 0.1f, nullptr, 1, 0, 0, 1);
    const int caption = 18 * 128;
    struct Case {
        int room, glyphs, count, last;  // last: the last command's texture (0 the rectangle)
    };
    // With room for 17 slots the caption stays out and the rectangle takes its place; an unaligned start
    // pads the first slot, which may still end the caption right at the cap.
    constexpr int P = DRAW_PLACEHOLDER;
    for (const Case c :
         {Case{caption - 128, 0, DRAW_LIST_MAX - caption + 129, 0}, Case{caption - 127, 18, DRAW_LIST_MAX, P},
          Case{caption, 18, DRAW_LIST_MAX, P}, Case{caption + 128, 18, DRAW_LIST_MAX - 127, 0}}) {
        next_frame();
        const int start = DRAW_LIST_MAX - c.room;
        fill_draw_list(start);
        EXPECT_EQ(overlay_build(), 1);
        EXPECT_EQ(glyphs_from(start), c.glyphs) << c.room;
        ASSERT_EQ(overlay_state.draw.count, c.count) << c.room;
        EXPECT_EQ(overlay_state.draw.texture[static_cast<size_t>(c.count - 1)], c.last) << c.room;
    }
    // Given other content, the caption's first slot no longer holds the slots after it together.
    overlay_set_image_color(40, 0.5f, 0.5f, 0.1f, 0.1f, nullptr, 1, 0, 0, 1);
    EXPECT_EQ(S.caption_slots[40], 0);
}

TEST_F(TextTest, CaptionRenderedIntoTheFrameHasInkWhereTheGlyphHas) {
    cpu_count_set(1);
    // "g" from the Unicode font at twice its size: 32 pixels high and wide, its top-left at pixel (40, 30).
    overlay_set_text(1, "g", TEXT_UTF8, 0.2f, 0.3f, 1, 1, 1, 1, 32.0f / H, 0.5f, 0);
    std::fill(frame_buffer.fb_pixels, frame_buffer.fb_pixels + W * H * 3, uint8_t{0});
    ASSERT_TRUE(overlay_build());
    overlay_rasterize();
    overlay_merge(frame_buffer.fb_pixels, W, H, overlay_state.buffer.data(), overlay_state.buffer_width,
                  overlay_state.buffer_height, 0, 1);
    auto lit = [](int px, int py) { return frame_buffer.fb_pixels[(py * W + px) * 3] > 128; };
    const uint8_t* g = font_glyph('g');
    auto ink_near = [&](int r, int c) {
        for (int dr = -1; dr <= 1; ++dr)
            for (int dc = -1; dc <= 1; ++dc)
                if (font_glyph_ink(g, r + dr, c + dc)) return true;
        return false;
    };
    int inked = 0;
    for (int r = 0; r < 16; ++r) {
        for (int c = 0; c < 16; ++c) {
            const int px = 40 + 2 * c, py = 30 + 2 * r;
            if (font_glyph_ink(g, r, c)) {
                bool any = false;  // filtering may move a texel by a pixel
                for (int y = py - 1; y <= py + 2; ++y)
                    for (int x = px - 1; x <= px + 2; ++x) any = any || lit(x, y);
                EXPECT_TRUE(any) << "texel " << r << "," << c;
                ++inked;
            } else if (!ink_near(r, c)) {
                EXPECT_FALSE(lit(px, py) || lit(px + 1, py + 1)) << "texel " << r << "," << c;
            }
        }
    }
    EXPECT_GT(inked, 20);
    for (int x = 0; x < W; ++x) EXPECT_FALSE(lit(x, 29) || lit(x, 30 + 32 + 1)) << x;  // nothing outside
}

TEST_F(TextTest, WavingOutlinedCaptionsEqualThePlainReferenceFrameAfterFrame) {
    // The scenes' captions: magnified glyphs in eight faded, tinted outline copies and the ink, moving
    // every frame; a line across tile edges, one running off the frame's right and bottom edges, one
    // starting left of the frame. Each frame drawn by the fast loops must be the plain loops' picture.
    set_resolution(320, 180);
    cpu_count_set(1);
    for (int frame = 0; frame < 4; ++frame) {
        const float phase = 37.0f * static_cast<float>(frame);
        caption_wave(100, "THE VELMORINE TEAM", 0.05f, 0.1f, 0.55f, 0.1f, 0.25f, 1, 0.11f, 0.3f, phase);
        caption_wave(400, "Wg\xe5\xa4\xa2", 0.8f + 0.03f * static_cast<float>(frame), 0.85f, 0.2f, 0.9f, 0.4f,
                     0.7f, 0.2f, 0.56f, phase + 90);
        caption_wave(600, "edge", -0.07f, 0.45f, 1, 1, 0, 1, 0.3f, 0.3f, phase);
        text_prepare_glyphs();
        ASSERT_TRUE(overlay_build());
        const otest::FastAndPlain r = otest::draw_fast_and_plain();
        EXPECT_GT(otest::distinct_pixels(r.plain, 320, 180), 50u);
        ASSERT_TRUE(r.fast == r.plain) << "frame " << frame;
    }
}

TEST_F(TextTest, OutlinedCaptionsAtManySizesPlacesAndFadesEqualThePlainReference) {
    // An outlined character's nine commands are drawn together, each pixel composed once: the picture
    // must stay the one the commands drawn one by one give. Frames whose tiles are whole pixels apart and
    // not; glyphs from a few pixels (smaller than their texture) to a third of the frame; outlines a
    // fraction of a pixel to several pixels away; faded, tinted ink; lines across tile edges and running
    // off every edge of the frame; captions overlapping each other.
    struct Frame {
        int width, height;
    };
    for (const Frame f : {Frame{1920, 1080}, Frame{333, 211}, Frame{640, 360}}) {
        set_resolution(f.width, f.height);
        cpu_count_set(1);
        for (int frame = 0; frame < 3; ++frame) {
            const float phase = 140.0f / 60.0f * static_cast<float>(frame * 7);
            const float shift = 0.0037f * static_cast<float>(frame);
            caption_wave(100, "THE VELMORINE TEAM", 0.19f + shift, 0.145f, 0.55f, 0.1f, 0.25f, 1, 0.11f, 0.3f,
                         phase);
            caption_outlined(300, "Qb&W", -0.04f + shift, 0.6f, 0.9f, 0.5f, 0.2f, 0.1f, 0.8f, 0.3f, 0.6f,
                             0.33f, 0.6f, 0.4f, 0.013f, 0.03f, 45, phase, 1);
            caption_outlined(400, "edge", 0.82f, 0.9f - shift, 1, 1, 1, 0, 0.5f, 1, 0.35f, 0.2f, 0.5f, 0.3f,
                             0.004f, 0.01f, 30, phase, 1);
            caption_outlined(500, "tiny text", 0.3f, 0.4f + shift, 1, 1, 1, 1, 0, 0, 1, 0.012f, 0.5f, 0.3f,
                             0.05f, 0.002f, 30, phase, 1);
            caption_wave(600, "over", 0.25f + shift, 0.12f, 0.2f, 0.9f, 0.4f, 0.7f, 0.2f, 0.3f, phase + 90);
            text_prepare_glyphs();
            ASSERT_TRUE(overlay_build());
            const otest::FastAndPlain r = otest::draw_fast_and_plain();
            EXPECT_GT(otest::distinct_pixels(r.plain, f.width, f.height), 200u);
            ASSERT_TRUE(r.fast == r.plain) << f.width << " x " << f.height << ", frame " << frame;
        }
    }
}

TEST_F(TextTest, PaddingComesBackOverTheGlyphsThatReplacedIt) {
    // Short, long, short again: the glyphs of the long frame stand where padding stood and padding stands
    // there again afterwards; their pixels must be gone, every frame the same as the first.
    cpu_count_set(1);
    auto inked_right_of_a = [] {
        int n = 0;
        for (int y = 20; y < 50; ++y)
            for (int x = 40; x < W; ++x) n += otest::overlay_pixel(x, y)[3] != 0;
        return n;
    };
    for (int round = 0; round < 2; ++round) {
        overlay_set_text(1, "A", TEXT_UTF8, 0.1f, 0.2f, 1, 1, 1, 1, 0.3f, 0.5f, 1);
        ASSERT_TRUE(overlay_frame_prepare());
        EXPECT_EQ(inked_right_of_a(), 0) << round;
        overlay_set_text(1, "ABCD", TEXT_UTF8, 0.1f, 0.2f, 1, 1, 1, 1, 0.3f, 0.5f, 1);
        ASSERT_TRUE(overlay_frame_prepare());
        EXPECT_GT(inked_right_of_a(), 100) << round;
    }
    overlay_set_text(1, "A", TEXT_UTF8, 0.1f, 0.2f, 1, 1, 1, 1, 0.3f, 0.5f, 1);
    ASSERT_TRUE(overlay_frame_prepare());
    EXPECT_EQ(inked_right_of_a(), 0);
    const DrawList& d = overlay_state.draw;
    for (int i = 1; i < 128; ++i) EXPECT_EQ(d.texture[static_cast<size_t>(i)], DRAW_PLACEHOLDER) << i;
}

TEST_F(TextTest, ATextCutShorterLeavesNoGlyphBehindItsPadding) {
    // Padding that lands where the last frame drew glyphs must replace them, and leave their pixels empty;
    // padding where padding was stays as it was.
    cpu_count_set(1);
    overlay_set_text(1, "ABCD", TEXT_UTF8, 0.1f, 0.2f, 1, 1, 1, 1, 0.3f, 0.5f, 1);
    overlay_set_text(2, "E", TEXT_UTF8, 0.1f, 0.6f, 1, 1, 1, 1, 0.3f, 0.5f, 1);
    ASSERT_TRUE(overlay_frame_prepare());
    const int count = overlay_state.draw.previous_count;
    overlay_set_text(1, "A", TEXT_UTF8, 0.1f, 0.2f, 1, 1, 1, 1, 0.3f, 0.5f, 1);
    ASSERT_TRUE(overlay_frame_prepare());
    EXPECT_EQ(overlay_state.draw.previous_count, count);
    const DrawList& d = overlay_state.draw;
    for (int i = 1; i < 128; ++i) EXPECT_EQ(d.texture[static_cast<size_t>(i)], DRAW_PLACEHOLDER) << i;
    // Nothing inked right of the "A" on its line (glyphs are 0.075 of the width apart).
    for (int y = 20; y < 50; ++y)
        for (int x = 40; x < W; ++x) ASSERT_EQ(otest::overlay_pixel(x, y)[3], 0) << x << "," << y;
}

// A clock that stands still where the test puts it.
int64_t wall_microseconds = 0;
WallTime test_wall() {
    return WallTime{wall_microseconds / 1000000, static_cast<int32_t>(wall_microseconds % 1000000)};
}

class TextInputTest : public testing::Test {
  protected:
    void SetUp() override {
        input_reset();
        wall_microseconds = 1000000;
        clock_set_source(test_wall, nullptr);
        clock_reset();
    }
    void TearDown() override {
        input_reset();
        clock_set_source(nullptr, nullptr);
        clock_reset();
    }
};

// Presses `keys`, edits `line` (a buffer of `size`) at `cursor`; returns the line and moves the cursor.
std::string edit(std::string line, int& cursor, std::initializer_list<int> keys, int size = 8,
                 int restricted = 0) {
    std::vector<char> buffer(static_cast<size_t>(size), 0);
    std::copy(line.begin(), line.end(), buffer.begin());
    for (int k : keys) input_state.key_pressed[k] = 1;
    text_input_edit(buffer.data(), &cursor, size, restricted, nullptr);
    return buffer.data();
}

TEST_F(TextInputTest, KeysArrowsAndErasersStopAtTheEdges) {
    int cursor = 0;
    EXPECT_EQ(edit("ac", cursor, {KEY_LEFT, KEY_BACKSPACE}), "ac");
    EXPECT_EQ(cursor, 0);
    EXPECT_EQ(input_state.key_pressed[KEY_LEFT], 0);
    cursor = 2;
    EXPECT_EQ(edit("ac", cursor, {KEY_RIGHT, KEY_DELETE}), "ac");
    EXPECT_EQ(cursor, 2);
    cursor = 1;
    EXPECT_EQ(edit("ac", cursor, {'y', 'b', 127}), "abyc");  // in increasing key order
    EXPECT_EQ(cursor, 3);
    EXPECT_EQ(input_state.key_pressed[127], 1);  // never inserted
    EXPECT_EQ(edit("abyc", cursor, {KEY_BACKSPACE}), "abc");
    EXPECT_EQ(cursor, 2);
    EXPECT_EQ(edit("abc", cursor, {KEY_DELETE}), "ab");
    EXPECT_EQ(cursor, 2);
    input_reset();

    // A full line takes no more keys; they stay pressed.
    cursor = 3;
    EXPECT_EQ(edit("abc", cursor, {'d'}, 4), "abc");
    EXPECT_EQ(input_state.key_pressed['d'], 1);
    input_reset();
    // Restricted lines: capitals become small letters; only those, digits and "_" are taken.
    cursor = 0;
    EXPECT_EQ(edit("", cursor, {'Q', '-', '7', '_'}, 16, 1), "7_q");
    EXPECT_EQ(input_state.key_pressed['-'], 1);
}

TEST_F(TextInputTest, DisplayBlinksTheCursorAndFitsTheBuffer) {
    char line[8] = "abc";
    char display[8];
    int cursor = 2;
    EXPECT_EQ(text_input_edit(line, &cursor, sizeof line, 0, display), 4);  // the clock's first reading: 0
    EXPECT_STREQ(display, "ab|c");
    wall_microseconds += 600000;  // 0.6 s: the bar's off half
    text_input_edit(line, &cursor, sizeof line, 0, display);
    EXPECT_STREQ(display,
                 "ab\xFF"
                 "c");

    char seven[8] = "abcdefg";  // full: the display drops its last character
    cursor = 0;
    EXPECT_EQ(text_input_edit(seven, &cursor, sizeof seven, 0, display), 7);
    EXPECT_STREQ(display,
                 "\xFF"
                 "abcdef");
}

}  // namespace
