// The global texture table: every pixel image the engine draws, looked up by file name. Changed only on
// the main thread between frames; render and overlay workers read it during a frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/ids.h"

// TextureId indexes texture_table. 0 means "no texture": slot 0 is never given out and never matched.

// Who frees a slot's pixels.
enum TextureOwnership : uint8_t {
    TEX_COPIED = 0,    // a copy made by the table; freed by it
    TEX_BORROWED = 1,  // the caller's buffer; never freed by the table
    TEX_ADOPTED = 2,   // handed over by a loader (malloc'd); freed by the table
};

// Ids above this are refused: a slot number is a caller's choice, and growth must stay finite.
constexpr int TEX_MAX_SLOTS = 1 << 22;

struct TextureTable {
    int capacity = 0;                // slots in every column; grows by tex_ensure, never shrinks
    std::vector<std::string> key;    // lower-case base name without image extension; ""
    std::vector<std::string> label;  // the same with its letter case kept; ""
    std::vector<uint8_t> key_set;    // 1 when the slot holds a name; 0 = free slot
    std::vector<int32_t> width;      // pixels per row; 0
    std::vector<int32_t> height;     // rows; 0
    std::vector<uint8_t> channels;   // bytes per pixel, 3 (RGB) or 4 (RGBA); 0
    std::vector<uint8_t*> pixels;    // height rows of width x channels bytes, top row first; nullptr
    std::vector<uint8_t> ownership;  // TextureOwnership of pixels; TEX_COPIED
};

// Never destroyed: the engine keeps its tables to the end of the process, and the pixel buffers stay
// reachable through the table while exit() runs (the leak checker does not mistake them for leaks).
extern TextureTable& texture_table;

// Grows every column when n + 1 >= capacity (by 256, or 5024 past 10000 slots, 50024 past 100000).
void tex_ensure(int n);

// The lowest slot from 1 whose key matches `name` by the key rule; 0 for none or an empty key.
TextureId tex_find(const char* name);

// The slot holding `name`, loading it into the lowest free slot when new. A name that fails to decode
// still keeps its slot (without pixels) so it is not searched for again; test tex_has_pixels.
TextureId tex_load(const char* name);

// Loads `name` into `slot`; the slot, or 0 when no image was decoded.
TextureId tex_load_slot(TextureId slot, const char* name);

// The lowest slot from 1 without a key, growing the table when all are taken; 0 if none.
TextureId tex_free_slot();

// Stores pixels in `slot` (>= 1) for width, height > 0 and 3 or 4 channels, when `pixels` is given or
// `sized` is non-zero. TEX_COPIED copies width x height x channels bytes (zeroes without `pixels`);
// the other ownerships keep the pointer itself.
void tex_set_pixels(TextureId slot, int sized, uint8_t* pixels, int width, int height, int channels,
                    int ownership);

// Drops the pixels (freeing them unless borrowed) and zeroes the sizes; the key stays.
void tex_free_pixels(TextureId slot);

// Frees the slot's name (making it free for the next load) and its pixels.
void tex_release(TextureId slot);

// 1 when the slot has pixels.
int tex_has_pixels(TextureId slot);

// Stores key and label of `name` by the key rule.
void tex_set_name(TextureId slot, const char* name);

// The key rule: base name, image extension cut, cut at the first CR or LF; lower case when `lower`.
std::string tex_key(const char* name, bool lower = true);

// Swaps rows so that the last becomes the first.
void tex_flip_vertical(uint8_t* pixels, int width, int height, int channels);

// Empties the table and frees what it owns (for tests).
void tex_reset();
