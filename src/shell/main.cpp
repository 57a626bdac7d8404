// The program's entry: brings the engine up in a fixed order, preloads the shared textures, refuses to
// run without its media, then plays. Main thread.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "assets/texture.h"
#include "display/framebuffer.h"
#include "display/present.h"
#include "display/window.h"
#include "render/render_config.h"
#include "shell/clock.h"
#include "shell/probe.h"

namespace {

// Textures every scene may use, loaded once; the last one doubles as the media check.
const char* const preloaded_textures[] = {"egbolt2.jpg", "fal1.png", "gomb.png", "szikra1.png", "egbolt3.jpg"};

bool media_present() {
    TextureId t = tex_find("egbolt3.jpg");
    return t > 0 && t < texture_table.capacity && tex_has_pixels(t);
}

// Until the scenes play: the dusk sky scrolling past and the glowing ball bouncing over it, so a window
// that shows this has proved the clock, the texture table, the frame buffer and presentation.
void draw_test_card(double seconds) {
    const int w = frame_buffer.fb_width, h = frame_buffer.fb_height;
    uint8_t* out = frame_buffer.fb_pixels;
    TextureId sky = tex_find("egbolt3.jpg");
    TextureId ball = tex_find("gomb.png");
    if (texture_table.channels[sky] != 3) return;
    const int sw = texture_table.width[sky], sh = texture_table.height[sky];
    const uint8_t* sp = texture_table.pixels[sky];
    const int shift = static_cast<int>(seconds * 40.0) % sw;
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = sp + static_cast<size_t>(y * sh / h) * sw * 3;
        for (int x = 0; x < w; ++x) {
            const uint8_t* s = row + static_cast<size_t>((x * sw / w + shift) % sw) * 3;
            uint8_t* d = out + (static_cast<size_t>(y) * w + x) * 3;
            d[0] = s[0], d[1] = s[1], d[2] = s[2];
        }
    }
    if (!tex_has_pixels(ball) || texture_table.channels[ball] != 4) return;
    const int bw = texture_table.width[ball], bh = texture_table.height[ball];
    const int cx = static_cast<int>((0.5 + 0.35 * std::sin(seconds * 1.3)) * w) - bw / 2;
    const int cy = static_cast<int>((0.55 - 0.35 * std::fabs(std::sin(seconds * 2.1))) * h) - bh / 2;
    for (int y = 0; y < bh; ++y) {
        if (cy + y < 0 || cy + y >= h) continue;
        for (int x = 0; x < bw; ++x) {
            if (cx + x < 0 || cx + x >= w) continue;
            const uint8_t* s = texture_table.pixels[ball] + (static_cast<size_t>(y) * bw + x) * 4;
            uint8_t* d = out + (static_cast<size_t>(cy + y) * w + cx + x) * 3;
            for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>((s[c] * s[3] + d[c] * (255 - s[3])) / 255);
        }
    }
}

void show_frame() {
    if (display_cpu_count() > 1) {
        present_async(frame_buffer.fb_pixels, frame_buffer.fb_width, frame_buffer.fb_height);
    } else {
        present_sized(frame_buffer.fb_pixels, frame_buffer.fb_width, frame_buffer.fb_height);
    }
}

}  // namespace

int main() {
    system_probe();
    half_height(1);
    set_resolution(512, 256);
    window_open(512, 256, 32, frame_buffer.fb_width, frame_buffer.fb_height);
    if (display_state.x_display != nullptr && display_state.x_window != 0) window_set_title("Velmorine!");
    raster_split(0);
    render_config.frame_clear = 1;

    for (const char* name : preloaded_textures) tex_load(name);
    if (!media_present()) {
        // Not status 0: a program that cannot run must not report success.
        std::puts("media files missing");
        std::exit(1);
    }

    while (!display_state.quit_requested) {
        display_sync();
        draw_test_card(engine_time());
        show_frame();
        // Nothing shows without a window yet: don't spin a core on frames nobody sees.
        if (display_state.x_display == nullptr) usleep(20000);
    }
    present_join();
    std::exit(0);
}
