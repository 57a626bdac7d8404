#include "core/log.h"

#include <unistd.h>

#include <cerrno>
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
