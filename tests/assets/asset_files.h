// The asset tests' image files, and a guard for the working folder (the locator searches relative to
// it).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/image_files.h"

namespace assettest {

// Changes into `dir` and back to the previous folder when it goes out of scope.
class ScopedCwd {
  public:
    explicit ScopedCwd(const std::string& dir);
    ~ScopedCwd();
    ScopedCwd(const ScopedCwd&) = delete;
    ScopedCwd& operator=(const ScopedCwd&) = delete;

  private:
    std::string previous_;
};

// The image files themselves come from the shared writers.
using imagefiles::bmp_file;
using imagefiles::gradient_rgb;
using imagefiles::jpeg_file;
using imagefiles::png_file;
using imagefiles::PngLayout;
using imagefiles::tga_header;

}  // namespace assettest
