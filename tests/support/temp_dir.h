// A temporary folder that lives as long as the test that made it, and small file helpers.
#pragma once

#include <string>
#include <string_view>

namespace vmtest {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // Absolute path of a name inside the folder.
    std::string operator/(std::string_view name) const;
    // Writes bytes to a file inside the folder, making the folders on the way.
    std::string write(std::string_view name, std::string_view bytes) const;

  private:
    std::string path_;
};

// Reads a whole file; empty when it does not open.
std::string read_file(const std::string& path);

// The build folder of the running tests (the one that holds velmorine and data/).
std::string build_dir();

}  // namespace vmtest
