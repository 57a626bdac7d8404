// The scene skeleton's steps and the timeline's hooks.
#include "demo/scene_skeleton.h"

#include "display/window.h"
#include "scene/camera.h"
#include "shell/frame.h"

SceneHooks scene_hooks;

SceneClock scene_begin(int position) {
    const SceneClock clock{position, engine_time(), scene_list[position - 1].seconds};
    if (scene_hooks.scene_started) scene_hooks.scene_started(position);
    return clock;
}

void scene_show(SceneShow show, void (*own_render)()) {
    camera_update();
    if (show == SceneShow::frame || show == SceneShow::own) display_sync();
    if ((show == SceneShow::own || show == SceneShow::own_no_sync) && own_render != nullptr) {
        own_render();
    } else {
        render_frame();
    }
    if (scene_hooks.frame_done) scene_hooks.frame_done();
}

bool scene_goes_on(const SceneClock& clock) {
    return !scene_hooks.stop && clock.elapsed() <= clock.seconds;
}

void scene_end(const SceneClock& clock) {
    if (scene_hooks.scene_ended) scene_hooks.scene_ended(clock.position);
}
