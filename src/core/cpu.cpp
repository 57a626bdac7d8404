#include "core/cpu.h"

#include <unistd.h>

namespace {

int cached_cpu_count = 0;  // 0 until first read

}  // namespace

int cpu_count() {
    if (cached_cpu_count == 0) {
        const long n = sysconf(_SC_NPROCESSORS_CONF);
        cached_cpu_count = n > 0 ? static_cast<int>(n) : 1;
    }
    return cached_cpu_count;
}

void cpu_count_set(int count) {
    cached_cpu_count = count > 0 ? count : 0;
}
