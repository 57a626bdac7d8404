// Pixel conversion of finished RGB frames to the window's format, unscaled or nearest-neighbour scaled.
// Pure functions over buffers; the drivers split the rows over the calling thread and up to two
// short-lived conversion threads, which write disjoint rows and only read the source.
#pragma once

#include <cstddef>
#include <cstdint>

// Output formats. bytes_per_pixel 4: bytes B, G, R, 0 when rgb_swap is 1, R, G, B, 0 when it is 0.
// bytes_per_pixel 2: one native 16-bit word, 5-6-5 with red in the high bits when rgb_swap is 1,
// blue in the high bits when it is 0.

// Unscaled: converts rows [row_begin, row_end) of a width x height image of 3-byte pixels into out
// (row stride width * bytes_per_pixel). Reads nothing past the image's last byte.
void convert_rows(const uint8_t* src, int width, int height, uint8_t* out, int bytes_per_pixel, int rgb_swap,
                  int row_begin, int row_end);
// The same, one plain pixel at a time; the fast version must match it byte for byte.
void convert_rows_reference(const uint8_t* src, int width, int height, uint8_t* out, int bytes_per_pixel,
                            int rgb_swap, int row_begin, int row_end);

// Scaled to out_width x out_height: output row i samples source row trunc(src_height / out_height * i);
// output column j samples the source column trunc(p), where p starts at 0.4 and grows by
// src_width / out_width per column; a source offset at or past the image's end takes the last pixel.
// Converts the output rows whose 16-row band (row / 16) modulo thread_count equals thread_index.
void convert_scaled_rows(const uint8_t* src, int src_width, int src_height, uint8_t* out, int out_width,
                         int out_height, int bytes_per_pixel, int rgb_swap, int thread_index,
                         int thread_count);
void convert_scaled_rows_reference(const uint8_t* src, int src_width, int src_height, uint8_t* out,
                                   int out_width, int out_height, int bytes_per_pixel, int rgb_swap,
                                   int thread_index, int thread_count);

// Threads each conversion uses: 2 for an unscaled image of more than 500000 pixels with 2 or more
// processors; for scaled output, 3 above 500000 pixels with more than 2 processors, 2 above 300000
// with 2 or more, otherwise 1.
int convert_thread_count(int64_t pixels, int cpu_count);
int convert_scaled_thread_count(int64_t out_pixels, int cpu_count);

// Whole-image drivers: the calling thread does the first share, conversion threads the others, all
// joined before returning. A thread that cannot start (or synchronous mode) has its share done by the
// caller.
void convert_image(const uint8_t* src, int width, int height, uint8_t* out, int bytes_per_pixel, int rgb_swap,
                   int cpu_count);
void convert_image_scaled(const uint8_t* src, int src_width, int src_height, uint8_t* out, int out_width,
                          int out_height, int bytes_per_pixel, int rgb_swap, int cpu_count);
