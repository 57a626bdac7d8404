// The processor count every thread-count rule starts from. Read once on the main thread, before any
// thread that reads it is started.
#pragma once

// Configured processors from sysconf, read once and cached; values of 0 or below count as 1.
int cpu_count();
// Test seam: the count the rules see from now on; 0 or less reads sysconf again on the next call.
void cpu_count_set(int count);
