// The one way text leaves the program: the system's own messages ("media files missing", the X failure
// line, the overlay's fatal line). Safe on any thread and after fork: nothing is buffered, nothing
// allocated.
#pragma once

enum class LogStream { out, err };

// Writes text (with its own newline, if it wants one) to standard output or standard error in as few
// writes as the system allows, retrying after an interruption. Returns false when it could not be
// written whole.
bool log_message(LogStream stream, const char* text);
