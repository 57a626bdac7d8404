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

// A sea of the dusk picture laid flat at height y, from behind the eye to the far side of the sky, in
// cells small enough that none reaches behind the eye (such a triangle is not drawn at all); turned so
// that the picture's sky lies nearest the eye, a sea that mirrors the dusk.
void dusk_sea(ObjectId id, float y) {
    gen_panel(id, 0, 140, 140, 20, 20);
    obj_set_part0_texture(id, tex_load("egbolt1.jpg"));
    obj_set_position(id, 0, y, -40);
    obj_set_rotation(id, 270, 180, 0);
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
    bool first = true;
    scene_loop(
        clock,
        [&](float e) {
            paint_trails(first, 3);
            first = false;
            const float a = 35 * e - 20;
            const float r = 2.5f - 0.6f * smoothstep(0, 8, e);
            camera_aim(r * std::sin(a * DEG), 1.15f + 0.35f * std::sin(e * 0.6f), r * std::cos(a * DEG), 0,
                       0.95f, 0);
        },
        SceneShow::own, paint_frame);
    paint_stop();
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
    dusk_sea(DUSK_SEA, -3);
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
        caption_words(e, {"にせ", 0.8f, 3.6f, {0.3f, 0.5f, 0.9f}}, {"光と", 3.8f, 6.9f, {0.9f, 0.6f, 0.2f}},
                      0.16f, 0.26f, 60);
    });
    captions_hide();
    scene_dispose(CRATE_FIRST, CRATE_FIRST + CRATES - 1);
    scene_dispose(SCENE_SKY_FIRST, SCENE_SKY_LAST);
    scene_end(clock);
}

namespace {

constexpr int LANTERNS = 40;
constexpr ObjectId LANTERN_FIRST = SCENE_OBJECTS_FIRST;
constexpr ObjectId SUNSET_SKY = SCENE_SKY_FIRST, SUNSET_SEA = SCENE_SKY_FIRST + 1;

}  // namespace

// The second build begins: out of the sea at sunset the eye rises among lanterns of light that climb
// slowly into the sky; "にせ", then "色や".
void scene_16_sunset_lanterns() {
    const SceneClock clock = scene_begin(16);
    obj_hide_scenery();
    gen_sphere(SUNSET_SKY, 24, tex_load("egbolt3.jpg"), 60, 34, 60);
    dusk_sea(SUNSET_SEA, -3);
    obj_set_color(SUNSET_SEA, 0.9f, 0.75f, 0.8f, 1);
    const TextureId spark = tex_load("szikra1.png");
    SceneRandom random(16);
    struct Lantern {
        float x, y, z, rise, twinkle;
    } lanterns[LANTERNS];
    for (int k = 0; k < LANTERNS; ++k) {
        Lantern& l = lanterns[k];
        l = Lantern{random.uniform(-6, 6), random.uniform(-2.6f, 2), random.uniform(-12, -2),
                    random.uniform(0.2f, 0.6f), random.uniform(0, 6.28f)};
        const float size = random.uniform(0.6f, 1.4f);
        gen_quad(LANTERN_FIRST + k, spark, size, size);
    }
    camera_set(0, -2.2f, 4, 0, -1.5f, -10);
    camera_update();
    scene_loop(clock, [&](float e) {
        for (int k = 0; k < LANTERNS; ++k) {
            const Lantern& l = lanterns[k];
            obj_set_position(LANTERN_FIRST + k, l.x, l.y + l.rise * e, l.z);
            const float c = 0.75f + 0.25f * std::sin(e * 3 + l.twinkle);
            obj_set_color(LANTERN_FIRST + k, c, c * 0.9f, c * 0.7f, 1);
        }
        const float t = smoothstep(0, 7, e);
        camera_aim(0.6f * std::sin(e * 0.3f), mix(-2.2f, 1.5f, t), 4 - 0.4f * e, 0, mix(-1.5f, 1.8f, t), -10);
        caption_words(e, {"にせ", 0.5f, 3.3f, {0.8f, 0.3f, 0.4f}}, {"色や", 3.5f, 6.8f, {0.9f, 0.5f, 0.2f}},
                      0.2f, 0.26f, 80);
    });
    captions_hide();
    scene_dispose(LANTERN_FIRST, LANTERN_FIRST + LANTERNS - 1);
    scene_dispose(SCENE_SKY_FIRST, SCENE_SKY_LAST);
    scene_end(clock);
}

namespace {

constexpr int FUNNEL_PANELS = 48;
constexpr ObjectId FUNNEL_FIRST = SCENE_OBJECTS_FIRST;
constexpr ObjectId DAY_DOME = SCENE_SKY_FIRST, FUNNEL_SPARKS = SCENE_SKY_FIRST + 1;

}  // namespace

// The climax in the open: under the day sky a tornado of dusk-sky panels whirls up from a fountain of
// sparks, faster on every bar, the eye circling it.
void scene_20_sky_tornado() {
    const SceneClock clock = scene_begin(20);
    obj_hide_scenery();
    gen_sphere(DAY_DOME, 24, tex_load("egbolt2.jpg"), 60, 34, 60);
    const TextureId dusk = tex_load("egbolt1.jpg");
    SceneRandom random(20);
    float height[FUNNEL_PANELS], phase[FUNNEL_PANELS];
    for (int k = 0; k < FUNNEL_PANELS; ++k) {
        height[k] = random.uniform(-2, 5);
        phase[k] = random.uniform(0, 6.28f);
        gen_box_tex(FUNNEL_FIRST + k, random.uniform(0.6f, 1.2f), random.uniform(0.3f, 0.7f), 0.05f, dusk);
        scene_texture_window(FUNNEL_FIRST + k, random.uniform(0, 0.7f), random.uniform(0.75f, 1),
                             DUSK_GLOW_TOP, DUSK_GLOW_BOTTOM);
    }
    emitter_setup_ex(FUNNEL_SPARKS, 0, -2.5f, 0, 1.2f, 4, 1.2f, PARTICLE_FLAG_FADE_IN, 1, 0.9f, 0.6f, 1.8f,
                     tex_load("szikra1.png"), 0.15f, 200, 1);
    camera_set(0, 1, 11, 0, 1.2f, 0);
    camera_update();
    scene_loop(clock, [&](float e) {
        const float drive = 1 + 0.3f * std::floor(e / BAR_SECONDS);
        for (int k = 0; k < FUNNEL_PANELS; ++k) {
            const float h = height[k];
            // Wider as it climbs, like a funnel of wind.
            const float r = 0.8f + 0.45f * (h + 2);
            const float a = phase[k] + e * drive * (2.6f - 0.2f * h);
            obj_set_position(FUNNEL_FIRST + k, r * std::sin(a), h + 0.3f * std::sin(e * 2 + phase[k]),
                             r * std::cos(a));
            obj_set_rotation(FUNNEL_FIRST + k, 15 * std::sin(a), a / DEG + 90, 20);
        }
        const float a = 0.35f * e - 0.6f;
        camera_aim(11 * std::sin(a), 1 + 0.8f * std::sin(e * 0.5f), 11 * std::cos(a), 0, 1.4f, 0);
    });
    scene_dispose(FUNNEL_FIRST, FUNNEL_FIRST + FUNNEL_PANELS - 1);
    scene_dispose(SCENE_SKY_FIRST, SCENE_SKY_LAST);
    scene_end(clock);
}

namespace {

constexpr int BEAMS = 8;
constexpr ObjectId BEAM_FIRST = SCENE_OBJECTS_FIRST;
constexpr ObjectId LAMP_HEART = SCENE_SKY_FIRST;

}  // namespace

// A lighthouse in the dark: eight beams of light turn round a heart of sparks, tilting as they go, their
// colours moving on every bar; the eye drifts round the light.
void scene_26_lighthouse() {
    const SceneClock clock = scene_begin(26);
    obj_hide_scenery();
    const TextureId light = tex_load("feny1.png");
    // Each beam 9 m long from a narrow root at the heart.
    for (int k = 0; k < BEAMS; ++k) gen_tapered_box(BEAM_FIRST + k, 0.15f, 9, 0.15f, 2.4f, 9, 2.4f, light);
    emitter_setup_ex(LAMP_HEART, 0, -0.3f, 0, 0.7f, 0.9f, 0.7f, PARTICLE_FLAG_FADE_IN, 1, 0.85f, 0.5f, 1.2f,
                     tex_load("szikra1.png"), 0.3f, 90, 1);
    glow_on(0.6f, 0.015f, 4);
    camera_set(0, 2, 12, 0, 0, 0);
    camera_update();
    scene_loop(clock, [&](float e) {
        const int bar = static_cast<int>(e / BAR_SECONDS);
        for (int k = 0; k < BEAMS; ++k) {
            const ObjectId id = BEAM_FIRST + k;
            const float a = static_cast<float>(k) * (360.0f / BEAMS) + 50 * e;
            // The beam's narrow end at the heart: it points out from there, half its length away.
            const float tilt = 70 + 25 * std::sin(e * 0.8f + static_cast<float>(k));
            const float out = 4.5f * std::sin(tilt * DEG);
            obj_set_position(id, out * std::sin(a * DEG), 4.5f * std::cos(tilt * DEG),
                             out * std::cos(a * DEG));
            obj_set_rotation(id, tilt, a, 0);
            const float* c = BEAT_COLOUR[(bar + k) % BEAT_COLOURS];
            obj_set_color(id, c[0], c[1], c[2], 0.45f);
        }
        const float a = 0.25f * e;
        camera_aim(12 * std::sin(a), 2 + 2.5f * std::sin(e * 0.4f), 12 * std::cos(a), 0, 0, 0);
    });
    glow_off();
    scene_dispose(BEAM_FIRST, BEAM_FIRST + BEAMS - 1);
    scene_dispose(SCENE_SKY_FIRST, SCENE_SKY_LAST);
    scene_end(clock);
}

namespace {

constexpr ObjectId STAGE_DAY = SCENE_SKY_FIRST, STAGE_FLOOR = SCENE_SKY_FIRST + 1;
constexpr ObjectId STAGE_SPARKS = SCENE_SKY_FIRST + 2;
// Poses a second of the stop motion holds: the figures move in jerks, on the music's pulse.
constexpr float STOP_MOTION_STEP = BEAT_SECONDS / 2;

}  // namespace

// Stop motion: the seven on a floor of dusk under the day sky, posed afresh on every half beat by the
// scene itself, not played; sparks fly past; the eye pushes in.
void scene_27_stop_motion() {
    const SceneClock clock = scene_begin(27);
    obj_hide_scenery();
    gen_sphere(STAGE_DAY, 24, tex_load("egbolt2.jpg"), 60, 34, 60);
    dusk_sea(STAGE_FLOOR, 0);
    emitter_setup_ex(STAGE_SPARKS, 0, 0.2f, -2, 4, 1.5f, 4, PARTICLE_FLAG_FADE_IN, 1, 0.9f, 0.7f, 2.5f,
                     tex_load("szikra1.png"), 0.12f, 120, 1);
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        const float x = (static_cast<float>(k) - 3) * 1.05f;
        figure_stand(figure_id(k), x, 0, -std::fabs(x) * 0.35f, -x * 6);
        figure_clip(figure_id(k), k % 2 ? CLIP_QUICK_DANCE : CLIP_RUN, 1, 0, 0);
    }
    camera_set(0, 1.1f, 5, 0, 0.9f, 0);
    camera_update();
    scene_loop(clock, [&](float e) {
        // The pose of the last step: the clip's time moves only when a step begins.
        const float step = STOP_MOTION_STEP * std::floor(e / STOP_MOTION_STEP);
        for (int k = 0; k < FIGURE_COUNT; ++k) obj_set_anim_time(figure_id(k), step * 2.2 + 0.3 * k);
        const float t = smoothstep(0, 5, e);
        camera_aim(mix(-0.5f, 0.5f, t), mix(1.1f, 0.8f, t), mix(5, 3, t), 0, 0.9f, 0);
    });
    figures_put_away();
    scene_dispose(SCENE_SKY_FIRST, SCENE_SKY_LAST);
    scene_end(clock);
}
