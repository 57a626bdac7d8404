// The park's built things, shared between the scenery makers: a lit height field, wood grain, and
// every maker of the group. Single-threaded; every function returns the same pixels on every run.
#pragma once

#include <cstddef>
#include <vector>

#include "media_image.h"

// A surface as a height field (0 in the joints and gaps, about 1 on a face) with its colour per pixel.
struct Relief {
    int width = 0;
    int height = 0;
    bool wrap = false;         // neighbours across an edge come from the opposite edge (tiling textures)
    std::vector<float> depth;  // height per pixel, rows top first
    std::vector<Rgb> albedo;   // colour per pixel before lighting
};

Relief relief_make(int width, int height, bool wrap);
// Index of a pixel; outside the picture either wraps or is held to the nearest edge.
size_t relief_index(const Relief& relief, int x, int y);

struct ReliefLight {
    float bump;       // height units to pixels of slope
    float ambient;    // share of the light that reaches a face turned away from the lamp
    float occlusion;  // how much darker the lowest parts are than the highest
    float shadow;     // height units of fall per pixel of a cast shadow; 0 for none
    float gloss;      // strength of the lamp's white highlight on faces turned halfway to the viewer
};

// Lit from the top left and a little in front; a flat face keeps its own colour, bevels facing the
// light brighten and those facing away darken, and raised parts cast short shadows down and right.
MediaImage relief_light(const Relief& relief, const ReliefLight& light);

// Wood seen on a board's face: `along` runs with the grain, `across` over it (pixels); `seed` picks
// the board. Late-wood lines, fine streaks and a knot or two, in warm browns around `base`.
// `period` (pixels, a power of two) is where the grain repeats along the board, for tiling boards.
Rgb wood_grain(float along, float across, int seed, Rgb base, int period);

// Paving and road (media_scenery.cpp): 256 x 256 RGB, tiling both ways (the marking horizontally).
MediaImage media_paving();        // light warm-grey square slabs
MediaImage media_kerb();          // darker cut stone blocks in courses
MediaImage media_asphalt();       // asphalt with aggregate and wear
MediaImage media_road_marking();  // the same asphalt with a worn dashed stripe along the middle

// Wood and the loudspeaker (media_scenery_wood.cpp): 256 x 256.
MediaImage media_beams();          // RGB, horizontal planks with gaps, tiling both ways
MediaImage media_crate();          // RGB, a crate face: frame, planks, diagonal brace
MediaImage media_cabinet();        // RGB, black vinyl with a lighter bevelled edge
MediaImage media_speaker_front();  // RGB, woofer below, tweeter above, screws in the corners

// Pictures (media_scenery_art.cpp).
MediaImage media_poster();  // 512 x 256 RGB evening-concert poster
MediaImage media_house();   // 512 x 256 RGBA town house, transparent around it
MediaImage media_dust();    // 64 x 64 RGBA soft puff, alpha 0 towards the edges
