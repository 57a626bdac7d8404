#include "core/check.h"

#include <cstdio>
#include <cstdlib>

#include "core/log.h"

void check_failed(const char* expression, const char* file, int line) {
    char text[512];
    std::snprintf(text, sizeof text, "%s:%d: engine invariant broken: %s\n", file, line, expression);
    log_message(LogStream::err, text);
    std::abort();
}
