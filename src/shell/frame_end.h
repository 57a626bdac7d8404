// The per-frame step every scene runs first: the input pump, then the demo's hot keys (Escape or a
// close request quits, F full screen, H half-height rendering, I the statistics display), and the
// statistics display's refresh. Main thread.
#pragma once

// May not return: Escape, a close request, SIGTERM or SIGINT stops the music and ends the process with
// status 0.
void frame_end();

// Makes SIGTERM and SIGINT end the demo through frame_end's quit path, on the main thread; a signal
// that arrives before the first frame is acted on by that frame. Signals the process was started with
// ignored stay ignored.
void frame_end_catch_signals();
