// The nature group's makers, split over several files; media_nature.cpp lists them in the catalogue.
// Single-threaded; every maker returns the same pixels on every run.
#pragma once

#include "media_image.h"

// media_nature_trees.cpp: 256 x 256 RGBA single trees standing on the bottom row's centre
// (variant 0 a broadleaf tree, 1 a birch), transparent around them.
MediaImage media_tree(int variant);
// 768 x 256 RGBA tree line: trunks on the bottom row, opaque undergrowth along it, sky above the
// crowns transparent; wraps around horizontally.
MediaImage media_forest_strip();

// media_nature_land.cpp: the 200 x 200 terrain grid around the park (one cell a pixel, the park at
// the centre pixel) and the grass that tiles over it.
MediaImage media_height_map();      // grey; 128 is level ground, flat within 30 cells of the centre
MediaImage media_ground_colours();  // tints the grass: meadow, dry hill tops, paths, the pond
MediaImage media_grass();           // 256 x 256 RGB, tiles both ways
