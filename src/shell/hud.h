// The statistics display: five text lines in the top-left corner (frame rate, resolution, processor,
// core count, polygon counts) in overlay slots, in the second built-in glyph style. Refreshed by the
// frame-end handler once per frame while the display is on; main thread.
#pragma once

// The slot of the first line of hud_update.
constexpr int HUD_FIRST_SLOT = 2;

// Writes the five lines into slots 2 to 6.
void hud_update();
// Writes the five lines into slots first .. first + 4.
void hud_update_at(int first);
