// Start-up: the engine brought up in a fixed order, the shared figures, the park and the picture objects
// loaded behind the loading bar, the media check; then the scene cycle. Main thread.
#pragma once

// Everything after the system probe up to the media check. False when the demo's media are not there
// (the bar then stands at 84 % and nothing else has been started or left running); true with the bar
// taken away and the theme's decode under way or done, ready for the first scene's first frame.
// Headless (the capture tool, tests) nothing is opened, the theme is not decoded and frames stay in the
// frame buffer; the rest happens in the same order.
bool startup_load(bool headless = false);

// The scene cycle, pass after pass. Leaves only through frame_end (Escape or the window's close button).
[[noreturn]] void startup_play();
