// The byte layout fuzz_figure reads and make_figure_seeds writes: per picture one byte width - 1 and
// one byte height - 1 (each taken modulo 64), one byte of flags, then the pixels, rows top first. Flags
// bit 0: 4 channels (else 3); bits 1-2: the rig (modulo 3); bit 3: a back picture follows. Missing
// pixel bytes read as 0. Bit 4 lowers the bound on pictures: in the front's flags to a sixteenth of
// the front's working copy, so the front is far too large; in the back's flags to the front's working
// copy, so a larger back is refused.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int FIGURE_FUZZ_MAX_SIDE = 64;
constexpr uint8_t FIGURE_FUZZ_RGBA = 1;
constexpr uint8_t FIGURE_FUZZ_BACK = 8;
constexpr uint8_t FIGURE_FUZZ_BOUND = 16;
