// The park at dusk with the seven figures on the square: walking on, the drop, the row waking up, the
// ring dance, three shots from three sides, the circle with shadows, the calm sway of the breakdown.
// The square's top is the ground at y = 0; the audience's chairs lie towards +z.
#include <cmath>

#include "demo/scene_skeleton.h"
#include "demo/scenes/scene_kit.h"
#include "demo/scenes/scenes.h"
#include "scene/camera.h"
#include "scene/object.h"
#include "scene/transform.h"

namespace {

// The lamp cones, which the scenes without the lamps' glow put out.
constexpr ObjectId LAMP_CONE_FIRST = 2000, LAMP_CONE_LAST = 2003;

void park_clean_up() {
    fade_hide();
    shadows_put_away();
    figures_put_away();
}

// Where the figures stand on average, on the ground plane.
Vec3 figures_centre() {
    Vec3 c{0, 0, 0};
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        const Vec3 p = obj_table.position[figure_id(k)];
        c.x += p.x / FIGURE_COUNT;
        c.z += p.z / FIGURE_COUNT;
    }
    return c;
}

}  // namespace

// A white flash into the park: the figures, gathered at the back of the square, walk to its front.
void scene_04_into_the_park() {
    const SceneClock clock = scene_begin(4);
    obj_show_scenery();
    fade_color(1, 1, 1, 1);
    for (ObjectId id = LAMP_CONE_FIRST; id <= LAMP_CONE_LAST; ++id) obj_set_enabled(id, 0);
    SceneRandom random(4);
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        const float x = -2.7f + 0.9f * static_cast<float>(k) + random.uniform(-0.2f, 0.2f);
        figure_stand(figure_id(k), x, 0, random.uniform(-2.6f, -1.6f), 0);
        figure_clip(figure_id(k), CLIP_WALK, 1, random.uniform(0, 4), 1);
        figure_walk_to(figure_id(k), x * 1.2f, random.uniform(0.8f, 2.0f), random.uniform(0.9f, 1.2f), 90, 0);
    }
    camera_set(0, 2.8f, 9.5f, 0, 0.1f, 0);
    camera_update();
    scene_loop(clock, [&](float e) {
        fade_color(1, 1, 1, 1 - smoothstep(0, 0.7f, e));
        const float t = smoothstep(0, 2, e);
        camera_aim(0, mix(2.8f, 2.2f, t), mix(9.5f, 7.8f, t), 0, 0.3f, 0);
    });
    park_clean_up();
    scene_end(clock);
}

// Low along the square's edge, tracking the figures as they walk across it from left to right.
void scene_05_walk_across() {
    const SceneClock clock = scene_begin(5);
    obj_show_scenery();
    SceneRandom random(5);
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        // Staggered in depth and in time, so that they walk as a loose crowd and not as one body.
        const float z = -2.4f + 0.75f * static_cast<float>(k);
        const float x =
            -4.6f + 0.45f * static_cast<float>((k * 3) % FIGURE_COUNT) + random.uniform(-0.2f, 0.2f);
        figure_stand(figure_id(k), x, 0, z, 90);
        figure_clip(figure_id(k), CLIP_WALK, 1, random.uniform(0, 4), 1);
        figure_walk_to(figure_id(k), 4.4f - random.uniform(0, 1.4f), z + random.uniform(-0.3f, 0.3f),
                       random.uniform(0.9f, 1.3f), 60, 0);
    }
    camera_set(-5.5f, 0.35f, 5.4f, -3.5f, 0.6f, 0);
    camera_update();
    scene_loop(clock, [&](float e) {
        const Vec3 c = figures_centre();
        const float lift = smoothstep(4, 7, e);
        camera_aim(c.x - 1.8f, 0.3f + 0.9f * lift, 5.4f + 1.2f * lift, c.x + 0.6f, 0.6f, 0);
    });
    park_clean_up();
    scene_end(clock);
}

// The drop: the row charges the eye, leaps on the beat and breaks into a dance as the camera cranes up.
void scene_06_the_drop() {
    const SceneClock clock = scene_begin(6);
    obj_show_scenery();
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        figure_stand(figure_id(k), static_cast<float>(k) - 3, 0, -2.3f, 0);
        figure_clip(figure_id(k), CLIP_AT_EASE, 1, 0, 1);
    }
    camera_set(-7, 4.5f, 8.5f, 0, 0.2f, -1.5f);
    camera_update();
    int stage = 0;
    scene_loop(clock, [&](float e) {
        if (stage == 0 && e > 1.0f) {
            for (int k = 0; k < FIGURE_COUNT; ++k) {
                figure_clip(figure_id(k), CLIP_RUN, 1, 0.3 * k, 1);
                figure_walk_to(figure_id(k), static_cast<float>(k) - 3, 1.9f, 3.2f, 0, 0, RUN_STRIDE);
            }
            stage = 1;
        }
        if (stage == 1 && e > 2.1f) {
            for (int k = 0; k < FIGURE_COUNT; ++k) figure_clip(figure_id(k), CLIP_JUMP, 1.6f, 0, 1);
            stage = 2;
        }
        if (stage == 2 && e > 2.6f) {
            for (int k = 0; k < FIGURE_COUNT; ++k) {
                figure_clip(figure_id(k), CLIP_QUICK_DANCE, 1.3f, 0.5 * k, 1);
                figure_walk_to(figure_id(k), (static_cast<float>(k) - 3) * 1.3f,
                               1.2f - std::fabs(k - 3.0f) * 0.4f, 0.8f, 120, 0);
            }
            stage = 3;
        }
        if (e < 1.2f) {
            camera_aim(-7 + e, 4.5f, 8.5f - e, 0, 0.2f, -1.5f);
        } else if (e < 2.6f) {
            // Cut to the side of the square, low: the row charges across the picture.
            const float t = smoothstep(1.2f, 2.6f, e);
            camera_aim(6.4f, 0.25f, 0, 0, 0.9f, mix(0, 1.2f, t));
        } else {
            // Craning up and round to the front, outside the ring of lamp posts.
            const float t = smoothstep(2.6f, 6, e);
            const float a = mix(90, 15, t) * DEG, r = mix(6.4f, 10, t);
            camera_aim(r * std::sin(a), mix(0.25f, 5.5f, t), r * std::cos(a), 0, 0, 0.5f);
        }
    });
    park_clean_up();
    scene_end(clock);
}

// The row of seven in front of the square wakes up one by one while the eye slides past it.
void scene_07_row_wakes() {
    const SceneClock clock = scene_begin(7);
    obj_show_scenery();
    static const float ROW_X[FIGURE_COUNT] = {0, 1, 2, 3, -1, -2, -3};
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        const ObjectId id = figure_id(k);
        obj_enable(id);
        obj_set_scale(id, 1, 1, 1);
        obj_set_position(id, ROW_X[k], 0, 2);
        obj_set_rotation(id, 0, 0, 0);
        obj_table.anim_clip[id] = CLIP_CHEER;
        obj_table.anim_speed[id] = -1;
        obj_set_anim_time(id, 3);
        obj_table.anim_playing[id] = 0;
    }
    // Who starts when: one more each second, from the far left.
    static const ObjectId WAKE_ORDER[FIGURE_COUNT] = {206, 205, 204, 200, 201, 202, 203};
    camera_target(-6, -0.5f, 7.7f, 0, 0, 0, -1, 0.9f);
    camera_update();
    scene_loop(clock, [&](float e) {
        for (int k = 0; k < FIGURE_COUNT; ++k)
            if (e > static_cast<float>(k + 1)) obj_table.anim_playing[WAKE_ORDER[k]] = 1;
        camera_target(e * 1.5f - 6, e * 0.05f - 0.5f, 7.7f, 0, 0, 0, -1, 0.9f);
    });
    park_clean_up();
    scene_end(clock);
}

// The build rises: the seven dance in a turning ring while the eye circles wide and climbs.
void scene_10_ring_dance() {
    const SceneClock clock = scene_begin(10);
    obj_show_scenery();
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        figure_stand(figure_id(k), 0, 0, 0, 0);
        figure_clip(figure_id(k), k % 2 ? CLIP_QUICK_DANCE : CLIP_SWAY, k % 2 ? 1.2f : 1.0f, 0.37 * k, 1);
    }
    camera_set(0, 0.6f, 7, 0, 0.6f, 0);
    camera_update();
    scene_loop(clock, [&](float e) {
        for (int k = 0; k < FIGURE_COUNT; ++k) {
            const float a = static_cast<float>(k) * (360.0f / FIGURE_COUNT) + 14 * e;
            obj_set_position(figure_id(k), 1.9f * std::sin(a * DEG), 0, 1.9f * std::cos(a * DEG));
            obj_set_rotation(figure_id(k), 0, a, 0);
        }
        // Over the front half, where the loudspeakers do not stand between the eye and the ring.
        const float orbit = 1.3f * std::sin(0.3f * e - 1.1f);
        const float radius = 7 - 1.2f * std::sin(e * 0.7f);
        camera_aim(radius * std::sin(orbit), 0.6f + 2.4f * smoothstep(0, 8, e) + 0.3f * std::sin(e * 1.3f),
                   radius * std::cos(orbit), 0, 0.5f, 0);
    });
    park_clean_up();
    scene_end(clock);
}

// Three shots on the bars of the second drop: from behind the square over the figures' shoulders to the
// audience; from beside the performer over the audience's heads at the figures dancing and pointing; from
// high and far as they run off.
void scene_12_three_shots() {
    const SceneClock clock = scene_begin(12);
    obj_show_scenery();
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        const float x = -4.2f + 0.45f * static_cast<float>(k);
        figure_stand(figure_id(k), x, 0, -1.6f, 90);
        figure_clip(figure_id(k), CLIP_WALK, 1, 0.6 * k, 1);
        figure_walk_to(figure_id(k), x + 4.6f, -1.6f + 0.5f * static_cast<float>(k % 3), 1.3f, 120, 0);
    }
    camera_set(-1.5f, 2.4f, -7, 0.5f, 0, 5);
    camera_update();
    int shot = 0;
    scene_loop(clock, [&](float e) {
        if (shot == 0 && e > 2.9f) {
            for (int k = 0; k < FIGURE_COUNT; ++k) {
                const Vec3 p = obj_table.position[figure_id(k)];
                figure_stand(figure_id(k), p.x, 0, p.z, 0);
                figure_clip(figure_id(k), k % 2 ? CLIP_QUICK_DANCE : CLIP_POINT, 1.4f, 0.3 * k, 1);
            }
            shot = 1;
        }
        if (shot == 1 && e > 5.8f) {
            for (int k = 0; k < FIGURE_COUNT; ++k) {
                const Vec3 p = obj_table.position[figure_id(k)];
                figure_clip(figure_id(k), CLIP_RUN, 1, 0.25 * k, 1);
                figure_walk_to(figure_id(k), p.x < 2.5f ? -4.6f : 4.6f, p.z + 0.4f, 3.0f, 400, 0, RUN_STRIDE);
            }
            shot = 2;
        }
        if (shot == 0) {
            const float t = smoothstep(0, 2.9f, e);
            camera_aim(mix(-1.5f, 1.5f, t), 2.4f, -7, 0.5f, 0, 5);
        } else if (shot == 1) {
            const float t = smoothstep(2.9f, 5.8f, e);
            camera_aim(mix(5.8f, 5.0f, t), 1.1f, mix(12.6f, 11.8f, t), 0, 0.7f, 0);
        } else {
            const float t = smoothstep(5.8f, 7, e);
            camera_aim(mix(-3, -1, t), 7, 16, 0.5f, -0.5f, 0);
        }
    });
    park_clean_up();
    scene_end(clock);
}

// Seen from above, the figures walk round in a circle with their shadows under them.
void scene_13_circle_shadows() {
    const SceneClock clock = scene_begin(13);
    obj_show_scenery();
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        figure_stand(figure_id(k), 0, 0, 0, 0);
        figure_clip(figure_id(k), CLIP_WALK, 1.9f, 0.55 * k, 1);
    }
    camera_set(0, 6, 5, 0, 0, 0);
    camera_update();
    scene_loop(clock, [&](float e) {
        for (int k = 0; k < FIGURE_COUNT; ++k) {
            // About 0.8 m a second round a circle of 2.2 m, each facing the way it walks.
            const float a = static_cast<float>(k) * (360.0f / FIGURE_COUNT) + 21 * e;
            obj_set_position(figure_id(k), 2.2f * std::sin(a * DEG), 0, 2.2f * std::cos(a * DEG));
            obj_set_rotation(figure_id(k), 0, a + 90, 0);
        }
        shadows_follow(0);
        // Swinging over the front half, away from the loudspeakers at the back.
        const float a = 0.25f * e - 0.9f;
        camera_aim(4.5f * std::sin(a), 5.8f + 0.8f * std::sin(0.9f * e), 1.5f + 4.5f * std::cos(a), 0, 0,
                   0.5f);
    });
    park_clean_up();
    scene_end(clock);
}

// The breakdown: the figures stand along the front of the square and sway slowly, their shadows at
// their feet; the eye passes slowly in front of them.
void scene_15_evening_sway() {
    const SceneClock clock = scene_begin(15);
    obj_show_scenery();
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        const float a = (static_cast<float>(k) - 3) * 16;
        figure_stand(figure_id(k), 4 * std::sin(a * DEG), 0, 4 * std::cos(a * DEG) - 2.2f, a);
        figure_clip(figure_id(k), CLIP_SWAY, 0.35f, 0.9 * k, 1);
    }
    camera_set(-3.5f, 1.5f, 4.6f, -2, 0.6f, 0.8f);
    camera_update();
    scene_loop(clock, [&](float e) {
        shadows_follow(0);
        // A slow crab along the front of the arc at eye height, the shadows reaching towards the eye.
        const float t = smoothstep(0, 8, e);
        camera_aim(mix(-3.5f, 3.5f, t), 1.5f + 0.1f * std::sin(0.5f * e), 4.6f, mix(-2, 2, t), 0.6f, 0.8f);
    });
    park_clean_up();
    scene_end(clock);
}

// The wind-down: the seven walk slowly away from the middle of the square, each its own way, their long
// shadows trailing; the eye rises gently over them.
void scene_29_walking_away() {
    const SceneClock clock = scene_begin(29);
    obj_show_scenery();
    SceneRandom random(29);
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        const float a = static_cast<float>(k) * (360.0f / FIGURE_COUNT) + random.uniform(-12, 12);
        const float r0 = random.uniform(0.4f, 0.9f);
        figure_stand(figure_id(k), r0 * std::sin(a * DEG), 0, r0 * std::cos(a * DEG), a);
        figure_clip(figure_id(k), CLIP_SLOW_WALK, 1, random.uniform(0, 4), 1);
        // Out to the edge of the square, not over it.
        const float r1 = 2.6f;
        figure_walk_to(figure_id(k), r1 * 1.6f * std::sin(a * DEG), r1 * std::cos(a * DEG),
                       random.uniform(0.35f, 0.5f), 90, 0);
    }
    camera_set(0, 1.2f, 7, 0, 0.3f, 0);
    camera_update();
    scene_loop(clock, [&](float e) {
        shadows_follow(0);
        const float t = smoothstep(0, 7, e);
        camera_aim(2.5f * std::sin(0.2f * e), mix(1.2f, 6.5f, t), mix(7, 9, t) + 0.5f * std::cos(0.3f * e), 0,
                   0, 0);
    });
    park_clean_up();
    scene_end(clock);
}

// The figures, scattered over the square, turn at 0.6 s and gather into a line at its front, where they
// stand at ease; the eye draws slowly back over the audience.
void scene_30_gathering() {
    const SceneClock clock = scene_begin(30);
    obj_show_scenery();
    SceneRandom random(30);
    for (int k = 0; k < FIGURE_COUNT; ++k) {
        figure_stand(figure_id(k), random.uniform(-4, 4), 0, random.uniform(-2.5f, 0.5f),
                     random.uniform(0, 359));
        figure_clip(figure_id(k), CLIP_AT_EASE, 1, 0, 0);
    }
    camera_set(0, 1.4f, 6.5f, 0, 0.6f, 0);
    camera_update();
    bool gathering = false;
    scene_loop(clock, [&](float e) {
        if (!gathering && e > 0.6f) {
            for (int k = 0; k < FIGURE_COUNT; ++k) {
                figure_clip(figure_id(k), CLIP_WALK, 1, 0.5 * k, 1);
                figure_walk_to(figure_id(k), (static_cast<float>(k) - 3) * 1.1f, 2.1f, 1.0f, 180, 0);
            }
            gathering = true;
        }
        // Arrived: facing the audience, at ease.
        for (int k = 0; k < FIGURE_COUNT; ++k) {
            const ObjectId id = figure_id(k);
            if (gathering && obj_table.path_speed[id] == 0.0f && obj_table.anim_clip[id] == CLIP_WALK) {
                obj_set_rotation(id, 0, 0, 0);
                figure_clip(id, CLIP_AT_EASE, 1, 0, 1);
            }
        }
        const float t = smoothstep(0, 6, e);
        camera_aim(0, mix(1.4f, 2.2f, t), mix(6.5f, 11.5f, t), 0, mix(0.6f, 0.4f, t), 0);
    });
    park_clean_up();
    scene_end(clock);
}
