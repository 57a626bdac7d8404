// The asset locator: turns names written on other machines (backslashes, drive letters, other letter
// case) into files that open here. Stateless and re-entrant; called from the main thread while loading.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// Path buffers hold this many bytes; a normalised name keeps at most 7999 characters and every
// candidate path is formatted with a limit of 7999 bytes (7998 characters).
constexpr int PATH_BUFFER_SIZE = 8000;
constexpr size_t NORMALISED_NAME_MAX = 7999;
constexpr size_t CANDIDATE_PATH_MAX = 7998;
// The case-variant buffer is filled with a limit of 4095 bytes.
constexpr size_t VARIANT_PATH_MAX = 4094;
// asset_locate hands back at most this many characters.
constexpr size_t FOUND_PATH_MAX = 7997;
// file_load refuses anything larger: a loader must never be asked to hold an unbounded file.
constexpr size_t FILE_LOAD_MAX = size_t{1} << 28;

// Opens `path` after each of a fixed list of letter-case and separator rewrites; the first stream that
// opens is returned, nullptr when none does.
FILE* fopen_variants(const char* path, const char* mode);

// A plain open; for read modes, falls back to fopen_variants. nullptr for a missing path or mode.
FILE* file_open(const char* path, const char* mode);

// 1 when file_open(path, "r") succeeds, else 0.
int file_exists(const char* path);

// Reads a whole file into a malloc'd buffer with two NUL bytes after the data (the caller frees it).
// nullptr when the file is missing, empty, larger than FILE_LOAD_MAX, or memory runs out. `size`
// receives the number of bytes read (the NULs not counted) when given.
char* file_load(const char* path, int byte_mode, size_t* size = nullptr);

// In place: the part after the last '/' or '\' (a separator in the first position is not looked at).
void path_basename(char* path);
void path_basename(std::string& path);

// In place: cut after the last '/', '\' or ':' that is not the last character, keeping it.
void path_dirname(char* path);
void path_dirname(std::string& path);

// The caller's name with backslashes made slashes, cut at the first newline and at `limit` characters.
std::string path_normalise(const char* name, size_t limit = NORMALISED_NAME_MAX);

// The general search over the data folders (models). 1 and the path in `found` (when given) on
// success; 0 with `found` untouched when nothing exists or `name` is missing.
int asset_locate(const char* name, std::string* found);

// The image search, the first stage of image_load, over its own, longer list of folders. Same
// contract as asset_locate; the path found is the one to decode.
int image_search(const char* name, std::string* found);
