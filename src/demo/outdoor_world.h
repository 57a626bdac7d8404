// The park the scenes show whenever they enable the scenery: terrain under a sky dome, a paved square on a
// wide road, street lamps, ball-game posts, chairs with seated spectators, standing spectators, a
// performer, bicycles, trees and forest strips, falling leaves and small props, all at fixed object ids.
// Built once during start-up on the main thread.
#pragma once

#include "core/ids.h"

// The ids the park occupies that tests and scenes name.
constexpr ObjectId PARK_TERRAIN = 31;
constexpr ObjectId PARK_FIRST_TREE = 1000;
constexpr int PARK_TREE_COUNT = 300;
constexpr ObjectId PARK_FIRST_CHAIR = 110;
constexpr int PARK_CHAIR_COUNT = 24;
constexpr ObjectId PARK_FIRST_SEATED = 140;
constexpr ObjectId PARK_FIRST_STANDING = 149;
constexpr ObjectId PARK_PERFORMER = 179;
constexpr ObjectId PARK_BICYCLE = 180;
// The two emitters of falling leaves.
constexpr ObjectId PARK_FIRST_LEAF_EMITTER = 1990;
constexpr int PARK_LEAF_EMITTERS = 2;

// Builds the park, moving the loading bar to 50 and 60 with a frame each. With a non-zero flag it then
// roams the park with the free camera until the program is ended (Escape or the window's close button).
void outdoor_world(int flag);

// The terrain's height at (x, z): the surface of object 31 when the table holds it and it has a height
// grid, else 0.
float park_ground(float x, float z);

// One candidate of the tree scatter, drawn from four values of rand() (a fifth draw is made and not
// used). Candidates strictly inside the central 40 x 40 square are refused (false) and drawn again;
// beyond the central 120 x 120 square a candidate is a forest strip three times as wide as high.
struct ParkTree {
    float x, z;    // on the ground plane
    float width;   // the quad's width: the height, or three times it for a strip
    float height;  // 3 to 7.5
    float shade;   // grey of its colour, 0.5 to 0.9
    bool forest;   // a strip of forest ("erdo0.png") rather than one tree ("fa0.png")
};
bool park_tree_candidate(int rand_x, int rand_z, int rand_height, int rand_shade, ParkTree& out);
