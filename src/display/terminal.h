// Presentation on the terminal when there is no X display: the frame scaled down to one character cell
// per pixel (two per cell on a 24-bit colour terminal) and written to standard output. Called by
// whichever thread presents, one at a time.
#pragma once

#include <cstdint>

// The terminal frame rate is held at or below this: a terminal redraws far slower than the renderer.
constexpr int TERMINAL_FPS_MAX = 30;

// Draws one width x height RGB frame as coloured character cells, in one write to standard output.
// Nothing is drawn when standard input is not a terminal. A terminal that has gone away (closed pipe
// or tty) sets quit_requested, and nothing is written from then on.
void terminal_present(const uint8_t* pixels, int width, int height);

// Nearest-neighbour resampling of an image of bytes_per_pixel (3 or 4) bytes per pixel into a
// target_width x target_height image of the same format. Large sources are split over threads by rows.
void image_downscale(const uint8_t* source, int source_width, int source_height, int target_width,
                     int target_height, uint8_t* target, int bytes_per_pixel = 3);

// The ANSI background code (40..47) of the reference colour nearest to r, g, b.
int terminal_colour_code(uint8_t r, uint8_t g, uint8_t b);

// 1 when the terminal says it shows 24-bit colour (COLORTERM "truecolor" or "24bit").
int terminal_truecolor();

// Forgets the cell array, the gone flag and the pacing clock (tests).
void terminal_reset();
