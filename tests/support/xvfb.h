// A private X server for one test: Xvfb on the first free display number, stopped with the object.
#pragma once

#include <sys/types.h>

#include <string>

namespace vmtest {

class Xvfb {
  public:
    // Starts "Xvfb -displayfd" with one or more screens (numbered from 0) of the given size; ok() tells
    // whether it came up.
    explicit Xvfb(int width = 1920, int height = 1080, int depth = 24, int screens = 1);
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    bool ok() const { return !name_.empty(); }
    // ":N", for XOpenDisplay or the DISPLAY variable.
    const std::string& name() const { return name_; }
    // Kills the server at once, as a crash would; its clients lose their connections.
    void stop();

  private:
    pid_t pid_ = -1;
    std::string name_;
};

// Sets an environment variable for the lifetime of the object and restores the old value after.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::string old_;
    bool had_old_ = false;
};

}  // namespace vmtest
