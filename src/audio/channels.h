// The 64 sound channels and the music. A channel holds at most one player process; starting a sound
// on a channel kills the one before. Main thread only, apart from the theme's preload, which decodes on
// a thread of its own; players are controlled by SIGKILL alone.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/threads.h"

constexpr int SOUND_CHANNELS = 64;
// The music plays on this channel; the quit path stops it with the name "NULL".
constexpr int MUSIC_CHANNEL = 1;
constexpr const char* MUSIC_FILE = "data/theme.ogg";

// The channel table, indexed by channel 0..63.
struct SoundChannels {
    int pid[SOUND_CHANNELS] = {};     // the channel's player process while it is ours and unreaped, else 0
    int active[SOUND_CHANNELS] = {};  // 1 while a player started on the channel has not been stopped or ended
};

extern SoundChannels sound_channels;

// The theme, decoded once and kept for the life of the process: every pass plays the same samples,
// and a pass boundary costs a fork instead of decoding all of it again. While the preload's thread
// runs it alone writes samples, length and decodes; the main thread reads them only after the join.
struct MusicTheme {
    EngineThread decoder;        // the preload's decode, joined before any use of the fields below
    int16_t* samples = nullptr;  // 44100 Hz stereo with SOUND_SLACK after it; null when missing or bad
    size_t length = 0;           // bytes of samples
    int requested = 0;           // 1 once a decode has been started: it is never started again
    int decodes = 0;             // decodes run in this process (1 for the program's whole life)
};

extern MusicTheme music_theme;

// Stops the channel, then finds, decodes and starts the named sound on it. A channel outside 0..63
// does nothing; a null name, a name of 3 characters or fewer, or one containing "STOPSIG" only stops.
void sound_play(const char* name, int channel, int loop);

// Starts decoding "data/theme.ogg" on another thread so that loading goes on meanwhile; does nothing
// once a decode has been started. The working directory must stay as it is until music_start.
void music_preload();

// Stops channel 1 and starts the theme on it once, from its beginning. Waits for the preload when it is
// still running, and decodes here (once) when there was none. A missing or bad file plays nothing.
void music_start();

// Waits for the preload, then forgets the kept theme: the next music_start decodes again (tests).
void music_release();

// Stops the channel and, for a buffer of at least one frame, starts a player on the caller's 44100 Hz
// stereo samples. The child's process id, or 0 or less when nothing was started.
int sound_play_buffer(const void* buffer, int channel, int loop, size_t length);

// Starts a player on the channel without stopping anything. 1, or 0 when nothing was started (no
// buffer, less than one frame, a channel outside 0..63, or the fork failed).
int sound_channel_start(const void* buffer, size_t length, int loop, int channel);

// Sends SIGKILL to the channel's player when it has one that is still ours.
void sound_stop(int channel);

// Reaps players that have ended and marks their channels inactive. Every channel operation does this
// first, so a stored process id always belongs to our own unreaped child.
void sound_poll();

// The search over the sound folders: 1 with the path in `found`, 0 when nothing exists.
int sound_find(const char* name, std::string* found);

// Test seam: the fork the players are started with (nullptr restores fork).
using SoundForkFn = pid_t (*)();
void sound_set_fork(SoundForkFn fork_fn);
