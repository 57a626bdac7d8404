// The scene list and the pass: every scene follows the same skeleton (time origin, set-up, a loop of
// frames timed by the engine clock, clean-up), so a pass lasts as long as the music on any machine.
#include "demo/scene_cycle.h"

#include "audio/channels.h"
#include "demo/scene_skeleton.h"
#include "demo/scenes/scene_kit.h"
#include "demo/scenes/scenes.h"
#include "scene/transform.h"

float demo_start_time = 0;

const SceneEntry scene_list[SCENE_COUNT] = {
    {scene_01_corridor_fade_in, 10, "corridor fade in"},
    {scene_02_corridor_credits, 5, "corridor credits"},
    {scene_03_spiral_corridor, 8, "spiral corridor"},
    {scene_04_into_the_park, 2, "into the park"},
    {scene_05_walk_across, 7, "walk across"},
    {scene_06_the_drop, 6, "the drop"},
    {scene_07_row_wakes, 8, "row wakes"},
    {scene_08_since_childhood, 8, "since childhood"},
    {scene_09_light_painting, 8, "light painting"},
    {scene_10_ring_dance, 8, "ring dance"},
    {scene_11_dream_is, 7, "dream is"},
    {scene_12_three_shots, 7, "three shots"},
    {scene_13_circle_shadows, 7, "circle shadows"},
    {scene_14_floating_crates, 7, "floating crates"},
    {scene_15_evening_sway, 8, "evening sway"},
    {scene_16_sunset_lanterns, 7, "sunset lanterns"},
    {scene_17_figure_eight, 8, "figure eight"},
    {scene_18_climax_orbit, 8, "climax orbit"},
    {scene_19_sky_trails, 7.5f, "sky trails"},
    {scene_20_sky_tornado, 8, "sky tornado"},
    {scene_21_fireworks, 8, "fireworks"},
    {scene_22_title_first_half, 8, "title first half"},
    {scene_23_title_second_half, 6, "title second half"},
    {scene_24_spirograph, 8, "spirograph"},
    {scene_25_spotlights, 6, "spotlights"},
    {scene_26_lighthouse, 8, "lighthouse"},
    {scene_27_stop_motion, 5, "stop motion"},
    {scene_28_beat_flash, 5, "beat flash"},
    {scene_29_walking_away, 7, "walking away"},
    {scene_30_gathering, 6, "gathering"},
    {scene_31_closing_corridor, 7, "closing corridor"},
};

void scene_cycle_pass() {
    SceneHooks& h = scene_hooks;
    pass_begin();
    // The theme was decoded once, beside start-up's loading: a pass boundary costs only a player's fork.
    if (h.music) music_start();
    demo_start_time = static_cast<float>(engine_time());
    for (int position = h.first; position <= h.last && position <= SCENE_COUNT && !h.stop; ++position)
        scene_list[position - 1].play();
    obj_hide_scenery();
}
