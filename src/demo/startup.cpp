// The start-up sequence, step by step: the bar's percentages follow the loading's cost, and the bar
// reaches the screen only with the next presented frame. The theme decodes on its own thread beside
// every step, and the first pass's music_start joins it.
#include "demo/startup.h"

#include "assets/figure.h"
#include "assets/model.h"
#include "assets/texture.h"
#include "audio/channels.h"
#include "demo/outdoor_world.h"
#include "demo/scene_cycle.h"
#include "display/framebuffer.h"
#include "display/window.h"
#include "overlay/elements.h"
#include "overlay/overlay.h"
#include "render/render_config.h"
#include "scene/object.h"
#include "scene/transform.h"
#include "shell/frame.h"

namespace {

// Textures every scene may use, loaded once; the last one doubles as the media check.
const char* const preloaded_textures[] = {"egbolt2.jpg", "fal1.png", "gomb.png", "szikra1.png",
                                          "egbolt3.jpg"};

bool media_present() {
    const TextureId t = tex_find("egbolt3.jpg");
    return t > 0 && t < texture_table.capacity && tex_has_pixels(t);
}

// The animated figures every scene may use: ids 200 to 206 (206 a second copy of 201's picture).
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

}  // namespace

bool startup_load(bool headless) {
    // The longest load of all starts first: the whole theme, decoded once for every pass.
    if (!headless) music_preload();
    half_height(1);
    set_resolution(512, 256);
    if (!headless) {
        window_open(512, 256, 32, frame_buffer.fb_width, frame_buffer.fb_height);
        if (display_state.x_display != nullptr && display_state.x_window != 0) window_set_title("Velmorine!");
    }
    raster_split(0);
    render_config.frame_clear = 1;

    loading_progress(1);
    overlay_present();
    load_figures();
    loading_progress(20);
    overlay_present();
    loading_progress(30);
    render_frame();
    for (ObjectId id = FIRST_FIGURE; id <= LAST_FIGURE; ++id) obj_set_enabled(id, 0);
    outdoor_world(0);
    loading_progress(70);
    render_frame();
    obj_hide_scenery();
    loading_progress(80);
    render_frame();
    load_picture_objects();

    for (const char* name : preloaded_textures) tex_load(name);
    if (!media_present()) {
        // The program exits next: not with the decode still running beside its exit handlers.
        music_release();
        return false;
    }
    loading_progress(85);
    render_frame();
    loading_progress(100);
    return true;
}

void startup_play() {
    for (;;) scene_cycle_pass();
}
