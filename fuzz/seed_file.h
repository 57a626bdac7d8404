// Writing seed files for the fuzz targets: the seed makers all put a handful of small files into a
// folder the fuzz build names on their command line.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

// Writes `bytes` as folder/name, making the folder first. False when nothing (or not all) was written,
// or when there is nothing to write: an empty seed means its maker failed.
inline bool seed_save(const std::string& folder, const std::string& name, const std::string& bytes) {
    if (bytes.empty()) return false;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return false;
    const std::string path = folder + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// The seed folder from the command line (argv[1]); null, with a usage line, when it is missing.
inline const char* seed_folder(int argc, char** argv, const char* program) {
    if (argc == 2) return argv[1];
    std::fprintf(stderr, "usage: %s FOLDER\n", program);
    return nullptr;
}
