// The scenes of a pass, by position in the scene list. Each sets itself up, plays until its own time is
// up and cleans up after itself, so the next assumes nothing but the reserved figures, picture objects
// and the shared camera. Main thread.
#pragma once

// corridor.cpp: the brick corridor of the opening.
void scene_01_corridor_fade_in();
void scene_02_corridor_credits();
void scene_03_spiral_corridor();
void scene_31_closing_corridor();
// park_figures.cpp: the park at dusk with the seven figures.
void scene_04_into_the_park();
void scene_05_walk_across();
void scene_06_the_drop();
void scene_07_row_wakes();
void scene_10_ring_dance();
void scene_12_three_shots();
void scene_13_circle_shadows();
void scene_15_evening_sway();
void scene_29_walking_away();
void scene_30_gathering();
// park_climax.cpp: the park at the climaxes, beat-driven.
void scene_17_figure_eight();
void scene_18_climax_orbit();
void scene_21_fireworks();
void scene_25_spotlights();
// captions.cpp: the scenes carried by their words.
void scene_08_since_childhood();
void scene_11_dream_is();
void scene_22_title_first_half();
void scene_23_title_second_half();
// sky_particles.cpp: the abstract pieces, sparks and skies.
void scene_09_light_painting();
void scene_14_floating_crates();
void scene_16_sunset_lanterns();
void scene_20_sky_tornado();
void scene_26_lighthouse();
void scene_27_stop_motion();
// paint_trails.cpp: the scenes that paint over their last frames.
void scene_19_sky_trails();
void scene_24_spirograph();
void scene_28_beat_flash();

// The eight colours of the beat flash, one for each tenth of a second since the music began: the two on
// the beats bright, the six between them darker hues.
constexpr int BEAT_COLOURS = 8;
extern const float BEAT_COLOUR[BEAT_COLOURS][3];

// Where scenes build their own things, apart from the park's ids and the reserved ranges; a scene
// empties what it used before it returns.
constexpr int SCENE_OBJECTS_FIRST = 300;
constexpr int SCENE_OBJECTS_LAST = 698;
constexpr int SCENE_CLOUD = 1994;
constexpr int SCENE_SKY_FIRST = 2010;
constexpr int SCENE_SKY_LAST = 2049;
constexpr int SCENE_DUST_FIRST = 2200;
constexpr int SCENE_DUST_LAST = 2215;
// Scratch objects the composites are baked from, emptied right after.
constexpr int SCENE_SCRATCH_FIRST = 690;

// The caption lines' first overlay slots (ten slots a character, above the statistics display's).
constexpr int CAPTION_LINE_1 = 100;
constexpr int CAPTION_LINE_2 = 400;
constexpr int CAPTION_MAX_CHARS = 30;
