// The generated textures that start-up preloads: two sky panoramas, a wall, a glowing ball, a spark.
// Single-threaded; every function returns the same pixels on every run.
#pragma once

#include "media_image.h"

// 1024 x 512 RGB panoramas that wrap around horizontally: zenith at the top row, a ridge of hills on
// the horizon four fifths of the way down, ground below.
MediaImage media_sky_day();   // blue sky, sun, soft cumulus
MediaImage media_sky_dusk();  // afterglow on the horizon, stars above, thin lit streaks of cloud
// 1024 x 512 RGB dome that wraps around horizontally: zenith at the top row, the horizon on the middle
// row, the nadir at the bottom. Blue hour: a warm glow where the sun has set, first stars, hazy ground.
MediaImage media_sky_evening();

// 256 x 256 RGB block wall, lit from the top left, tiling in both directions.
MediaImage media_wall();

// 128 x 128 RGBA glowing ball: opaque core, soft halo, alpha 0 from the inscribed circle outwards.
MediaImage media_ball();

// 64 x 64 RGBA spark: a hot centre with four long and four short rays, alpha 0 at the edges.
MediaImage media_spark();
