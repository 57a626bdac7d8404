// ALSA pointed at a file for the test process and every player it forks: the "default" device writes
// the raw S16_LE frames it is given to a file (or a command) and plays nothing.
#pragma once

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

}  // namespace audiotest
