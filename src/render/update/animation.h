// Key-frame animation of rigged objects: the clip table, the per-frame time step and the pose tables
// (rest pose and current pose) that the skinning reads. Called by the object update pass; each object
// is advanced by the one worker that owns it.
#pragma once

#include "scene/object.h"

struct PoseJoint {
    float x, y, z, w;  // position in model units; w: the reach of the bone ending here (0 ends the row)
};

// The clip table: key frames, key frames per second and whether the clip loops, for rig 1 or 2 and
// clip 0..11 (0, 0 and no for anything else).
int anim_clip_frames(unsigned rig, unsigned clip);
float anim_clip_rate(unsigned rig, unsigned clip);
bool anim_clip_loops(unsigned rig, unsigned clip);

// One joint of one key frame, straight from the rig table (frames past the clip's last follow the
// table's rule: the final pose of a clip that plays once, the first frame of one that loops). Rows and
// joints outside 0..7 give zeros.
PoseJoint pose_evaluate(unsigned rig, unsigned clip, int frame, int row, int joint);
// The same through the object's pose_offset_scale (each coordinate times the scale plus the offset).
PoseJoint pose_evaluate_for(ObjectId id, int frame, int row, int joint);

// Advances anim_time by rate x anim_speed x dt with looping or clamping and marks the parts for
// re-skinning when the time moved.
void anim_step(ObjectId id, double dt);
// Allocates and fills the three pose tables from key frame 0 of the current clip, once.
void anim_prepare_poses(ObjectId id);
// Writes the current pose (pose_cache_c) for anim_time: the blend of the two key frames around it.
void anim_update_pose(ObjectId id);
