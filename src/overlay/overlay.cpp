// The compositor's state: the draw list, the tile grid, the overlay buffer, the effect switches and the
// trail. Written by the overlay's own passes (see overlay.h for which thread runs each).
#include "overlay/overlay.h"

OverlayState overlay_state;

void overlay_reset() {
    overlay_state = OverlayState{};
}
