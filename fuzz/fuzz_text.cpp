// Fuzz target for caption text: any bytes through the UTF-8 decoder, the UTF-16 conversion and the
// text setters of every encoding, with the stored copies read back and checked; then through text layout
// of a slot and a child in each encoding (plain and turned) and through the outlined caption.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "overlay/elements.h"
#include "overlay/glyphs.h"
#include "overlay/overlay.h"
#include "overlay/text.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// The stored copy of element i of `level`: empty, or at least one character and four zero bytes, in
// an encoding the setters may store.
void check_stored(const OverlayElements& level, size_t i) {
    const std::vector<uint8_t>& t = level.text[i];
    require(level.text_encoding[i] != TEXT_UTF8);
    if (t.empty()) return;
    require(t.size() >= 5);
    for (size_t k = t.size() - 4; k < t.size(); ++k) require(t[k] == 0);
    volatile uint8_t sink = 0;
    for (uint8_t b : t) sink = sink ^ b;
    (void)sink;
}

// Every glyph of the fuzz build's font has ink somewhere (the build makes no font table for it), so
// Unicode text goes through the same texture and spacing paths as with the real font.
void install_font() {
    if (unicode_font.font_tried) return;
    unicode_font.table.resize(UNIFONT_TABLE_BYTES);
    for (size_t i = 0; i < unicode_font.table.size(); ++i) {
        unicode_font.table[i] = static_cast<uint8_t>((i / UNIFONT_GLYPH_BYTES) * 37 + i * 11);
    }
    unicode_font.font_tried = 1;
}

// Lays out slot 1 and its child 2 plain, then turned and zoomed, as the compositor's build pass would,
// and checks that the text padded the list to a multiple of 128 commands.
void lay_out(const uint8_t* data, size_t size) {
    for (int turned = 0; turned < 2; ++turned) {
        const float degrees = turned ? static_cast<float>(size > 0 ? data[0] : 7) * 1.5f : 0.0f;
        overlay_set_rotation(1, degrees, -1);
        overlay_set_zoom(1, turned ? 1.5f : 1.0f, -1);
        overlay_child_set_rotation(1, 2, degrees, -1);
        overlay_state.draw.count = 0;
        text_layout(1, -1);
        require(overlay_state.draw.count % 128 == 0);
        text_layout(1, 2);
        require(overlay_state.draw.count % 128 == 0);
    }
    overlay_state.draw.count = 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    install_font();
    // Exactly the bytes and one terminator, so that any read past the terminator is caught.
    std::vector<uint8_t> text(data, data + size);
    text.push_back(0);
    const size_t length = std::strlen(reinterpret_cast<const char*>(text.data()));

    // The decoder never steps over the terminator and always moves on.
    std::vector<uint32_t> codes;
    for (size_t at = 0; at <= length;) {
        int used = 0;
        const uint32_t code = utf8_decode_char(text.data() + at, &used);
        if (code == 0) break;
        require(used >= 1 && used <= 4 && at + static_cast<size_t>(used) <= length);
        at += static_cast<size_t>(used);
        codes.push_back(code);
    }

    // The conversion gives the low 16 bits of each character up to the first one that decodes to 0.
    const char* chars = reinterpret_cast<const char*>(text.data());
    const uint16_t* units = utf8_to_utf16(chars);
    require(units != nullptr);
    for (size_t k = 0; k < codes.size(); ++k) require(units[k] == (codes[k] & 0xFFFF));
    require(units[codes.size()] == 0);
    // The result handed straight back as UTF-8 text, as a caller copying captions about might.
    overlay_set_text(3, reinterpret_cast<const char*>(units), TEXT_UTF8, 0, 0, 1, 1, 1, 1, 0.05f, 1, 0);
    check_stored(overlay_table.slots, 3);

    // UTF-16 text must end in a zero unit: as few zero bytes as give one at an even offset.
    std::vector<uint8_t> wide(data, data + size);
    wide.resize(size + (size % 2 == 0 ? 2 : 3), 0);

    for (int encoding = 0; encoding <= 3; ++encoding) {
        const char* bytes = encoding == TEXT_UTF16 ? reinterpret_cast<const char*>(wide.data()) : chars;
        overlay_set_text(1, bytes, encoding, 0.1f, 0.2f, 1, 1, 1, 1, 0.05f, 1, encoding & 1);
        check_stored(overlay_table.slots, 1);
        overlay_child_set_text(1, 2, bytes, 0.1f, 0.2f, 1, 1, 1, 1, 0.05f, encoding, 1, 0);
        check_stored(overlay_table.children[1], 2);
        overlay_set_size(1, 0.5f, 0.25f);
        lay_out(data, size);
        if (encoding == TEXT_LATIN1 || encoding == TEXT_LATIN1_STYLE2) {
            const std::vector<uint8_t>& t = overlay_table.slots.text[1];
            require(t.empty() ? length == 0 : t.size() == length + 4);
            if (!t.empty()) require(std::memcmp(t.data(), text.data(), length) == 0);
        }
        // A caption set again from its own stored copy.
        const OverlayElements& slots = overlay_table.slots;
        const std::vector<uint8_t> before = slots.text[1];
        if (!before.empty()) {
            overlay_set_text(1, reinterpret_cast<const char*>(slots.text[1].data()), slots.text_encoding[1],
                             0, 0, 1, 1, 1, 1, 0.05f, 1, 0);
            require(slots.text[1] == before);
        }
    }
    overlay_hide(1);
    require(overlay_table.slots.text[1].empty() && overlay_table.children[1].text[2].empty());

    // An outlined caption takes ten slots per character, up to the first character whose low 16 bits
    // are 0.
    const int n = caption_outlined(3, chars, 0.1f, 0.5f, 1, 1, 1, 0.2f, 0.3f, 0.4f, 1, 0.05f, 0.5f, 0.6f,
                                   0.01f, 0.014f, 30, static_cast<float>(size), 1);
    size_t expected = 0;
    while (expected < codes.size() && (codes[expected] & 0xFFFF) != 0) ++expected;
    require(static_cast<size_t>(n) == expected);
    if (n > 0) {
        require(overlay_table.slots.visible[static_cast<size_t>(3 + 10 * n - 1)] == 1);
        overlay_state.draw.count = 0;
        text_layout(3 + 10 * n - 1, -1);
        overlay_state.draw.count = 0;
    }
    return 0;
}
