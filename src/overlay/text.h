// Text on the overlay: the glyph sources (the 16 x 16 Unicode font and the built-in 10 x 10 Latin-1
// glyphs in two styles), the glyph cache, the layout of a text element into draw commands, the
// outlined and waving captions, and the one-line text input.
#pragma once

#include <cstdint>

// Lays out the text of slot `slot` (child < 0) or of its child `child` and submits its glyph quads;
// called by the compositor's build pass after the element's animation step.
void text_layout(int slot, int child);
// The commands text_layout submits for that text on a draw list holding `count`: its glyphs with a
// texture and the padding after them (0 for no text). Main thread or build pass, like text_layout.
int64_t text_command_count(int slot, int child, int64_t count);

// An outlined caption of the UTF-8 `text` in slots first .. first + 10 n - 1 (ten per character, the
// ink glyph in the last of each ten). Returns the number of characters. With first >= 1 the slots are
// marked as one caption, which reaches the draw list whole or not at all.
int caption_outlined(int first, const char* text, float x, float y, float ink_red, float ink_green,
                     float ink_blue, float outline_red, float outline_blue, float outline_green, float alpha,
                     float glyph_size, float glyph_width, float advance, float outline_offset, float wave_amplitude,
                     float wave_step, float wave_phase, int wave_moves);
int caption_wave(int first, const char* text, float x, float y, float c1, float c2, float c3, float alpha,
                 float glyph_size, float advance, float wave_phase);
int caption_wave_a(const char* text, float x, float y, float c1, float c2, float alpha, float glyph_size,
                   float advance, float wave_phase);
int caption_wave_b(const char* text, float x, float y, float c1, float c2, float alpha, float glyph_size,
                   float advance, float wave_amplitude, float wave_phase);
int caption_wave_c(const char* text, float x, float y, float c1, float c2, float c3, float alpha, float glyph_size,
                   float advance, float wave_amplitude, float wave_phase);

// Applies the keys pressed since the last call to the zero-terminated `line` of `size` bytes with its
// cursor, and writes its display form (with a blinking cursor) to `display` when given. Returns the
// display's length.
int text_input_edit(char* line, int* cursor, int size, int restricted, char* display);
