// Presentation on the terminal when there is no X display: the frame scaled down to one character cell
// per pixel (two per cell on a 24-bit colour terminal) and written to standard output. Called by
// whichever thread presents, one at a time.
#pragma once

#include <cstdint>

// The terminal frame rate is held at or below this: a terminal redraws far slower than the renderer.
constexpr int TERMINAL_FPS_MAX = 30;

// The cell grid is held within this many columns and rows, whatever size the terminal reports: a
// bogus reply (65535 on a side) would otherwise ask for gigabytes of cells. Wider and taller than any
// real terminal at a readable font.
constexpr int TERMINAL_COLUMNS_MAX = 1000;
constexpr int TERMINAL_ROWS_MAX = 1000;

// Draws one width x height RGB frame as coloured character cells, in one write to standard output.
// Nothing is drawn when standard input is not a terminal, nor when standard output was not one at the
// first frame (a file would fill at several megabytes a second). A terminal that has gone away sets
// quit_requested, and nothing is written from then on. The first frame also hooks the signals that
// leave the shell's terminal: Ctrl-Z and crashes give the cursor and colours back first.
void terminal_present(const uint8_t* pixels, int width, int height);

// The columns and rows of cells drawn on a terminal of the reported size: each clamped to its bound,
// or 0, 0 for a terminal of one row or column, which is not drawn on.
void terminal_grid(int reported_columns, int reported_rows, int* columns, int* rows);

// Nearest-neighbour resampling of an image of bytes_per_pixel (3 or 4) bytes per pixel into a
// target_width x target_height image of the same format. Large sources are split over threads by rows.
void image_downscale(const uint8_t* source, int source_width, int source_height, int target_width,
                     int target_height, uint8_t* target, int bytes_per_pixel = 3);

// The ANSI background code (40..47) of the reference colour nearest to r, g, b.
int terminal_colour_code(uint8_t r, uint8_t g, uint8_t b);

// 1 when the terminal says it shows 24-bit colour (COLORTERM "truecolor" or "24bit").
int terminal_truecolor();

// Forgets the cell array, the gone flag, the output check and the pacing clock (tests).
void terminal_reset();
