// The program's entry: brings the engine up in a fixed order, preloads the shared textures, refuses to
// run without its media, then plays. Main thread.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "assets/figure.h"
#include "assets/model.h"
#include "assets/texture.h"
#include "audio/channels.h"
#include "core/clock.h"
#include "core/log.h"
#include "display/framebuffer.h"
#include "display/present.h"
#include "display/window.h"
#include "overlay/elements.h"
#include "overlay/overlay.h"
#include "overlay/text.h"
#include "render/render_config.h"
#include "scene/camera.h"
#include "scene/object.h"
#include "scene/transform.h"
#include "shell/frame.h"
#include "shell/frame_end.h"
#include "shell/probe.h"

namespace {

// Textures every scene may use, loaded once; the last one doubles as the media check.
const char* const preloaded_textures[] = {"egbolt2.jpg", "fal1.png", "gomb.png", "szikra1.png",
                                          "egbolt3.jpg"};

bool media_present() {
    TextureId t = tex_find("egbolt3.jpg");
    return t > 0 && t < texture_table.capacity && tex_has_pixels(t);
}

// The animated figures every scene may use: ids 200 to 206.
constexpr ObjectId FIRST_FIGURE = 200, LAST_FIGURE = 206;
const char* const figure_files[] = {"a1.png",   "mah1.png", "mah2.png", "mah3.png",
                                    "mah4.png", "mah5.png", "mah1.png"};

void load_figures() {
    for (ObjectId id = FIRST_FIGURE; id <= LAST_FIGURE; ++id) model_load(id, figure_files[id - FIRST_FIGURE]);
    for (ObjectId id = FIRST_FIGURE; id <= LAST_FIGURE; ++id) {
        obj_ensure(id, 0);
        // Their slow clips are re-skinned on every other frame only.
        obj_table.anim_half_rate[static_cast<size_t>(id)] = 2;
    }
}

// The picture objects of the scenes, ids 2051 to 2057, built with the bar moving and then put away.
void load_picture_objects() {
    figure_load(2051, "raw_palca.png");
    loading_progress(82);
    obj_set_enabled(2051, 0);
    figure_load(2052, "animal_allat1.png");
    figure_load(2053, "animal_allat2.png");
    figure_load(2054, "animal_allat3.png");
    loading_progress(83);
    render_frame();
    for (ObjectId id : {2052, 2053, 2054}) obj_set_enabled(id, 0);
    figure_load(2055, "animal_allat4.png");
    figure_load(2056, "animal_allat5.png");
    loading_progress(84);
    render_frame();
    for (ObjectId id : {2055, 2056, 2057}) obj_set_enabled(id, 0);
}

// Until the scenes play: a wall-textured cube turning in front of the dusk sky, with a glowing ball
// circling it, drawn by the full frame pipeline.
constexpr ObjectId TEST_SKY = 1, TEST_CUBE = 2, TEST_BALL = 3;
constexpr int TITLE_SLOT = 100;
// One pass of the demo's scenes, the length the music is written for.
constexpr double PASS_SECONDS = 218.5;

// Appends the two triangles (and their texture coordinates) of the quad a, b, c, d, corners in order.
void push_quad(std::vector<float>& tris, std::vector<float>& uvs, const float (&q)[4][3]) {
    static const float corner_uv[4][2] = {{0, 1}, {1, 1}, {1, 0}, {0, 0}};
    for (int k : {0, 1, 2, 0, 2, 3}) {
        tris.insert(tris.end(), q[k], q[k] + 3);
        uvs.insert(uvs.end(), corner_uv[k], corner_uv[k] + 2);
    }
}

void build_box(ObjectId id, float hx, float hy, float hz, TextureId texture) {
    std::vector<float> tris, uvs;
    const float faces[6][4][3] = {
        {{-hx, -hy, -hz}, {hx, -hy, -hz}, {hx, hy, -hz}, {-hx, hy, -hz}},  // front
        {{hx, -hy, hz}, {-hx, -hy, hz}, {-hx, hy, hz}, {hx, hy, hz}},      // back
        {{-hx, -hy, hz}, {-hx, -hy, -hz}, {-hx, hy, -hz}, {-hx, hy, hz}},  // left
        {{hx, -hy, -hz}, {hx, -hy, hz}, {hx, hy, hz}, {hx, hy, -hz}},      // right
        {{-hx, hy, -hz}, {hx, hy, -hz}, {hx, hy, hz}, {-hx, hy, hz}},      // top
        {{-hx, -hy, hz}, {hx, -hy, hz}, {hx, -hy, -hz}, {-hx, -hy, -hz}},  // bottom
    };
    for (const auto& f : faces) push_quad(tris, uvs, f);
    obj_set_part_triangles(id, 0, tris.data(), uvs.data(), nullptr, texture,
                           static_cast<int>(tris.size() / 9));
}

void build_test_scene() {
    std::vector<float> tris, uvs;
    // Far enough that its texels barely move with the eye; wide enough to fill the view.
    const float sky[4][3] = {{-40, -12, 30}, {40, -12, 30}, {40, 22, 30}, {-40, 22, 30}};
    push_quad(tris, uvs, sky);
    obj_set_part_triangles(TEST_SKY, 0, tris.data(), uvs.data(), nullptr, tex_find("egbolt3.jpg"), 2);
    build_box(TEST_CUBE, 1, 1, 1, tex_find("fal1.png"));
    tris.clear(), uvs.clear();
    const float ball[4][3] = {{-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}, {0.5f, 0.5f, 0}, {-0.5f, 0.5f, 0}};
    push_quad(tris, uvs, ball);
    obj_set_part_triangles(TEST_BALL, 0, tris.data(), uvs.data(), nullptr, tex_find("gomb.png"), 2);
    camera_set(0, 1.5f, -6, 0, 0, 0);
}

void animate_test_scene(double seconds) {
    const float t = static_cast<float>(seconds);
    // The demo's name along the bottom, waving: ink white, outlined in a dusky orange.
    caption_wave(TITLE_SLOT, "Velmorine", 0.3f, 0.78f, 1.0f, 0.15f, 0.45f, 1.0f, 0.12f, 0.36f, 120 * t);
    obj_set_rotation(TEST_CUBE, 20 * t, 35 * t, 0);
    obj_set_position(TEST_BALL, 2.2f * std::sin(t * 1.1f), 0.6f * std::sin(t * 2.3f),
                     -2.2f * std::cos(t * 1.1f));
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

    // The bar reaches the screen with the next presented frame; the steps follow the loading's cost.
    loading_progress(1);
    overlay_present();
    load_figures();
    loading_progress(20);
    overlay_present();
    loading_progress(30);
    render_frame();
    for (ObjectId id = FIRST_FIGURE; id <= LAST_FIGURE; ++id) obj_set_enabled(id, 0);
    loading_progress(70);
    render_frame();
    obj_hide_scenery();
    loading_progress(80);
    render_frame();
    load_picture_objects();

    for (const char* name : preloaded_textures) tex_load(name);
    if (!media_present()) {
        // Not status 0: a program that cannot run must not report success.
        log_message(LogStream::out, "media files missing\n");
        std::exit(1);
    }
    loading_progress(85);
    render_frame();
    loading_progress(100);

    build_test_scene();
    music_start();
    double pass_start = engine_time();
    while (!display_state.quit_requested) {
        frame_end();
        // The music restarts with every pass, so the scenes stay in step with it.
        if (engine_time() - pass_start >= PASS_SECONDS) {
            music_start();
            pass_start = engine_time();
        }
        animate_test_scene(engine_time());
        camera_update();
        display_sync();
        render_frame();
        // Without a window the terminal renderer holds the pace (TERMINAL_FPS_MAX frames per second).
    }
    sound_stop(MUSIC_CHANNEL);
    present_join();
    std::exit(0);
}
