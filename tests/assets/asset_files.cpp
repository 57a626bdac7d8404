#include "asset_files.h"

#include <unistd.h>

namespace assettest {

ScopedCwd::ScopedCwd(const std::string& dir) {
    char buffer[4096];
    if (getcwd(buffer, sizeof buffer) != nullptr) previous_ = buffer;
    if (chdir(dir.c_str()) != 0) previous_.clear();
}

ScopedCwd::~ScopedCwd() {
    if (!previous_.empty() && chdir(previous_.c_str()) != 0) {
        // Nothing sensible to do: the test that follows will fail on its own paths.
    }
}

}  // namespace assettest
