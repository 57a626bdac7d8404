// The skeletons of the two animation rigs and their key poses, as one table of joint turns that is
// turned into joint positions once, on first use (any thread; the build is a guarded static).
#pragma once

#include <cstddef>

constexpr int RIG_ROWS = 8;           // limbs per rig
constexpr int RIG_JOINTS = 8;         // joints per limb, hip to foot
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
