// The one-line text input: applies the keys pressed this frame to an editable line and gives its display
// form with a blinking cursor. Main thread, between frames.
#include <cstring>
#include <string>

#include "core/clock.h"
#include "display/input.h"
#include "overlay/text.h"

namespace {

// The line is rebuilt and shown through 4096-byte buffers: longer lines are cut there.
constexpr size_t LINE_LIMIT = 4095;
// Shown at the cursor while the bar is off: blank in the built-in glyphs, so the line keeps its width.
constexpr char HIDDEN_CURSOR = static_cast<char>(255);

bool take(int code) {
    uint8_t& flag = input_state.key_pressed[code];
    const bool set = flag != 0;
    flag = 0;
    return set;
}

bool accepted(int code, int restricted) {
    if (code == 127) return false;
    if (!restricted) return true;
    return (code >= '0' && code <= '9') || code == '_' || (code >= 'a' && code <= '{');
}

// Copies `s` into `out` of `size` bytes, cut to fit with its terminating zero.
void copy_within(char* out, int size, const std::string& s) {
    const size_t room = static_cast<size_t>(size) - 1;
    const size_t n = s.size() < room ? s.size() : room;
    std::memcpy(out, s.data(), n);
    out[n] = 0;
}

}  // namespace

int text_input_edit(char* line, int* cursor, int size, int restricted, char* display) {
    if (line == nullptr || cursor == nullptr || size < 1) return 0;
    // The caller's buffer may have lost its terminator; the line never reads past `size`.
    size_t len = strnlen(line, static_cast<size_t>(size));
    if (len == static_cast<size_t>(size)) line[--len] = 0;
    std::string s(line, len);

    int at = *cursor;
    if (take(KEY_LEFT)) --at;
    if (take(KEY_RIGHT)) ++at;
    if (at < 0) at = 0;
    if (static_cast<size_t>(at) > s.size()) at = static_cast<int>(s.size());

    if (restricted) {
        for (int c = 'A'; c <= 'Z'; ++c) {
            if (take(c)) input_state.key_pressed[c - 'A' + 'a'] = 1;
        }
    }
    // Keys are taken only while the line has room for one more character and its terminator; the rest
    // stay pressed.
    for (int c = 32; c <= 255 && s.size() + 1 < static_cast<size_t>(size); ++c) {
        if (!input_state.key_pressed[c] || !accepted(c, restricted)) continue;
        take(c);
        s.insert(static_cast<size_t>(at), 1, static_cast<char>(c));
        if (s.size() > LINE_LIMIT) s.resize(LINE_LIMIT);
        ++at;
        if (static_cast<size_t>(at) > s.size()) at = static_cast<int>(s.size());
    }

    if (take(KEY_BACKSPACE) && !s.empty() && at > 0) {
        s.erase(static_cast<size_t>(at) - 1, 1);
        --at;
    }
    if (take(KEY_DELETE) && !s.empty() && static_cast<size_t>(at) < s.size())
        s.erase(static_cast<size_t>(at), 1);

    copy_within(line, size, s);
    *cursor = at;
    if (display == nullptr) return 0;

    // The bar shows for the first half of every second, in quarter-second steps.
    const bool bar = static_cast<long long>(engine_time() * 4) % 4 < 2;
    std::string shown = s;
    shown.insert(static_cast<size_t>(at), 1, bar ? '|' : HIDDEN_CURSOR);
    if (shown.size() > LINE_LIMIT) shown.resize(LINE_LIMIT);
    if (shown.size() + 1 > static_cast<size_t>(size)) shown.resize(static_cast<size_t>(size) - 1);
    if (shown.empty() && size >= 2) shown.push_back(' ');
    copy_within(display, size, shown);
    return static_cast<int>(strnlen(display, static_cast<size_t>(size)));
}
