// The statistics display: the frame rate and what the frame cost, as overlay text. Main thread.
#include "shell/hud.h"

#include <cstdio>

#include "core/cpu.h"
#include "core/frame_stats.h"
#include "display/framebuffer.h"
#include "overlay/elements.h"
#include "render/raster/raster.h"
#include "render/render_config.h"
#include "shell/probe.h"

namespace {

// The frame-rate text, fewer decimals the faster the frames come: "4.500000 fps", "7.25 fps",
// "12.3 fps", "59 fps".
void format_rate(char* out, size_t size, double f) {
    if (f > 30) {
        // Truncated as the counter shows whole frames; a rate beyond int (a clock glitch) is held there.
        const int whole = f < 2147483647.0 ? static_cast<int>(f) : 2147483647;
        std::snprintf(out, size, "%d fps", whole);
    } else if (f > 10) {
        std::snprintf(out, size, "%.1f fps", f);
    } else if (f > 5) {
        std::snprintf(out, size, "%.2f fps", f);
    } else {
        std::snprintf(out, size, "%f fps", f);
    }
}

}  // namespace

void hud_update() {
    hud_update_at(HUD_FIRST_SLOT);
}

void hud_update_at(int first) {
    // The long window's first phases are too short to count rendered frames: the plain rate stands in.
    const double f =
        frame_stats_clock.long_window.phase <= 1 ? frame_stats.frames_per_second : frame_stats.rendered_fps;
    const int width = frame_buffer.fb_width;
    const int height = frame_buffer.fb_height;

    // Narrow frames squeeze normalised x units, so glyphs are stretched back towards square pixels.
    const double aspect = height > 0 ? static_cast<double>(width) / height : 0.0;
    float glyph_width = aspect > 2.4 ? 0.2f : 0.3f;
    if (aspect < 1.4) glyph_width = 0.4f;
    if (aspect < 1.1) glyph_width = 0.6f;
    if (aspect < 0.8) glyph_width = 0.7f;
    if (aspect < 0.5) glyph_width = 1.2f;

    // Small frames get relatively larger text so it stays legible.
    float margin = 0.03f, unit = 0.06f;
    if (width >= 400 && height >= 400) {
        margin = 0.015f;
        unit = 0.03f;
    } else if (width > 199 && height > 199) {
        margin = 0.02f;
        unit = 0.04f;
    }
    const float small = width > 1000 && height > 500 ? unit * 0.8f : unit;

    float red = 1, green = 1, blue = 0.2f;
    if (f > 29) {
        red = 0.5f;
    } else if (f < 20) {
        green = 0.5f;
    }

    char rate[15];
    format_rate(rate, sizeof rate, f);
    overlay_set_text(first, rate, TEXT_LATIN1_STYLE2, margin, unit, red, green, blue, 1, unit, glyph_width,
                     1);

    char line[100];
    char resolution[64];
    std::snprintf(resolution, sizeof resolution, "%dx%d resolution%s", width, height,
                  render_config.half_height_mode ? " (halfscan)" : "");
    overlay_set_text(first + 1, resolution, TEXT_LATIN1_STYLE2, margin, 3 * unit, 0.8f, 0.8f, 0.8f, 1, small,
                     glyph_width, 0);
    std::snprintf(line, sizeof line, "%s", system_cpu_name());
    overlay_set_text(first + 2, line, TEXT_LATIN1_STYLE2, margin, 4.5f * unit, 0.8f, 0.8f, 0.8f, 1, small,
                     glyph_width, 0);
    std::snprintf(line, sizeof line, "%d execution core (%d bit)", cpu_count(), 32);
    overlay_set_text(first + 3, line, TEXT_LATIN1_STYLE2, margin, 6 * unit, 0.8f, 0.8f, 0.8f, 1, small,
                     glyph_width, 0);
    std::snprintf(line, sizeof line, "%d poly rendered, %d pre-culled", raster_state.polys_drawn,
                  raster_state.polys_culled);
    overlay_set_text(first + 4, line, TEXT_LATIN1_STYLE2, margin, 7.5f * unit, 0.8f, 0.8f, 0.8f, 1, small,
                     glyph_width, 0);
}
