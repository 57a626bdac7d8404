// Runs a program as a child process with extra environment variables and a working folder, and
// collects its standard output and error and its exit status.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace vmtest {

class ChildProcess {
  public:
    // Starts argv[0] (a path) with argv; env entries are added to or replace the inherited ones.
    ChildProcess(const std::vector<std::string>& argv,
                 const std::vector<std::pair<std::string, std::string>>& env, const std::string& cwd);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Waits up to the given seconds; returns the exit status, 128 + signal for a signal, or -1 on a
    // time-out (the child is then killed).
    int wait(double seconds);
    // Takes in what the child wrote so far without waiting, so a long-running child never blocks on a
    // full pipe.
    void collect() { drain(0); }
    // Output gathered so far (complete after wait).
    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

  private:
    void drain(int timeout_ms);
    pid_t pid_ = -1;
    int out_fd_ = -1;
    int err_fd_ = -1;
    std::string out_;
    std::string err_;
    int status_ = -1;
};

}  // namespace vmtest
