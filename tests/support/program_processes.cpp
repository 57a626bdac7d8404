#include "support/program_processes.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace vmtest {

namespace {

// The line of /proc/PID/stat, whose fields after the command's closing parenthesis are plain numbers.
std::string stat_line(const fs::path& proc) {
    std::ifstream stat(proc / "stat");
    std::string line;
    std::getline(stat, line);
    return line;
}

}  // namespace

bool process_runs(pid_t pid, const std::string& program) {
    const fs::path proc = "/proc/" + std::to_string(pid);
    std::error_code error;
    if (fs::read_symlink(proc / "exe", error) != program || error) return false;
    const std::string line = stat_line(proc);
    const size_t paren = line.rfind(')');
    return paren == std::string::npos || paren + 2 >= line.size() || line[paren + 2] != 'Z';
}

std::vector<pid_t> players_of(pid_t parent, const std::string& program) {
    std::vector<pid_t> players;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string line = stat_line(entry.path());
        const size_t paren = line.rfind(')');
        if (paren == std::string::npos || paren + 4 >= line.size()) continue;
        const pid_t ppid = static_cast<pid_t>(std::atoi(line.c_str() + line.find(' ', paren + 2) + 1));
        const pid_t pid = static_cast<pid_t>(std::stoi(name));
        if (ppid == parent && process_runs(pid, program)) players.push_back(pid);
    }
    return players;
}

std::vector<pid_t> processes_running(const std::string& program) {
    std::vector<pid_t> found;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = static_cast<pid_t>(std::stoi(name));
        if (process_runs(pid, program)) found.push_back(pid);
    }
    return found;
}

int running_copies(const std::string& program) {
    return static_cast<int>(processes_running(program).size());
}

}  // namespace vmtest
