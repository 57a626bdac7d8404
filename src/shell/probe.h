// The system probe: makes the program independent of the folder it was started from, and describes the
// processor and the locale. Main thread, once, first thing at start-up; the results are read after it.
#pragma once

#include <cstdint>
#include <string>

struct ProbeResults {
    std::string cpu_label;     // vendor line + model line, each with its line feed as read; <= 255 bytes
    int64_t cpu_mhz = 0;       // processor clock in MHz, truncated; 0: not known
    int opteron_six_core = 0;  // the label names a six-core Opteron (the merge's slice rule reads it)
    int locale_region = 0;     // the language setting names Hungarian, Slovak or Romanian
    std::string cpu_name;      // cpu_label on one line, as the statistics display shows it
};

extern ProbeResults probe_results;

// Changes the working directory into the executable's own folder (symbolic links resolved), so the
// data folders are found through their relative paths; then fills probe_results from /proc/cpuinfo,
// /etc/sysconfig/language and the locale environment. Runs no other program and writes no file.
void system_probe();

// The processor description for the statistics display (cpu_label with its line feeds as spaces);
// "" while it is not known. Valid until the next call.
const char* system_cpu_name();

// The parts of the probe over text, so that they can be fed any cpuinfo or locale.
// The vendor line followed by the model line, taken from the cpuinfo text as the probe does.
std::string cpu_label_from_cpuinfo(const std::string& cpuinfo);
// The first "cpu MHz" value, truncated; 0 when there is none.
int64_t cpu_mhz_from_cpuinfo(const std::string& cpuinfo);
// The character-type line as the locale tool prints it for these variables (null or "" for unset):
// LC_ALL wins, then LC_CTYPE (printed as is), then LANG, then POSIX (derived values quoted).
std::string locale_ctype_line(const char* lc_all, const char* lc_ctype, const char* lang);
// 1 when the text holds one of the region codes (a plain substring search, any case spelling listed).
int locale_names_region(const std::string& text);
// 1 when the label holds both "Opteron" and "Six-Core".
int cpu_label_is_opteron_six_core(const std::string& label);
