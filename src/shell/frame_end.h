// The per-frame step every scene runs first: the input pump, then the demo's hot keys (Escape or a
// close request quits, F full screen, H half-height rendering, I the statistics display), and the
// statistics display's refresh. Main thread.
#pragma once

// May not return: Escape or a close request stops the music and ends the process with status 0.
void frame_end();
