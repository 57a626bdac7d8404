// Presentation of finished frames: synchronous, or on the present thread so the next frame renders
// meanwhile. Called from the main thread; the present thread is private to this file's functions.
#pragma once

#include <cstdint>

// Shows a present_width x present_height RGB frame now (on the terminal without an X display).
void present(const uint8_t* pixels);
// present with a temporary present size, restored afterwards.
void present_sized(const uint8_t* pixels, int width, int height);
// Shows fb_width x fb_height float R, G, B triples (1.0 is full intensity).
void present_float(const float* rgb);
// Copies the frame and shows it on the present thread; the caller may overwrite its pixels at once.
void present_async(const uint8_t* pixels, int width, int height);
// Waits for a running present thread; does nothing when none runs.
void present_join();

// Test seam: `tap` sees every frame after it was shown (pixels, width, height of what was shown), on the
// thread that showed it. nullptr removes it. Set only while no present runs.
using PresentTap = void (*)(const uint8_t* pixels, int width, int height);
void present_set_tap(PresentTap tap);
