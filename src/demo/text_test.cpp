// The text test: a second entry sequence beside the demo, which nothing in the demo calls. It opens the
// demo's window (or falls back to the terminal) and draws one test caption in each of the three caption
// styles, Latin and Japanese in the Unicode font and Latin-1 in the two built-in styles, with a waving
// outlined caption under them, all moving with the elapsed time. Escape, the window's close button,
// SIGTERM or SIGINT end it with status 0, as they end the demo.
#include <cmath>

#include "core/clock.h"
#include "display/framebuffer.h"
#include "display/window.h"
#include "overlay/elements.h"
#include "overlay/text.h"
#include "render/render_config.h"
#include "shell/frame.h"
#include "shell/frame_end.h"
#include "shell/probe.h"

namespace {

// Slots: one per plain line, and the outlined caption's ten per character from WAVE_FIRST on.
constexpr int LINE_FIRST = 1;
constexpr int WAVE_FIRST = 100;

struct TestLine {
    const char* text;
    int encoding;
    float red, green, blue;
};

// The built-in glyphs are 8-bit: their line is Latin-1, its accented letters written as bytes.
const TestLine lines[] = {
    {"Unicode font: The quick brown fox 0123", TEXT_UTF8, 1.0f, 1.0f, 1.0f},
    {"\xe5\xa4\xa2\xe3\x81\xaf\xe5\x85\x89\xe3\x81\xa8\xe8\x89\xb2\xe3\x82\x84 "
     "\xe5\xb0\x8f\xe3\x81\x95\xe3\x81\x84\xe3\x81\xae",
     TEXT_UTF8, 1.0f, 0.8f, 0.5f},
    {"Plain style: Quick brown fox \xe0\xe9\xee\xf5\xfc \xc5\xd8 !?", TEXT_LATIN1, 0.6f, 1.0f, 0.6f},
    {"Second style: Quick brown fox \xe0\xe9\xee\xf5\xfc \xc5\xd8 !?", TEXT_LATIN1_STYLE2, 0.6f, 0.8f, 1.0f},
};
constexpr int LINE_COUNT = static_cast<int>(sizeof lines / sizeof lines[0]);

// Each line drifts across and back on its own period, so the styles never move in step.
void place_lines(float t) {
    for (int i = 0; i < LINE_COUNT; ++i) {
        const float x = 0.05f + 0.2f * (0.5f + 0.5f * std::sin(t * (0.7f + 0.25f * static_cast<float>(i))));
        const float y = 0.1f + 0.14f * static_cast<float>(i);
        overlay_set_text(LINE_FIRST + i, lines[i].text, lines[i].encoding, x, y, lines[i].red, lines[i].green,
                         lines[i].blue, 1.0f, 0.045f, 0.5f, 0);
    }
    caption_wave(WAVE_FIRST, "Velmorine \xe5\xa4\xa2", 0.1f + 0.1f * std::sin(t * 0.5f), 0.72f, 1.0f, 0.3f,
                 0.6f, 1.0f, 0.08f, 0.6f, t * 4.0f);
}

}  // namespace

int main() {
    system_probe();
    frame_end_catch_signals();
    set_resolution(512, 256);
    window_open(512, 256, 32, frame_buffer.fb_width, frame_buffer.fb_height);
    if (display_state.x_display != nullptr && display_state.x_window != 0)
        window_set_title("Velmorine! text test");
    render_config.frame_clear = 1;
    const double start = engine_time();
    for (;;) {
        frame_end();
        place_lines(static_cast<float>(engine_time() - start));
        display_sync();
        render_frame();
    }
}
