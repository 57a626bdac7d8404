#include "shell/arguments.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

bool argument_number(const char* text, double* value) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

bool argument_size(const char* text, int min_width, int min_height, int max_width, int max_height, int* width,
                   int* height) {
    int w = 0, h = 0;
    char tail = 0;
    if (std::sscanf(text, "%dx%d%c", &w, &h, &tail) != 2) return false;
    if (w < min_width || h < min_height || w > max_width || h > max_height) return false;
    *width = w;
    *height = h;
    return true;
}

bool argument_range(const char* text, int low, int high, int* first, int* last) {
    int a = 0, b = 0;
    char tail = 0;
    if (std::sscanf(text, "%d-%d%c", &a, &b, &tail) != 2) return false;
    if (a < low || b < a || b > high) return false;
    *first = a;
    *last = b;
    return true;
}
