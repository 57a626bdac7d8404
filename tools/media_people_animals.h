// The animals and the walking stick of the figures group (media_people_animals.cpp).
#pragma once

#include "media_image.h"

// Four-legged animals seen from the side, head on the right, 256 x 160: 1 dog, 2 cat, 3 fox, 4 deer,
// 5 sheep.
MediaImage media_animal(int variant);
// An upright walking stick with a carved handle, 64 x 256.
MediaImage media_staff();
