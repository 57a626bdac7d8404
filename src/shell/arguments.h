// The values of the front ends' command-line options (the capture tool, the benchmark), each read whole:
// text after the value makes it wrong, so "1280x720p" or "5s" is refused rather than half read.
#pragma once

// A finite number.
bool argument_number(const char* text, double* value);
// "WxH" with min_width <= W <= max_width and min_height <= H <= max_height.
bool argument_size(const char* text, int min_width, int min_height, int max_width, int max_height, int* width,
                   int* height);
// "A-B" with low <= A <= B <= high.
bool argument_range(const char* text, int low, int high, int* first, int* last);
