// The object transform convention (scale, rotate about X, then Y, then Z, translate) as one helper that
// the geometry pass and the builders that bake geometry share, and the object setters that mark parts
// for re-transformation. Setters: scene thread only. The helper: any thread.
#pragma once

#include <cstdint>

#include "scene/object.h"
#include "scene/vec.h"

// An object's transform with its sines and cosines taken once, so applying it per vertex costs only
// multiplies and adds. Rotations of exactly 0 degrees and a scale of exactly 1 are skipped, so an
// untransformed object reproduces its coordinates bit for bit.
struct ObjectTransform {
    Vec3 position;
    Vec3 scale;
    float cos_x, sin_x, cos_y, sin_y, cos_z, sin_z;
    uint8_t scaled;                        // some scale component differs from 1
    uint8_t rotate_x, rotate_y, rotate_z;  // that angle is non-zero
};

ObjectTransform object_transform_make(Vec3 position, Vec3 rotation_degrees, Vec3 scale);
// The transform of an object in the table as it stands now.
ObjectTransform object_transform_of(ObjectId id);

inline void object_transform_apply(const ObjectTransform& t, float& x, float& y, float& z) {
    if (t.scaled) {
        x *= t.scale.x;
        y *= t.scale.y;
        z *= t.scale.z;
    }
    if (t.rotate_x) rotate_about_x(t.cos_x, t.sin_x, y, z);
    if (t.rotate_y) rotate_about_y(t.cos_y, t.sin_y, x, z);
    if (t.rotate_z) rotate_about_z(t.cos_z, t.sin_z, x, y);
    x += t.position.x;
    y += t.position.y;
    z += t.position.z;
}

// Transforms count triangles (9 floats each) from src into dst; src and dst may be the same array.
void object_transform_triangles(const ObjectTransform& t, const float* src, float* dst, int count);

// Object setters. Each ensures the object first; parts are marked so that the geometry pass rebuilds
// what changed (dirty 1) or only moves what moved (dirty 2).
void obj_set_position(ObjectId id, float x, float y, float z);
void obj_set_rotation(ObjectId id, float x, float y, float z);
void obj_set_scale(ObjectId id, float x, float y, float z);
void obj_set_enabled(ObjectId id, int flag);
void obj_enable(ObjectId id);
// Enable or disable the scenery: objects 1..2099 with geometry, except the preloaded models.
void obj_show_scenery();
void obj_hide_scenery();
void obj_set_anim_time(ObjectId id, double time);
void obj_set_anim_time_fixed(double time);  // the performer, object 179
void obj_anim_time_one(ObjectId id);
void obj_anim_time_zero(ObjectId id);
// Moves along the heading (yaw = rotation y, pitch = rotation x) through obj_set_position.
void obj_move_forward(ObjectId id, float distance);
