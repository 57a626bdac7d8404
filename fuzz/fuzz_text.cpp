// Fuzz target for caption text: any bytes through the UTF-8 decoder, the UTF-16 conversion and the
// text setters of every encoding, with the stored copies read back and checked.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "overlay/elements.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
    return 0;
}
