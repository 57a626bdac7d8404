// Lists of ids rebuilt every frame (the update and motion lists, the dirty parts, the changed lights).
// Their storage grows by one rule and is released now and then, so that one heavy scene does not pin
// its memory for the rest of the run. Written by one thread at a time.
#pragma once

#include <cstddef>
#include <vector>

// A full list makes room for twice its count plus this many entries: a frame that lists a few more
// than the last does not grow it again.
constexpr int ID_LIST_GROWTH_MARGIN = 2048;

// Makes room for one more entry in every column of a list of count entries: a full or released list
// grows its columns to the new capacity plus one entry.
template <class... Columns>
void id_list_make_room(int count, int& capacity, std::vector<int>& first, Columns&... more) {
    if (count < capacity && !first.empty()) return;
    capacity = count * 2 + ID_LIST_GROWTH_MARGIN;
    const size_t entries = static_cast<size_t>(capacity) + 1;
    first.resize(entries);
    (more.resize(entries), ...);
}

// A list of one column.
struct IdList {
    std::vector<int> ids;  // capacity + 1 entries once grown
    int count = 0;
    int capacity = 0;
};

inline void id_list_append(IdList& list, int id) {
    id_list_make_room(list.count, list.capacity, list.ids);
    list.ids[static_cast<size_t>(list.count)] = id;
    ++list.count;
}

// Frees the storage; the next append grows it again by the same rule.
inline void id_list_release(IdList& list) {
    std::vector<int>().swap(list.ids);
    list.capacity = 0;
    list.count = 0;
}
