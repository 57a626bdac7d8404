#include "shell/probe.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

ProbeResults probe_results;

namespace {

// /proc/cpuinfo of a machine with hundreds of processors stays well below this; anything longer is
// cut, as every file read here is untrusted.
constexpr size_t CPUINFO_MAX_BYTES = 4u << 20;
// The language file's first line is all that is read of it.
constexpr size_t LANGUAGE_MAX_BYTES = 4096;
constexpr size_t LABEL_MAX = 255;
// Line limits of each value: the model line 149 bytes, the vendor line 89, the clock and the locale
// lines 254 (each counting its line feed).
constexpr size_t MODEL_LINE_MAX = 149;
constexpr size_t VENDOR_LINE_MAX = 89;
constexpr size_t VALUE_LINE_MAX = 254;
// The last-resort scan reads the text in pieces of 169 bytes, at most 10000 of them.
constexpr size_t SCAN_PIECE_MAX = 169;
constexpr int SCAN_PIECES_MAX = 10000;
// Values are taken from this byte of their line on (1-based): the width of "model name\t: " and of
// the other keys with their separators.
constexpr size_t MODEL_FROM = 14;
constexpr size_t VENDOR_FROM = 13;
constexpr size_t HARDWARE_FROM = 14;
constexpr size_t MHZ_FROM = 12;

// Reads at most `limit` bytes of a file; "" when it does not open.
std::string read_bounded(const char* path, size_t limit) {
    std::string text;
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char chunk[4096];
    while (text.size() < limit) {
        const size_t want = std::min(sizeof chunk, limit - text.size());
        const ssize_t n = read(fd, chunk, want);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    return text;
}

// Every line that contains `key`, from byte `from` (1-based) on, each ended by a line feed: what a
// search for the key cut to those bytes gives.
std::string lines_with(const std::string& text, const char* key, size_t from) {
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + start, end - start);
        if (line.find(key) != std::string_view::npos) {
            if (line.size() >= from) out.append(line.substr(from - 1));
            out += '\n';
        }
        start = end + 1;
    }
    return out;
}

// A result counts when it holds more than two bytes.
bool counts(const std::string& text) {
    return text.size() > 2;
}

// The first line with its line feed, at most `limit` bytes of it.
std::string first_line(const std::string& text, size_t limit) {
    const size_t end = text.find('\n');
    const size_t length = end == std::string::npos ? text.size() : end + 1;
    return text.substr(0, std::min(length, limit));
}

// The last resort: the text read in bounded pieces, the first model line wins, else the last processor
// line seen.
std::string model_from_scan(const std::string& text) {
    std::string processor;
    bool seen_processor = false;
    size_t at = 0;
    for (int piece_index = 0; piece_index < SCAN_PIECES_MAX && at < text.size(); ++piece_index) {
        const size_t end = text.find('\n', at);
        const size_t line_length = end == std::string::npos ? text.size() - at : end + 1 - at;
        const std::string piece = text.substr(at, std::min(line_length, SCAN_PIECE_MAX));
        at += piece.size();
        const std::string value = piece.size() >= MODEL_FROM ? piece.substr(MODEL_FROM - 1) : std::string();
        if (piece.find("model name") != std::string::npos || piece.find("Model name") != std::string::npos)
            return value.substr(0, LABEL_MAX);
        if (piece.find("Processor") != std::string::npos || piece.find("processor") != std::string::npos) {
            processor = value.substr(0, LABEL_MAX);
            seen_processor = true;
        }
    }
    return seen_processor ? processor : std::string();
}

std::string model_line(const std::string& cpuinfo) {
    std::string found = lines_with(cpuinfo, "model name", MODEL_FROM);
    if (!counts(found)) found = lines_with(cpuinfo, "Processor", MODEL_FROM);
    // One byte earlier: a model name of a single character still shows.
    if (!counts(found)) found = lines_with(cpuinfo, "model name", MODEL_FROM - 1);
    if (counts(found)) return first_line(found, MODEL_LINE_MAX);
    return model_from_scan(cpuinfo);
}

bool contains(const std::string& text, const char* word) {
    return text.find(word) != std::string::npos;
}

}  // namespace

std::string cpu_label_from_cpuinfo(const std::string& cpuinfo) {
    std::string label = model_line(cpuinfo);
    std::string vendor = lines_with(cpuinfo, "vendor_id", VENDOR_FROM);
    if (!counts(vendor)) vendor = lines_with(cpuinfo, "Hardware", HARDWARE_FROM);
    if (counts(vendor)) label = first_line(vendor, VENDOR_LINE_MAX) + label;
    return label.substr(0, LABEL_MAX);
}

int64_t cpu_mhz_from_cpuinfo(const std::string& cpuinfo) {
    const std::string found = lines_with(cpuinfo, "cpu MHz", MHZ_FROM);
    if (!counts(found)) return 0;
    const std::string line = first_line(found, VALUE_LINE_MAX);
    const double mhz = std::strtod(line.c_str(), nullptr);
    // Truncation is defined only inside the range (and NaN fails both tests).
    if (!(mhz > -9.0e18 && mhz < 9.0e18)) return 0;
    return static_cast<int64_t>(mhz);
}

std::string locale_ctype_line(const char* lc_all, const char* lc_ctype, const char* lang) {
    if (lc_all && *lc_all) return std::string("LC_CTYPE=\"") + lc_all + "\"\n";
    if (lc_ctype && *lc_ctype) return std::string("LC_CTYPE=") + lc_ctype + "\n";
    return std::string("LC_CTYPE=\"") + (lang && *lang ? lang : "POSIX") + "\"\n";
}

int locale_names_region(const std::string& text) {
    static const char* const codes[] = {"hu", "HU", "Hu", "sk", "SK", "Sk", "ro", "RO", "Ro"};
    for (const char* code : codes)
        if (contains(text, code)) return 1;
    return 0;
}

int cpu_label_is_opteron_six_core(const std::string& label) {
    return contains(label, "Opteron") && contains(label, "Six-Core");
}

void system_probe() {
    // The link's target is the executable's absolute path with every symbolic link resolved.
    char path[8000];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n > 2) {
        std::string dir(path, static_cast<size_t>(n));
        const size_t slash = dir.rfind('/');
        if (slash != std::string::npos) {
            dir.resize(slash + 1);
            if (chdir(dir.c_str()) != 0) {
                // Stay where we are: the data may still be found from here.
            }
        }
    }

    ProbeResults& pr = probe_results;
    const std::string cpuinfo = read_bounded("/proc/cpuinfo", CPUINFO_MAX_BYTES);
    pr.cpu_label = cpu_label_from_cpuinfo(cpuinfo);
    pr.cpu_mhz = cpu_mhz_from_cpuinfo(cpuinfo);
    pr.opteron_six_core = cpu_label_is_opteron_six_core(pr.cpu_label);

    const std::string language = read_bounded("/etc/sysconfig/language", LANGUAGE_MAX_BYTES);
    const char* lang = std::getenv("LANG");
    if (counts(language)) {
        if (locale_names_region(first_line(language, VALUE_LINE_MAX))) pr.locale_region = 1;
    } else if (lang) {
        if (locale_names_region(std::string(lang).substr(0, VALUE_LINE_MAX))) pr.locale_region = 1;
    }
    const std::string ctype = locale_ctype_line(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), lang);
    if (locale_names_region(first_line(ctype, VALUE_LINE_MAX))) pr.locale_region = 1;
}

const char* system_cpu_name() {
    // The caption is one line: the vendor and the model side by side, no trailing line feed.
    std::string& name = probe_results.cpu_name;
    name = probe_results.cpu_label;
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    for (char& c : name)
        if (c == '\n' || c == '\r') c = ' ';
    return name.c_str();
}
