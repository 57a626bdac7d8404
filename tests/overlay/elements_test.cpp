// Overlay elements: table growth and refused indices, zoom, rotation, position and colour animation,
// the alpha scale, text storage, hiding, the loading bar, and UTF-8 decoding.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/frame_stats.h"
#include "display/input.h"
#include "overlay/elements.h"

namespace {

OverlayElements& S = overlay_table.slots;

class ElementsTest : public testing::Test {
  protected:
    void SetUp() override {
        overlay_table_reset();
        frame_statistics_reset();
        frame_stats.frames_per_second = 50.0;
        frame_stats.frame_seconds_uncapped = 1.0 / 50.0;
    }
    void TearDown() override { overlay_table_reset(); }
};

// Runs the animation step of slot `slot` until nothing changes; returns the number of steps that moved.
int animate_until_still(int slot) {
    const auto i = static_cast<size_t>(slot);
    for (int frames = 0; frames < 100000; ++frames) {
        const float before[] = {S.x[i], S.y[i], S.red[i], S.green[i], S.alpha[i], S.zoom[i], S.rotation[i]};
        overlay_animate(S, slot);
        const float after[] = {S.x[i], S.y[i], S.red[i], S.green[i], S.alpha[i], S.zoom[i], S.rotation[i]};
        if (std::memcmp(before, after, sizeof before) == 0) return frames;
    }
    return -1;
}

std::vector<uint16_t> units(const char* utf8) {
    std::vector<uint16_t> out;
    const uint16_t* p = utf8_to_utf16(utf8);
    while (*p != 0) out.push_back(*p++);
    return out;
}

TEST_F(ElementsTest, TablesGrowWithDefaultsAndRefuseWildIndices) {
    overlay_set_pos(10, 0.5f, 0.5f);
    EXPECT_EQ(S.count, 14);
    EXPECT_EQ(overlay_table.children.size(), 14u);
    EXPECT_EQ(S.zoom_target[13], -1.0f);
    EXPECT_EQ(S.clip[13 * OVERLAY_CLIP_FLOATS + 7], OVERLAY_NO_CLIP);
    EXPECT_EQ(S.glyph_width[13], 1.0f);
    overlay_ensure(1496);
    overlay_ensure(2000);
    EXPECT_EQ(S.count, 2064);

    overlay_child_set_pos(3, 6, 0.25f, 0.75f);
    EXPECT_EQ(overlay_table.children[3].count, 10);
    EXPECT_EQ(overlay_table.children[3].target_y[6], 0.75f);

    // Reads, negative indices and indices no demo could use leave the table as it is.
    overlay_child_set_pos(3, -1, 1.0f, 1.0f);
    overlay_child_set_text(3, 1 << 30, "x", 0, 0, 1, 1, 1, 1, 0.1f, 0, 1, 0);
    overlay_set_text(1 << 30, "x", 0, 0, 0, 1, 1, 1, 1, 0.1f, 1, 0);
    overlay_set_visible(-5, 1);
    overlay_child_hide(20, 0, 1);
    overlay_child_reset_transform(3, 10);
    EXPECT_EQ(overlay_get_x(1 << 30), 0.0f);
    EXPECT_EQ(overlay_get_texture(5000), 0);
    EXPECT_EQ(overlay_hit(-1), 0);
    EXPECT_EQ(S.count, 2064);
    EXPECT_EQ(overlay_table.children[3].count, 10);
    EXPECT_EQ(overlay_table.children[20].count, 0);
}

TEST_F(ElementsTest, ZoomAndRotationJumpOrAnimateToTheirTargets) {
    overlay_set_zoom(1, 2.0f, -1.0f);
    EXPECT_EQ(S.zoom[1], 1.0f);
    EXPECT_EQ(animate_until_still(1), 0);

    overlay_reset_transform(1);
    overlay_set_zoom(1, 2.0f, 0.5f);
    EXPECT_EQ(S.zoom[1], 0.0f);
    overlay_animate(S, 1);
    EXPECT_FLOAT_EQ(S.zoom[1], 0.01f);
    // 1 factor unit at 0.5 per second and 50 frames per second, give or take the float sum's last step.
    EXPECT_NEAR(animate_until_still(1), 99, 1);
    EXPECT_EQ(S.zoom[1], 1.0f);

    overlay_set_rotation(2, -90.0f, 45.0f);
    EXPECT_NEAR(animate_until_still(2), 100, 1);
    EXPECT_EQ(S.rotation[2], -90.0f);
    // A rate of exactly 0 sets the angle and stops animating it.
    overlay_set_rotation(2, 30.0f, 0.0f);
    EXPECT_EQ(overlay_get_rotation(2), 30.0f);
    S.rotation_target[2] = 60.0f;
    EXPECT_EQ(animate_until_still(2), 0);
}

TEST_F(ElementsTest, AlphaScaleFadesInHoldsAndFadesOut) {
    EXPECT_GE(overlay_opacity(1.5f), 1.0f);
    EXPECT_FLOAT_EQ(overlay_opacity(2.5f), 0.5f);
    EXPECT_LE(overlay_opacity(3.0f), 0.0f);
}

TEST_F(ElementsTest, PositionAndColourMoveAboveTheSpeedThresholdAndLandOnTheTarget) {
    overlay_set_color(1, 0.5f, 0.5f, 0.5f, 0.0f);
    overlay_move_to(1, 0.5f, 0.5f, 0.002f, 0.8f, 1.0f, 1.0f, 3.0f);
    EXPECT_EQ(animate_until_still(1), 0);

    // A -1 argument keeps red's earlier target; a target of -1 in the column stops blue.
    overlay_move_to(1, 0.3f, -0.2f, 0.5f, -1.0f, 0.0f, 1.0f, 3.0f);
    S.target_blue[1] = -1.0f;
    overlay_animate(S, 1);
    EXPECT_FLOAT_EQ(S.x[1], 0.01f);
    EXPECT_FLOAT_EQ(S.y[1], -0.01f);
    EXPECT_NEAR(animate_until_still(1), 299, 1);  // alpha travels 3 units at 0.01 a frame
    EXPECT_EQ(S.x[1], 0.3f);
    EXPECT_EQ(S.y[1], -0.2f);
    EXPECT_EQ(S.red[1], 0.8f);
    EXPECT_EQ(S.green[1], 0.0f);
    EXPECT_EQ(S.blue[1], 0.5f);
    EXPECT_EQ(S.alpha[1], 3.0f);
}

TEST_F(ElementsTest, TextIsStoredWithFourZeroBytesAndUtf8BecomesUtf16) {
    overlay_set_size(1, 0.5f, 0.5f);
    overlay_set_text(1, "A\xC3\xA9", TEXT_UTF8, 0.1f, 0.2f, 1, 0, 0, 1, 0.05f, 2.0f, 1);
    const std::vector<uint8_t> utf16 = {0x41, 0, 0xE9, 0, 0, 0, 0, 0};
    EXPECT_EQ(S.text[1], utf16);
    EXPECT_EQ(S.text_encoding[1], TEXT_UTF16);
    EXPECT_EQ(S.visible[1], 1);
    EXPECT_EQ(S.target_y[1], 0.2f);
    EXPECT_EQ(S.width[1], 0.0f);

    // UTF-16 ends at a zero unit, not at a zero byte inside a unit.
    overlay_set_text(2, "A\0\0B\0\0", TEXT_UTF16, 0, 0, 1, 1, 1, 1, 0.05f, 1, 0);
    EXPECT_EQ(S.text[2], (std::vector<uint8_t>{0x41, 0, 0, 0x42, 0, 0, 0, 0}));
    overlay_set_text(2, "Hi", TEXT_LATIN1_STYLE2, 0, 0, 1, 1, 1, 1, 0.05f, 1, 0);
    EXPECT_EQ(S.text[2], (std::vector<uint8_t>{'H', 'i', 0, 0, 0, 0}));

    // An empty text only takes the old one away.
    overlay_set_text(1, "", TEXT_LATIN1, 0.9f, 0.9f, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(S.text[1].empty());
    EXPECT_EQ(S.visible[1], 1);
    EXPECT_EQ(S.x[1], 0.1f);

    // A child keeps its size, and a shorter text replaces a longer one completely.
    overlay_child_ensure(1, 0);
    OverlayElements& c = overlay_table.children[1];
    c.width[0] = 0.5f;
    overlay_child_set_text(1, 0, "longer text", 0, 0, 1, 1, 1, 1, 0.05f, TEXT_LATIN1, 1, 0);
    overlay_child_set_text(1, 0, "ab", 0, 0, 1, 1, 1, 1, 0.05f, TEXT_LATIN1, 1, 0);
    EXPECT_EQ(c.text[0], (std::vector<uint8_t>{'a', 'b', 0, 0, 0, 0}));
    EXPECT_EQ(c.width[0], 0.5f);
}

TEST_F(ElementsTest, HidingFreesTextsButKeepsPicturesAndPlaces) {
    overlay_set_text(3, "caption", TEXT_LATIN1, 0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 1.0f, 0.05f, 1, 0);
    overlay_set_rotation(3, 45.0f, -1.0f);
    overlay_child_set_text(3, 0, "child", 0, 0, 1, 1, 1, 1, 0.05f, TEXT_LATIN1, 1, 0);
    overlay_child_set_image(3, 1, 0.5f, 0.5f, 0.1f, 0.1f, nullptr, 1, 0, 0, 1);
    overlay_child_set_rotation(3, 0, 10.0f, -1.0f);
    overlay_hide(3);
    EXPECT_EQ(S.visible[3], 0);
    EXPECT_TRUE(S.text[3].empty());
    EXPECT_EQ(S.rotation[3], 0.0f);
    EXPECT_EQ(overlay_get_x(3), 0.1f);
    EXPECT_EQ(overlay_get_blue(3), 0.5f);
    const OverlayElements& c = overlay_table.children[3];
    EXPECT_EQ(c.visible[0], 0);
    EXPECT_TRUE(c.text[0].empty());
    EXPECT_EQ(c.rotation[0], 0.0f);
    EXPECT_EQ(c.visible[1], 1);  // a picture child is shown again with its slot

    // A hidden slot takes no texture; shown again it does.
    overlay_set_texture(3, 7);
    EXPECT_EQ(overlay_get_texture(3), 0);
    overlay_set_visible(3, 1);
    overlay_set_texture(3, 7);
    EXPECT_EQ(overlay_get_texture(3), 7);
}

TEST_F(ElementsTest, LoadingBarGrowsAndIsGoneAtOneHundred) {
    overlay_set_text(2, "stale", TEXT_LATIN1, 0, 0, 1, 1, 1, 1, 0.05f, 1, 0);
    loading_progress(40);
    EXPECT_TRUE(S.text[2].empty());
    EXPECT_FLOAT_EQ(overlay_get_width(4), 0.4f);
    for (int s = 1; s <= 4; ++s) EXPECT_EQ(overlay_is_visible(s), 1) << s;
    input_state.pointer_u = 0.2f;
    input_state.pointer_v = 0.5f;
    EXPECT_EQ(overlay_hit(4), 1);
    input_state.pointer_u = 0.4f;  // on the edge
    EXPECT_EQ(overlay_hit(4), 0);
    input_reset();
    loading_progress(100);
    for (int s = 1; s <= 4; ++s) EXPECT_EQ(overlay_is_visible(s), 0) << s;
}

TEST_F(ElementsTest, Utf8DecodesGoodCharactersAndTurnsBadBytesIntoSpaces) {
    EXPECT_EQ(units("A\xC3\xA9"), (std::vector<uint16_t>{0x41, 0xE9}));
    EXPECT_EQ(units("\xA9x"), (std::vector<uint16_t>{' ', 'x'}));
    EXPECT_EQ(units("\xF0\x9F\x98\x80!"), (std::vector<uint16_t>{0xF600, '!'}));  // U+1F600, low 16 bits
    EXPECT_EQ(units("\xE2\x82\xACz\xE2\x82q"), (std::vector<uint16_t>{0x20AC, 'z', ' ', 'q'}));
    EXPECT_EQ(units("\xFF\xC3"), (std::vector<uint16_t>{' ', ' '}));

    // Sequences cut short by the end of the string: the decoder stops at the terminator.
    for (const char* cut : {"\xC3", "\xE2\x82", "\xF0\x9F\x98"}) {
        const size_t n = std::strlen(cut);
        std::vector<uint8_t> exact(cut, cut + n + 1);
        int used = 0;
        EXPECT_EQ(utf8_decode_char(exact.data(), &used), 32u);
        EXPECT_EQ(used, static_cast<int>(n));
    }
    int used = -1;
    EXPECT_EQ(utf8_decode_char(nullptr, &used), 32u);
    EXPECT_EQ(used, 0);
    EXPECT_EQ(utf8_to_utf16(nullptr), nullptr);

    // A long caption converts whole, and the next call still works after the buffer is started anew.
    const std::string text(150000, 'k');
    EXPECT_EQ(units(text.c_str()).size(), text.size());
    EXPECT_EQ(units("ok"), (std::vector<uint16_t>{'o', 'k'}));

    // The result handed back in as UTF-8 converts as the text it holds although the call rewrites it.
    std::string k4b4b;
    for (int i = 0; i < 100; ++i) k4b4b += "\xE4\xAD\x8B";  // U+4B4B, a unit of two 'K' bytes
    const uint16_t* wide = utf8_to_utf16(k4b4b.c_str());
    EXPECT_EQ(units(reinterpret_cast<const char*>(wide)), std::vector<uint16_t>(200, 'K'));
}

}  // namespace
