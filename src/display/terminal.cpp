// Presentation on the terminal when there is no X display. Called by whichever thread presents.
#include "display/terminal.h"

// The terminal renderer fills this in; until then a display-less run shows nothing and goes on.
void terminal_present(const uint8_t* pixels, int width, int height) {
    (void)pixels;
    (void)width;
    (void)height;
}
