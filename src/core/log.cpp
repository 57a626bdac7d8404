#include "core/log.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

bool log_message(LogStream stream, const char* text) {
    if (text == nullptr) return false;
    const int fd = stream == LogStream::out ? STDOUT_FILENO : STDERR_FILENO;
    size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = write(fd, text, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

#ifdef VELMORINE_DEBUG_LOG
void log_debug(const char* tag, const char* format, ...) {
    char line[512];
    int used = std::snprintf(line, sizeof line, "[%s] ", tag);
    if (used < 0) return;
    va_list args;
    va_start(args, format);
    std::vsnprintf(line + used, sizeof line - static_cast<size_t>(used), format, args);
    va_end(args);
    const size_t length = std::strlen(line);
    if (length + 1 < sizeof line) {
        line[length] = '\n';
        line[length + 1] = '\0';
    }
    log_message(LogStream::err, line);
}
#endif
