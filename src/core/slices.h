// How a frame's rows are shared out: every pass that splits rows into horizontal slices uses this one
// rule, so the raster workers, the view test and the overlay merge agree on whose row is whose.
#pragma once

struct RowRange {
    int first;  // first row of the slice
    int end;    // one past its last row
};

// Slice slice_index of slice_count over height rows: each slice gets height / slice_count rows and the
// last one also takes the remainder. slice_count below 2 (or an index outside the slices) gives every row.
inline RowRange slice_rows(int height, int slice_index, int slice_count) {
    if (slice_count < 2 || slice_index < 0 || slice_index >= slice_count) return RowRange{0, height};
    const int rows = height / slice_count;
    const int first = slice_index * rows;
    return RowRange{first, slice_index == slice_count - 1 ? height : first + rows};
}
