// The one way text leaves the program. The system's own messages ("media files missing", the X
// failure line, the overlay's fatal line) go out whole through log_message; diagnostics for developers
// go through LOG_DEBUG, which only debug builds (VELMORINE_DEBUG_LOG) compile in. Safe on any thread and
// after fork: nothing is buffered, nothing allocated.
#pragma once

enum class LogStream { out, err };

// Writes text (with its own newline, if it wants one) to standard output or standard error in as few
// writes as the system allows, retrying after an interruption. Returns false when it could not be
// written whole.
bool log_message(LogStream stream, const char* text);

// Developers' diagnostics with a category tag: LOG_DEBUG("assets", "no such file %s", name).
#ifdef VELMORINE_DEBUG_LOG
void log_debug(const char* tag, const char* format, ...) __attribute__((format(printf, 2, 3)));
#define LOG_DEBUG(tag, ...) log_debug(tag, __VA_ARGS__)
#else
#define LOG_DEBUG(tag, ...) ((void)0)
#endif
