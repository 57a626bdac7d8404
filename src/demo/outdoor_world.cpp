// The park: built in a fixed order at fixed ids, the loading bar moved twice on the way. Every size and
// place below is part of the demo's look; the scenes rely on the ids.
#include "demo/outdoor_world.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "assets/figure.h"
#include "assets/gen_box.h"
#include "assets/gen_ring.h"
#include "assets/gen_sphere.h"
#include "assets/terrain.h"
#include "assets/texture.h"
#include "display/input.h"
#include "display/window.h"
#include "overlay/elements.h"
#include "render/update/animation.h"
#include "render/update/particles.h"
#include "scene/camera.h"
#include "scene/object.h"
#include "scene/rig.h"
#include "scene/transform.h"
#include "shell/frame.h"
#include "shell/frame_end.h"

namespace {

constexpr float RAD_TO_DEGREES = 57.29577951308232f;
constexpr float LEAF_HALF_SIZE = 0.3f;  // metres, half a falling leaf's quad
// A chair stands at y = -1, scaled 0.7, its seat board's top 0.725 over its feet.
constexpr float CHAIR_SEAT_TOP = -1 + 0.7f * 0.725f;

// Every part of the object gets `texture`.
void texture_all_parts(ObjectId id, TextureId texture) {
    if (!obj_valid(id)) return;
    PartArrays& parts = obj_table.parts[id];
    for (int p = 0; p < obj_part_limit(id); ++p) parts.texture[p] = texture;
}

void texture_part(ObjectId id, int part, TextureId texture) {
    if (obj_valid(id) && part < obj_part_limit(id)) obj_table.parts[id].texture[part] = texture;
}

void grey(ObjectId id, float level) {
    obj_set_color(id, level, level, level, 1);
}

// Position, rotation and scale back to their start values (obj_reset leaves the transform alone).
void reset_transform(ObjectId id) {
    obj_set_position(id, 0, 0, 0);
    obj_set_rotation(id, 0, 0, 0);
    obj_set_scale(id, 1, 1, 1);
}

// Turns object `id`, standing at (x, y, z), towards (tx, ty, tz).
void face_point(ObjectId id, float x, float y, float z, float tx, float ty, float tz) {
    float pitch = 0, yaw = 0, roll = 0;
    look_at_angles(x, y, z, tx, ty, tz, pitch, yaw, roll);
    obj_set_rotation(id, pitch, yaw, roll);
}

// 1. The paved square on the road, the terrain around them and the sky over everything.
void build_ground() {
    // The pictures at their real size: the kerb's courses a quarter of a metre high, the slabs half a
    // metre, the asphalt's stones a few centimetres. Stretched once over a panel, the kerb's blocks
    // became planks of several metres and the road's stones the size of cobbles.
    gen_room_tiled(11, 10, 1, 6, {1, 1}, {2, 2}, 0);
    texture_all_parts(11, tex_load("floor2.jpg"));
    texture_part(11, 1, tex_load("floor1.jpg"));
    obj_set_position(11, 0, -0.5f, 0);

    gen_room_tiled(21, 40, 0.1f, 20, {2, 1}, {2, 1}, 0);
    texture_all_parts(21, tex_load("aszfaltcsik.jpg"));
    texture_part(21, 1, tex_load("aszfalt1.jpg"));
    obj_set_position(21, 0, -1.1f, 0);

    // One cell per pixel of the maps, a metre each: the grid reaches 100 m from the square every way.
    const TextureId grass = tex_load("fu.jpg");
    terrain_from_images(PARK_TERRAIN, tex_load("tszin.jpg"), grass, tex_load("hmap.png"), 1, 0.5f, 0.5f, 0,
                        15);
    terrain_build_mesh(PARK_TERRAIN);
    obj_set_position(PARK_TERRAIN, -100, -1.15f, -100);

    gen_sphere(32, 16, tex_load("egbolt1.jpg"), 100, 50, 100);
}

// 3. Three hundred trees around the park, the same forest on every run (rand is never seeded).
void build_trees() {
    const TextureId tree = tex_load("fa0.png"), forest = tex_load("erdo0.png");
    for (int n = 0; n < PARK_TREE_COUNT; ++n) {
        ParkTree t{};
        for (;;) {
            const int rx = std::rand(), rz = std::rand(), rh = std::rand(), rc = std::rand();
            std::rand();  // drawn and not used: the forest depends on the sequence staying so
            if (park_tree_candidate(rx, rz, rh, rc, t)) break;
        }
        const ObjectId id = PARK_FIRST_TREE + n;
        gen_quad(id, t.forest ? forest : tree, t.width, t.height);
        const float y = park_ground(t.x, t.z);
        obj_set_position(id, t.x, y, t.z);
        obj_set_color(id, t.shade, t.shade, t.shade, 1);
        face_point(id, t.x, y, t.z, 0, y, 0);
    }
}

// 4. Ball-game posts at both ends of the road, the steps up to the square, the billboard, the house, the
// crates and two trees near the square.
void build_props() {
    const TextureId board = tex_load("floor1.jpg");
    for (int side = 0; side < 2; ++side) {
        const float sign = side == 0 ? -1.0f : 1.0f;
        const ObjectId post = side == 0 ? 40 : 50;
        gen_box(post, 0.1f, 3, 0.1f);
        grey(post, 0.4f);
        obj_set_position(post, 17 * sign, 0.5f, 0);
        gen_box_tex(post + 1, 0.05f, 0.7f, 1.4f, board);
        obj_set_position(post + 1, 16.975f * sign, 2.3f, 0);
        // The hoop: a ring and four smaller ones hanging below it, a net in rings.
        for (int i = 0; i < 5; ++i) {
            const ObjectId ring = post + 2 + i;
            gen_hoop_ring(ring);
            obj_set_position(ring, 16.975f * sign, 2.2f - 0.1f * static_cast<float>(i), 0);
            obj_set_rotation(ring, 90, 0, 0);
            if (i == 0) {
                obj_set_color(ring, 0.6f, 0.5f, 0.2f, 1);
            } else {
                obj_set_color(ring, 0.6f, 0.4f, 0.1f, 1);
                const float s = 1 - 0.07f * static_cast<float>(i);
                obj_set_scale(ring, s, s, s);
            }
        }
    }

    const TextureId beam = tex_load("gerenda1.jpg");
    const float step_width[3] = {2, 1.5f, 1}, step_x[3] = {5.75f, 5.5f, 5.25f},
                step_y[3] = {-1.1f, -0.7f, -0.3f};
    for (int i = 0; i < 3; ++i) {
        gen_box_tex(62 + i, step_width[i], 0.4f, 2, beam);
        obj_set_position(62 + i, -step_x[i], step_y[i], 0);
        gen_box_tex(65 + i, step_width[i], 0.4f, 2, beam);
        obj_set_position(65 + i, step_x[i], step_y[i], 0);
    }

    gen_quad(70, tex_load("mh2.jpg"), 10, 5);
    obj_set_position(70, 5, -1.1f, -20);
    for (ObjectId pole : {71, 72}) {
        gen_box(pole, 0.05f, 6, 0.05f);
        obj_set_position(pole, pole == 71 ? 10.0f : 0.0f, 1.1f, -18.5f);
        obj_set_rotation(pole, 330, 0, 0);
        grey(pole, 0.4f);  // metal like the other posts; untextured and uncoloured they show white
    }

    gen_quad(76, tex_load("rhaz1.png"), 16, 8);
    obj_set_position(76, -12, -1.1f, -30);
    obj_set_rotation(76, 0, 30, 0);

    const TextureId crate = tex_load("box1.jpg");
    gen_box_tex(80, 1, 1, 1, crate);
    obj_set_position(80, -12, -0.6f, -20);
    obj_set_rotation(80, 0, 60, 0);
    gen_box_tex(81, 1, 1, 1, crate);
    obj_set_position(81, -7, -0.6f, -15);
    obj_set_rotation(81, 0, 10, 0);

    gen_quad(82, tex_load("fa1.png"), 3, 6);
    obj_set_position(82, -2, park_ground(-2, -15), -15);
    grey(82, 0.9f);
    gen_quad(83, tex_load("fa0.png"), 3, 6);
    obj_set_position(83, -7, park_ground(-7, -24), -24);
    grey(83, 0.8f);
}

// 5. Leaves falling over the park, run ahead so that they are already in the air when first shown.
void build_leaves() {
    const TextureId leaf = tex_load("leafs.png");
    const struct {
        ObjectId id;
        float x, y, z;
        int count;
    } emitters[2] = {{1990, 0, 18, -30, 300}, {1991, -20, 30, 30, 150}};
    for (const auto& e : emitters) {
        // Half a quad of 30 cm: the picture's leaves come out at 10 to 15 cm, readable from the square.
        emitter_setup_ex(e.id, e.x, e.y, e.z, 1, 0.05f, 1, 128, 1, 1, 1, 80, leaf, LEAF_HALF_SIZE, e.count,
                         0);
        ParticleBox box{};
        for (int step = 0; step < 300; ++step) particle_step(e.id, 1.0, 0, 1, box);
    }
}

// The light cone's picture fades from the lamp at its top row to nothing at its bottom row, down each
// side face. Its floor (the box's first face, two triangles) would map the whole fade across the
// ground, a bright edge where it meets the road: it takes the bottom row's nothing at every corner.
void fade_cone_floor(ObjectId light, TextureId cone) {
    if (!obj_valid(light) || obj_table.parts[light].tri_count[0] != 12) return;
    const PartArrays& parts = obj_table.parts[light];
    const std::vector<float> tris = parts.tri_local[0].empty() ? parts.tri_world[0] : parts.tri_local[0];
    std::vector<float> uvs = parts.tri_uv[0];
    if (tris.size() < 12 * TRI_WORLD_FLOATS || uvs.size() < 12 * TRI_UV_FLOATS) return;
    for (size_t corner = 0; corner < 6; ++corner) {
        uvs[corner * 2] = 0.5f;
        uvs[corner * 2 + 1] = 1.0f;
    }
    obj_set_part_triangles(light, 0, tris.data(), uvs.data(), nullptr, cone, 12);
}

// 6. Four street lamps on the square, each with a faint cone of light leaning over the road.
void build_lamps() {
    const TextureId cone = tex_load("feny1.png");
    for (int i = 0; i < 4; ++i) {
        const ObjectId base = 90 + 5 * i, light = 2000 + i;
        const float side = i < 2 ? -1.0f : 1.0f;
        const float x = 4.8f * side, z = i % 2 == 0 ? 2.0f : -2.0f, tilt = i < 2 ? 20.0f : 340.0f;
        gen_box(base, 0.05f, 3, 0.05f);
        obj_set_position(base, x, 1.5f, z);
        grey(base, 0.4f);
        gen_small_cube(base + 1);
        obj_set_position(base + 1, x, 3, z);
        grey(base + 1, 0.4f);
        obj_set_rotation(base + 1, 0, 0, tilt);
        gen_sphere(base + 2, 10, 0, 0.05f, 0.05f, 0.05f);
        obj_set_position(base + 2, 4.77f * side, 2.95f, z);
        obj_set_color(base + 2, 1, 1, 0, 1);
        gen_tapered_box(light, 0.2f, 4, 0.2f, 3, 4, 3, cone);
        fade_cone_floor(light, cone);
        obj_set_rotation(light, 0, 0, tilt);
        obj_set_position(light, 4 * side, 1, z);
    }
    for (ObjectId light = 2000; light <= 2003; ++light) obj_set_color(light, 1, 1, 0.3f, 0.3f);
}

// A spectator from the pictures "npc0.png" to "npc10.png", in turn.
void load_spectator(ObjectId id, int number) {
    char name[32];
    std::snprintf(name, sizeof name, "npc%d.png", number % 11);
    figure_load(id, name);
    obj_set_scale(id, 1.65f, 1.65f, 1.65f);
}

// Height above the figure's origin, in world units, of a joint of its pose at its current clip and time.
// A seated pose folds only the legs: the body stays at its standing height, so the hips' and the soles'
// heights come from the pose, not from the picture.
float posed_joint_height(ObjectId id, int row, int joint) {
    anim_update_pose(id);
    const std::vector<float>& pose = obj_table.pose_cache_c[static_cast<size_t>(id)];
    const size_t at = static_cast<size_t>(row * RIG_JOINTS + joint) * RIG_JOINT_FLOATS + 1;
    return at < pose.size() ? pose[at] * obj_table.scale[id].y : 0.0f;
}

// Half the figure's depth (world units) over its thighs, the vertices within reach of the thigh bones,
// as they lie on a seat. The hips' sides belong to the jacket, deeper than the legs.
float thigh_half_depth(ObjectId id) {
    const std::vector<float>& pose = obj_table.pose_cache_a[static_cast<size_t>(id)];
    if (pose.size() < POSE_CACHE_FLOATS) return 0;
    const float* hip[2] = {&pose[0], &pose[RIG_JOINTS * RIG_JOINT_FLOATS]};
    float half = 0;
    for (int part : {0, 1}) {
        const std::vector<float>& tris = obj_table.parts[id].tri_local[static_cast<size_t>(part)];
        for (size_t v = 0; v + 2 < tris.size(); v += 3) {
            for (const float* h : hip) {
                const bool thigh = tris[v + 1] <= h[1] && tris[v + 1] >= h[1] - 0.1f;
                if (thigh && std::fabs(tris[v] - h[0]) <= h[3]) half = std::max(half, std::fabs(tris[v + 2]));
            }
        }
    }
    return half * obj_table.scale[id].z;
}

// 7. Three rows of chairs facing the square, each baked from six boxes, with people on some of them.
void build_chairs(int& spectator) {
    const TextureId wood = tex_load("box1.jpg");
    struct Board {
        float sx, sy, sz, x, y, z;
    };
    // Seat, two tall front legs that carry the back rest, two short back legs, the back rest.
    const Board boards[6] = {
        {0.7f, 0.15f, 0.7f, 0, 0.65f, 0},        {0.05f, 1.4f, 0.05f, -0.3f, 0.7f, -0.3f},
        {0.05f, 1.4f, 0.05f, 0.3f, 0.7f, -0.3f}, {0.05f, 0.7f, 0.05f, -0.3f, 0.35f, 0.3f},
        {0.05f, 0.7f, 0.05f, 0.3f, 0.35f, 0.3f}, {0.7f, 0.4f, 0.05f, 0, 1.3f, -0.3f}};
    float seat = -6, row = 6.5f;
    for (ObjectId k = PARK_FIRST_CHAIR; k < PARK_FIRST_CHAIR + PARK_CHAIR_COUNT; ++k) {
        for (ObjectId id = k; id <= k + 6; ++id) reset_transform(id);
        for (int b = 0; b < 6; ++b) {
            const Board& board = boards[b];
            gen_box_tex(k + 1 + b, board.sx, board.sy, board.sz, wood);
            obj_set_position(k + 1 + b, board.x, board.y, board.z);
        }
        for (ObjectId id = k + 1; id <= k + 6; ++id) obj_bake(k, id);
        for (ObjectId id = k + 1; id <= k + 6; ++id) obj_reset(id);

        seat += 1;
        if (seat > -2 && seat < 2) seat = 2;  // the aisle
        if (seat >= 6) {
            seat = -6;
            row += 2;
        }
        obj_set_position(k, seat, -1, row);
        obj_set_rotation(k, 0, 180, 0);
        obj_set_scale(k, 0.7f, 0.7f, 0.7f);
        if (obj_table.has_geometry[k] && obj_has_parts(k)) obj_merge_parts(k, 0, 0);

        const int n = k - PARK_FIRST_CHAIR;
        if (n % 6 == 0 || n % 7 == 1 || n % 9 == 0) {
            const ObjectId person = PARK_FIRST_SEATED + spectator;
            load_spectator(person, spectator++);
            obj_set_rotation(person, 0, 180, 0);
            obj_table.anim_clip[person] = 11;  // seated
            obj_anim_time_one(person);
            obj_table.anim_playing[person] = 0;
            obj_table.anim_half_rate[person] = 2;
            // The thighs lie on the seat: the hips half the thighs' depth over its top.
            const float hips = posed_joint_height(person, 0, 0);
            obj_set_position(person, seat, CHAIR_SEAT_TOP + thigh_half_depth(person) - hips, row);
        }
    }
}

// 9. Six people standing about, all turned towards the square.
void build_standing(int& spectator) {
    const float places[6][2] = {{10, 3}, {-8, 8}, {10, 7}, {12, 8}, {-9, 1}, {-12, 3}};
    for (int i = 0; i < 6; ++i) {
        const ObjectId person = PARK_FIRST_STANDING + i;
        load_spectator(person, spectator++);
        const float x = places[i][0], z = places[i][1];
        obj_set_position(person, x, -1.15f, z);
        face_point(person, x, -1.15f, z, 0, -1.3f, 0);
        obj_table.anim_clip[person] = 1;
        obj_anim_time_zero(person);
        obj_table.anim_playing[person] = 0;
        obj_table.anim_half_rate[person] = 2;
    }
}

// 10. The performer, seated on the grass beyond the chairs.
void build_performer() {
    figure_load(PARK_PERFORMER, "sho.png");
    obj_set_scale(PARK_PERFORMER, 1.65f, 1.65f, 1.65f);
    obj_set_rotation(PARK_PERFORMER, 0, 180, 0);
    obj_table.anim_clip[PARK_PERFORMER] = 11;
    obj_set_anim_time_fixed(1);
    obj_table.anim_playing[PARK_PERFORMER] = 0;
    // The soles on the grass: the seated pose holds the feet well above the standing figure's.
    const float soles =
        std::min(posed_joint_height(PARK_PERFORMER, 0, 2), posed_joint_height(PARK_PERFORMER, 1, 2));
    obj_set_position(PARK_PERFORMER, 6, park_ground(6, 13) - soles, 13);
}

// Bakes the placed scratch object into `target` as its next parts, then empties it and puts it back at the
// origin for the next piece.
void bake_and_clear(ObjectId target, ObjectId scratch) {
    obj_bake(target, scratch);
    obj_reset(scratch);
    reset_transform(scratch);
}

// A box from (z0, y0) to (z1, y1) in the bicycle's plane (x = 0), baked into `target` as its next part.
void bake_tube(ObjectId target, ObjectId scratch, float z0, float y0, float z1, float y1, float thickness) {
    const float dz = z1 - z0, dy = y1 - y0;
    gen_box(scratch, thickness, thickness, std::sqrt(dz * dz + dy * dy));
    // Turning about x carries +z towards -y, so the angle that lays the box along (dz, dy) is -atan2(dy, dz).
    obj_set_rotation(scratch, std::atan2(-dy, dz) * RAD_TO_DEGREES, 0, 0);
    obj_set_position(scratch, 0, (y0 + y1) / 2, (z0 + z1) / 2);
    bake_and_clear(target, scratch);
}

void bake_block(ObjectId target, ObjectId scratch, float sx, float sy, float sz, float y, float z) {
    gen_box(scratch, sx, sy, sz);
    obj_set_position(scratch, 0, y, z);
    bake_and_clear(target, scratch);
}

// Parts 0 to 27 are the two wheels (14 parts each); 28 on, the frame and the fittings.
constexpr int BICYCLE_FRAME_FIRST = 28, BICYCLE_FRAME_LAST = 32;

void set_frame_colour(ObjectId id, float r, float g, float b) {
    for (int p = BICYCLE_FRAME_FIRST; p <= BICYCLE_FRAME_LAST; ++p) obj_set_part_color(id, p, r, g, b, 1);
}

// 11. A bicycle along z (front towards +z), standing on y = 0: two spoked wheels and ten boxes.
void build_bicycle() {
    const ObjectId scratch = PARK_BICYCLE + 1;  // a copy goes there afterwards
    reset_transform(PARK_BICYCLE);
    reset_transform(scratch);
    constexpr float WHEEL_Y = 0.33f, REAR_Z = -0.52f, FRONT_Z = 0.52f;
    for (float z : {REAR_Z, FRONT_Z}) {
        gen_wheel(scratch, 0.015f);
        obj_set_rotation(scratch, 0, 90, 0);
        obj_set_position(scratch, 0, WHEEL_Y, z);
        bake_and_clear(PARK_BICYCLE, scratch);
    }
    // Frame points in (z, y): bottom bracket, saddle joint, head tube top and bottom.
    const float bb_z = -0.04f, bb_y = 0.3f, seat_z = -0.2f, seat_y = 0.8f, head_z = 0.36f, head_y = 0.8f,
                neck_z = 0.41f, neck_y = 0.64f;
    bake_tube(PARK_BICYCLE, scratch, seat_z, seat_y, head_z, head_y, 0.045f);                // 28 top tube
    bake_tube(PARK_BICYCLE, scratch, bb_z, bb_y, neck_z, neck_y, 0.05f);                     // 29 down tube
    bake_tube(PARK_BICYCLE, scratch, bb_z, bb_y, seat_z, seat_y, 0.045f);                    // 30 seat tube
    bake_tube(PARK_BICYCLE, scratch, head_z, head_y, FRONT_Z, WHEEL_Y, 0.04f);               // 31 fork
    bake_tube(PARK_BICYCLE, scratch, bb_z, bb_y, REAR_Z, WHEEL_Y, 0.035f);                   // 32 chain stays
    bake_tube(PARK_BICYCLE, scratch, seat_z, seat_y, REAR_Z, WHEEL_Y, 0.03f);                // 33 seat stays
    bake_block(PARK_BICYCLE, scratch, 0.12f, 0.05f, 0.26f, seat_y + 0.08f, seat_z - 0.04f);  // 34 saddle
    bake_tube(PARK_BICYCLE, scratch, head_z, head_y, head_z - 0.04f, head_y + 0.14f, 0.035f);  // 35 stem
    bake_block(PARK_BICYCLE, scratch, 0.55f, 0.035f, 0.035f, head_y + 0.14f, head_z - 0.04f);  // 36 bars
    bake_tube(PARK_BICYCLE, scratch, bb_z - 0.09f, bb_y - 0.13f, bb_z + 0.09f, bb_y + 0.13f,
              0.03f);  // 37 cranks

    // Tyres almost black, hubs and spokes in light metal greys, the fittings dark.
    for (int wheel = 0; wheel < 2; ++wheel) {
        const int first = wheel * 14;
        obj_set_part_color(PARK_BICYCLE, first, 0.35f, 0.35f, 0.35f, 1);
        obj_set_part_color(PARK_BICYCLE, first + 1, 0.1f, 0.1f, 0.1f, 1);
        for (int p = first + 2; p < first + 14; ++p) obj_set_part_color(PARK_BICYCLE, p, 0.4f, 0.4f, 0.4f, 1);
    }
    for (int p : {28, 29, 30, 32}) obj_set_part_color(PARK_BICYCLE, p, 0.7f, 0.5f, 0, 1);
    obj_set_part_color(PARK_BICYCLE, 31, 0.3f, 0.3f, 0.3f, 1);
    obj_set_part_color(PARK_BICYCLE, 33, 0.25f, 0.25f, 0.25f, 1);
    obj_set_part_color(PARK_BICYCLE, 34, 0.1f, 0.1f, 0.1f, 1);
    obj_set_part_color(PARK_BICYCLE, 35, 0.3f, 0.3f, 0.3f, 1);
    obj_set_part_color(PARK_BICYCLE, 36, 0.2f, 0.2f, 0.2f, 1);
    obj_set_part_color(PARK_BICYCLE, 37, 0.15f, 0.15f, 0.15f, 1);
    obj_set_position(PARK_BICYCLE, 12, -1.1f, -1);
    obj_set_rotation(PARK_BICYCLE, 0, 45, 0);
}

void copy_bicycle(ObjectId id, float x, float z, float rot_y, float rot_z) {
    obj_clone(PARK_BICYCLE, id);
    obj_set_position(id, x, -1.1f, z);
    obj_set_rotation(id, 0, rot_y, rot_z);
}

// Three copies about the park (two of them lying on their side) and a rack of sixteen.
void build_bicycle_copies() {
    copy_bicycle(181, -10, -4, 300, 0);
    set_frame_colour(181, 0.2f, 0.2f, 0.4f);
    copy_bicycle(182, -6.7f, 10, 0, 340);
    set_frame_colour(182, 0.2f, 0.2f, 0.4f);
    copy_bicycle(183, -8.5f, 8, 0, 340);
    set_frame_colour(183, 0.3f, 0.5f, 0.1f);
    for (int l = 0; l < 16; ++l) {
        const float x = l <= 8 ? -8.0f - static_cast<float>(l) : -static_cast<float>(l);
        copy_bicycle(184 + l, x, l <= 8 ? 14.0f : 19.0f, 0, 0);
        if (l == 3) continue;
        set_frame_colour(184 + l, static_cast<float>(l % 6) / 20 + 0.3f, static_cast<float>(l % 7) / 5 + 0.1f,
                         static_cast<float>(l & 7) / 40 + 0.1f);
    }
}

// 12. Two loudspeakers on the square and a few flowers in the grass.
void build_speakers_and_flowers() {
    const TextureId cabinet = tex_load("box5.jpg"), front = tex_load("speaker1.png");
    for (ObjectId id : {33, 34}) {
        gen_cube_panels(id, 4, 4, 4, 0);
        texture_all_parts(id, cabinet);
        texture_part(id, 2, front);
        obj_set_position(id, id == 33 ? 4.0f : 1.0f, 0.5f, -2.5f);
    }
    const TextureId flowers = tex_load("pip.png");
    const float places[4][2] = {{6.5f, 12.5f}, {5, 13}, {3, 13}, {10, 15}};
    for (int i = 0; i < 4; ++i) {
        gen_quad(1300 + i, flowers, 0.25f, 0.5f);
        obj_set_position(1300 + i, places[i][0], park_ground(places[i][0], places[i][1]), places[i][1]);
    }
}

// The free camera: arrows or W, A, S, D walk and turn, Page Up and Page Down rise and sink.
void free_camera_step() {
    const InputState& in = input_state;
    Vec3 eye = camera_eye_get();
    Vec3 angles = camera_angles_get();
    const float turn = in.key_down[KEY_LEFT] || in.key_down['a']    ? -1.5f
                       : in.key_down[KEY_RIGHT] || in.key_down['d'] ? 1.5f
                                                                    : 0;
    const float walk = in.key_down[KEY_UP] || in.key_down['w']     ? 0.15f
                       : in.key_down[KEY_DOWN] || in.key_down['s'] ? -0.15f
                                                                   : 0;
    const float rise = in.key_down[KEY_PAGE_UP] ? 0.1f : in.key_down[KEY_PAGE_DOWN] ? -0.1f : 0;
    angles.y += turn;
    const float yaw = angles.y / RAD_TO_DEGREES;
    eye.x += std::sin(yaw) * walk;
    eye.z += std::cos(yaw) * walk;
    eye.y += rise;
    const float look = 10;
    camera_set(eye.x, eye.y, eye.z, eye.x + std::sin(yaw) * look, eye.y, eye.z + std::cos(yaw) * look);
}

}  // namespace

float park_ground(float x, float z) {
    if (obj_table.object_capacity <= PARK_TERRAIN || obj_table.terrain_heights[PARK_TERRAIN].empty())
        return 0;
    float y = 0;
    terrain_height_at(PARK_TERRAIN, x, z, &y);
    return y;
}

bool park_tree_candidate(int rand_x, int rand_z, int rand_height, int rand_shade, ParkTree& out) {
    const float x = static_cast<float>(rand_x % 200 - 100), z = static_cast<float>(rand_z % 200 - 100);
    const float h = static_cast<float>(rand_height % 10) * 0.5f + 3;
    out.x = x;
    out.z = z;
    out.height = h;
    out.shade = static_cast<float>(rand_shade % 5) / 10 + 0.5f;
    out.forest = x < -60 || x > 60 || z < -60 || z > 60;
    out.width = out.forest ? 3 * h : h;
    return out.forest || !(x > -20 && x < 20 && z > -20 && z < 20);
}

void outdoor_world(int flag) {
    build_ground();
    loading_progress(50);
    render_frame();
    build_trees();
    build_props();
    build_leaves();
    build_lamps();
    int spectator = 0;
    build_chairs(spectator);
    loading_progress(60);
    render_frame();
    build_standing(spectator);
    build_performer();
    build_bicycle();
    build_bicycle_copies();
    build_speakers_and_flowers();
    if (flag == 0) return;

    camera_set(0, 1.5f, -12, 0, 0, 0);
    for (;;) {
        free_camera_step();
        frame_end();
        camera_update();
        display_sync();
        render_frame();
    }
}
