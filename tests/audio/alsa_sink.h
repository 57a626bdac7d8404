// ALSA pointed at a file for the test process and every player it forks: the "default" device writes
// the raw S16_LE frames it is given to a file (or a command) and plays nothing.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/temp_dir.h"

namespace audiotest {

// `target` is a path, or "|command" for a pipe. Must run before the process's first ALSA call that
// should see it.
inline void use_file_sink(const vmtest::TempDir& dir, const std::string& target) {
    const std::string conf = dir.write("asound.conf",
                                       "pcm.!default {\n"
                                       "    type file\n"
                                       "    slave.pcm { type null }\n"
                                       "    file \"" +
                                           target +
                                           "\"\n"
                                           "    format \"raw\"\n"
                                           "}\n");
    setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
}

// A configuration that defines no device at all, as on a machine without a card.
inline void use_no_device(const vmtest::TempDir& dir) {
    const std::string conf = dir.write("asound.conf", "# no devices\n");
    setenv("ALSA_CONFIG_PATH", conf.c_str(), 1);
}

// Opens a FIFO for reading (which lets a waiting player's open finish) and reads `count` bytes, fewer
// when the writers go away first.
inline std::string read_fifo(const std::string& path, size_t count) {
    std::string got(count, '\0');
    size_t have = 0;
    const int fd = open(path.c_str(), O_RDONLY);
    while (fd >= 0 && have < count) {
        const ssize_t n = read(fd, got.data() + have, count - have);
        if (n <= 0) break;
        have += static_cast<size_t>(n);
    }
    if (fd >= 0) close(fd);
    got.resize(have);
    return got;
}

}  // namespace audiotest
