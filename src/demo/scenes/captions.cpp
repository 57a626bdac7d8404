// The scenes carried by their words: the line about childhood over a dance seen from above, and the
// two great characters of the second drop over the figures leaping on the beat.
#include <cmath>

#include "demo/scene_skeleton.h"
#include "demo/scenes/scene_kit.h"
#include "demo/scenes/scenes.h"
#include "scene/camera.h"
#include "scene/object.h"
#include "scene/transform.h"

namespace {

constexpr float DEG = 0.017453292f;

void captions_clean_up() {
    fade_hide();
    caption_hide(CAPTION_LINE_1, CAPTION_MAX_CHARS);
    caption_hide(CAPTION_LINE_2, CAPTION_MAX_CHARS);
    figures_put_away();
}

// Opacity of a caption shown from `from` to `to`, easing in and out over `edge` seconds.
float shown(float e, float from, float to, float edge) {
    return smoothstep(from, from + edge, e) * (1 - smoothstep(to - edge, to, e));
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
