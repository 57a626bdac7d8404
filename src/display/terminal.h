// Presentation on the terminal when there is no X display. Called by whichever thread presents.
#pragma once

#include <cstdint>

// Draws one width x height RGB frame as coloured character cells.
void terminal_present(const uint8_t* pixels, int width, int height);
