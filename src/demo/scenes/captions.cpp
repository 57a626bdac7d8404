// The scenes carried by their words: the line about childhood over the dance, the two great characters
// of the second drop over the figures leaping on the beat, and the demo's title in two halves.
#include <cmath>

#include "assets/gen_box.h"
#include "assets/gen_sphere.h"
#include "assets/texture.h"
#include "demo/scene_skeleton.h"
#include "demo/scenes/scene_kit.h"
#include "demo/scenes/scenes.h"
#include "scene/camera.h"
#include "scene/object.h"
#include "scene/transform.h"

namespace {

void captions_clean_up() {
    fade_hide();
    captions_hide();
    figures_put_away();
}

}  // namespace

// "小さいのころからの": the first figure dances alone at the front of the square, the others sway in a
// half circle behind her; the eye drifts past in front of her, the words across the sky.
void scene_08_since_childhood() {
    const SceneClock clock = scene_begin(8);
    obj_show_scenery();
    figure_stand(FIGURE_FIRST, 0, 0, 1.2f, 0);
    figure_clip(FIGURE_FIRST, CLIP_QUICK_DANCE, 1.1f, 0, 1);
    for (int k = 1; k < FIGURE_COUNT; ++k) {
        const float a = -75 + 30 * static_cast<float>(k - 1);
        figure_stand(FIGURE_FIRST + k, 2.4f * std::sin(a * DEG), 0, 1.2f - 2.4f * std::cos(a * DEG),
                     a * -0.5f);
        figure_clip(FIGURE_FIRST + k, CLIP_SWAY, 0.8f, 0.45 * k, 1);
    }
    camera_set(-1.6f, 0.9f, 4.6f, -0.4f, 1.0f, 1.2f);
    camera_update();
    scene_loop(clock, [&](float e) {
        // A slow sideways drift in front of her, a medium shot with the half circle behind.
        const float t = smoothstep(0, 8, e);
        camera_aim(mix(-1.6f, 1.6f, t), 0.9f + 0.15f * std::sin(e * 0.8f), 4.6f - 0.3f * t,
                   mix(-0.4f, 0.4f, t), 1.0f, 1.2f);
        // Across the top, over the evening sky.
        caption_centred(CAPTION_LINE_1, "小さいのころからの", 0.5f, 0.16f, 0.14f, ADVANCE_WIDE,
                        shown(e, 0.8f, 7.6f, 0.6f), 0.05f, 0.1f, 0.4f, e * 120);
    });
    captions_clean_up();
    scene_end(clock);
}

// "夢" on the drop and "は" a bar later: the seven leap on every other beat in a row at the front of the
// square, seen from low in front, with a white flash on the cut.
void scene_11_dream_is() {
    const SceneClock clock = scene_begin(11);
    obj_show_scenery();
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        figure_stand(FIGURE_FIRST + k, (static_cast<float>(k) - 3) * 0.95f, 0, 0.8f + 0.35f * (k % 2), 0);
        figure_clip(FIGURE_FIRST + k, CLIP_JUMP, 2.5f, 0, 1);
    }
    camera_set(-1.2f, 0.1f, 8, 0, 0.9f, 0);
    camera_update();
    int leaps = 0;
    scene_loop(clock, [&](float e) {
        fade_color(1, 1, 1, 1 - smoothstep(0, 0.5f, e));
        // A leap on every other beat, started afresh.
        const int leap = static_cast<int>(e / (2 * BEAT_SECONDS));
        if (leap > leaps) {
            for (int k = 0; k < FIGURE_COUNT; ++k) figure_clip(FIGURE_FIRST + k, CLIP_JUMP, 2.5f, 0, 1);
            leaps = leap;
        }
        const float drift = smoothstep(0, 7, e);
        camera_aim(mix(-1.2f, 1.2f, drift), 0.1f + 0.3f * drift, 8 - 0.8f * drift, 0, 0.9f, 0);
        const float pulse = beat_pulse(e);
        caption_centred(CAPTION_LINE_1, "夢", 0.3f, 0.42f, 0.42f + 0.03f * pulse, ADVANCE_WIDE,
                        shown(e, 0.1f, 6.7f, 0.3f), 0.9f, 0.2f, 0.3f, e * 90);
        caption_centred(CAPTION_LINE_2, "は", 0.7f, 0.58f, 0.32f + 0.03f * pulse, ADVANCE_WIDE,
                        shown(e, BAR_SECONDS, 6.7f, 0.3f), 0.9f, 0.5f, 0.1f, e * 90 + 60);
    });
    captions_clean_up();
    scene_end(clock);
}

namespace {

constexpr int STARS = 90;
constexpr ObjectId STAR_FIRST = SCENE_OBJECTS_FIRST;

}  // namespace

// The half-time title: "VELMO", broad and steady in front of a slowly turning sky of sparks.
void scene_22_title_first_half() {
    const SceneClock clock = scene_begin(22);
    obj_hide_scenery();
    const TextureId spark = tex_load("szikra1.png");
    SceneRandom random(22);
    for (int k = 0; k < STARS; ++k) {
        const float size = random.uniform(0.2f, 0.7f);
        gen_quad(STAR_FIRST + k, spark, size, size);
        // On a shell round the eye, facing it.
        const float a = random.uniform(-70, 70), b = random.uniform(-25, 35), r = random.uniform(9, 16);
        obj_set_position(STAR_FIRST + k, r * std::sin(a * DEG) * std::cos(b * DEG), r * std::sin(b * DEG),
                         -r * std::cos(a * DEG) * std::cos(b * DEG));
        obj_set_rotation(STAR_FIRST + k, 0, -a, 0);
    }
    camera_set(0, 0, 0, 0, 0, -1);
    camera_update();
    scene_loop(clock, [&](float e) {
        const float turn = 6 * e - 20;
        camera_aim(0, 0, 0, std::sin(turn * DEG), 0.05f * std::sin(e * 0.5f), -std::cos(turn * DEG));
        const float pulse = beat_pulse(e);
        for (int k = 0; k < STARS; ++k) {
            const float c = 0.6f + 0.4f * std::sin(e * 2 + static_cast<float>(k)) * 0.5f + 0.2f * pulse;
            obj_set_color(STAR_FIRST + k, c, c, c, 1);
        }
        caption_centred(CAPTION_LINE_1, "VELMO", 0.5f, 0.5f, 0.32f, ADVANCE_LATIN * 1.6f,
                        shown(e, 0.4f, 7.7f, 0.8f), 0.7f, 0.3f, 0.9f, e * 40);
    });
    caption_hide(CAPTION_LINE_1, CAPTION_MAX_CHARS);
    scene_dispose(STAR_FIRST, STAR_FIRST + STARS - 1);
    scene_end(clock);
}

namespace {

constexpr ObjectId DUSK_DOME = SCENE_SKY_FIRST, DAY_GLOBE = SCENE_SKY_FIRST + 1;

}  // namespace

// "RINE": inside the dusk, a globe of the day sky turns slowly in front of the eye as the title completes.
void scene_23_title_second_half() {
    const SceneClock clock = scene_begin(23);
    obj_hide_scenery();
    gen_sphere(DUSK_DOME, 24, tex_load("egbolt1.jpg"), 60, 34, 60);
    gen_sphere(DAY_GLOBE, 32, tex_load("egbolt2.jpg"), 2.2f, 2.2f, 2.2f);
    obj_set_position(DAY_GLOBE, 0, 0.2f, -6);
    camera_set(0, 0.6f, 2, 0, 0.2f, -6);
    camera_update();
    scene_loop(clock, [&](float e) {
        obj_set_rotation(DAY_GLOBE, 12, 25 * e, 0);
        const float t = smoothstep(0, 6, e);
        camera_aim(mix(-1, 1, t), 0.6f - 0.4f * t, 2 + 0.5f * t, 0, 0.2f, -6);
        caption_centred(CAPTION_LINE_1, "RINE", 0.5f, 0.5f, 0.32f, ADVANCE_LATIN * 1.6f,
                        shown(e, 0.3f, 5.7f, 0.6f), 0.9f, 0.5f, 0.3f, e * 40);
    });
    caption_hide(CAPTION_LINE_1, CAPTION_MAX_CHARS);
    scene_dispose(SCENE_SKY_FIRST, SCENE_SKY_LAST);
    scene_end(clock);
}
