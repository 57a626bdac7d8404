// The scene list and the pass: every scene follows the same skeleton (time origin, set-up, a loop of
// frames timed by the engine clock, clean-up), so a pass lasts as long as the music on any machine.
#include "demo/scene_cycle.h"

#include <cmath>

#include "audio/channels.h"
#include "core/clock.h"
#include "display/window.h"
#include "scene/camera.h"
#include "scene/transform.h"
#include "shell/frame.h"
#include "shell/frame_end.h"

float demo_start_time = 0;

namespace {

// The park from a camera that circles the square once a pass, swinging in and out and up and down.
void park_tour(float seconds) {
    const double t0 = engine_time();
    obj_show_scenery();
    do {
        frame_end();
        park_tour_camera(static_cast<float>(engine_time()) - demo_start_time);
        camera_update();
        display_sync();
        render_frame();
    } while (engine_time() - t0 <= seconds);
}

template <int Position>
void tour_scene() {
    park_tour(scene_list[Position - 1].seconds);
}

}  // namespace

const SceneEntry scene_list[SCENE_COUNT] = {
    {tour_scene<1>, 10}, {tour_scene<2>, 5},  {tour_scene<3>, 8},     {tour_scene<4>, 2},
    {tour_scene<5>, 7},  {tour_scene<6>, 6},  {tour_scene<7>, 8},     {tour_scene<8>, 8},
    {tour_scene<9>, 8},  {tour_scene<10>, 8}, {tour_scene<11>, 7},    {tour_scene<12>, 7},
    {tour_scene<13>, 7}, {tour_scene<14>, 7}, {tour_scene<15>, 8},    {tour_scene<16>, 7},
    {tour_scene<17>, 8}, {tour_scene<18>, 8}, {tour_scene<19>, 7.5f}, {tour_scene<20>, 8},
    {tour_scene<21>, 8}, {tour_scene<22>, 8}, {tour_scene<23>, 6},    {tour_scene<24>, 8},
    {tour_scene<25>, 6}, {tour_scene<26>, 8}, {tour_scene<27>, 5},    {tour_scene<28>, 5},
    {tour_scene<29>, 7}, {tour_scene<30>, 6}, {tour_scene<31>, 7},
};

void park_tour_camera(float pass_seconds) {
    // One turn in 218.5 s, the length of a pass.
    const float turn = pass_seconds * (2 * 3.14159265f / 218.5f);
    // Inside the ring of trees, which begins 20 m out from the middle of the square.
    const float radius = 11 + 3 * std::sin(turn * 3);
    const float height = 1.6f + 1.2f * std::sin(turn * 5 + 1);
    camera_target(std::sin(turn) * radius, height, 2 + std::cos(turn) * radius, 0, -0.4f, 3, -1, 0.9f);
}

void scene_cycle_pass() {
    // The theme was decoded once, beside start-up's loading: a pass boundary costs only a player's fork.
    music_start();
    demo_start_time = static_cast<float>(engine_time());
    for (const SceneEntry& scene : scene_list) scene.play();
    obj_hide_scenery();
}
