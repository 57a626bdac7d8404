// The system probe: makes the program independent of the folder it was started from.
// Main thread, once, first thing at start-up.
#pragma once

// Changes the working directory into the executable's own folder (symbolic links resolved), so the
// data folders are found through their relative paths.
void system_probe();

// The processor's model name for the statistics display; "" while it is not known.
const char* system_cpu_name();
