// The asset locator: letter-case variants, whole-file loading, path helpers and the two searches over
// the data folders. No state between calls; every call works in its own buffers (main thread).
#include "assets/locator.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

namespace {

struct CaseRewrite {
    const char* from;
    const char* to;
};

// Spellings that assets were written with on case-insensitive systems. Each rewrite touches only the
// first occurrence and they accumulate, so the second one also undoes the first for capital paths.
constexpr CaseRewrite CASE_REWRITES[] = {
    {"DATA", "data"},
    {"data", "DATA"},
    {"nfo", "NFO"},
    {"NFO", "nfo"},
    {"RGBA_", "rgba_"},
    {"rgba_", "RGBA_"},
    {"_alphamap", "_ALPHAMAP"},
    {"_ALPHAMAP", "_alphamap"},
    {".GLM", ".glm"},
    {".BMP", ".bmp"},
    {".TGA", ".tga"},
    {".JPG", ".jpg"},
};

// Model and sound search: folders tried with the base name.
constexpr const char* ASSET_FOLDERS[] = {
    "../DATA/tex/%s", "../DATA/glm/%s", "../DATA/map/%s", "../DATA/aud/%s", "../data/tex/%s",
    "DATA/TEX/%s",    "DATA/ENGINE/%s", "DATA/engine/%s", "DATA/tex/%s",    "Data/Engine/%s",
    "Data/Tex/%s",    "data/engine/%s", "data/tex/%s",    "data/%s",        "Data/%s",
    "DATA/%s",        "Data/Glm/%s",    "data/glm/%s",    "DATA/glm/%s",    "DATA/GLM/%s",
    "DATA/Aud/%s",    "data/aud/%s",    "DATA/aud/%s",
};

// Image search: the folders tried once with the lower-case base name and once with the base name as
// written.
constexpr const char* IMAGE_FOLDERS[] = {
    "../data/tex/%s",    "../Data/Tex/%s",    "../Data/Engine/%s", "../DATA/ENGINE/%s", "../DATA/TEX/%s",
    "DATA/TEX/%s",       "DATA/ENGINE/%s",    "DATA/engine/%s",    "DATA/tex/%s",       "Data/Engine/%s",
    "Data/Tex/%s",       "data/engine/%s",    "data/tex/%s",       "data/%s",           "Data/%s",
    "DATA/%s",           "DATA/profil/%s",    "DATA/PROFIL/%s",    "data/profil/%s",    "data/Profil/%s",
    "data/PROFIL/%s",    "Data/Profil/%s",    "Data/profil/%s",    "Data/PROFIL/%s",    "../data/profil/%s",
    "../data/Profil/%s", "../data/PROFIL/%s", "../Data/Profil/%s", "../Data/profil/%s", "../DATA/profil/%s",
    "../DATA/PROFIL/%s",
};

bool is_separator(char c) {
    return c == '/' || c == '\\';
}

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// fopen succeeds on folders, and a FIFO would block the loader: for reading, only regular files count,
// so a folder named like an asset never ends a search early.
FILE* open_file(const char* path, const char* mode) {
    if (mode[0] == 'r') {
        struct stat st;
        if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    }
    return fopen(path, mode);
}

// Rewrites the first occurrence of `from` in place; both strings have the same length.
void rewrite_first(char* buffer, const CaseRewrite& r) {
    char* hit = strstr(buffer, r.from);
    if (hit != nullptr) memcpy(hit, r.to, strlen(r.to));
}

FILE* try_rewrites(char* buffer, const char* mode) {
    for (const CaseRewrite& r : CASE_REWRITES) {
        rewrite_first(buffer, r);
        if (FILE* f = open_file(buffer, mode)) return f;
    }
    return nullptr;
}

void load_variant_buffer(char* buffer, const char* path) {
    size_t n = strnlen(path, VARIANT_PATH_MAX);
    memcpy(buffer, path, n);
    buffer[n] = '\0';
}

// "pattern" holds one %s; the result is cut like a path buffer filled with a 7999-byte limit.
std::string format_candidate(const char* pattern, const std::string& s) {
    char buffer[PATH_BUFFER_SIZE];
    snprintf(buffer, CANDIDATE_PATH_MAX + 1, pattern, s.c_str());
    return buffer;
}

bool is_drive_path(const std::string& name) {
    return name.size() > 3 && name[0] != '\0' && name[1] == ':' && is_separator(name[2]);
}

// A drive path written on another system, looked for under the mount point of a removable volume.
std::string drive_candidate(const std::string& name) {
    char buffer[PATH_BUFFER_SIZE];
    const char drive[2] = {name[0], '\0'};
    snprintf(buffer, CANDIDATE_PATH_MAX + 1, "/media/%s/%s", drive, name.c_str() + 3);
    for (char* p = buffer; *p != '\0'; ++p) {
        if (*p == '\\') *p = '/';
    }
    return buffer;
}

std::string base_name(const std::string& path) {
    std::string b = path;
    path_basename(b);
    return b;
}

std::string lower_case(std::string s) {
    for (char& c : s) c = ascii_lower(c);
    return s;
}

int report_found(const std::string& path, std::string* found) {
    if (found != nullptr) *found = path.substr(0, FOUND_PATH_MAX);
    return 1;
}

// Index of the last separator the basename rule looks at, or npos.
size_t basename_cut(const char* path, size_t length) {
    for (size_t i = length; i > 1; --i) {
        if (is_separator(path[i - 1])) return i - 1;
    }
    return std::string::npos;
}

size_t dirname_cut(const char* path, size_t length) {
    if (length < 2) return std::string::npos;
    for (size_t i = length - 1; i > 0; --i) {
        char c = path[i - 1];
        if (is_separator(c) || c == ':') return i;
    }
    return std::string::npos;
}

}  // namespace

FILE* fopen_variants(const char* path, const char* mode) {
    if (path == nullptr || mode == nullptr) return nullptr;
    char buffer[VARIANT_PATH_MAX + 1];
    load_variant_buffer(buffer, path);
    if (FILE* f = try_rewrites(buffer, mode)) return f;

    // Names written on case-insensitive systems often capitalise the file but not the folders.
    load_variant_buffer(buffer, path);
    char* last = nullptr;
    for (char* p = buffer; *p != '\0'; ++p) {
        if (is_separator(*p)) last = p;
    }
    if (last != nullptr) {
        for (char* p = last; *p != '\0'; ++p) *p = ascii_lower(*p);
    }
    if (FILE* f = open_file(buffer, mode)) return f;

    for (char* p = buffer; *p != '\0'; ++p) {
        if (*p == '\\') *p = '/';
    }
    if (FILE* f = open_file(buffer, mode)) return f;
    return try_rewrites(buffer, mode);
}

FILE* file_open(const char* path, const char* mode) {
    if (path == nullptr || mode == nullptr) return nullptr;
    if (FILE* f = open_file(path, mode)) return f;
    if (mode[0] == 'r') return fopen_variants(path, mode);
    return nullptr;
}

int file_exists(const char* path) {
    FILE* f = file_open(path, "r");
    if (f == nullptr) return 0;
    fclose(f);
    return 1;
}

char* file_load(const char* path, int byte_mode, size_t* size) {
    if (path == nullptr) return nullptr;
    // Callers pass short asset names here; longer ones are cut rather than searched in full.
    std::string name = path_normalise(path, 255);
    FILE* f = file_open(name.c_str(), byte_mode ? "rb" : "rt");
    if (f == nullptr) return nullptr;
    char* buffer = nullptr;
    long length = -1;
    if (fseek(f, 0, SEEK_END) == 0) length = ftell(f);
    if (length > 0 && static_cast<unsigned long>(length) <= FILE_LOAD_MAX && fseek(f, 0, SEEK_SET) == 0) {
        size_t want = static_cast<size_t>(length);
        // Two NULs after the data let text parsers run off the end safely; the first request leaves
        // two bytes more for callers that append.
        buffer = static_cast<char*>(malloc(want + 4));
        if (buffer == nullptr) buffer = static_cast<char*>(malloc(want + 2));
        if (buffer != nullptr) {
            size_t got = fread(buffer, 1, want, f);
            buffer[got] = '\0';
            buffer[got + 1] = '\0';
            if (size != nullptr) *size = got;
            if (got == 0) {
                free(buffer);
                buffer = nullptr;
            }
        }
    }
    fclose(f);
    return buffer;
}

void path_basename(char* path) {
    if (path == nullptr) return;
    size_t length = strlen(path);
    size_t cut = basename_cut(path, length);
    if (cut == std::string::npos) return;
    memmove(path, path + cut + 1, length - cut);
}

void path_basename(std::string& path) {
    size_t cut = basename_cut(path.c_str(), path.size());
    if (cut != std::string::npos) path.erase(0, cut + 1);
}

void path_dirname(char* path) {
    if (path == nullptr) return;
    size_t cut = dirname_cut(path, strlen(path));
    if (cut != std::string::npos) path[cut] = '\0';
}

void path_dirname(std::string& path) {
    size_t cut = dirname_cut(path.c_str(), path.size());
    if (cut != std::string::npos) path.resize(cut);
}

std::string path_normalise(const char* name, size_t limit) {
    std::string out;
    if (name == nullptr) return out;
    for (size_t i = 0; i < limit && name[i] != '\0' && name[i] != '\n'; ++i) {
        out.push_back(name[i] == '\\' ? '/' : name[i]);
    }
    return out;
}

int asset_locate(const char* name, std::string* found) {
    if (name == nullptr) return 0;
    const std::string normalised = path_normalise(name);
    if (file_exists(normalised.c_str())) return report_found(normalised, found);
    if (is_drive_path(normalised)) {
        std::string candidate = drive_candidate(normalised);
        if (file_exists(candidate.c_str())) return report_found(candidate, found);
    }
    const std::string base = base_name(normalised);
    for (const char* folder : ASSET_FOLDERS) {
        std::string candidate = format_candidate(folder, base);
        if (file_exists(candidate.c_str())) return report_found(candidate, found);
    }
    std::string candidate = format_candidate("../DATA/engine/%s", normalised);
    if (file_exists(candidate.c_str())) return report_found(candidate, found);
    return 0;
}

int image_search(const char* name, std::string* found) {
    if (name == nullptr) return 0;
    const std::string normalised = path_normalise(name);
    if (file_exists(normalised.c_str())) return report_found(normalised, found);
    const std::string lower = lower_case(normalised);
    if (file_exists(lower.c_str())) return report_found(lower, found);
    if (is_drive_path(lower)) {
        std::string candidate = drive_candidate(lower);
        if (file_exists(candidate.c_str())) return report_found(candidate, found);
    }
    const std::string lower_base = base_name(lower);
    if (file_exists(lower_base.c_str())) return report_found(lower_base, found);
    std::string candidate = format_candidate("../DATA/tex/%s", lower_base);
    if (file_exists(candidate.c_str())) return report_found(candidate, found);
    candidate = format_candidate("../DATA/engine/%s", normalised);
    if (file_exists(candidate.c_str())) return report_found(candidate, found);
    for (const char* folder : IMAGE_FOLDERS) {
        candidate = format_candidate(folder, lower_base);
        if (file_exists(candidate.c_str())) return report_found(candidate, found);
    }
    const std::string base = base_name(normalised);
    candidate = format_candidate("../DATA/engine/%s", base);
    if (file_exists(candidate.c_str())) return report_found(candidate, found);
    for (const char* folder : IMAGE_FOLDERS) {
        candidate = format_candidate(folder, base);
        if (file_exists(candidate.c_str())) return report_found(candidate, found);
    }
    // Last resort: the base name as written, in the working folder.
    if (FILE* f = file_open(base.c_str(), "r")) {
        fclose(f);
        return report_found(base, found);
    }
    return 0;
}
