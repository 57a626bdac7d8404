// The texture table and its lookup by name, plus the vertical flip the image readers use.
// Main thread only; workers read the columns during a frame while nothing here runs.
#include "assets/texture.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "assets/image.h"
#include "assets/locator.h"

TextureTable& texture_table = *new TextureTable;

namespace {

TextureTable& T = texture_table;

bool valid_slot(TextureId slot) {
    return slot >= 1 && slot < T.capacity;
}

// Extensions the key rule drops; ".jpeg" and ".gif" stay part of the key.
constexpr const char* KEY_EXTENSIONS[] = {".jpg", ".bmp", ".tga", ".png", ".JPG", ".BMP", ".TGA", ".PNG"};

void cut_at(std::string& s, const char* what) {
    size_t at = s.find(what);
    if (at != std::string::npos) s.resize(at);
}

void free_owned_pixels(TextureId slot) {
    if (T.ownership[slot] == TEX_COPIED || T.ownership[slot] == TEX_ADOPTED) free(T.pixels[slot]);
}

}  // namespace

void tex_ensure(int n) {
    if (n < 0 || n >= TEX_MAX_SLOTS) return;
    if (n + 1 < T.capacity) return;
    int grown = n + 256;
    if (grown > 10000) grown = n + 5024;
    if (grown > 100000) grown = n + 50024;
    // The new slots take each column's default: no key, no pixels, zero sizes, TEX_COPIED.
    auto size = static_cast<size_t>(grown);
    T.key.resize(size);
    T.label.resize(size);
    T.key_set.resize(size, 0);
    T.width.resize(size, 0);
    T.height.resize(size, 0);
    T.channels.resize(size, 0);
    T.pixels.resize(size, nullptr);
    T.ownership.resize(size, TEX_COPIED);
    T.capacity = grown;
}

std::string tex_key(const char* name, bool lower) {
    if (name == nullptr) return {};
    std::string s = name;
    path_basename(s);
    for (const char* ext : KEY_EXTENSIONS) cut_at(s, ext);
    cut_at(s, "\r");
    cut_at(s, "\n");
    if (lower) {
        for (char& c : s) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

TextureId tex_find(const char* name) {
    std::string k = tex_key(name);
    if (k.empty()) return 0;
    for (TextureId i = 1; i < T.capacity; ++i) {
        if (T.key_set[i] && T.key[i] == k) return i;
    }
    return 0;
}

TextureId tex_free_slot() {
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (TextureId i = 1; i < T.capacity; ++i) {
            if (!T.key_set[i]) return i;
        }
        tex_ensure(T.capacity + 1);
    }
    return 0;
}

TextureId tex_load(const char* name) {
    tex_ensure(1);
    // A name without a key could never be found again, so every call would take another slot and
    // search the disk again: it gets no slot at all.
    if (tex_key(name).empty()) return 0;
    if (TextureId found = tex_find(name)) return found;
    TextureId slot = tex_free_slot();
    if (slot == 0) return 0;
    tex_load_slot(slot, name);
    return slot;
}

TextureId tex_load_slot(TextureId slot, const char* name) {
    if (slot < 0 || slot >= TEX_MAX_SLOTS) return 0;
    tex_ensure(slot);
    int width = 0, height = 0, channels = 0;
    uint8_t* pixels = image_load(name, &width, &height, &channels);
    if (pixels == nullptr) {
        if (slot > 0) tex_set_name(slot, name);
        return 0;
    }
    if (slot > 0 && width > 0 && height > 0 && (channels == 3 || channels == 4)) {
        tex_free_pixels(slot);
        T.width[slot] = width;
        T.height[slot] = height;
        T.channels[slot] = static_cast<uint8_t>(channels);
        T.ownership[slot] = TEX_ADOPTED;
        T.pixels[slot] = pixels;
    } else {
        // Grey with alpha (or slot 0) has no place in the table; the image is not kept.
        free(pixels);
    }
    tex_set_name(slot, name);
    return slot;
}

void tex_set_pixels(TextureId slot, int sized, uint8_t* pixels, int width, int height, int channels,
                    int ownership) {
    if (slot < 1 || width <= 0 || height <= 0 || (channels != 3 && channels != 4)) return;
    if (pixels == nullptr && !sized) return;
    tex_ensure(slot);
    if (!valid_slot(slot)) return;
    uint8_t* stored = pixels;
    if (ownership == TEX_COPIED) {
        uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * channels;
        if (bytes > SIZE_MAX / 2) return;
        stored = static_cast<uint8_t*>(malloc(static_cast<size_t>(bytes)));
        if (stored == nullptr) return;
        if (pixels != nullptr) {
            memcpy(stored, pixels, static_cast<size_t>(bytes));
        } else {
            memset(stored, 0, static_cast<size_t>(bytes));
        }
    }
    // The slot's own buffer handed back is kept: freeing it first would store a dangling pointer.
    if (stored != T.pixels[slot]) tex_free_pixels(slot);
    T.width[slot] = width;
    T.height[slot] = height;
    T.channels[slot] = static_cast<uint8_t>(channels);
    T.ownership[slot] = static_cast<uint8_t>(ownership);
    T.pixels[slot] = stored;
}

void tex_free_pixels(TextureId slot) {
    if (!valid_slot(slot)) return;
    T.width[slot] = 0;
    T.height[slot] = 0;
    T.channels[slot] = 0;
    free_owned_pixels(slot);
    T.pixels[slot] = nullptr;
    T.ownership[slot] = TEX_COPIED;
}

void tex_release(TextureId slot) {
    if (!valid_slot(slot)) return;
    T.key[slot].clear();
    T.key[slot].shrink_to_fit();
    T.label[slot].clear();
    T.label[slot].shrink_to_fit();
    T.key_set[slot] = 0;
    tex_free_pixels(slot);
}

int tex_has_pixels(TextureId slot) {
    return valid_slot(slot) && T.pixels[slot] != nullptr ? 1 : 0;
}

void tex_set_name(TextureId slot, const char* name) {
    if (name == nullptr) return;
    tex_ensure(slot);
    if (!valid_slot(slot)) return;
    T.key[slot] = tex_key(name, true);
    T.label[slot] = tex_key(name, false);
    T.key_set[slot] = 1;
}

void tex_flip_vertical(uint8_t* pixels, int width, int height, int channels) {
    if (pixels == nullptr || width <= 0 || height <= 1 || channels <= 0) return;
    // Swapping in place needs no row buffer, so the flip cannot fail for want of memory.
    size_t row = static_cast<size_t>(width) * static_cast<size_t>(channels);
    for (int i = 0; i < height / 2; ++i) {
        uint8_t* top = pixels + static_cast<size_t>(i) * row;
        uint8_t* bottom = pixels + static_cast<size_t>(height - 1 - i) * row;
        std::swap_ranges(top, top + row, bottom);
    }
}

void tex_reset() {
    for (TextureId i = 1; i < T.capacity; ++i) free_owned_pixels(i);
    T = TextureTable{};
}
