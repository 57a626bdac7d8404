// The processes that run a given program file, found through /proc: the program itself and the players
// it forks, which run the same file. For tests that must show nothing of the program is left behind.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace vmtest {

// True while the process runs the program's file (a zombie runs nothing).
bool process_runs(pid_t pid, const std::string& program);

// The children of `parent` that run the program: its players.
std::vector<pid_t> players_of(pid_t parent, const std::string& program);

// Processes running the program's file, whoever their parent: the program or a player forked from it.
std::vector<pid_t> processes_running(const std::string& program);
int running_copies(const std::string& program);

// Polls `done` up to `tries` times, 20 ms apart.
template <typename Done>
bool poll_until(int tries, Done done) {
    for (int i = 0; i < tries; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

}  // namespace vmtest
