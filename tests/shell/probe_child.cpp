// Runs the system probe as the program does, first thing, and prints what it found: the working
// folder, the locale flag and the processor label, one per line.
#include <unistd.h>

#include <cstdio>

#include "shell/probe.h"

int main() {
    system_probe();
    char cwd[8000];
    if (!getcwd(cwd, sizeof cwd)) return 1;
    std::printf("%s\n%d\n%s\n", cwd, probe_results.locale_region, system_cpu_name());
    return 0;
}
