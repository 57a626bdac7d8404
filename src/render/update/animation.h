// Key-frame animation of rigged objects: the per-frame time step and the pose tables
// (rest pose and current pose) that the skinning reads. Called by the object update pass; each object
// is advanced by the one worker that owns it.
#pragma once

#include "scene/object.h"
#include "scene/rig.h"

// Advances anim_time by rate x anim_speed x dt with looping or clamping and marks the parts for
// re-skinning when the time moved.
void anim_step(ObjectId id, double dt);
// Allocates and fills the three pose tables from key frame 0 of the current clip, once.
void anim_prepare_poses(ObjectId id);
// Writes the current pose (pose_cache_c) for anim_time: the blend of the two key frames around it,
// moved by how far the object's rest pose (pose_cache_a) lies from the rig's own.
void anim_update_pose(ObjectId id);
