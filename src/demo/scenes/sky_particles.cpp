// The abstract pieces: a single dancer painting light trails with a cloud of glowing orbs, and the calm
// of floating crates under a turning day sky over a sea of dusk, with sparks rising.
#include <cmath>

#include "assets/gen_box.h"
#include "assets/gen_sphere.h"
#include "assets/texture.h"
#include "core/frame_stats.h"
#include "demo/scene_skeleton.h"
#include "demo/scenes/scene_kit.h"
#include "demo/scenes/scenes.h"
#include "render/frame_clear.h"
#include "render/render_config.h"
#include "render/update/particles.h"
#include "scene/camera.h"
#include "scene/object.h"
#include "scene/transform.h"
#include "shell/frame.h"

namespace {

constexpr float DEG = 0.017453292f;

// The light-painting frame: the colours of the last frames stay (the frame clear is off), while every
// frame's depths start afresh, so the dancer is always whole in front of her own trails. In half-height
// mode the last frame's rows are first gathered back from their doubled copies, or every frame would
// stretch the trails again and they would run off the top and bottom of the picture.
void paint_frame() {
    half_height_fold();
    frame_clear_depth();
    frame_render_scene();
    frame_merge_overlay();
    frame_show();
}

}  // namespace

// One dancer in close-up, swaying slowly, the eye circling her; orbs rise around her and she and they
// leave trails of light on the dark.
void scene_09_light_painting() {
    const SceneClock clock = scene_begin(9);
    obj_hide_scenery();
    figure_stand(FIGURE_FIRST, 0, 0, 0, 0);
    figure_clip(FIGURE_FIRST, CLIP_SWAY, 0.74f, 0, 1);
    emitter_setup_ex(SCENE_CLOUD, 0, 0.3f, 0, 0.9f, 0.55f, 0.9f, PARTICLE_FLAG_FADE_IN, 0.7f, 0.85f, 1, 3.2f,
                     tex_load("gomb.png"), 0.07f, 240, 1);
    camera_set(0, 1.1f, 2.4f, 0, 0.95f, 0);
    camera_update();
    // The first frame wipes what the scene before left; after it the frames paint over each other.
    bool painting = false;
    scene_loop(
        clock,
        [&](float e) {
            if (painting) render_config.frame_clear = 0;
            painting = true;
            // A veil of black over each frame: the trails die away within a second whatever the frame
            // rate.
            fade_color(0, 0, 0, 1 - std::exp(-static_cast<float>(frame_stats.frame_seconds_uncapped) * 3));
            const float a = 35 * e - 20;
            const float r = 2.5f - 0.6f * smoothstep(0, 8, e);
            camera_aim(r * std::sin(a * DEG), 1.15f + 0.35f * std::sin(e * 0.6f), r * std::cos(a * DEG), 0,
                       0.95f, 0);
        },
        SceneShow::own, paint_frame);
    render_config.frame_clear = 1;
    fade_hide();
    scene_dispose(SCENE_CLOUD, SCENE_CLOUD);
    figures_put_away();
    scene_end(clock);
}

namespace {

constexpr int CRATES = 26;
constexpr ObjectId CRATE_FIRST = SCENE_OBJECTS_FIRST;
constexpr ObjectId DAY_SKY = SCENE_SKY_FIRST, DUSK_SEA = SCENE_SKY_FIRST + 1, SPARKS = SCENE_SKY_FIRST + 2;

struct Crate {
    float x, y, z;     // where it floats
    float spin[3];     // degrees a second about x, y, z
    float bob, phase;  // height of its slow rise and fall, and where in it it starts
};

}  // namespace

// The breakdown: crates drift and turn in the air under a slowly turning day sky, over a sea that mirrors
// the dusk; sparks rise; "にせ", then "光と", high in the open sky above the crates.
void scene_14_floating_crates() {
    const SceneClock clock = scene_begin(14);
    obj_hide_scenery();
    gen_sphere(DAY_SKY, 24, tex_load("egbolt2.jpg"), 60, 34, 60);
    // Laid flat, from behind the eye to the far side of the sky, in cells small enough that none reaches
    // behind the eye (such a triangle is not drawn at all).
    gen_panel(DUSK_SEA, 0, 140, 140, 20, 20);
    obj_set_part0_texture(DUSK_SEA, tex_load("egbolt1.jpg"));
    obj_set_position(DUSK_SEA, 0, -3, -40);
    // Turned about y too, so that the picture's sky lies nearest the eye: a sea that mirrors the dusk.
    obj_set_rotation(DUSK_SEA, 270, 180, 0);
    obj_set_color(DUSK_SEA, 0.75f, 0.8f, 0.95f, 1);
    const TextureId wood = tex_load("box1.jpg"), dark = tex_load("box5.jpg");
    SceneRandom random(14);
    Crate crates[CRATES];
    for (int k = 0; k < CRATES; ++k) {
        Crate& c = crates[k];
        // Ahead of the eye all the way: it drifts to z = 1 and never into a crate.
        c = Crate{random.uniform(-7, 7), random.uniform(-2, 2.5f), random.uniform(-15, -2), {}, 0, 0};
        for (float& s : c.spin) s = random.uniform(-25, 25);
        c.bob = random.uniform(0.1f, 0.4f);
        c.phase = random.uniform(0, 6.28f);
        const float size = random.uniform(0.5f, 1.3f);
        gen_box_tex(CRATE_FIRST + k, size, size, size, k % 3 ? wood : dark);
    }
    emitter_setup_ex(SPARKS, 0, -2.5f, -5, 5, 0.6f, 5, PARTICLE_FLAG_FADE_IN, 1, 0.85f, 0.6f, 6,
                     tex_load("szikra1.png"), 0.18f, 160, 1);
    camera_set(0, 1.5f, 5, 0, 1.2f, -6);
    camera_update();
    scene_loop(clock, [&](float e) {
        obj_set_rotation(DAY_SKY, 0, 4 * e, 0);
        for (int k = 0; k < CRATES; ++k) {
            const Crate& c = crates[k];
            obj_set_position(CRATE_FIRST + k, c.x, c.y + c.bob * std::sin(e * 0.7f + c.phase), c.z);
            obj_set_rotation(CRATE_FIRST + k, c.spin[0] * e, c.spin[1] * e, c.spin[2] * e);
        }
        camera_aim(0.8f * std::sin(e * 0.25f), 1.5f + 0.3f * std::sin(e * 0.4f), 5 - 0.55f * e,
                   0.4f * std::sin(e * 0.2f), 1.2f, -6 - 0.55f * e);
        caption_centred(CAPTION_LINE_1, "にせ", 0.5f, 0.16f, 0.26f, ADVANCE_WIDE,
                        smoothstep(0.8f, 1.6f, e) * (1 - smoothstep(3.0f, 3.6f, e)), 0.3f, 0.5f, 0.9f,
                        e * 60);
        caption_centred(CAPTION_LINE_2, "光と", 0.5f, 0.16f, 0.26f, ADVANCE_WIDE,
                        smoothstep(3.8f, 4.6f, e) * (1 - smoothstep(6.3f, 6.9f, e)), 0.9f, 0.6f, 0.2f,
                        e * 60);
    });
    caption_hide(CAPTION_LINE_1, CAPTION_MAX_CHARS);
    caption_hide(CAPTION_LINE_2, CAPTION_MAX_CHARS);
    scene_dispose(CRATE_FIRST, CRATE_FIRST + CRATES - 1);
    scene_dispose(SCENE_SKY_FIRST, SCENE_SKY_LAST);
    scene_end(clock);
}
