// The overlay's draw list, buffer and merge. overlay_build and overlay_rasterize run on one thread;
// overlay_merge slices write disjoint frame rows.
#include "overlay/overlay.h"

#include <cstdlib>

#include "core/log.h"
#include "core/slices.h"

OverlayState overlay_state;

namespace {

const char MERGE_SIZE_MESSAGE[] =
    "A SPRITEBUFFER ES KEPBUFFER OSSZEFUTTATO MERETENEK EGYEZNIE KELL A SPRITEBUFFER FELBONTASAVAL, MERT "
    "MASKULONBEN NEM TUNT BIZALOMGERJESZTONEK AZ A PIPELINE, SZTEM SZARRA FOG SZALLNI, ES LUSTA VOLTAM "
    "MEGIRNI. ELVILEG KISZEDTEM A FUGGVENYT IS, AMIVEL EZT AT LEHETNE ALLITTANI, HOGY A FASZOMBA ALLITODOTT "
    "AT, HOGY TRIGGERELODJON EZ AZ ESEMENY? NEM LESZ KEPED, VAZZEGH!\n";

}  // namespace

int overlay_build() {
    return 0;
}

void overlay_rasterize() {}

int overlay_effects_on() {
    return 0;
}

int overlay_merge_slice_count(int cpu_count, int width, int height) {
    int n = cpu_count < 12 ? cpu_count : 12;
    const int64_t pixels = static_cast<int64_t>(width) * height;
    const int limit = pixels > 1799999 ? 4 : 2;
    if (n > limit) n = limit;
    return n < 1 ? 1 : n;
}

void overlay_merge(uint8_t* frame, int frame_width, int frame_height, const uint8_t* buffer, int buffer_width,
                   int buffer_height, int slice, int slices) {
    if (frame_width != buffer_width || frame_height != buffer_height) {
        log_message(LogStream::out, MERGE_SIZE_MESSAGE);
        std::exit(0);
    }
    if (frame == nullptr || buffer == nullptr || frame_width <= 0 || frame_height <= 0) return;
    if (slices < 1) slices = 1;
    if (slice < 0 || slice >= slices) return;
    const RowRange rows = slice_rows(frame_height, slice, slices);
    const int first = rows.first, end = rows.end;
    const size_t width = static_cast<size_t>(frame_width);
    for (int y = first; y < end; ++y) {
        uint8_t* out = frame + static_cast<size_t>(y) * width * 3;
        const uint8_t* in = buffer + static_cast<size_t>(y) * width * 4;
        for (size_t x = 0; x < width; ++x, out += 3, in += 4) {
            const unsigned c = in[3];
            if (c == 0) continue;
            if (c > 253) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
                continue;
            }
            for (int k = 0; k < 3; ++k) out[k] = static_cast<uint8_t>((out[k] * (255 - c) + in[k] * c) / 255);
        }
    }
}

void overlay_reset() {
    overlay_state = OverlayState{};
}
