// The two animation rigs: their clips, their skeletons and key poses (one table of joint turns, turned
// into joint positions once, on first use: any thread, the build is a guarded static), and the joint
// positions of any key frame. Read by the animation pass and by the figure builder, which fits a rig
// to a figure.
#pragma once

#include <cstddef>

#include "core/ids.h"

constexpr int RIG_ROWS = 8;           // limbs per rig
constexpr int RIG_JOINTS = 8;         // joints per limb, hip to foot
constexpr int RIG_JOINT_FLOATS = 4;   // x, y, z, weight
constexpr int RIG_POSE_FLOATS = 256;  // rows x joints x (x, y, z, weight)
constexpr int RIG_CLIPS = 12;
// Key frames a clip may store: its frame count, plus the final pose of a clip that does not loop.
constexpr int RIG_MAX_STORED = 5;

// Joint positions of one key frame (RIG_POSE_FLOATS floats, row-major by row, joint). Frame 0 of every
// clip is the rig's bind pose; so is every frame of a clip without key frames and every frame of an
// unknown rig or clip. Frames past the stored ones give the last stored frame, or the bind pose for a
// clip that loops (so that its last frame blends back into its first).
const float* rig_key_frame(unsigned rig, unsigned clip, int frame);
// The bind pose of a rig (rig 1 or 2); all zeros for any other value, which ends every row at once.
const float* rig_bind_pose(unsigned rig);

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
